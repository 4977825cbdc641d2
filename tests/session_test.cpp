// The main window in this process (menus of another process cannot be read under Wine) on COM15.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/port_names.h"
#include "settings/settings_store.h"
#include "shell/messages.h"
#include "shell/session.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

std::wstring MenuText(HWND hwnd, UINT id)
{
    wchar_t text[256] = {};
    GetMenuStringW(GetMenu(hwnd), id, text, 256, MF_BYCOMMAND);
    return text;
}

bool Enabled(HWND hwnd, UINT id) { return !(GetMenuState(GetMenu(hwnd), id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); }

// The menu texts, and disconnect, send, log stop, flush and the panel enabled exactly while open.
void ExpectMenu(HWND hwnd, bool open, bool logging = true)
{
    EXPECT_EQ(MenuText(hwnd, IDM_CONNECT), open ? L"デバイスの設定(&C)...\tF5" : L"接続(&C)...\tF5");
    EXPECT_EQ(MenuText(hwnd, IDM_LOG_FILE), open ? L"ログファイルの変更(&O)..." : L"ログファイルの設定(&O)...");
    EXPECT_EQ(MenuText(hwnd, IDM_LOG_STOP), logging ? L"ログの停止(&S)" : L"ログの再開(&R)");
    for (UINT id : {IDM_DISCONNECT, IDM_SEND_DATA, IDM_LOG_STOP, IDM_LOG_FLUSH}) EXPECT_EQ(Enabled(hwnd, id), open) << id;
    EXPECT_TRUE(Enabled(hwnd, IDM_CONNECT) && Enabled(hwnd, IDM_LOG_FILE));
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(hwnd, IDC_MODEM_PANEL)) != FALSE, open);
}

std::wstring StatusText(HWND hwnd)
{
    wchar_t text[512] = {};
    SendMessageW(GetDlgItem(hwnd, IDC_STATUS_BAR), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring Message(unsigned number)
{
    char text[512];
    LookupMessage(number, text, sizeof text);
    return SjisToWide(text);
}

std::vector<std::string> g_arrivals;
WNDPROC g_viewProc = nullptr;

LRESULT CALLBACK WatchView(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (auto* r = msg == WM_VORLIN_RECORD ? reinterpret_cast<TrafficRecord*>(lParam) : nullptr)
        g_arrivals.push_back("view:" + std::to_string(r->kind) + ":" + std::string(r->data, r->data + r->length));
    return CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
}

class SessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        logFolder_ = folder_.Path() + "\\log";
        SetIniFileForTesting(folder_.Write("Vorlin2.ini", "[LOG]\r\nDIRECTORY=" + logFolder_ + "\r\n").c_str());
        SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
        LoadMessageCatalogue();
        StartLogThread(nullptr);
        host_ = std::make_unique<testing_support::MainWindowHost>();
        ASSERT_TRUE(hwnd_ = host_->Window());
    }

    void TearDown() override
    {
        if (IsWindow(hwnd_)) GetSession().Disconnect();
        host_.reset();
        StopLogThread();
        FreeMessageCatalogue();
        SetIniFileForTesting(nullptr);
        SetMessageFileForTesting(nullptr);
    }

    // As the connect dialog and automation do: through the main window.
    LRESULT Connect()
    {
        DeviceSettings settings{};
        strcpy(settings.portName, "COM15");
        LoadPortSettings(settings);
        return SendMessageW(hwnd_, WM_VORLIN_CONNECT, 0, reinterpret_cast<LPARAM>(&settings));
    }
    // The user's F5 on an open port: the dialog, confirmed as it stands.
    void ReconfigureByDialog()
    {
        DWORD thread = GetCurrentThreadId();
        UserThread user([&] {
            if (HWND dialog = WaitForThreadDialog(thread, L"デバイスの設定変更", 15000)) ClickDialogButton(dialog, IDC_CONNECT_OK);
        });
        SendMessageW(hwnd_, WM_COMMAND, IDM_CONNECT, 0);
        user.join();
    }

    TempFolder folder_;
    std::string logFolder_;
    std::unique_ptr<testing_support::MainWindowHost> host_;
    HWND hwnd_ = nullptr;
};

} // namespace

