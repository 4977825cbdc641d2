// The main window's toolbar.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "settings/settings_types.h"

// Builds the toolbar as child 996; null when it cannot be made.
HWND CreateToolbar(HWND parent, const AppSettings& settings);

// Toolbar notifications other than drop-down and tooltip text; for a reset
// it rebuilds the buttons (the caller then applies the port state again).
LRESULT OnToolbarNotify(HWND hwnd, NMHDR* header);
