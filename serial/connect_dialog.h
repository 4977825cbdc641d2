// The connect dialog (choose a port and its line settings) and the extended
// settings dialog (the rest of the DCB, timeouts and queue sizes).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "serial/device_settings.h"

// Edits a working copy of `record`; nonzero when confirmed, and only then is
// the copy written back (with the save flag as the user left it). On cancel
// only the record's save flag is cleared.
INT_PTR RunConnectDialog(HWND owner, DeviceSettings& record);
// Edits `record` in place when confirmed.
INT_PTR RunExtendedDialog(HWND owner, DeviceSettings& record);

// How the connect dialog lists the ports and asks the first one that
// answers: EnumeratePorts and QueryPortProperties unless a test puts its own
// functions in place (null restores them). A port chosen later is always
// asked through the main window.
struct PortAccess {
    size_t (*enumerate)(std::vector<std::string>& list);
    BOOL (*query)(const char* name, COMMPROP* properties);
};
void SetPortAccess(const PortAccess* access);
