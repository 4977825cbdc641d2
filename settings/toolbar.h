// The main window's toolbar: built from the layout text of the settings,
// customised by the user with the system's dialog, and saved back as a
// layout text after every change.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_types.h"

// Builds the toolbar as child 996; null when it cannot be made (or the
// layout names no item at all).
HWND CreateToolbar(HWND parent, const AppSettings& settings);

// Toolbar notifications other than drop-down and tooltip text; for a reset
// it rebuilds the buttons (the caller then applies the port state again).
LRESULT OnToolbarNotify(HWND hwnd, NMHDR* header);

// The rows of the command item table (0: the separator) that a layout text
// names, in order: names compared without regard to case, unknown ones
// left out, at most 1,028.
std::vector<int> ParseToolbarLayout(std::string_view text);

// The layout text of the buttons' commands (0: a separator), left to right.
// Returns false when it had to stop at 1,024 characters.
bool MakeToolbarLayout(const std::vector<int>& commands, std::string& text);
