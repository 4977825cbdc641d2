// The toolbar, the about box and help of the real program under Wine,
// driven as a user would; the quick-send buttons on a virtual cable.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/resource.h"
#include "settings/toolbar.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

namespace {

constexpr DWORD kWait = 15000;

// A toolbar button's rectangle; the toolbar writes it into our block in its process.
RECT ButtonRect(HWND toolbar, int command)
{
    RECT r{};
    DWORD pid = 0;
    GetWindowThreadProcessId(toolbar, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return r;
    void* remote = VirtualAllocEx(process, nullptr, sizeof r, MEM_COMMIT, PAGE_READWRITE);
    if (remote && SendMessageW(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(remote)))
        ReadProcessMemory(process, remote, &r, sizeof r, nullptr);
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return r;
}

// A click as the mouse makes it, at a point of the window.
void Click(HWND hwnd, int x, int y)
{
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

class Toolbar : public testing::Test {
protected:
    void Start(const std::string& layout, bool withToolbar = true)
    {
        run_.Kill();
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        temp_.Write("Vorlin2.ini", "[APPLICATION]\r\nSHOW_TOOLBAR=" + std::string(withToolbar ? "1" : "0") +
                                       "\r\nTOOLBAR=" + layout + "\r\n");
        CreateDirectoryA(temp_.File("data").c_str(), nullptr);
        temp_.Write("data\\a_two.txt", "A,41\r\nB,42\r\n");
        temp_.Write("data\\b_five.txt", "A,41\r\nB,42\r\nC,43\r\nD,44\r\nE,45\r\n");
        ASSERT_TRUE(run_.Start(temp_.Path()));
        ASSERT_TRUE(hwnd_ = run_.WaitForMainWindow());
        // The main window shows before its children are all made.
        WaitUntil([&] { return (toolbar_ = GetDlgItem(hwnd_, IDC_TOOLBAR)) && GetDlgItem(hwnd_, IDC_LOG_VIEW); }, kWait);
    }
    int Count() { return static_cast<int>(SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0)); }
    int IndexOf(int command) { return static_cast<int>(SendMessageW(toolbar_, TB_COMMANDTOINDEX, command, 0)); }
    bool Enabled(int command) { return SendMessageW(toolbar_, TB_ISBUTTONENABLED, command, 0) != 0; }
    // Another process's child window reads black under Wine: the toolbar is cut out of the
    // main window's picture.
    bool SaveToolbarPicture()
    {
        RECT window, bar;
        GetWindowRect(hwnd_, &window);
        GetWindowRect(toolbar_, &bar);
        WindowPicture whole = CaptureWindow(hwnd_), part;
        part.width = bar.right - bar.left, part.height = bar.bottom - bar.top;
        for (int y = bar.top - window.top; y < bar.bottom - window.top; ++y) {
            auto row = whole.rgb.begin() + (static_cast<size_t>(y) * whole.width + (bar.left - window.left)) * 3;
            part.rgb.insert(part.rgb.end(), row, row + part.width * 3);
        }
        return SavePicture(part, "toolbar") && DistinctColours(part) >= 8;
    }
    std::string Ini() { return ReadWholeFile(temp_.File("Vorlin2.ini")); }
    TempFolder temp_;
    testing_support::ProgramRun run_;
    HWND hwnd_ = nullptr, toolbar_ = nullptr;
};

} // namespace

TEST_F(Toolbar, LayoutTextsBuildTheirButtons)
{
    // Names in any case; an empty name is a separator.
    ASSERT_NO_FATAL_FAILURE(Start("menu.connect,,Menu.Clear"));
    ASSERT_TRUE(toolbar_);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(IndexOf(IDM_CONNECT), 0);
    EXPECT_EQ(IndexOf(IDM_CLEAR), 2);
    // A name the table does not know is left out: its neighbours sit side by side.
    ASSERT_NO_FATAL_FAILURE(Start("MENU.CONNECT,MENU.NOSUCH,MENU.CLEAR"));
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(IndexOf(IDM_CLEAR), 1);
    // An empty layout is one separator.
    ASSERT_NO_FATAL_FAILURE(Start(""));
    ASSERT_TRUE(toolbar_);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(IndexOf(IDM_CONNECT), -1);
}

TEST_F(Toolbar, CustomisingAwayEveryButtonSavesAnEmptyLayoutAndResetRestoresTheBuiltIn)
{
    ASSERT_NO_FATAL_FAILURE(Start("MENU.CONNECT,MENU.DISCONNECT,,MENU.VERSION"));
    HWND dialog = nullptr, list = nullptr, remove = nullptr, reset = nullptr;
    // The system's dialog: the toolbar's list, its remove and reset buttons.
    auto open = [&] {
        PostMessageW(hwnd_, WM_COMMAND, IDM_CUSTOMIZE_TOOLBAR, 0);
        dialog = run_.WaitForDialog();
        list = GetDlgItem(dialog, 203), remove = GetDlgItem(dialog, 204), reset = GetDlgItem(dialog, 202);
        return dialog && list && remove && reset;
    };
    auto close = [&] {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return WaitUntil([&] { return !IsWindow(dialog); }, kWait);
    };
    auto removeAll = [&] {
        for (int before = Count(); before > 0; before = Count()) {
            SendMessageW(list, LB_SETCURSEL, 0, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(203, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(204, BN_CLICKED), reinterpret_cast<LPARAM>(remove));
            if (!WaitUntil([&] { return Count() < before; }, kWait)) return false;
        }
        return true;
    };
    ASSERT_TRUE(open());
    EXPECT_TRUE(SaveScreenshot(dialog, "toolbar_customise"));
    // Reset: the built-in layout, with the states of a closed port applied again.
    PostMessageW(reset, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return Count() == 14; }, kWait));
    EXPECT_EQ(IndexOf(IDM_CLEAR), 3);
    EXPECT_EQ(IndexOf(IDM_ABOUT), 13);
    EXPECT_TRUE(Enabled(IDM_CONNECT));
    EXPECT_FALSE(Enabled(IDM_DISCONNECT));
    // Wine's dialog does not refill its lists after a reset: open it again to remove.
    ASSERT_TRUE(close());
    ASSERT_TRUE(open());
    ASSERT_TRUE(removeAll());
    ASSERT_TRUE(close());
    EXPECT_TRUE(WaitUntil([&] { return Ini().find("TOOLBAR=\r\n") != std::string::npos; }, kWait)) << Ini();
}

