// The log view: keeps the newest records and shows them as header, hex and
// character lines, following the newest data at the bottom.
//
// Threads: everything here belongs to the user-interface thread. Records
// arrive as 0x7425 sent by the main window; from then on the view owns them
// and frees them when they drop out of the store, on clear and at shutdown.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

constexpr wchar_t kLogViewClass[] = L"VORLIN21_LOG_VIEW_CLASS";

// What the view receives besides the window system's own messages.
constexpr UINT WM_VORLIN_WHEEL = 0x7400;          // like WM_MOUSEWHEEL (the main window forwards it)
constexpr UINT WM_LOGVIEW_CLEAR = 0x6300;
constexpr UINT WM_LOGVIEW_GET_SETTINGS = 0x6301;  // lParam ViewSettings* to fill
constexpr UINT WM_LOGVIEW_SET_SETTINGS = 0x6302;  // lParam const ViewSettings*
// and 0x7425 (WM_VORLIN_RECORD) with each record, which it then owns.

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
