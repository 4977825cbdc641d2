// The send data window: a modeless tool window of the main window with two
// tab pages (the entries of a button file, and a form of a form file) and
// two send buttons. Everything runs on the main thread.
#pragma once
#include <windows.h>

// Activates the window when it exists; otherwise creates it, registers it
// with the main window (which closes any other tool window) and shows it.
// Null, after reporting why, when it cannot be created.
HWND OpenSendDataWindow(HWND mainWindow);
