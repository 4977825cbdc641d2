// The program on an English system: this test runs in the English Wine prefix
// (ANSI code page 1252), where a Shift_JIS text that reaches an A function of
// the system shows as other characters. Every text checked here must read and
// show as its Japanese self.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

} // namespace

TEST(EnglishSystem, TheProgramShowsItsTitleDialogAndMessagesInJapanese)
{
    ASSERT_EQ(GetACP(), 1252u) << "this test proves nothing outside the English prefix";
    TempFolder temp;
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    testing_support::ProgramRun run;
    ASSERT_TRUE(run.Start(temp.Path()));
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(WindowTextW(hwnd), kTitle);
    DWORD ui = GetWindowThreadProcessId(hwnd, nullptr);
    PostMessageW(hwnd, WM_KEYDOWN, VK_F5, 0);  // through the accelerator, as the key does
    HWND dialog = WaitForThreadDialog(ui, L"デバイスの設定＆接続", kWait);
    ASSERT_TRUE(dialog) << "F5 shows no connect dialog";
    EXPECT_EQ(WindowTextW(GetDlgItem(dialog, IDC_CONNECT_OK)), L"接続(&C)");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWait));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(run.WaitForExit(std::chrono::milliseconds(kWait)));

    // Started by automation, the close box only says why it refuses.
    ASSERT_TRUE(run.Start(temp.Path(), "Embedding"));
    ASSERT_TRUE(hwnd = run.WaitForMainWindow());
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForThreadDialog(GetWindowThreadProcessId(hwnd, nullptr), kTitle.c_str(), kWait);
    ASSERT_TRUE(box) << "no message box titled in Japanese";
    EXPECT_EQ(MessageBoxText(box), L"オートメーションから起動されているため、このボタンでは閉じられません。\n"
                                   L"終了するにはメニューの「アプリケーションの終了」を使ってください。");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_TRUE(run.WaitForExit(std::chrono::milliseconds(kWait)));
}
