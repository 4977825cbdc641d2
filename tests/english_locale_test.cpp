// The program on an English system (the English Wine prefix, ANSI code page 1252), where a
// Shift_JIS text that reaches an A function of the system shows as other characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

TEST(EnglishSystem, TheProgramShowsItsTitleAndMessagesInJapanese)
{
    ASSERT_EQ(GetACP(), 1252u) << "this test proves nothing outside the English prefix";
    const std::wstring title = L"通信リソース制御ユーティリティー『Vorlin2』";
    const DWORD wait = 15000;
    TempFolder temp;
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    testing_support::ProgramRun run;
    ASSERT_TRUE(run.Start(temp.Path(), "Embedding"));
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(WindowTextW(hwnd), title);
    // Started by automation, the close box only says why it refuses, in a message box titled as the window.
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForThreadDialog(GetWindowThreadProcessId(hwnd, nullptr), title.c_str(), wait);
    ASSERT_TRUE(box) << "no message box titled in Japanese";
    EXPECT_EQ(MessageBoxText(box), L"オートメーションから起動されているため、このボタンでは閉じられません。\n"
                                   L"終了するにはメニューの「アプリケーションの終了」を使ってください。");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_TRUE(run.WaitForExit(std::chrono::milliseconds(wait)));
}