TEST_F(Toolbar, ButtonFileFromTheDropDownEnablesItsEntriesAndAButtonSendsOne)
{
    ASSERT_NO_FATAL_FAILURE(Start("MENU.CONNECT,SEND.SINGLE.FILE,SEND.SINGLE.1,SEND.SINGLE.2,SEND.SINGLE.3,"
                                  "SEND.SINGLE.4,SEND.SINGLE.5,SEND.SINGLE.6,SEND.SINGLE.18"));
    EXPECT_FALSE(Enabled(IDM_QUICK_SEND_FIRST)) << "no port, no sending";
    ASSERT_TRUE(run_.Connect(hwnd_, VORLIN_PORT));
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    // The first file (two entries) is current after connecting.
    ASSERT_TRUE(WaitUntil([&] { return Enabled(IDM_QUICK_SEND_FIRST + 1); }, kWait));
    EXPECT_FALSE(Enabled(IDM_QUICK_SEND_FIRST + 2));
    // The arrow of the file button lists the files; the second has five entries.
    RECT r = ButtonRect(toolbar_, IDM_RESCAN_FORMS);
    ASSERT_GT(r.right, r.left);
    Click(toolbar_, r.right - 3, (r.top + r.bottom) / 2);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = run_.FindWindowOfClass("#32768")) && IsWindowVisible(menu); }, kWait));
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageW(menu, WM_KEYDOWN, key, 0);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(IDM_QUICK_SEND_FIRST + 4); }, kWait));
    EXPECT_FALSE(Enabled(IDM_QUICK_SEND_FIRST + 5));
    EXPECT_FALSE(Enabled(IDM_QUICK_SEND_LAST));
    EXPECT_TRUE(SaveToolbarPicture());
    // Pressing the third button sends its entry.
    r = ButtonRect(toolbar_, IDM_QUICK_SEND_FIRST + 2);
    Click(toolbar_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    EXPECT_EQ(peer.Read(1, kWait), "C");
}

TEST_F(Toolbar, AboutBoxShowsTheVersion)
{
    ASSERT_NO_FATAL_FAILURE(Start("MENU.VERSION"));
    PostMessageW(hwnd_, WM_COMMAND, IDM_ABOUT, 0);
    HWND box = run_.WaitForDialogTitled(L"ﾊﾞｰｼﾞｮﾝ情報");
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowTextW(GetDlgItem(box, IDC_ABOUT_TITLE)), L"通信リソース制御ユーティリティー『Vorlin2.1.7』");
    EXPECT_TRUE(SaveScreenshot(box, "about_box"));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWait));
}

TEST_F(Toolbar, HelpWithoutAHelpFileAsksForOneAndNeverHangs)
{
    ASSERT_NO_FATAL_FAILURE(Start("MENU.HELP_TOP"));
    PostMessageW(hwnd_, WM_COMMAND, IDM_HELP_CONTENTS, 0);
    HWND chooser = run_.WaitForDialogTitled(L"HELPファイルの検索");
    ASSERT_TRUE(chooser);
    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, kWait));
    // Help without a file goes nowhere: the window answers at once (no viewer is waited for).
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(hwnd_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result));
}

TEST(ToolbarLayout, TextStopsAtExactly1024Characters)
{
    // 63 names of 13 characters and 13 of 10, with their commas: 1,024 characters.
    std::vector<int> commands(63, IDM_HELP_CONTENTS);
    commands.insert(commands.end(), 13, IDM_CLEAR);
    std::string text;
    EXPECT_TRUE(MakeToolbarLayout(commands, text));
    EXPECT_EQ(text.size(), 1024u);
    std::string full = text;
    commands.push_back(IDM_CLEAR);
    EXPECT_FALSE(MakeToolbarLayout(commands, text)) << "one more name is left out";
    EXPECT_EQ(text, full);
}
