// The toolbar's items and layouts in this process; the about box, help and the settings dialog
// in the real program under Wine, driven as a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/catalogue.h"
#include "base/text.h"
#include "resources/resource.h"
#include "settings/toolbar.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kAppTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

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

// What a control of another process says (GetWindowText does not ask it).
std::wstring Text(HWND parent, int id)
{
    wchar_t text[512] = L"";
    SendDlgItemMessageW(parent, id, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

class SettingsUi : public testing::Test {
protected:
    // The program with the settings file `ini` and two button files.
    void Start(const std::string& ini)
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        temp_.Write("Vorlin2.ini", ini);
        CreateDirectoryA(temp_.File("data").c_str(), nullptr);
        temp_.Write("data\\a_two.txt", "A,41\r\nB,42\r\n");
        temp_.Write("data\\b_five.txt", "A,41\r\nB,42\r\nC,43\r\nD,44\r\nE,45\r\n");
        ASSERT_TRUE(run_.Start(temp_.Path()));
        ASSERT_TRUE(hwnd_ = run_.WaitForMainWindow());
        // The main window shows before its children are all made.
        WaitUntil([&] { return (toolbar_ = GetDlgItem(hwnd_, IDC_TOOLBAR)) && GetDlgItem(hwnd_, IDC_LOG_VIEW); }, kWait);
    }
    bool Enabled(int command) { return SendMessageW(toolbar_, TB_ISBUTTONENABLED, command, 0) != 0; }
    // Opens the settings dialog; pages_[n] is the page of tab n.
    void OpenSettings()
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
    void Press(int id) { PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
    bool Closed(HWND window) { return WaitUntil([&] { return !IsWindow(window); }, kWait); }
    // OK on the page shown fails with a message box: its text, the box dismissed.
    std::wstring RefusedWith()
    {
        Press(IDC_SETTINGS_OK);
        HWND box = run_.WaitForDialogTitled(kAppTitle);
        if (!box) return L"(no message)";
        std::wstring text = Text(box, 0xFFFF);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        Closed(box);
        return text;
    }
    std::string Ini() { return ReadWholeFile(temp_.File("Vorlin2.ini")); }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
    HWND hwnd_ = nullptr, toolbar_ = nullptr, dialog_ = nullptr, pages_[3] = {};
};

} // namespace

TEST(ToolbarItems, EveryItemHasItsNameCommandImageAndText)
{
    SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
    LoadMessageCatalogue();
    struct Item { std::string name; int command; unsigned text; };
    std::vector<Item> items = {
        {"MENU.CONNECT", 40110, 1},        {"MENU.DISCONNECT", 40120, 3},  {"MENU.NEWTUNNEL", 40141, 4},
        {"MENU.ATTACH", 40142, 5},         {"MENU.EXIT", 40180, 7},        {"MENU.CLEAR", 40230, 9},
        {"MENU.SENDDATA", 40310, 13},      {"MENU.LOGCHANGE", 40410, 15},  {"MENU.LOG_STOP_RESTART", 40420, 16},
        {"MENU.LOG_FLUSH", 40430, 19},     {"MENU.SETTING", 40510, 20},    {"MENU.CUSTOMIZETOOLBAR", 40520, 21},
        {"MENU.HELP_TOP", 40610, 23},      {"MENU.HELP_FINDER", 40620, 24}, {"MENU.VERSION", 40640, 25},
        {"SEND.SINGLE.FILE", 42023, 26}};
    for (int n = 1; n <= 18; ++n) items.push_back({"SEND.SINGLE." + std::to_string(n), 42023 + n, 26u + n});
    // The customisation dialog offers the items after the separator in the table's order.
    for (int i = 0; i <= 34; ++i) {
        wchar_t text[256] = L"";
        NMTOOLBARW info{};
        info.hdr = {nullptr, IDC_TOOLBAR, static_cast<UINT>(TBN_GETBUTTONINFOW)};
        info.iItem = i, info.pszText = text, info.cchText = 256;
        LRESULT offered = OnToolbarNotify(nullptr, &info.hdr);
        if (i == 34) {
            EXPECT_FALSE(offered) << "34 items";
            break;
        }
        const Item& item = items[i];
        char expected[256];
        LookupMessage(item.text, expected, sizeof expected);
        EXPECT_TRUE(offered);
        EXPECT_EQ(ParseToolbarLayout(item.name), std::vector<int>{i + 1}) << item.name;
        const TBBUTTON& b = info.tbButton;
        EXPECT_EQ(std::vector<int>({b.idCommand, b.iBitmap, b.fsStyle, b.fsState}),
                  std::vector<int>({item.command, i, item.command == 42023 ? BTNS_DROPDOWN : BTNS_BUTTON, TBSTATE_ENABLED}))
            << item.name;
        EXPECT_EQ(text, SjisToWide(expected)) << item.name;
    }
    FreeMessageCatalogue();
    SetMessageFileForTesting(nullptr);
}

TEST(ToolbarLayout, NamesInAnyCaseUnknownOnesLeftOutAndTheTextStopsAtExactly1024Characters)
{
    EXPECT_EQ(ParseToolbarLayout("menu.connect,,Menu.Clear"), (std::vector<int>{1, 0, 6}));
    EXPECT_EQ(ParseToolbarLayout("MENU.CONNECT,MENU.NOSUCH,MENU.CLEAR"), (std::vector<int>{1, 6}));
    EXPECT_EQ(ParseToolbarLayout(std::string(1100, ',')).size(), 1028u);
    // Only unknown names: no toolbar (an empty layout is one separator: the session test).
    InitCommonControls();
    HWND parent = CreateWindowW(L"STATIC", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    AppSettings settings{};
    strcpy(settings.toolbarLayout, "MENU.NOSUCH");
    EXPECT_EQ(CreateToolbar(parent, settings), nullptr);
    DestroyWindow(parent);
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

TEST_F(SettingsUi, AboutBoxHelpWithoutAFileAndTheSettingsPages)
{
    ASSERT_NO_FATAL_FAILURE(Start(""));
    PostMessageW(hwnd_, WM_COMMAND, IDM_ABOUT, 0);
    HWND box = run_.WaitForDialogTitled(L"ﾊﾞｰｼﾞｮﾝ情報");
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowTextW(GetDlgItem(box, IDC_ABOUT_TITLE)), L"通信リソース制御ユーティリティー『Vorlin2.1.7』");
    EXPECT_TRUE(SaveScreenshot(box, "about_box"));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(Closed(box));
    // No help file: the user is asked for one; cancelled, the window answers at once.
    PostMessageW(hwnd_, WM_COMMAND, IDM_HELP_CONTENTS, 0);
    HWND chooser = run_.WaitForDialogTitled(L"HELPファイルの検索");
    ASSERT_TRUE(chooser);
    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(Closed(chooser));
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(hwnd_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result));

    // Settings: the pages turn with Page Down, and OK on the preview page saves only the preview.
    ASSERT_NO_FATAL_FAILURE(OpenSettings());
    HWND log = pages_[0];
    EXPECT_TRUE(IsWindowVisible(log));
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_log_page"));
    // The size limit's short form follows the typing; leaving a field brings its value into range.
    SetDlgItemTextW(log, IDC_LOG_SIZE, L"70000");
    EXPECT_NE(Text(log, IDC_LOG_SIZE_TEXT).find(L"68"), std::wstring::npos) << "70000 bytes in short";
    auto leave = [&](int id, const wchar_t* typed) {
        SetDlgItemTextW(log, id, typed);
        SendMessageW(log, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(log, id)));
        return Text(log, id);
    };
    EXPECT_EQ(leave(IDC_LOG_SIZE, L"65535"), L"65536");
    EXPECT_EQ(leave(IDC_LOG_HEX_BYTES, L"0"), L"1");
    EXPECT_EQ(leave(IDC_LOG_ASCII_BYTES, L"65536"), L"65535");
    SetDlgItemTextW(log, IDC_LOG_DIRECTORY, L"changed_folder");
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_preview_page"));
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_TRUE(SaveScreenshot(dialog_, "settings_other_page"));
    ASSERT_NO_FATAL_FAILURE(PageDown());
    EXPECT_EQ(Tab(), 0) << "Page Down on the last tab selects the first";
    ASSERT_NO_FATAL_FAILURE(PageDown());
    Press(IDC_SETTINGS_OK);
    ASSERT_TRUE(Closed(dialog_));
    std::string ini = Ini();
    EXPECT_NE(ini.find("WHEEL_MULTIPLIER=3"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[LOG]"), std::string::npos) << ini;
    // Nor was the folder of the other page applied: the log thread still has its own.
    ASSERT_NO_FATAL_FAILURE(OpenSettings());
    EXPECT_EQ(Text(pages_[0], IDC_LOG_DIRECTORY).find(L"changed_folder"), std::wstring::npos);

    // Preview values out of range are refused; applying leaves the file alone.
    ASSERT_NO_FATAL_FAILURE(PageDown());
    HWND view = pages_[1];
    SetDlgItemTextW(view, IDC_VIEW_RECORD_COUNT, L"99");
    SetDlgItemTextW(view, IDC_VIEW_WHEEL, L"0");
    EXPECT_EQ(RefusedWith(), L"表示するデータの最大数は 100 以上にしてください。") << "the count is checked first";
    EXPECT_EQ(Text(view, IDC_VIEW_RECORD_COUNT), L"100");
    for (const wchar_t* wheel : {L"0", L"32"}) {
        SetDlgItemTextW(view, IDC_VIEW_WHEEL, wheel);
        EXPECT_EQ(RefusedWith(), L"ホイールの倍率は 1 から 31 までの値にしてください。") << wheel;
        EXPECT_EQ(Text(view, IDC_VIEW_WHEEL), L"3");
    }
    ASSERT_TRUE(IsWindowVisible(dialog_)) << "a refused value keeps the dialog open";
    // Applying without saving: the view takes the values, the file stays as it was.
    std::string before = Ini();
    SetDlgItemTextW(view, IDC_VIEW_WHEEL, L"31");
    Press(IDC_SETTINGS_APPLY);
    ASSERT_TRUE(Closed(dialog_));
    EXPECT_EQ(Ini(), before);
    ASSERT_NO_FATAL_FAILURE(OpenSettings());  // the page reads the view's own settings
    EXPECT_EQ(Text(pages_[1], IDC_VIEW_WHEEL), L"31");
    EXPECT_EQ(Text(pages_[1], IDC_VIEW_RECORD_COUNT), L"100");
    PostMessageW(dialog_, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(Closed(dialog_));
}

TEST_F(SettingsUi, AButtonFileSendsAndChangedLogSettingsTakeEffectForTheNextLogFile)
{
    ASSERT_NO_FATAL_FAILURE(Start("[APPLICATION]\r\nTOOLBAR=MENU.CONNECT,SEND.SINGLE.FILE,SEND.SINGLE.1,SEND.SINGLE.2,SEND.SINGLE.3,"
                                  "SEND.SINGLE.4,SEND.SINGLE.5,SEND.SINGLE.6,SEND.SINGLE.18\r\n[LOG]\r\nSEPARATOR_CHAR=2C\r\n"));
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
    EXPECT_TRUE(SaveScreenshot(hwnd_, "toolbar")) << "the main window with its toolbar";
    // Pressing the third button sends its entry.
    r = ButtonRect(toolbar_, IDM_QUICK_SEND_FIRST + 2);
    Click(toolbar_, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    EXPECT_EQ(peer.Read(1, kWait), "C");
    // The log settings, changed while connected: the separators are space, tab, comma and any.
    ASSERT_NO_FATAL_FAILURE(OpenSettings());
    EXPECT_EQ(SendDlgItemMessageW(pages_[0], IDC_LOG_SEPARATOR, CB_GETCURSEL, 0, 0), 2) << "the comma";
    SendDlgItemMessageW(pages_[0], IDC_LOG_SEPARATOR, CB_SETCURSEL, 1, 0);
    std::wstring folder(temp_.Path().begin(), temp_.Path().end());
    SetDlgItemTextW(pages_[0], IDC_LOG_DIRECTORY, (folder + L"\\newlog").c_str());
    Press(IDC_SETTINGS_OK);
    ASSERT_TRUE(Closed(dialog_));
    EXPECT_NE(Ini().find("SEPARATOR_CHAR=09\r\n"), std::string::npos) << "the tab: " << Ini();
    EXPECT_NE(Ini().find("DIRECTORY=newlog\r\n"), std::string::npos) << "saved beneath the program's folder: " << Ini();
    PostMessageW(hwnd_, WM_COMMAND, IDM_DISCONNECT, 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_).starts_with(L"未接続"); }, kWait));
    ASSERT_TRUE(run_.Connect(hwnd_, VORLIN_PORT));
    ASSERT_TRUE(peer.Write("xyz"));
    // Written with the tab between the bytes, into the new folder only.
    std::string moved = temp_.File("newlog\\Vorlin2_" VORLIN_PORT ".log");
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(moved).find("78\t79\t7a") != std::string::npos; }, kWait));
    EXPECT_EQ(ReadWholeFile(temp_.File("log\\Vorlin2_" VORLIN_PORT ".log")).find("78\t79"), std::string::npos);
}
