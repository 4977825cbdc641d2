// The real program started as a user or the system starts it: command-line
// tokens, the window it shows, and a clean end.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "tests/support/log_files.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;
using testing_support::FindProcessWindow;
using testing_support::ProgramRun;

namespace {

class ProgramStart : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testing_support::InstallProgram(folder_)); }
    TempFolder temp_;
    std::string folder_ = temp_.Path();
};

// A message box of the program (class #32770), waited for.
HWND WaitForMessageBox(const ProgramRun& run)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindProcessWindow(run.ProcessId(), "#32770")) != nullptr; }, 10000);
    return box;
}

} // namespace

TEST_F(ProgramStart, RegistrationTokensEndWithoutAWindow)
{
    for (const char* args : {"/regserver", "-RegServer", "regserver", "/UnregServer"}) {
        SCOPED_TRACE(args);
        ProgramRun run;
        ASSERT_TRUE(run.Start(folder_, args));
        bool sawWindow = false;
        bool ended = WaitUntil(
            [&] {
                sawWindow |= FindProcessWindow(run.ProcessId(), "VORLIN2_MAIN_WND_CLASS") != nullptr;
                return !run.Running();
            },
            20000);
        ASSERT_TRUE(ended);
        DWORD code = 99;
        run.WaitForExit(0ms, &code);
        EXPECT_EQ(code, 0u);
        EXPECT_FALSE(sawWindow);
    }
}

TEST_F(ProgramStart, NormalStartShowsTheTitledWindowAndClosesCleanly)
{
    ProgramRun run;
    ASSERT_TRUE(run.Start(folder_, "/unknown-token"));
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(hwnd) != FALSE; }, 10000));
    EXPECT_EQ(WindowTextW(hwnd), L"通信リソース制御ユーティリティー『Vorlin2』");
    SaveWindowPng(hwnd, BuildFolderFile("main_window.png"));

    // No port is open, so closing asks nothing; every thread ends with the process.
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(run.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ProgramStart, StartedByAutomationTheWindowIsHiddenAndTheCloseBoxRefuses)
{
    ProgramRun run;
    ASSERT_TRUE(run.Start(folder_, "Embedding more tokens"));
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    std::this_thread::sleep_for(300ms);  // let a wrongly shown window appear
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // The close box only reports (message 2019); the window stays.
    PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForMessageBox(run);
    ASSERT_TRUE(box) << "the close box should report why it refuses";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10000));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(run.Running());

    // The menu's exit command still closes.
    PostMessageA(hwnd, WM_COMMAND, 40180, 0);
    DWORD code = 99;
    ASSERT_TRUE(run.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}
