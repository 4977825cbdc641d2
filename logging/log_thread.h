// The log thread: the only writer of the log file.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

// Starts the thread; reports its own failures to `owner`. Always succeeds.
bool StartLogThread(HWND owner);
// Stops the thread and waits for it; nothing when it does not run.
void StopLogThread();
// The thread's message-only window; null while the thread does not run.
HWND GetLogWindow();

BOOL OpenLogFile(HWND owner, const char* fileName);
void CloseLogFile();
void FlushLogFile();
BOOL GetLogSettings(LogSettings* settings);
BOOL SetLogSettings(const LogSettings* settings);
