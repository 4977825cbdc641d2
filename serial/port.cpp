#include "serial/port.h"

// Placeholder until the port device is built.
BOOL OpenPort(DeviceSettings& record, HANDLE*)
{
    record.flags &= ~DEVICE_OPEN;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
BOOL ReconfigurePort(const DeviceSettings&, HANDLE*) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return FALSE; }

void ClosePort(uint32_t* flags, HANDLE* handleSlot)
{
    if (*handleSlot != INVALID_HANDLE_VALUE) {
        CloseHandle(*handleSlot);
        *handleSlot = INVALID_HANDLE_VALUE;
    }
    *flags &= ~DEVICE_OPEN;
}

BOOL QueryPortProperties(const char*, COMMPROP*) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return FALSE; }
BOOL FlushPort(HANDLE port) { return FlushFileBuffers(port); }
