// The program as a user installs it: unpacked from the zip into an empty folder
// (scripts/check-package), started from there, and closed again.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

TEST(Package, UnpackedProgramStartsAndEndsCleanly)
{
    const char* unpacked = getenv("VORLIN_UNPACKED");
    ASSERT_TRUE(unpacked) << "run by scripts/check-package";
    const std::string folder = unpacked;
    for (const char* file : {"Vorlin2.exe", "Vorlin2.ini", "Vorlin2.msg", "README_ja.txt", "data\\sample.txt",
                             "data\\sample.dat"})
        EXPECT_NE(GetFileAttributesA((folder + "\\" + file).c_str()), INVALID_FILE_ATTRIBUTES) << file;
    // The guide is Shift_JIS with CRLF, as Notepad on a Japanese Windows reads it (narrow
    // literals here are Shift_JIS too).
    const std::string guide = ReadWholeFile(folder + "\\README_ja.txt");
    EXPECT_NE(guide.find("1. インストール\r\n"), std::string::npos);
    EXPECT_NE(guide.find("Vorlin2.exe /RegServer"), std::string::npos);

    testing_support::ProgramRun run;
    ASSERT_TRUE(run.Start(folder)) << GetLastError();
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(WindowTextW(hwnd), L"通信リソース制御ユーティリティー『Vorlin2』");
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(run.WaitForExit(20s, &code));
    EXPECT_EQ(code, 0u);
}
