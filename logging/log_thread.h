// The log thread: the only writer of the log file. It owns a message-only
// window ("VORLIN2_LOG_WND_CLASS"); every other thread reaches it by posting
// or sending the messages 0x8140-0x8145 to that window.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

// What the log thread's window receives.
constexpr UINT WM_LOG_RECORD = 0x8140;        // lParam LogRecord*, then the thread's
constexpr UINT WM_LOG_STOP = 0x8141;
constexpr UINT WM_LOG_SET_FILE = 0x8142;      // wParam file handle, lParam name copy (or a close's serial)
constexpr UINT WM_LOG_FLUSH = 0x8143;
constexpr UINT WM_LOG_GET_SETTINGS = 0x8144;  // lParam LogSettings*
constexpr UINT WM_LOG_SET_SETTINGS = 0x8145;  // lParam const LogSettings*

// Starts the thread and waits up to 3 s for its window; reports its own
// failures to `owner`. Always succeeds.
bool StartLogThread(HWND owner);
// Stops the thread and waits for it; nothing when it does not run.
void StopLogThread();
// The thread's message-only window; null until a thread has made one.
HWND GetLogWindow();

// Opens or creates `fileName` for appending (making missing folders) and
// hands it to the thread; on failure reports MSG_LOG_FILE_FAILED and keeps the
// file that was open. 1 on success.
BOOL OpenLogFile(HWND owner, const char* fileName);
void CloseLogFile();
void FlushLogFile();
// 0 when the thread does not run (or no longer answers), else 1.
BOOL GetLogSettings(LogSettings* settings);
BOOL SetLogSettings(const LogSettings* settings);

// Tests only: log threads started from now on fail to create their window.
void SetLogWindowFailureForTest(bool fail);
