// What a process holds, read from outside it, for soak and leak checks. Wine reports no
// handle count (GetProcessHandleCount gives 0), no private bytes and no GDI or USER counts
// (GetGuiResources gives 0); it does keep the system handle list and the commit charge, and
// windows can be counted, so those stand in.
#pragma once
#include <windows.h>

#include <cstddef>

struct ProcessUsage {
    size_t committedBytes = 0;  // PagefileUsage: memory the process has committed
    size_t handles = 0;         // its entries in the system handle list
    size_t windows = 0;         // its top-level windows and their descendants
};

ProcessUsage UsageOf(HANDLE process, DWORD processId);
