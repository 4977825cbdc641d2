// The connection and log state as the user sees it: titles, menu texts and
// states after connecting, stopping the log, disconnecting; the automatic
// log name; choosing a log file. The main window runs in this process (menus
// of another process cannot be read under Wine) on COM15, far end COM16.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logging/log_thread.h"
#include "resources/resource.h"
#include "serial/engine.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "settings/settings_store.h"
#include "sending/send_forms.h"
#include "shell/connection.h"
#include "shell/message_catalogue.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "shell/ui_text.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

struct MenuRow {
    const wchar_t* connect;
    bool disconnectEnabled;
    bool sendEnabled;
    const wchar_t* logFile;
    const wchar_t* logStop;
    bool logStopEnabled;
    bool flushEnabled;
};

const MenuRow kAtStart = {L"接続(&C)...\tF5", false, false, L"ログファイルの設定(&O)...", L"ログの停止(&S)", false, false};
const MenuRow kLogging = {L"デバイスの設定(&C)...\tF5", true, true, L"ログファイルの変更(&O)...", L"ログの停止(&S)", true, true};
const MenuRow kLogStopped = {L"デバイスの設定(&C)...\tF5", true, true, L"ログファイルの変更(&O)...", L"ログの再開(&R)", true, true};

std::wstring MenuText(HMENU menu, UINT id)
{
    wchar_t text[256] = {};
    GetMenuStringW(menu, id, text, 256, MF_BYCOMMAND);
    return text;
}

bool Enabled(HMENU menu, UINT id)
{
    return !(GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
}

void ExpectRow(HWND hwnd, const MenuRow& row)
{
    HMENU menu = GetMenu(hwnd);
    EXPECT_EQ(MenuText(menu, IDM_CONNECT), row.connect);
    EXPECT_TRUE(Enabled(menu, IDM_CONNECT));
    EXPECT_EQ(Enabled(menu, IDM_DISCONNECT), row.disconnectEnabled);
    EXPECT_EQ(MenuText(menu, IDM_SEND_DATA), L"データ送信(&S)...");
    EXPECT_EQ(Enabled(menu, IDM_SEND_DATA), row.sendEnabled);
    EXPECT_EQ(MenuText(menu, IDM_LOG_FILE), row.logFile);
    EXPECT_TRUE(Enabled(menu, IDM_LOG_FILE));
    EXPECT_EQ(MenuText(menu, IDM_LOG_STOP), row.logStop);
    EXPECT_EQ(Enabled(menu, IDM_LOG_STOP), row.logStopEnabled);
    EXPECT_EQ(Enabled(menu, IDM_LOG_FLUSH), row.flushEnabled);
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(hwnd, IDC_MODEM_PANEL)) != FALSE, row.disconnectEnabled);
}

