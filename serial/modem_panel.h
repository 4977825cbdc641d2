// The panel of modem-line lamps and switches under the toolbar.
#pragma once
#include <windows.h>

// Creates the panel as child 997 of the main window, disabled.
HWND CreateModemPanel(HWND parent);
