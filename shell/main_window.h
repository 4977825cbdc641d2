// The main window: the hub through which every part reaches the port and
// the user interface.
#pragma once
#include <windows.h>

#include "shell/messages.h"

constexpr wchar_t kMainWindowClass[] = L"VORLIN2_MAIN_WND_CLASS";

BOOL RegisterMainWindowClass(HINSTANCE instance);
// Creates the window (hidden) with its children; null with the last error set.
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Registers the one active modeless dialog (destroying the previous one).
void SetModelessDialog(HWND dialog, ModelessFilter filter);
