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

// Activates `existing` when there is one; otherwise creates the dialog
// `resource` owned by the main window (which it gets as its parameter),
// registers it with `filter` and shows it. Null, after reporting why, when
// it cannot be created.
HWND OpenToolWindow(HWND existing, HWND mainWindow, int resource, DLGPROC proc, ModelessFilter filter);
// Unregistering makes the main window destroy the window; without a main
// window that answers, the window still goes.
void CloseToolWindow(HWND window, HWND mainWindow);
