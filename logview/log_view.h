// The log view: keeps the newest records and shows them as header, hex and
// character lines, following the newest data at the bottom.
//
// Threads: everything here belongs to the user-interface thread. Records
// arrive as 0x7425 sent by the main window; from then on the view owns them
// and frees them when they drop out of the store, on clear and at shutdown.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

constexpr char kLogViewClass[] = "VORLIN21_LOG_VIEW_CLASS";

// Program start, before the main window exists: settings, bitmaps, store,
// drawing resources and the window class.
BOOL InitLogView(HINSTANCE instance);
// Program end, after the main window has gone: frees every record held.
void ShutdownLogView();
// The view as child 998 of `parent`.
HWND CreateLogView(HWND parent);

// Operations for the other parts (each sends to the view window).
void ClearLogView(HWND view);
int GetViewSettings(HWND view, ViewSettings* buffer);
// 1, or 0 with the thread's last error set to the reason.
int SetViewSettings(HWND view, const ViewSettings* settings);
