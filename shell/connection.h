// Connecting and disconnecting the port (main window 0x7440 and 0x7441).
#pragma once
#include <windows.h>

#include "serial/device_settings.h"

// 0 on success, else the Win32 error code.
LRESULT Connect(HWND hwnd, DeviceSettings* settings);
LRESULT Disconnect(HWND hwnd);
