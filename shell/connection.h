// Connecting and disconnecting the port (main window 0x7440 and 0x7441),
// and the menu, toolbar and title that follow the connection and log state.
#pragma once
#include <windows.h>

#include <string>

#include "serial/device_settings.h"

// 0 on success, else the Win32 error code.
LRESULT Connect(HWND hwnd, DeviceSettings* settings);
LRESULT Disconnect(HWND hwnd);

// The automatic log file "Vorlin2_<port>.log" in the log thread's folder.
// False when it cannot be made: the log thread does not run, or the name
// does not fit a path (then `path` holds what it would have been).
bool MakeAutomaticLogPath(const char* portName, std::string& path);

// Logging runs exactly while menu item 40420 reads "ログの停止(&S)".
bool IsLoggingRunning(HWND hwnd);
// Shows logging as running (item enabled, button released) or stopped.
void ShowLoggingState(HWND hwnd, bool running);
// Enables the first n quick-send toolbar buttons (n at most 18), disables the rest.
void EnableQuickSendButtons(HWND hwnd, int n);
// Toolbar button states from the port and log state (after a toolbar reset).
void ApplyConnectionStateToToolbar(HWND hwnd);
// Scans the data folder again and makes the first button file current;
// returns its number of entries (at most 18), 0 when there is none.
int RescanSendForms();
// Entries of the current button file, counted up to 18.
int CountCurrentFormEntries();
