// The connect dialog and the extended settings dialog.
#pragma once
#include <windows.h>

#include "serial/device_settings.h"

// Nonzero when confirmed; the record then holds the chosen settings.
INT_PTR RunConnectDialog(HWND owner, DeviceSettings& record);
void RunExtendedDialog(HWND owner, DeviceSettings& record);
