// The program's texts are Shift_JIS; the window system is asked in UTF-16,
// so they read right whatever the system's ANSI code page is.
#pragma once
#include <windows.h>

#include <string>

std::wstring SjisToWide(const char* text);
std::string WideToSjis(const wchar_t* text);
void SetWindowTextSjis(HWND hwnd, const char* text);
// Changes the text of a menu item (by command), keeping its state.
void SetMenuTextSjis(HMENU menu, UINT id, const char* text);
bool MenuTextIs(HMENU menu, UINT id, const char* text);