TEST_F(SessionTest, TitlesAndMenusFollowTheConnectionAndTheLogAndFailuresLeaveAConsistentState)
{
    DestroyWindow(GetDlgItem(hwnd_, IDC_TOOLBAR));  // the log item works without a toolbar
    // An engine that cannot start: the connect fails whole, nothing changed, the port is free.
    GetSession().FailNextEngineStartForTest(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Connect(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GetSession().Engine().port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WindowTextW(hwnd_), kTitle);
    ExpectMenu(hwnd_, false);

    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(WindowTextW(hwnd_), L"COM15 - " + kTitle);
    ExpectMenu(hwnd_, true);
    EXPECT_EQ(SendMessageW(hwnd_, WM_VORLIN_IS_CONNECTED, 0, 0), -1);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(logFolder_ + "\\Vorlin2_COM15.log"); }, 5000))
        << "the automatic log name in the log folder";
    EXPECT_EQ(Connect(), ERROR_ALREADY_INITIALIZED) << "a second open would lose the first handle";

    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_FALSE(GetSession().IsLogging());
    ExpectMenu(hwnd_, true, false);
    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    ExpectMenu(hwnd_, true);

    EXPECT_EQ(SendMessageW(hwnd_, WM_VORLIN_DISCONNECT, 0, 0), 0);
    EXPECT_EQ(WindowTextW(hwnd_), L"未接続 - " + kTitle);
    ExpectMenu(hwnd_, false);
    EXPECT_EQ(GetSession().Engine().port, INVALID_HANDLE_VALUE);

    // On reconfiguration the failure is shown to the user; one that works runs the engine again.
    ASSERT_EQ(Connect(), 0);
    GetSession().FailNextEngineStartForTest(ERROR_NOT_ENOUGH_MEMORY);
    ReconfigureByDialog();
    char text[512];
    SystemErrorText(ERROR_NOT_ENOUGH_MEMORY, text, sizeof text);
    EXPECT_EQ(StatusText(hwnd_), SjisToWide(text));
    ReconfigureByDialog();
    EXPECT_NE(SendMessageW(hwnd_, WM_VORLIN_LINE_FUNCTION, 0, SETDTR), 0);
}

TEST_F(SessionTest, AChosenLogFileIsStoredAndOpenedAtTheNextConnect)
{
    std::string chosen = folder_.Path() + "\\選んだ.log";
    DWORD thread = GetCurrentThreadId();
    UserThread user([&] {
        HWND dialog = WaitForThreadDialog(thread, L"ログファイルの設定", 15000);
        if (!dialog) return;
        // The file name box: cmb13, or edt1 in older dialogs.
        std::wstring wide = SjisToWide(chosen);
        if (!SetDlgItemTextW(dialog, 0x47C, wide.c_str())) SetDlgItemTextW(dialog, 0x480, wide.c_str());
        ClickDialogButton(dialog, IDOK);
    });
    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_FILE, 0);
    user.join();

    EXPECT_STREQ(GetAppSettings().logFilePath, chosen.c_str());
    EXPECT_FALSE(GetAppSettings().flags & APP_AUTO_LOG_NAME) << "the automatic name is turned off";
    EXPECT_FALSE(FileExists(chosen)) << "nothing is opened without a port";
    ASSERT_EQ(Connect(), 0);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(chosen); }, 5000));
    EXPECT_FALSE(FileExists(logFolder_ + "\\Vorlin2_COM15.log"));

    // Started by automation the close box refuses (2019); exit still closes, the status-bar question counting as OK.
    GetAppSettings().flags |= APP_STARTED_BY_AUTOMATION;
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::wstring refusal = Message(2019);
    EXPECT_TRUE(StatusText(hwnd_).starts_with(refusal.substr(0, refusal.find(L"\\n")))) << "its first line";
    ASSERT_TRUE(IsWindow(hwnd_));
    SendMessageW(hwnd_, WM_COMMAND, IDM_EXIT, 0);
    GetAppSettings().flags &= ~APP_STARTED_BY_AUTOMATION;
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(SessionTest, ReceiveRecordsReachTheAutomationEventBeforeTheView)
{
    HWND view = GetDlgItem(hwnd_, IDC_LOG_VIEW);
    g_viewProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchView)));
    SetReceiveSinkForTest([](const uint8_t* bytes, uint32_t count) {
        g_arrivals.push_back("event:" + std::string(reinterpret_cast<const char*>(bytes), count));
    });
    g_arrivals.clear();
    PostTrafficRecord(hwnd_, RECORD_RECEIVE, 1, 3, "abc");
    PostTrafficRecord(hwnd_, RECORD_SEND, 1, 2, "xy");
    PostTrafficRecord(hwnd_, RECORD_DISCARD, 2, 1, "z");
    SendMessageA(hwnd_, WM_VORLIN_RECORD, 0, 0);  // a null record is ignored
    host_->Pump();
    SetReceiveSinkForTest(nullptr);
    SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));
    EXPECT_EQ(g_arrivals, (std::vector<std::string>{"event:abc", "view:1:abc", "view:0:xy", "view:3:z"}));
    // The window as a user sees it with those records: menu, panel, view and status bar.
    EXPECT_TRUE(SaveScreenshot(hwnd_, "main_window"));
}