std::wstring StatusText(HWND hwnd)
{
    wchar_t text[512] = {};
    SendMessageW(GetDlgItem(hwnd, IDC_STATUS_BAR), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

class ConnectionState : public testing::Test {
protected:
    void SetUp() override
    {
        logFolder_ = folder_.Path() + "\\log";
        std::string ini = "[LOG]\r\nDIRECTORY=" + logFolder_ + "\r\n";
        SetIniFileForTesting(folder_.Write("Vorlin2.ini", ini).c_str());
        SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
        LoadMessageCatalogue();
        StartLogThread(nullptr);
        host_ = std::make_unique<testing_support::MainWindowHost>();
        hwnd_ = host_->Window();
        ASSERT_TRUE(hwnd_);
        GetAppSettings().flags &= ~APP_MESSAGE_BOXES;  // reports go to the status bar
    }

    void TearDown() override
    {
        if (IsWindow(hwnd_) && (GetCurrentDevice().flags & DEVICE_OPEN)) SendMessageA(hwnd_, WM_VORLIN_DISCONNECT, 0, 0);
        StopEngine(GetSerialEngine());
        ClosePort(&GetCurrentDevice().flags, &GetSerialEngine().port);
        host_.reset();
        StopLogThread();
        FreeMessageCatalogue();
        SetIniFileForTesting(nullptr);
        SetMessageFileForTesting(nullptr);
    }

    LRESULT Connect(const char* port = "COM15")
    {
        DeviceSettings settings{};
        strcpy(settings.portName, port);
        LoadPortSettings(settings);
        return SendMessageA(hwnd_, WM_VORLIN_CONNECT, 0, reinterpret_cast<LPARAM>(&settings));
    }

    std::wstring Title() const { return WindowTextW(hwnd_); }

    TempFolder folder_;
    std::string logFolder_;
    std::unique_ptr<testing_support::MainWindowHost> host_;
    HWND hwnd_ = nullptr;
};

} // namespace

TEST_F(ConnectionState, TitlesAndMenusFollowTheConnectionAndTheLog)
{
    EXPECT_EQ(Title(), kTitle);
    ExpectRow(hwnd_, kAtStart);

    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(Title(), L"COM15 - " + kTitle);
    ExpectRow(hwnd_, kLogging);
    EXPECT_EQ(SendMessageA(hwnd_, WM_VORLIN_IS_CONNECTED, 0, 0), -1);
    EXPECT_TRUE(IsLoggingRunning(hwnd_));
    EXPECT_TRUE(PumpUntil([&] { return FileExists(logFolder_ + "\\Vorlin2_COM15.log"); }, 5000))
        << "the automatic log name in the log folder";

    SendMessageA(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    ExpectRow(hwnd_, kLogStopped);
    EXPECT_FALSE(IsLoggingRunning(hwnd_));
    SendMessageA(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    ExpectRow(hwnd_, kLogging);

    EXPECT_EQ(SendMessageA(hwnd_, WM_VORLIN_DISCONNECT, 0, 0), 0);
    EXPECT_EQ(Title(), L"未接続 - " + kTitle);
    ExpectRow(hwnd_, kAtStart);
    EXPECT_EQ(SendMessageA(hwnd_, WM_VORLIN_IS_CONNECTED, 0, 0), 0);
    EXPECT_EQ(GetSerialEngine().port, INVALID_HANDLE_VALUE);
}

TEST_F(ConnectionState, AFailedOpenChangesNothing)
{
    HANDLE held = CreateFileA("\\\\.\\COM15", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(Connect(), 0) << "a port another program holds";
    CloseHandle(held);
    EXPECT_EQ(Title(), kTitle);
    ExpectRow(hwnd_, kAtStart);
    EXPECT_EQ(SendMessageA(hwnd_, WM_VORLIN_IS_CONNECTED, 0, 0), 0);
}

TEST_F(ConnectionState, AnAutomaticLogNameThatDoesNotFitIsReportedAndNothingOpened)
{
    // A log folder so long that folder + "Vorlin2_COM15.log" exceeds a path.
    StopLogThread();
    std::string longFolder = folder_.Path() + "\\" + std::string(230, 'x');
    folder_.Write("Vorlin2.ini", "[LOG]\r\nDIRECTORY=" + longFolder + "\r\n");
    StartLogThread(nullptr);

    ASSERT_EQ(Connect(), 0) << "the connection goes on without a log";
    std::wstring status = StatusText(hwnd_);
    EXPECT_NE(status.find(L"Vorlin2_COM15.log"), std::wstring::npos) << "message 2026 names the file";
    EXPECT_FALSE(FileExists(longFolder));
    ExpectRow(hwnd_, kLogging);  // the menu shows logging as running all the same
}

TEST_F(ConnectionState, ChoosingALogFileWhileDisconnectedOnlyStoresIt)
{
    std::string chosen = folder_.Path() + "\\chosen.log";
    ASSERT_TRUE(GetAppSettings().flags & APP_AUTO_LOG_NAME);
    DWORD thread = GetCurrentThreadId();
    UserThread user([&] {
        HWND dialog = WaitForThreadDialog(thread, L"ログファイルの設定", 15000);
        if (!dialog) return;
        std::wstring wide(chosen.begin(), chosen.end());
        // The file name box of the save dialog (cmb13, or edt1 in older dialogs).
        if (!SetDlgItemTextW(dialog, 0x47C, wide.c_str())) SetDlgItemTextW(dialog, 0x480, wide.c_str());
        ClickDialogButton(dialog, IDOK);
    });
    SendMessageA(hwnd_, WM_COMMAND, IDM_LOG_FILE, 0);
    user.join();

    EXPECT_STREQ(GetAppSettings().logFilePath, chosen.c_str());
    EXPECT_FALSE(GetAppSettings().flags & APP_AUTO_LOG_NAME) << "the automatic name is turned off";
    ExpectRow(hwnd_, kAtStart);
    EXPECT_FALSE(FileExists(chosen)) << "nothing is opened without a port";

    // The next connect opens that file.
    ASSERT_EQ(Connect(), 0);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(chosen); }, 5000));
    EXPECT_FALSE(FileExists(logFolder_ + "\\Vorlin2_COM15.log"));
}

TEST_F(ConnectionState, ClosingWithReportsInTheStatusBarClosesAtOnce)
{
    ASSERT_EQ(Connect(), 0);
    SendMessageA(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd_)) << "the question counts as answered OK";
}

