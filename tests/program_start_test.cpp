// The registration tokens: the real program registers or unregisters and ends at once, with
// code 0 and no window. (How tokens are read: the command-line test.)
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

TEST(ProgramStart, RegistrationTokensEndWithoutAWindow)
{
    TempFolder temp;
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    for (const char* args : {"/regserver", "-UnregServer"}) {
        testing_support::ProgramRun run;
        ASSERT_TRUE(run.Start(temp.Path(), args)) << GetLastError();
        bool sawWindow = false;
        ASSERT_TRUE(WaitUntil(
            [&] { return sawWindow |= run.FindWindowOfClass("VORLIN2_MAIN_WND_CLASS") != nullptr, !run.Running(); },
            20000));
        DWORD code = 99;
        EXPECT_TRUE(run.WaitForExit(0ms, &code) && code == 0 && !sawWindow) << args << ": " << code;
    }
}
