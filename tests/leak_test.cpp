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
#include "tests/support/ui_driver.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

namespace {

constexpr DWORD kWait = 15000;

size_t ThreadCount(DWORD processId)
{
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

// A visible top-level window with a title bar of the process other than `main`, or null (not a
// tooltip or a drop-down list).
HWND OtherWindow(DWORD processId, HWND main)
{
    struct Search { DWORD processId; HWND main, found; } search{processId, main, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s->processId || hwnd == s->main || !IsWindowVisible(hwnd) ||
                (GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION)
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Leaks : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        ASSERT_TRUE(run_.Start(temp_.Path())) << GetLastError();
        ASSERT_TRUE(hwnd_ = run_.WaitForMainWindow());
        pid_ = GetProcessId(run_.Process());
    }
    void ConnectAndDisconnect()
    {
        ASSERT_TRUE(run_.ConnectWithF5(hwnd_, VORLIN_PORT));
        PostMessageA(hwnd_, WM_COMMAND, IDM_DISCONNECT, 0);
        ASSERT_TRUE(WaitUntil([&] { return SendMessageA(hwnd_, 0x7442, 0, 0) == 0; }, kWait));  // not connected
    }
    // The command opens a window of its own; closing it as its close box does ends it.
    void OpenAndClose(WPARAM command)
    {
        PostMessageA(hwnd_, WM_COMMAND, command, 0);
        HWND window = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (window = OtherWindow(pid_, hwnd_)) != nullptr; }, kWait)) << command;
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window); }, kWait)) << command;
    }
    struct Counts {
        ProcessUsage usage;
        size_t threads;
    };
    Counts Now() const
    {
        // Posted work (records, repaints) settles before anything is counted.
        SendMessageTimeoutA(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, kWait, nullptr);
        return {UsageOf(run_.Process(), pid_), ThreadCount(pid_)};
    }
    void ExpectFlat(const Counts& before, const Counts& after, const char* what)
    {
        printf("%s: handles %zu -> %zu, windows %zu -> %zu, threads %zu -> %zu, committed %zu KB -> %zu KB\n", what,
               before.usage.handles, after.usage.handles, before.usage.windows, after.usage.windows, before.threads,
               after.threads, before.usage.committedBytes / 1024, after.usage.committedBytes / 1024);
        EXPECT_GT(before.usage.handles, 0u);
        EXPECT_LE(after.usage.handles, before.usage.handles + 2) << what;
        EXPECT_EQ(after.usage.windows, before.usage.windows) << what;
        EXPECT_EQ(after.threads, before.threads) << what << ": every thread of a connection ends with it";
        EXPECT_LE(after.usage.committedBytes, before.usage.committedBytes + (2u << 20)) << what;
    }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
    HWND hwnd_ = nullptr;
    DWORD pid_ = 0;
};

} // namespace

TEST_F(Leaks, FiftyConnectionsAndTwentyOfEachWindowLeaveNothingBehind)
{
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    // The first round loads what stays for the life of the program (dialog classes, fonts).
    ASSERT_NO_FATAL_FAILURE(ConnectAndDisconnect());
    const Counts idle = Now();
    for (int i = 0; i < 50; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDisconnect()) << "round " << i;
    ExpectFlat(idle, Now(), "50 connections");

    const WPARAM commands[] = {IDM_CONNECT,           IDM_LOG_FILE,      IDM_PSEUDO_DATA, IDM_SETTINGS, IDM_ABOUT,
                               IDM_CUSTOMIZE_TOOLBAR, IDM_TUNNEL_ATTACH, IDM_SEND_DATA};
    for (WPARAM command : commands) {
        ASSERT_NO_FATAL_FAILURE(OpenAndClose(command));
        const Counts before = Now();
        for (int i = 0; i < 20; ++i) ASSERT_NO_FATAL_FAILURE(OpenAndClose(command));
        ExpectFlat(before, Now(), ("window of command " + std::to_string(command)).c_str());
    }
    // At the end every thread ends and the process leaves with code 0.
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(run_.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}
