#include "logging/log_thread.h"

// Placeholder until the log thread is built: logging is simply off, so
// PostLogRecord drops nothing it allocated.
bool StartLogThread(HWND) { return true; }
void StopLogThread() {}
HWND GetLogWindow() { return nullptr; }
BOOL OpenLogFile(HWND, const char*) { return FALSE; }
void CloseLogFile() {}
void FlushLogFile() {}
BOOL GetLogSettings(LogSettings*) { return FALSE; }
BOOL SetLogSettings(const LogSettings*) { return FALSE; }
