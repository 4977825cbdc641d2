// The help file beside the program.
#pragma once
#include <windows.h>

void LocateHelpFile();
const char* GetHelpFile();
// The help file's path; when none was found, the user is asked to pick it
// (the choice is kept). "" when the user cancelled.
const char* GetHelpFilePath(HWND owner);
// Opens the help file (WinHelp command and its data) for `owner`.
BOOL ShowHelp(HWND owner, UINT command, ULONG_PTR data);
