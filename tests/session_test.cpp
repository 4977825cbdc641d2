// The session and what the main window shows of it: connecting, the log
// state, disconnecting; the errors of a failed open and of an engine that
// cannot start, on connect and on reconfiguration, and how the user sees
// them; the quick-send buttons and tooltips that follow the state. The main
// window runs in this process (menus of another process cannot be read
// under Wine) on COM15, far end COM16.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/catalogue.h"
#include "base/text.h"
#include "logging/log_thread.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/port_names.h"
#include "settings/settings_store.h"
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

// The menu as the user reads it: connect text, log-file text, log stop text,
// and whether disconnect, send, log stop and flush (and the panel) are enabled.
void ExpectMenu(HWND hwnd, const wchar_t* connect, const wchar_t* logFile, const wchar_t* logStop, bool open)
{
    EXPECT_EQ(MenuText(hwnd, IDM_CONNECT), connect);
    EXPECT_EQ(MenuText(hwnd, IDM_LOG_FILE), logFile);
    EXPECT_EQ(MenuText(hwnd, IDM_LOG_STOP), logStop);
    for (UINT id : {IDM_DISCONNECT, IDM_SEND_DATA, IDM_LOG_STOP, IDM_LOG_FLUSH}) EXPECT_EQ(Enabled(hwnd, id), open) << id;
    EXPECT_TRUE(Enabled(hwnd, IDM_CONNECT) && Enabled(hwnd, IDM_LOG_FILE));
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(hwnd, IDC_MODEM_PANEL)) != FALSE, open);
}

void ExpectClosedMenu(HWND hwnd) { ExpectMenu(hwnd, L"接続(&C)...\tF5", L"ログファイルの設定(&O)...", L"ログの停止(&S)", false); }

void ExpectOpenMenu(HWND hwnd, bool logging)
{
    ExpectMenu(hwnd, L"デバイスの設定(&C)...\tF5", L"ログファイルの変更(&O)...",
               logging ? L"ログの停止(&S)" : L"ログの再開(&R)", true);
}

