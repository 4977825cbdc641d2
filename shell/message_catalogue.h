// Every report the program shows: texts by number from the message file.
#pragma once
#include <windows.h>
#include <cstddef>

void LoadMessageCatalogue();
void FreeMessageCatalogue();
// Copies the text of `number` into buffer (always terminated).
void LookupMessage(unsigned number, char* buffer, size_t size);
// Looks up, unescapes and formats the text; returns the button pressed.
int ShowMessage(HWND owner, const char* caption, unsigned number, UINT style, ...);
// The system's text for a Win32 error code.
int ShowSystemError(HWND owner, const char* caption, DWORD code);
// Message box or status bar, by application flag bit 1.
int Report(HWND owner, const char* text, const char* caption, UINT style);
