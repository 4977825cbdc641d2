// The real program started as a user or the system starts it: command-line
// tokens, the window it shows, and a clean end.
#include <gtest/gtest.h>
#include <windows.h>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

namespace {

class ProgramStart : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testing_support::InstallProgram(temp_.Path())); }
    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
};

} // namespace

TEST_F(ProgramStart, RegistrationTokensEndWithoutAWindow)
{
    for (const char* args : {"/regserver", "-UnregServer"}) {
        SCOPED_TRACE(args);
        ASSERT_TRUE(run_.Start(temp_.Path(), args)) << GetLastError();
        bool sawWindow = false;
        ASSERT_TRUE(WaitUntil(
            [&] { return sawWindow |= run_.FindWindowOfClass("VORLIN2_MAIN_WND_CLASS") != nullptr, !run_.Running(); },
            20000));
        DWORD code = 99;
        EXPECT_TRUE(run_.WaitForExit(0ms, &code) && code == 0 && !sawWindow) << code;
    }
}

TEST_F(ProgramStart, NormalStartShowsTheTitledWindowAndClosesCleanly)
{
    ASSERT_TRUE(run_.Start(temp_.Path(), "/unknown-token")) << GetLastError();
    HWND hwnd = run_.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(hwnd) != FALSE; }, 10000));
    EXPECT_EQ(WindowTextW(hwnd), L"通信リソース制御ユーティリティー『Vorlin2』");
    // No port is open, so closing asks nothing; every thread ends with the process.
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(run_.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ProgramStart, StartedByAutomationTheWindowIsHiddenAndTheCloseBoxRefuses)
{
    ASSERT_TRUE(run_.Start(temp_.Path(), "Embedding more tokens")) << GetLastError();
    HWND hwnd = run_.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    // The close box only reports (message 2019); the window stays. The report comes from the
    // message loop, so start-up, which would have shown the window, is over by then.
    PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = run_.WaitForDialog();
    ASSERT_TRUE(box) << "the close box should report why it refuses";
    EXPECT_FALSE(IsWindowVisible(hwnd));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10000));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(run_.Running());
    // The menu's exit command still closes.
    PostMessageA(hwnd, WM_COMMAND, IDM_EXIT, 0);
    DWORD code = 99;
    ASSERT_TRUE(run_.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}
