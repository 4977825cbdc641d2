// The log view: keeps the newest records and shows them.
#pragma once
#include <windows.h>

constexpr char kLogViewClass[] = "VORLIN21_LOG_VIEW_CLASS";

// Program start, before the main window exists: class and bitmaps.
BOOL InitLogView(HINSTANCE instance);
// Program end, after the main window has gone.
void ShutdownLogView();
// The view as child 998 of the main window.
HWND CreateLogView(HWND parent);
