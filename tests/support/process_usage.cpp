#include "tests/support/process_usage.h"

#include <winternl.h>
#include <psapi.h>

#include <vector>

namespace {

// SystemHandleInformation (16): a count, then one entry per open handle of the system.
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

size_t HandleCount(DWORD processId)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ULONG length = 0;
        NTSTATUS status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                                   static_cast<ULONG>(buffer.size()), &length);
        if (status == static_cast<NTSTATUS>(0xC0000004L) && buffer.size() < (64u << 20)) {  // too small
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return 0;
        break;
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    size_t mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].processId == static_cast<USHORT>(processId);
    return mine;
}

struct WindowCount {
    DWORD processId;
    size_t count;
};

BOOL CALLBACK CountChild(HWND, LPARAM lp) { return ++reinterpret_cast<WindowCount*>(lp)->count, TRUE; }

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM lp)
{
    auto* count = reinterpret_cast<WindowCount*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == count->processId) {
        ++count->count;
        EnumChildWindows(hwnd, CountChild, lp);
    }
    return TRUE;
}

} // namespace

ProcessUsage UsageOf(HANDLE process, DWORD processId)
{
    ProcessUsage usage;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) usage.committedBytes = counters.PagefileUsage;
    usage.handles = HandleCount(processId);
    WindowCount windows{processId, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    usage.windows = windows.count;
    return usage;
}
