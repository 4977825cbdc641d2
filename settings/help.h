// The help file beside the program.
#pragma once
#include <windows.h>

void LocateHelpFile();
const char* GetHelpFile();
// Opens the help file (WinHelp command and its data) for `owner`.
BOOL ShowHelp(HWND owner, UINT command, ULONG_PTR data);
