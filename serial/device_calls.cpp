#include "serial/device_calls.h"

#include "base/text.h"

namespace {

using CancelIoFn = BOOL(WINAPI*)(HANDLE);

DeviceCalls MakeWin32Calls()
{
    DeviceCalls c{};
    c.createFile = CreateFileSjis;  // port names are Shift_JIS like every text
    c.closeHandle = CloseHandle;
    c.setCommState = SetCommState;
    c.setCommTimeouts = SetCommTimeouts;
    c.setupComm = SetupComm;
    c.purgeComm = PurgeComm;
    c.clearCommError = ClearCommError;
    c.getCommProperties = GetCommProperties;
    c.flushFileBuffers = FlushFileBuffers;
    c.escapeCommFunction = EscapeCommFunction;
    c.deviceIoControl = DeviceIoControl;
    c.writeFile = WriteFile;
    c.readFile = ReadFile;
    c.getOverlappedResult = GetOverlappedResult;
    c.setCommMask = SetCommMask;
    c.waitCommEvent = WaitCommEvent;
    c.getCommModemStatus = GetCommModemStatus;
    // Looked up rather than linked: the program also runs where kernel32
    // has no CancelIo, and then goes without cancelling.
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    c.cancelIo = kernel ? reinterpret_cast<CancelIoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "CancelIo")))
                        : nullptr;
    return c;
}

const DeviceCalls* g_calls = nullptr;

} // namespace

const DeviceCalls& Win32DeviceCalls()
{
    static const DeviceCalls calls = MakeWin32Calls();
    return calls;
}

const DeviceCalls& GetDeviceCalls() { return g_calls ? *g_calls : Win32DeviceCalls(); }

void SetDeviceCalls(const DeviceCalls* calls) { g_calls = calls; }
