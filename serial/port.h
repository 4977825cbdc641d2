// Operations on the port device outside the engine's I/O loops.
#pragma once
#include <windows.h>
#include <cstdint>

#include "serial/device_settings.h"

// A device-control request run on the event thread. Owned by the sender.
struct EscapeRequest {
    uint32_t controlCode;
    void* input;
    uint32_t inputLength;
    void* output;
    uint32_t outputLength;
    uint32_t error;
};

BOOL OpenPort(DeviceSettings& record, HANDLE* handleSlot);
BOOL ReconfigurePort(const DeviceSettings& record, HANDLE* handleSlot);
void ClosePort(uint32_t* flags, HANDLE* handleSlot);
BOOL QueryPortProperties(const char* name, COMMPROP* properties);
BOOL FlushPort(HANDLE port);
