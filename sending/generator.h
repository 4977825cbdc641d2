// The pseudo-data generator: a modeless tool window that makes display
// records out of typed text and hands them to the main window as if they
// had come from the port. Nothing touches the port or the log file.
#pragma once
#include <windows.h>

// Activates the window when it exists; otherwise creates it, registers it
// with the main window (which closes any other tool window) and shows it.
// Null, after reporting why, when it cannot be created.
HWND OpenPseudoDataGenerator(HWND mainWindow);