TEST_F(SessionTest, ToolbarResetSaveQuickSendButtonsAndTooltipsFollowTheState)
{
    // Reset gives the 14 built-in buttons with a closed port's states; removing them all saves "TOOLBAR=".
    HWND toolbar = GetDlgItem(hwnd_, IDC_TOOLBAR);
    ASSERT_TRUE(toolbar);
    auto notify = [&](UINT code) {
        NMHDR header{toolbar, IDC_TOOLBAR, code};
        SendMessageW(hwnd_, WM_NOTIFY, IDC_TOOLBAR, reinterpret_cast<LPARAM>(&header));
    };
    auto enabled = [&](int id) { return SendMessageW(toolbar, TB_ISBUTTONENABLED, id, 0) != 0; };
    EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 1) << "an empty layout is one separator";
    notify(TBN_RESET);
    EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 14);
    EXPECT_EQ(SendMessageW(toolbar, TB_COMMANDTOINDEX, IDM_ABOUT, 0), 13);
    EXPECT_TRUE(enabled(IDM_CONNECT) && !enabled(IDM_DISCONNECT));
    while (SendMessageW(toolbar, TB_DELETEBUTTON, 0, 0)) continue;
    notify(TBN_TOOLBARCHANGE);
    EXPECT_NE(ReadWholeFile(folder_.File("Vorlin2.ini")).find("TOOLBAR=\r\n"), std::string::npos);

    // Then the buttons that follow the state.
    std::vector<TBBUTTON> buttons;
    for (int id = IDM_RESCAN_FORMS; id <= IDM_QUICK_SEND_LAST; ++id) buttons.push_back({I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    for (int id : {IDM_DISCONNECT, IDM_LOG_STOP}) buttons.push_back({I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    SendMessageW(toolbar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    auto enabledQuickSends = [&] {
        int n = 0;
        for (int id = IDM_QUICK_SEND_FIRST; id <= IDM_QUICK_SEND_LAST; ++id) n += enabled(id);
        return n;
    };
    auto tip = [&](UINT id) -> std::wstring {
        NMTTDISPINFOW info{};
        info.hdr.idFrom = id;
        info.hdr.code = TTN_NEEDTEXTW;
        SendMessageW(hwnd_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        return info.lpszText ? info.lpszText : L"";
    };
    TempFolder many, few;
    auto buttonFile = [](TempFolder& folder, int entries) {
        std::string text = "# quick-send entries\r\n";
        for (int i = 0; i < entries; ++i) text += "E" + std::to_string(i) + ",4" + std::to_string(i % 10) + "\r\n";
        folder.Write("entries.txt", text);
    };
    buttonFile(many, 25);
    buttonFile(few, 3);

    // Every command's tooltip while no port is open (logging stopped); 12345 has none.
    const std::pair<UINT, unsigned> tips[] = {
        {40110, 1},  {40120, 3},  {40141, 4},  {40142, 5},  {40160, 6},  {40180, 7},  {40210, 8},  {40230, 9},
        {40250, 10}, {40260, 11}, {40270, 12}, {40310, 13}, {40320, 14}, {40410, 15}, {40420, 18}, {40430, 19},
        {40510, 20}, {40520, 21}, {40540, 22}, {40610, 23}, {40620, 24}, {40640, 25}, {42023, 26}, {12345, 0}};
    for (auto [id, number] : tips) EXPECT_EQ(tip(id), number ? Message(number) : L"") << id;
    for (UINT i = 0; i < 18; ++i) EXPECT_EQ(tip(42024 + i), Message(27 + i)) << i;
    SetDataDirectory(many.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(enabledQuickSends(), 18) << "25 entries enable all 18 buttons";
    EXPECT_EQ(tip(IDM_CONNECT), Message(2));
    EXPECT_EQ(tip(IDM_LOG_STOP), Message(17));
    SendMessageW(hwnd_, WM_VORLIN_DISCONNECT, 0, 0);
    EXPECT_EQ(enabledQuickSends(), 0);
    EXPECT_FALSE(enabled(IDM_DISCONNECT));

    SetDataDirectory(few.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(enabledQuickSends(), 3);
    EXPECT_TRUE(enabled(IDM_QUICK_SEND_FIRST + 2));

    // A missing entry is reported (2025); the log button shows the state.
    SendMessageW(hwnd_, WM_COMMAND, IDM_QUICK_SEND_FIRST + 5, 0);
    EXPECT_EQ(StatusText(hwnd_), Message(2025));
    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_TRUE(SendMessageW(toolbar, TB_ISBUTTONPRESSED, IDM_LOG_STOP, 0));
    EXPECT_EQ(tip(IDM_LOG_STOP), Message(18));
    // A form choice counts only after the drop-down of the button-file button.
    int current = GetCurrentButtonFile();
    SendMessageW(hwnd_, WM_COMMAND, IDM_FORM_CHOICE_FIRST + 1, 0);
    EXPECT_EQ(GetCurrentButtonFile(), current);
    SetDataDirectory(nullptr);
}
