// What the application shell offers every other part: the process-wide
// state that Win32 ties to the one main window and its thread.
#pragma once
#include <windows.h>

#include "serial/device_settings.h"
#include "serial/engine.h"
#include "settings/settings_types.h"
#include "shell/messages.h"

// The application title: caption of the main window and of every message box.
extern const char kAppTitle[];

HINSTANCE GetAppInstance();
// The main window; null until its creation has finished.
HWND GetMainWindow();
// Children of the main window (null when absent).
HWND GetStatusBar();
HWND GetToolbar();
HWND GetModemPanel();
HWND GetLogView();

AppSettings& GetAppSettings();
DeviceSettings& GetCurrentDevice();
SerialEngine& GetSerialEngine();
