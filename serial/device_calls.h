// The device calls of the port code and the engine threads, as a table of
// function pointers that defaults to the Win32 calls. Tests put in their own
// table to drive paths a real port gives only by chance: a write that stops
// part way, ERROR_INVALID_HANDLE, a failing SetupComm. Each call gets the
// table's context first, so a fake keeps its state there, not in globals;
// the engine's threads may call it from any of them at once.
#pragma once
#include <windows.h>

struct DeviceCalls {
    void* context;  // handed to every call; the Win32 table ignores it
    // The port name in Shift_JIS, as the program holds it.
    HANDLE (*createFile)(void*, LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL (*closeHandle)(void*, HANDLE);
    BOOL (*setCommState)(void*, HANDLE, LPDCB);
    BOOL (*setCommTimeouts)(void*, HANDLE, LPCOMMTIMEOUTS);
    BOOL (*setupComm)(void*, HANDLE, DWORD, DWORD);
    BOOL (*purgeComm)(void*, HANDLE, DWORD);
    BOOL (*clearCommError)(void*, HANDLE, LPDWORD, LPCOMSTAT);
    BOOL (*getCommProperties)(void*, HANDLE, LPCOMMPROP);
    BOOL (*flushFileBuffers)(void*, HANDLE);
    BOOL (*escapeCommFunction)(void*, HANDLE, DWORD);
    BOOL (*deviceIoControl)(void*, HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (*writeFile)(void*, HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (*readFile)(void*, HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL (*getOverlappedResult)(void*, HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL (*setCommMask)(void*, HANDLE, DWORD);
    BOOL (*waitCommEvent)(void*, HANDLE, LPDWORD, LPOVERLAPPED);
    BOOL (*getCommModemStatus)(void*, HANDLE, LPDWORD);
    // May be null: a system without CancelIo. Then pending I/O is never
    // cancelled and stop requests wait for it to end by itself.
    BOOL (*cancelIo)(void*, HANDLE);
};

// The Win32 calls; cancelIo is looked up in kernel32 (it may be absent).
const DeviceCalls& Win32DeviceCalls();
// The table in use. Read by each engine thread once, when it starts.
const DeviceCalls& GetDeviceCalls();
// Main thread, while no engine thread runs: null goes back to Win32.
void SetDeviceCalls(const DeviceCalls* calls);
