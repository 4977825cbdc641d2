// The main window's toolbar.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

// Builds the toolbar as child 996; null when it cannot be made.
HWND CreateToolbar(HWND parent, const AppSettings& settings);
