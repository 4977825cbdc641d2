// The settings dialog of the real program under Wine, driven as a user
// would: its pages, keys, validation, applying with and without saving, and
// a log folder that takes effect on a virtual cable.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kAppTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

class SettingsDialog : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        temp_.Write("Vorlin2.ini", "[APPLICATION]\r\n");
        ASSERT_TRUE(run_.Start(temp_.Path()));
        ASSERT_TRUE(hwnd_ = run_.WaitForMainWindow());
    }
    // Opens the dialog; pages_[n] is the page of tab n.
    void Open()
    {
        PostMessageW(hwnd_, WM_COMMAND, IDM_SETTINGS, 0);
        ASSERT_TRUE(dialog_ = run_.WaitForDialogTitled(L"アプリケーションの設定"));
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(pages_[i] = GetDlgItem(dialog_, IDC_SETTINGS_PAGE_FIRST + i));
    }
    int Tab() { return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_SETTINGS_TAB, TCM_GETCURSEL, 0, 0)); }
    void PageDown()
    {
        int next = (Tab() + 1) % 3;
        PostMessageW(dialog_, WM_KEYDOWN, VK_NEXT, 0);
        ASSERT_TRUE(WaitUntil([&] { return Tab() == next && IsWindowVisible(pages_[next]); }, kWait));
    }
    void Click(int id) { PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
    bool Closed() { return WaitUntil([&] { return !IsWindow(dialog_); }, kWait); }
    // What an edit of a page says once the page has handled everything sent so far.
    // (GetWindowText does not ask a control of another process.)
    std::wstring Text(HWND page, int id)
    {
        wchar_t text[512] = L"";
        SendDlgItemMessageW(page, id, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        return text;
    }
    void SetText(HWND page, int id, const wchar_t* text) { SetDlgItemTextW(page, id, text); }
    // The edit loses the focus, as when the user moves on.
    void Leave(HWND page, int id)
    {
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
    }
    // OK on the page shown fails with a message box: its text, the box dismissed.
    std::wstring RefusedWith()
    {
        Click(IDC_SETTINGS_OK);
        HWND box = run_.WaitForDialogTitled(kAppTitle);
        if (!box) return L"(no message)";
        std::wstring text = Text(box, 0xFFFF);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(box); }, kWait);
        return text;
    }
    std::string Ini() { return ReadWholeFile(temp_.File("Vorlin2.ini")); }

    TempFolder temp_;
    testing_support::ProgramRun run_;
    HWND hwnd_ = nullptr, dialog_ = nullptr, pages_[3] = {};
};

} // namespace

TEST_F(SettingsDialog, PagesTurnWithPageDownAndOkOnThePreviewSavesOnlyThePreview)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    HWND log = pages_[0];
    EXPECT_TRUE(IsWindowVisible(log));
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_log_page"));
    // The size limit: its short form follows the typing; leaving a small value makes it the least.
    SetText(log, IDC_LOG_SIZE, L"70000");
    EXPECT_NE(Text(log, IDC_LOG_SIZE_TEXT).find(L"68"), std::wstring::npos) << "70000 bytes in short";
    SetText(log, IDC_LOG_SIZE, L"1000");
    Leave(log, IDC_LOG_SIZE);
    EXPECT_EQ(Text(log, IDC_LOG_SIZE), L"65536");
    SetText(log, IDC_LOG_DIRECTORY, L"changed_folder");
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_preview_page"));
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_other_page"));
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_EQ(Tab(), 0) << "Page Down on the last tab selects the first";
    ASSERT_NO_FATAL_FAILURE(PageDown());
    Click(IDC_SETTINGS_OK);
    ASSERT_TRUE(Closed());
    std::string ini = Ini();
    EXPECT_NE(ini.find("[PREVIEW]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("WHEEL_MULTIPLIER=3"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[LOG]"), std::string::npos) << ini;
    // Nor was the folder of the other page applied: the log thread still has its own.
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Text(pages_[0], IDC_LOG_DIRECTORY).find(L"changed_folder"), std::wstring::npos);
    Click(IDC_SETTINGS_CANCEL);
    EXPECT_TRUE(Closed());
}

TEST_F(SettingsDialog, PreviewValuesOutOfRangeAreRefusedAndApplyingLeavesTheFileAlone)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(PageDown());
    HWND view = pages_[1];
    SetText(view, IDC_VIEW_RECORD_COUNT, L"50");
    EXPECT_EQ(RefusedWith(), L"表示するデータの最大数は 100 以上にしてください。");
    EXPECT_EQ(Text(view, IDC_VIEW_RECORD_COUNT), L"100");
    SetText(view, IDC_VIEW_RECORD_COUNT, L"99");
    SetText(view, IDC_VIEW_WHEEL, L"4");
    EXPECT_EQ(RefusedWith(), L"表示するデータの最大数は 100 以上にしてください。") << "99 is below the limit too";
    for (const wchar_t* wheel : {L"0", L"32"}) {
        SetText(view, IDC_VIEW_WHEEL, wheel);
        EXPECT_EQ(RefusedWith(), L"ホイールの倍率は 1 から 31 までの値にしてください。") << wheel;
        EXPECT_EQ(Text(view, IDC_VIEW_WHEEL), L"3");
    }
    ASSERT_TRUE(IsWindowVisible(dialog_)) << "a refused value keeps the dialog open";
    // Applying without saving: the view takes the values, the file stays as it was.
    std::string before = Ini();
    SetText(view, IDC_VIEW_RECORD_COUNT, L"100");
    SetText(view, IDC_VIEW_WHEEL, L"31");
    Click(IDC_SETTINGS_APPLY);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(Ini(), before);
    ASSERT_NO_FATAL_FAILURE(Open());  // the page reads the view's own settings
    EXPECT_EQ(Text(pages_[1], IDC_VIEW_WHEEL), L"31");
    EXPECT_EQ(Text(pages_[1], IDC_VIEW_RECORD_COUNT), L"100");
    PostMessageW(dialog_, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(Closed());
}

TEST_F(SettingsDialog, ChangedLogFolderTakesEffectForTheNextLogFile)
{
    ASSERT_TRUE(run_.Connect(hwnd_, VORLIN_PORT));
    ASSERT_NO_FATAL_FAILURE(Open());
    std::wstring folder(temp_.Path().begin(), temp_.Path().end());
    SetText(pages_[0], IDC_LOG_DIRECTORY, (folder + L"\\newlog").c_str());
    Click(IDC_SETTINGS_OK);
    ASSERT_TRUE(Closed());
    EXPECT_NE(Ini().find("DIRECTORY=newlog\r\n"), std::string::npos) << "saved beneath the program's folder: " << Ini();
    PostMessageW(hwnd_, WM_COMMAND, IDM_DISCONNECT, 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_).starts_with(L"未接続"); }, kWait));
    ASSERT_TRUE(run_.Connect(hwnd_, VORLIN_PORT));
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    ASSERT_TRUE(peer.Write("xyz"));
    std::string moved = temp_.File("newlog\\Vorlin2_" VORLIN_PORT ".log");
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(moved).find("78 79 7a") != std::string::npos; }, kWait));
    EXPECT_EQ(ReadWholeFile(temp_.File("log\\Vorlin2_" VORLIN_PORT ".log")).find("78 79 7a"), std::string::npos);
}
