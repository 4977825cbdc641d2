// What the application shell offers the parts above the window system: the
// process-wide state that Win32 ties to the one main window and its thread.
#pragma once
#include <windows.h>

#include "base/catalogue.h"
#include "serial/device_settings.h"
#include "serial/engine.h"
#include "settings/settings_types.h"
#include "shell/messages.h"

HINSTANCE GetAppInstance();
// The main window; null until its creation has finished.
HWND GetMainWindow();
// Children of the main window (null when absent).
HWND GetStatusBar();
HWND GetToolbar();
HWND GetModemPanel();
HWND GetLogView();

AppSettings& GetAppSettings();
// The session's device settings and engine (shell/session.h).
DeviceSettings& GetCurrentDevice();
SerialEngine& GetSerialEngine();
