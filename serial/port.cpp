#include "serial/port.h"

#include <cstring>

#include "serial/device_calls.h"
#include "serial/port_names.h"

namespace {

// One call of the device-call table in use, with the table's context.
template <auto Member, typename... Args>
auto DeviceCall(Args... args)
{
    const DeviceCalls& calls = GetDeviceCalls();
    return (calls.*Member)(calls.context, args...);
}

// Every port is opened this way: exclusive, overlapped.
HANDLE OpenDevice(const char* name)
{
    char path[520];
    MakeDevicePath(name, path, sizeof path);
    return DeviceCall<&DeviceCalls::createFile>(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OVERLAPPED, nullptr);
}

bool IsOpen(HANDLE handle) { return handle != INVALID_HANDLE_VALUE; }

// SetCommState, SetCommTimeouts, SetupComm in this order; false at the
// first failure, with its error as the last error.
bool Configure(HANDLE port, const DeviceSettings& record)
{
    const DeviceCalls& calls = GetDeviceCalls();
    DCB dcb = record.dcb;
    COMMTIMEOUTS timeouts = record.timeouts;
    return calls.setCommState(calls.context, port, &dcb) && calls.setCommTimeouts(calls.context, port, &timeouts) &&
           calls.setupComm(calls.context, port, record.inputQueueSize, record.outputQueueSize);
}

void PurgeAll(HANDLE port)
{
    const DeviceCalls& calls = GetDeviceCalls();
    calls.purgeComm(calls.context, port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    DWORD errors;
    COMSTAT status;
    calls.clearCommError(calls.context, port, &errors, &status);
}

} // namespace

BOOL OpenPort(DeviceSettings& record, HANDLE* handleSlot)
{
    char name[sizeof record.portName];
    memcpy(name, record.portName, sizeof name);
    name[sizeof name - 1] = '\0';

    HANDLE port = OpenDevice(name);
    if (IsOpen(port) && Configure(port, record)) {
        PurgeAll(port);
        if (IsOpen(*handleSlot)) DeviceCall<&DeviceCalls::closeHandle>(*handleSlot);
        *handleSlot = port;
        record.flags |= DEVICE_OPEN;
        return TRUE;
    }
    // Keep the error of the failing step across the clean-up; a half
    // configured handle is never left open.
    DWORD error = GetLastError();
    if (IsOpen(port)) DeviceCall<&DeviceCalls::closeHandle>(port);
    record.flags &= ~DEVICE_OPEN;
    SetLastError(error);
    return FALSE;
}

BOOL ReconfigurePort(const DeviceSettings& record, HANDLE* handleSlot)
{
    if (!Configure(*handleSlot, record)) return FALSE;
    PurgeAll(*handleSlot);
    return TRUE;
}

void ClosePort(uint32_t* flags, HANDLE* handleSlot)
{
    if (IsOpen(*handleSlot)) {
        DeviceCall<&DeviceCalls::closeHandle>(*handleSlot);
        *handleSlot = INVALID_HANDLE_VALUE;
    }
    *flags &= ~DEVICE_OPEN;
}

BOOL QueryPortProperties(const char* name, COMMPROP* properties)
{
    HANDLE port = OpenDevice(name);
    if (!IsOpen(port)) return FALSE;
    DeviceCall<&DeviceCalls::getCommProperties>(port, properties);
    DeviceCall<&DeviceCalls::closeHandle>(port);
    return TRUE;
}

BOOL FlushPort(HANDLE port) { return DeviceCall<&DeviceCalls::flushFileBuffers>(port); }

void RecoverAfterReadError(HANDLE port)
{
    DWORD errors;
    COMSTAT status;
    DeviceCall<&DeviceCalls::clearCommError>(port, &errors, &status);
    DeviceCall<&DeviceCalls::purgeComm>(port, PURGE_TXABORT | PURGE_TXCLEAR);
}

void RecoverAfterWriteError(HANDLE port)
{
    DWORD errors;
    COMSTAT status;
    DeviceCall<&DeviceCalls::clearCommError>(port, &errors, &status);
    DeviceCall<&DeviceCalls::purgeComm>(port, PURGE_RXABORT | PURGE_RXCLEAR);
}

DWORD RunLineFunction(HANDLE port, DWORD code)
{
    return DeviceCall<&DeviceCalls::escapeCommFunction>(port, code) ? 0 : GetLastError();
}

BOOL RunIoControl(HANDLE port, EscapeRequest* request)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!overlapped.hEvent) {
        request->error = GetLastError();
        return FALSE;
    }
    const DeviceCalls& calls = GetDeviceCalls();
    DWORD returned = 0;
    BOOL ok = calls.deviceIoControl(calls.context, port, request->controlCode, request->input, request->inputLength,
                                    request->output, request->outputLength, &returned, &overlapped);
    if (ok) {
        request->outputLength = returned;
        request->error = 0;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // The count of a pending completion comes from the overlapped result.
        ok = calls.getOverlappedResult(calls.context, port, &overlapped, &returned, TRUE);
        if (ok) {
            request->outputLength = returned;
            request->error = 0;
        } else {
            request->error = GetLastError();
        }
    } else {
        request->error = GetLastError();
    }
    CloseHandle(overlapped.hEvent);
    return ok ? TRUE : FALSE;
}
