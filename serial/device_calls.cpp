#include "serial/device_calls.h"

#include "base/text.h"

namespace {

using CancelIoFn = BOOL(WINAPI*)(HANDLE);
CancelIoFn g_cancelIo;

DeviceCalls MakeWin32Calls()
{
    DeviceCalls c{};
    // Port names are Shift_JIS like every text.
    c.createFile = [](void*, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                      DWORD flags, HANDLE model) {
        return CreateFileSjis(name, access, share, security, creation, flags, model);
    };
    c.closeHandle = [](void*, HANDLE h) { return CloseHandle(h); };
    c.setCommState = [](void*, HANDLE h, LPDCB dcb) { return SetCommState(h, dcb); };
    c.setCommTimeouts = [](void*, HANDLE h, LPCOMMTIMEOUTS t) { return SetCommTimeouts(h, t); };
    c.setupComm = [](void*, HANDLE h, DWORD in, DWORD out) { return SetupComm(h, in, out); };
    c.purgeComm = [](void*, HANDLE h, DWORD flags) { return PurgeComm(h, flags); };
    c.clearCommError = [](void*, HANDLE h, LPDWORD errors, LPCOMSTAT stat) { return ClearCommError(h, errors, stat); };
    c.getCommProperties = [](void*, HANDLE h, LPCOMMPROP p) { return GetCommProperties(h, p); };
    c.flushFileBuffers = [](void*, HANDLE h) { return FlushFileBuffers(h); };
    c.escapeCommFunction = [](void*, HANDLE h, DWORD code) { return EscapeCommFunction(h, code); };
    c.deviceIoControl = [](void*, HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                           LPDWORD got, LPOVERLAPPED o) {
        return DeviceIoControl(h, code, in, inSize, out, outSize, got, o);
    };
    c.writeFile = [](void*, HANDLE h, LPCVOID b, DWORD n, LPDWORD done, LPOVERLAPPED o) {
        return WriteFile(h, b, n, done, o);
    };
    c.readFile = [](void*, HANDLE h, LPVOID b, DWORD n, LPDWORD done, LPOVERLAPPED o) {
        return ReadFile(h, b, n, done, o);
    };
    c.getOverlappedResult = [](void*, HANDLE h, LPOVERLAPPED o, LPDWORD n, BOOL wait) {
        return GetOverlappedResult(h, o, n, wait);
    };
    c.setCommMask = [](void*, HANDLE h, DWORD mask) { return SetCommMask(h, mask); };
    c.waitCommEvent = [](void*, HANDLE h, LPDWORD mask, LPOVERLAPPED o) { return WaitCommEvent(h, mask, o); };
    c.getCommModemStatus = [](void*, HANDLE h, LPDWORD status) { return GetCommModemStatus(h, status); };
    // Looked up rather than linked: the program also runs where kernel32
    // has no CancelIo, and then goes without cancelling.
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    g_cancelIo = kernel ? reinterpret_cast<CancelIoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "CancelIo")))
                        : nullptr;
    if (g_cancelIo) c.cancelIo = [](void*, HANDLE h) { return g_cancelIo(h); };
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