std::wstring StatusText(HWND hwnd)
{
    wchar_t text[512] = {};
    SendMessageW(GetDlgItem(hwnd, IDC_STATUS_BAR), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring SystemText(DWORD code)
{
    char text[512];
    SystemErrorText(code, text, sizeof text);
    return SjisToWide(text);
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
        hwnd_ = host_->Window();
        ASSERT_TRUE(hwnd_);
        GetAppSettings().flags &= ~APP_MESSAGE_BOXES;  // reports go to the status bar
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

    static DeviceSettings Settings()
    {
        DeviceSettings settings{};
        strcpy(settings.portName, "COM15");
        LoadPortSettings(settings);
        return settings;
    }
    // As the connect dialog and automation do: through the main window.
    LRESULT Connect()
    {
        DeviceSettings settings = Settings();
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

TEST_F(SessionTest, TitlesAndMenusFollowTheConnectionAndTheLog)
{
    EXPECT_EQ(WindowTextW(hwnd_), kTitle);
    ExpectClosedMenu(hwnd_);

    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(WindowTextW(hwnd_), L"COM15 - " + kTitle);
    ExpectOpenMenu(hwnd_, true);
    EXPECT_EQ(SendMessageW(hwnd_, WM_VORLIN_IS_CONNECTED, 0, 0), -1);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(logFolder_ + "\\Vorlin2_COM15.log"); }, 5000))
        << "the automatic log name in the log folder";
    EXPECT_EQ(Connect(), ERROR_ALREADY_INITIALIZED) << "a second open would lose the first handle";

    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_FALSE(GetSession().IsLogging());
    ExpectOpenMenu(hwnd_, false);
    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    ExpectOpenMenu(hwnd_, true);

    EXPECT_EQ(SendMessageW(hwnd_, WM_VORLIN_DISCONNECT, 0, 0), 0);
    EXPECT_EQ(WindowTextW(hwnd_), L"未接続 - " + kTitle);
    ExpectClosedMenu(hwnd_);
    EXPECT_EQ(GetSession().Engine().port, INVALID_HANDLE_VALUE);
}

TEST_F(SessionTest, FailuresAnswerTheirErrorAndLeaveAConsistentState)
{
    // A port another program holds: the open's error, nothing changed.
    HANDLE held = CreateFileW(L"\\\\.\\COM15", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Connect(), ERROR_ACCESS_DENIED);
    CloseHandle(held);
    EXPECT_EQ(WindowTextW(hwnd_), kTitle);
    ExpectClosedMenu(hwnd_);

    // An engine that cannot start: the connect fails whole and the port is free again.
    GetSession().FailNextEngineStartForTest(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Connect(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(GetSession().IsOpen());
    EXPECT_EQ(GetSession().Engine().port, INVALID_HANDLE_VALUE);
    ExpectClosedMenu(hwnd_);

    // On reconfiguration the same failure is answered and shown to the user.
    ASSERT_EQ(Connect(), 0);
    GetSession().FailNextEngineStartForTest(ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GetSession().Reconfigure(Settings()), ERROR_NOT_ENOUGH_MEMORY);
    GetSession().FailNextEngineStartForTest(ERROR_NOT_ENOUGH_MEMORY);
    SendMessageW(GetDlgItem(hwnd_, IDC_STATUS_BAR), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    ReconfigureByDialog();
    EXPECT_EQ(StatusText(hwnd_), SystemText(ERROR_NOT_ENOUGH_MEMORY));
    // A reconfiguration that works runs the engine again: a line request is answered.
    ReconfigureByDialog();
    EXPECT_NE(SendMessageW(hwnd_, WM_VORLIN_LINE_FUNCTION, 0, SETDTR), 0);
}

TEST_F(SessionTest, AnAutomaticLogNameThatDoesNotFitIsReportedAndTheConnectionGoesOn)
{
    // A log folder so long that folder + "Vorlin2_COM15.log" exceeds a path.
    StopLogThread();
    std::string longFolder = folder_.Path() + "\\" + std::string(230, 'x');
    folder_.Write("Vorlin2.ini", "[LOG]\r\nDIRECTORY=" + longFolder + "\r\n");
    StartLogThread(nullptr);

    ASSERT_EQ(Connect(), 0);
    EXPECT_NE(StatusText(hwnd_).find(L"Vorlin2_COM15.log"), std::wstring::npos) << "message 2026 names the file";
    EXPECT_FALSE(FileExists(longFolder));
    ExpectOpenMenu(hwnd_, true);  // the menu shows logging as running all the same
}

TEST_F(SessionTest, AChosenLogFileIsStoredAndOpenedAtTheNextConnect)
{
    std::string chosen = folder_.Path() + "\\選んだ.log";
    DWORD thread = GetCurrentThreadId();
    UserThread user([&] {
        HWND dialog = WaitForThreadDialog(thread, L"ログファイルの設定", 15000);
        if (!dialog) return;
        // The file name box of the save dialog (cmb13, or edt1 in older dialogs).
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

    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd_)) << "with reports in the status bar the question counts as answered OK";
}

TEST(AutomaticLogName, NeedsTheLogThread)
{
    std::string path;
    EXPECT_FALSE(MakeAutomaticLogPath("COM1", path)) << "no log thread runs in this test";
    EXPECT_EQ(path, "Vorlin2_COM1.log");
}

TEST_F(SessionTest, QuickSendButtonsAndTooltipsFollowTheState)
{
    // A toolbar child 996 with every button of the command table, in place of the window's own.
    if (HWND own = GetDlgItem(hwnd_, IDC_TOOLBAR)) DestroyWindow(own);
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(IDC_TOOLBAR), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    for (int id = IDM_RESCAN_FORMS; id <= IDM_QUICK_SEND_LAST; ++id) buttons.push_back({I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    for (int id : {IDM_DISCONNECT, IDM_LOG_STOP}) buttons.push_back({I_IMAGENONE, id, 0, BTNS_BUTTON, {}, 0, 0});
    SendMessageW(toolbar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    auto enabledQuickSends = [&] {
        int n = 0;
        for (int id = IDM_QUICK_SEND_FIRST; id <= IDM_QUICK_SEND_LAST; ++id) n += SendMessageW(toolbar, TB_ISBUTTONENABLED, id, 0) != 0;
        return n;
    };
    auto tip = [&](UINT id) -> std::wstring {
        NMTTDISPINFOW info{};
        info.hdr.idFrom = id;
        info.hdr.code = TTN_NEEDTEXTW;
        SendMessageW(hwnd_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        return info.lpszText ? info.lpszText : L"";
    };
    auto text = [](unsigned number) {
        char buffer[256];
        LookupMessage(number, buffer, sizeof buffer);
        return SjisToWide(buffer);
    };
    auto buttonFile = [](int entries) {
        std::string text = "# quick-send entries\r\n";
        for (int i = 0; i < entries; ++i) text += "E" + std::to_string(i) + ",4" + std::to_string(i % 10) + "\r\n";
        return text;
    };
    TempFolder many, few;
    many.Write("many.txt", buttonFile(25));
    few.Write("few.txt", buttonFile(3));

    EXPECT_EQ(tip(IDM_CONNECT), text(1));
    EXPECT_EQ(tip(IDM_QUICK_SEND_LAST), text(44));
    EXPECT_EQ(tip(12345), L"") << "a button not in the table gets no text";
    SetDataDirectory(many.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(enabledQuickSends(), 18) << "25 entries enable all 18 buttons";
    EXPECT_EQ(tip(IDM_CONNECT), text(2));
    EXPECT_EQ(tip(IDM_LOG_STOP), text(17));
    SendMessageW(hwnd_, WM_VORLIN_DISCONNECT, 0, 0);
    EXPECT_EQ(enabledQuickSends(), 0);
    EXPECT_FALSE(SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_DISCONNECT, 0));

    SetDataDirectory(few.Path().c_str());
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(enabledQuickSends(), 3);
    EXPECT_TRUE(SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_QUICK_SEND_FIRST + 2, 0));

    // A missing entry is reported (2025); the log button shows the state.
    SendMessageW(hwnd_, WM_COMMAND, IDM_QUICK_SEND_FIRST + 5, 0);
    EXPECT_EQ(StatusText(hwnd_), text(2025));
    SendMessageW(hwnd_, WM_COMMAND, IDM_LOG_STOP, 0);
    EXPECT_TRUE(SendMessageW(toolbar, TB_ISBUTTONPRESSED, IDM_LOG_STOP, 0));
    EXPECT_EQ(tip(IDM_LOG_STOP), text(18));
    // A form choice counts only after the drop-down of the button-file button.
    int current = GetCurrentButtonFile();
    SendMessageW(hwnd_, WM_COMMAND, IDM_FORM_CHOICE_FIRST + 1, 0);
    EXPECT_EQ(GetCurrentButtonFile(), current);
    SetDataDirectory(nullptr);
}
