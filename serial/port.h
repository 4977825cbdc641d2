// Operations on the port device outside the engine's I/O loops. Failures are
// returned (0 with the last error, or a Win32 code), never shown here.
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
    uint32_t outputLength;   // in: room in output; out: bytes returned
    uint32_t error;          // out: 0 or a Win32 error
};

// Opens and configures the record's port; on success closes the handle the
// slot held, stores the new one and sets the record's open flag. On failure
// the slot is untouched, the open flag cleared, and GetLastError() is the
// error of the step that failed.
BOOL OpenPort(DeviceSettings& record, HANDLE* handleSlot);
// Configures the open port again; 0 at the first failing step.
BOOL ReconfigurePort(const DeviceSettings& record, HANDLE* handleSlot);
void ClosePort(uint32_t* flags, HANDLE* handleSlot);
// The capabilities of a port by name; fails for a port that is open.
BOOL QueryPortProperties(const char* name, COMMPROP* properties);
BOOL FlushPort(HANDLE port);

// Clears the error state after a failed read (purging the transmit side)
// or a failed write (purging the receive side).
void RecoverAfterReadError(HANDLE port);
void RecoverAfterWriteError(HANDLE port);
// EscapeCommFunction: 0 or the Win32 error.
DWORD RunLineFunction(HANDLE port, DWORD code);
// DeviceIoControl on the overlapped port; fills request.error and
// request.outputLength. 1 on success.
BOOL RunIoControl(HANDLE port, EscapeRequest* request);
