// The settings dialog and the about box as the main window's commands.
#pragma once
#include <windows.h>

// Runs the settings dialog on the running log thread, log view and
// automation server.
void RunSettingsDialog(HWND mainWindow);
