// The one record that describes a port and how it is configured. It holds
// no pointers and is copied whole between the main window, the dialogs,
// the automation objects and the settings store.
#pragma once
#include <windows.h>
#include <cstdint>

enum DeviceFlag : uint32_t {
    DEVICE_OPEN = 1u << 0,   // describes the port that is open now
    DEVICE_SAVE = 1u << 1,   // the user asked to store these settings
};

struct DeviceSettings {
    uint32_t flags;
    char portName[260];
    DCB dcb;
    COMMPROP properties;
    COMMTIMEOUTS timeouts;
    uint32_t inputQueueSize;
    uint32_t outputQueueSize;
};
