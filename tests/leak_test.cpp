// A day of use in a minute: the real program connects and disconnects 50 times and opens and
// closes each of its windows and dialogs 20 times, and must hold no more handles, windows,
// threads or memory afterwards than before.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/process_usage.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

namespace {

constexpr DWORD kWait = 15000;

struct Counts {
    ProcessUsage usage;
    size_t threads = 0;
};

// Under Wine the system handle list, the commit charge, the windows and the threads of the
// process stand in for the handle and GDI/USER counts it does not report.
Counts CountsOf(HANDLE process, HWND main)
{
    SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, kWait, nullptr);  // posted work settles first
    DWORD pid = GetProcessId(process);
    Counts counts{UsageOf(process, pid)};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        counts.threads += entry.th32OwnerProcessID == pid;
    CloseHandle(snapshot);
    return counts;
}

void ExpectFlat(const Counts& before, const Counts& after, const std::string& what)
{
    printf("%s: handles %zu -> %zu, windows %zu -> %zu, threads %zu -> %zu, committed %zu KB -> %zu KB\n",
           what.c_str(), before.usage.handles, after.usage.handles, before.usage.windows, after.usage.windows,
           before.threads, after.threads, before.usage.committedBytes / 1024, after.usage.committedBytes / 1024);
    EXPECT_GT(before.usage.handles, 0u);
    EXPECT_LE(after.usage.handles, before.usage.handles + 2) << what;
    EXPECT_EQ(after.usage.windows, before.usage.windows) << what;
    EXPECT_EQ(after.threads, before.threads) << what << ": every thread of a connection ends with it";
    EXPECT_LE(after.usage.committedBytes, before.usage.committedBytes + (2u << 20)) << what;
}

} // namespace

TEST(Leaks, FiftyConnectionsAndTwentyOfEachWindowLeaveNothingBehind)
{
    TempFolder temp;
    testing_support::ProgramRun run;  // after the folder: the program ends before its folder goes
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    ASSERT_TRUE(run.Start(temp.Path())) << GetLastError();
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    auto connectAndDisconnect = [&] {
        ASSERT_TRUE(run.ConnectWithF5(hwnd, VORLIN_PORT));
        PostMessageA(hwnd, WM_COMMAND, IDM_DISCONNECT, 0);
        ASSERT_TRUE(WaitUntil([&] { return SendMessageA(hwnd, 0x7442, 0, 0) == 0; }, kWait));  // not connected
    };
    // The command opens a dialog of its own; closing it as its close box does ends it.
    auto openAndClose = [&](WPARAM command) {
        PostMessageA(hwnd, WM_COMMAND, command, 0);
        HWND window = run.WaitForDialog();
        ASSERT_TRUE(window) << command;
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window); }, kWait)) << command;
    };
    // The first round loads what stays for the life of the program (dialog classes, fonts).
    ASSERT_NO_FATAL_FAILURE(connectAndDisconnect());
    const Counts idle = CountsOf(run.Process(), hwnd);
    for (int i = 0; i < 50; ++i) ASSERT_NO_FATAL_FAILURE(connectAndDisconnect()) << "round " << i;
    ExpectFlat(idle, CountsOf(run.Process(), hwnd), "50 connections");

    for (WPARAM command : {IDM_CONNECT, IDM_LOG_FILE, IDM_PSEUDO_DATA, IDM_SETTINGS, IDM_ABOUT, IDM_CUSTOMIZE_TOOLBAR,
                           IDM_TUNNEL_ATTACH, IDM_SEND_DATA}) {
        ASSERT_NO_FATAL_FAILURE(openAndClose(command));
        const Counts before = CountsOf(run.Process(), hwnd);
        for (int i = 0; i < 20; ++i) ASSERT_NO_FATAL_FAILURE(openAndClose(command));
        ExpectFlat(before, CountsOf(run.Process(), hwnd), "window of command " + std::to_string(command));
    }
    // At the end every thread ends and the process leaves with code 0.
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(run.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}
