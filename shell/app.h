// Process entry: start-up, the message loop and shutdown.
#pragma once
#include <windows.h>

// Runs the whole program; returns the exit code.
int RunApplication(HINSTANCE instance, const char* commandLine, int showState);

// Start-up of the parts the main window needs, and their shutdown, for
// tests that run the main window inside their own process.
void InitShellState(HINSTANCE instance, bool startedByAutomation);
void SetMainWindow(HWND hwnd);
// Reports go to a message box or the status bar by the application settings
// (InitShellState does this too).
void InstallReportPresenter();
// The modeless dialog registered with 0x7431, or null.
HWND GetModelessDialog();
// The message loop's treatment of one message (modeless filter, accelerators).
void DispatchLoopMessage(MSG& msg);