TEST(AutomaticLogName, NeedsTheLogThread)
{
    std::string path;
    EXPECT_FALSE(MakeAutomaticLogPath("COM1", path)) << "no log thread runs in this test";
    EXPECT_EQ(path, "Vorlin2_COM1.log");
}

namespace {

// A toolbar child 996 with the buttons whose states follow the connection.
HWND AddToolbar(HWND hwnd)
{
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, 0, 0, 0, 0,
                                   hwnd, reinterpret_cast<HMENU>(IDC_TOOLBAR), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (int id : {IDM_DISCONNECT, IDM_SEND_DATA, IDM_LOG_STOP, IDM_LOG_FLUSH})
        buttons.push_back(TBBUTTON{I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    for (int id = IDM_RESCAN_FORMS; id <= IDM_QUICK_SEND_LAST; ++id)
        buttons.push_back(TBBUTTON{I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    return toolbar;
}

int EnabledQuickSendButtons(HWND toolbar)
{
    int n = 0;
    for (int id = IDM_QUICK_SEND_FIRST; id <= IDM_QUICK_SEND_LAST; ++id)
        if (SendMessageA(toolbar, TB_ISBUTTONENABLED, id, 0)) ++n;
    return n;
}

std::string ButtonFile(int entries)
{
    std::string text = "# quick-send entries\r\n";
    for (int i = 0; i < entries; ++i) text += "E" + std::to_string(i) + ",4" + std::to_string(i % 10) + "\r\n";
    return text;
}

} // namespace

TEST_F(ConnectionState, QuickSendButtonsFollowTheCurrentButtonFile)
{
    HWND toolbar = AddToolbar(hwnd_);
    TempFolder many, few;
    many.Write("many.txt", ButtonFile(25));
    few.Write("few.txt", ButtonFile(3));

    SetDataDirectory(many.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(EnabledQuickSendButtons(toolbar), 18) << "25 entries enable all 18 buttons";
    EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONENABLED, IDM_LOG_FLUSH, 0));
    SendMessageA(hwnd_, WM_VORLIN_DISCONNECT, 0, 0);
    EXPECT_EQ(EnabledQuickSendButtons(toolbar), 0);
    EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, IDM_DISCONNECT, 0));

    SetDataDirectory(few.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(EnabledQuickSendButtons(toolbar), 3);
    EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONENABLED, IDM_QUICK_SEND_FIRST + 2, 0));
    EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, IDM_QUICK_SEND_FIRST + 3, 0));

    // A missing entry is reported (2025); the toolbar's log button shows the state.
    SendMessageA(hwnd_, WM_COMMAND, IDM_QUICK_SEND_FIRST + 5, 0);
    char expected[512];
    FormatCatalogueMessage(expected, sizeof expected, 2025);
    EXPECT_EQ(StatusText(hwnd_), SjisToWide(expected));
    SendMessageA(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, IDM_LOG_STOP, 0) ||
                SendMessageA(toolbar, TB_ISBUTTONPRESSED, IDM_LOG_STOP, 0));

    // A form choice counts only after the drop-down of the button-file button.
    int current = GetCurrentButtonFile();
    SendMessageA(hwnd_, WM_COMMAND, IDM_FORM_CHOICE_FIRST + 1, 0);
    EXPECT_EQ(GetCurrentButtonFile(), current);
    SetDataDirectory(nullptr);
}

TEST_F(ConnectionState, TooltipsNameTheButtonAndItsState)
{
    auto tip = [&](UINT id) -> std::string {
        NMTTDISPINFOA info{};
        info.hdr.hwndFrom = nullptr;
        info.hdr.idFrom = id;
        info.hdr.code = TTN_NEEDTEXTA;
        SendMessageA(hwnd_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        return info.lpszText ? info.lpszText : "";
    };
    auto text = [](unsigned number) {
        char buffer[256];
        LookupMessage(number, buffer, sizeof buffer);
        return std::string(buffer);
    };
    EXPECT_EQ(tip(IDM_CONNECT), text(1));
    EXPECT_EQ(tip(IDM_CLEAR), text(9));
    EXPECT_EQ(tip(IDM_QUICK_SEND_FIRST), text(27));
    EXPECT_EQ(tip(IDM_QUICK_SEND_LAST), text(44));
    EXPECT_EQ(tip(12345), "") << "a button not in the table gets no text";
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(tip(IDM_CONNECT), text(2));
    EXPECT_EQ(tip(IDM_LOG_STOP), text(17));
    SendMessageA(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_EQ(tip(IDM_LOG_STOP), text(18));
    EXPECT_NE(text(1), text(2));
}
