// The main window keeps one modeless tool window at a time (the send data
// window or the pseudo-data generator). A tool window registers itself with
// this message and unregisters with wParam 0, lParam 0; registering destroys
// the window registered before, unregistering destroys the one registered.
#pragma once
#include <windows.h>

constexpr UINT WM_VORLIN_SET_MODELESS = 0x7431;   // wParam dialog, lParam ModelessFilter

// Keyboard filter of the one active modeless dialog: nonzero when consumed.
// The main loop offers it every message before translating it.
using ModelessFilter = BOOL (*)(MSG* msg);
