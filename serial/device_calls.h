// The device calls of the port code and the engine threads, as a table of
// function pointers that defaults to the Win32 calls. Tests put in their own
// table to drive paths a real port gives only by chance: a write that stops
// part way, ERROR_INVALID_HANDLE, a failing SetupComm.
#pragma once
#include <windows.h>

struct DeviceCalls {
    HANDLE(WINAPI* createFile)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* closeHandle)(HANDLE);
    BOOL(WINAPI* setCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* setCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL(WINAPI* setupComm)(HANDLE, DWORD, DWORD);
    BOOL(WINAPI* purgeComm)(HANDLE, DWORD);
    BOOL(WINAPI* clearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
    BOOL(WINAPI* getCommProperties)(HANDLE, LPCOMMPROP);
    BOOL(WINAPI* flushFileBuffers)(HANDLE);
    BOOL(WINAPI* escapeCommFunction)(HANDLE, DWORD);
    BOOL(WINAPI* deviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL(WINAPI* setCommMask)(HANDLE, DWORD);
    BOOL(WINAPI* waitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* getCommModemStatus)(HANDLE, LPDWORD);
    // May be null: a system without CancelIo. Then pending I/O is never
    // cancelled and stop requests wait for it to end by itself.
    BOOL(WINAPI* cancelIo)(HANDLE);
};

// The Win32 calls; cancelIo is looked up in kernel32 (it may be absent).
const DeviceCalls& Win32DeviceCalls();
// The table in use. Read by each engine thread once, when it starts.
const DeviceCalls& GetDeviceCalls();
// Main thread, while no engine thread runs: null goes back to Win32.
void SetDeviceCalls(const DeviceCalls* calls);
