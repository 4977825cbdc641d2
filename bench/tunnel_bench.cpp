// Relay throughput of the tunnel: two real instances, A and the child it
// starts from its menu, each on a virtual cable; the far end of A's cable
// writes a known stream and the far end of B's cable reads and checks it.
//
//   tunnel_bench [megabytes] [A's port] [its far end] [B's port] [its far end]
//
// The road measured is the whole relay: A's reader, its writer thread's
// lines, the pipe, B's manager, B's engine writer and B's port.
// scripts/bench-tunnel prints it beside the engine's own receive rate. With
// VORLIN_BENCH_KEEP set, the instances' folder and log files stay for reading.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_clock.h"
#include "bench/bench_stream.h"
#include "resources/resource.h"

using namespace bench;

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr wchar_t kInstanceClass[] = L"VORLIN2_MAIN_WND_CLASS";

template <typename Condition>
bool Await(Condition condition)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start > kWaitMs) return false;
    return true;
}

struct Search {
    const wchar_t* cls;
    DWORD pid;     // the window's process, or 0 for any
    DWORD notPid;  // a process to pass over
    HWND found;
};

HWND FindVisible(const wchar_t* cls, DWORD pid, DWORD notPid)
{
    Search s{cls, pid, notPid, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            wchar_t name[64] = L"";
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            GetClassNameW(hwnd, name, 64);
            if (wcscmp(name, s->cls) || !IsWindowVisible(hwnd) || (s->pid && owner != s->pid) || owner == s->notPid)
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

DWORD ProcessOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// Through the connect dialog, as a user does; true once the title names the port.
bool Connect(HWND main, const char* port)
{
    PostMessageW(main, WM_COMMAND, IDM_CONNECT, 0);
    HWND dialog = nullptr;
    if (!Await([&] { return (dialog = FindVisible(L"#32770", ProcessOf(main), 0)) != nullptr; })) return false;
    HWND list = GetDlgItem(dialog, IDC_CONNECT_PORT);
    if (SendMessageA(list, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(port)) == CB_ERR) return false;
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
    return Await([&] {
        char title[256] = "";
        GetWindowTextA(main, title, sizeof title);
        return strncmp(title, port, strlen(port)) == 0;
    });
}

// Vorlin2.exe and the files beside it, copied into a folder of the bench's own.
bool Install(std::string& folder)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string bench(self);
    bench.resize(bench.find_last_of('\\'));
    std::string bin = bench.substr(0, bench.find_last_of('\\')) + "\\bin\\";
    folder = bench + "\\tunnel-run";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"Vorlin2.exe", "Vorlin2.ini", "Vorlin2.msg"})
        if (!CopyFileA((bin + name).c_str(), (folder + "\\" + name).c_str(), FALSE)) return false;
    return true;
}

void Uninstall(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\log\\*.log").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do DeleteFileA((folder + "\\log\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA((folder + "\\log").c_str());
    for (const char* name : {"Vorlin2.exe", "Vorlin2.ini", "Vorlin2.msg"}) DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

void End(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// A and its child, each connected; false with a word on what failed.
bool StartPair(const std::string& folder, const char* portA, const char* portB, PROCESS_INFORMATION& a, DWORD& b)
{
    std::string exe = folder + "\\Vorlin2.exe";
    std::string line = "\"" + exe + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &a)) {
        fprintf(stderr, "cannot start %s: error %lu\n", exe.c_str(), GetLastError());
        return false;
    }
    HWND mainA = nullptr, mainB = nullptr;
    if (!Await([&] { return (mainA = FindVisible(kInstanceClass, a.dwProcessId, 0)) != nullptr; }) ||
        !Connect(mainA, portA)) {
        fprintf(stderr, "instance A did not connect to %s\n", portA);
        return false;
    }
    PostMessageW(mainA, WM_COMMAND, IDM_TUNNEL_NEW_PROCESS, 0);
    if (!Await([&] { return (mainB = FindVisible(kInstanceClass, 0, a.dwProcessId)) != nullptr; })) {
        fprintf(stderr, "no child instance\n");
        return false;
    }
    b = ProcessOf(mainB);
    if (!Connect(mainB, portB)) {
        fprintf(stderr, "instance B did not connect to %s\n", portB);
        return false;
    }
    // Minimised, as the engine's figure has no view either: the relay is
    // measured, not the painting of the records (log_view_bench has that).
    ShowWindowAsync(mainA, SW_MINIMIZE);
    ShowWindowAsync(mainB, SW_MINIMIZE);
    return true;
}

bool RunRelay(const char* portA, const char* farA, const char* portB, const char* farB, uint64_t total,
              RunResult& result)
{
    std::string folder;
    if (!Install(folder)) {
        fprintf(stderr, "cannot install the program beside the bench: error %lu\n", GetLastError());
        return false;
    }
    PROCESS_INFORMATION a{};
    DWORD b = 0;
    HANDLE writerEnd = INVALID_HANDLE_VALUE, readerEnd = INVALID_HANDLE_VALUE;
    bool started = StartPair(folder, portA, portB, a, b) && OpenFarEnd(farA, &writerEnd) && OpenFarEnd(farB, &readerEnd);
    if (started) {
        FarWriter writer{writerEnd, total};
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        LARGE_INTEGER from, to;
        QueryPerformanceCounter(&from);
        HANDLE thread = CreateThread(nullptr, 0, WriteStream, &writer, 0, nullptr);
        AwaitAll(result.checker, total, [&] { ReadAndCheck(readerEnd, ov, result.checker); });
        QueryPerformanceCounter(&to);
        result.seconds = Seconds(from, to);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(ov.hEvent);
        result.ok = writer.error == 0;
    }
    for (HANDLE port : {writerEnd, readerEnd})
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    if (b) End(b);
    if (a.hProcess) {
        End(a.dwProcessId);
        CloseHandle(a.hProcess);
        CloseHandle(a.hThread);
    }
    if (!getenv("VORLIN_BENCH_KEEP")) Uninstall(folder);
    return started;
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 20;
    const char* portA = argc > 2 ? argv[2] : "COM19";
    const char* farA = argc > 3 ? argv[3] : "COM20";
    const char* portB = argc > 4 ? argv[4] : "COM21";
    const char* farB = argc > 5 ? argv[5] : "COM22";
    uint64_t total = megabytes * 1000 * 1000;

    static RunResult relay;
    if (!RunRelay(portA, farA, portB, farB, total, relay)) return 2;
    Report("relay", relay, total);
    return relay.ok && relay.checker.received == total && relay.checker.corrupted == 0 ? 0 : 1;
}
