// The connect and extended settings dialogs run modal on the test thread, as the
// connect command runs them, while a second thread plays the user.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "serial/connect_dialog.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "base/catalogue.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

using Values = std::vector<DWORD>;
constexpr DWORD kWait = 10000;
const COMMPROP kFullProps = [] {
    COMMPROP p{};
    p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_PARITY_CHECK | PCF_XONXOFF;
    p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
    p.dwSettableBaud = 0x66BFF, p.wSettableData = 0x0F, p.wSettableStopParity = 0x1F07;
    return p;
}();
COMMPROP g_fakeProps;
size_t TwoPorts(std::vector<std::string>& list) { return list = {VORLIN_FAR_PORT, VORLIN_PORT}, list.size(); }
BOOL FakeQuery(const char*, COMMPROP* props) { return *props = g_fakeProps, TRUE; }
size_t NoPorts(std::vector<std::string>& list) { return list.clear(), 0; }
BOOL NobodyAnswers(const char*, COMMPROP*) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }

std::wstring ComboText(HWND dialog, int id)
{
    wchar_t text[260] = L"";
    LRESULT i = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (i != CB_ERR) SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    return text;
}
void Select(HWND dialog, int id, const wchar_t* text)
{
    LRESULT item = SendDlgItemMessageW(dialog, id, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, item, 0);
}
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

class ConnectDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static TempFolder folder;  // the reports' texts
        SetMessageFileForTesting(
            folder.Write("test.msg", "2020 開けるポートがありません。\r\n2021 ポート%sは使用中です。\r\n").c_str());
        LoadMessageCatalogue();
    }
    void SetUp() override { g_fakeProps = kFullProps; }
    HWND WaitDialog(const wchar_t* title, HWND except = nullptr)
    {
        return WaitForThreadDialog(thread_, title, kWait, except);
    }
    // Answers the message box over `owner` with OK; its text, or "" when none came.
    std::wstring AnswerBox(HWND owner)
    {
        HWND box = WaitDialog(L"通信リソース制御ユーティリティー『Vorlin2』", owner);
        std::wstring text = box ? MessageBoxText(box) : L"";
        ClickDialogButton(box, IDOK);
        WaitUntil([&] { return !IsWindow(box); }, kWait);
        return text;
    }
    // Runs the dialog; the user thread runs `before`, then `user` with the dialog once
    // it shows, then closes whatever a failed check left open.
    INT_PTR Run(PortAccess ports, const std::function<void(HWND)>& user, const std::function<void()>& before = nullptr)
    {
        SetPortAccess(&ports);
        UserThread thread([&] {
            if (before) before();
            if (HWND d = WaitDialog(L"デバイスの設定＆接続")) user(d);
            else ADD_FAILURE() << "the dialog did not show";
            for (HWND left = nullptr; !WaitUntil([&] { return !(left = FindThreadDialog(thread_, nullptr)); }, 2000);) {
                PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(left, WM_CLOSE, 0, 0);
            }
        });
        INT_PTR result = RunConnectDialog(main_.Window(), record_);
        thread.join();
        SetPortAccess(nullptr);
        return result;
    }

    testing_support::MainWindowHost main_{true};  // reports in message boxes
    DWORD thread_ = GetCurrentThreadId();
    DeviceSettings record_ = TestPortSettings("");
};

TEST_F(ConnectDialog, FirstFreePortIsChosenAndChoosingAHeldOneShows2021AndGoesBack)
{
    FarEnd held;
    ASSERT_TRUE(held.Open(VORLIN_FAR_PORT)) << GetLastError();
    EXPECT_EQ(Run({TwoPorts, QueryPortProperties},
                  [&](HWND d) {
                      EXPECT_EQ(ComboText(d, IDC_CONNECT_PORT) + L"|" + WindowTextW(GetDlgItem(d, IDC_CONNECT_OK)),
                                L"" VORLIN_PORT L"|接続(&C)");
                      EXPECT_TRUE(Enabled(d, IDC_CONNECT_OK));
                      EXPECT_TRUE(SaveScreenshot(d, "connect_dialog"));
                      Select(d, IDC_CONNECT_PORT, L"" VORLIN_FAR_PORT);  // and notify, as a user's choice does
                      PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PORT, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_CONNECT_PORT)));
                      EXPECT_EQ(AnswerBox(d), L"ポート" VORLIN_FAR_PORT L"は使用中です。");
                      EXPECT_EQ(ComboText(d, IDC_CONNECT_PORT), L"" VORLIN_PORT);
                      ClickDialogButton(d, IDC_CONNECT_OK);
                  }),
              1);
    EXPECT_STREQ(record_.portName, VORLIN_PORT);
    EXPECT_NE(record_.properties.dwSettableBaud, 0u) << "the port's own properties";
}

TEST_F(ConnectDialog, PortWithoutSpBaudShowsADisabledBaudListAndNoSelectionKeepsTheValue)
{
    g_fakeProps.dwSettableParams &= ~SP_BAUD;
    LRESULT offered = 0;
    for (size_t i = 0; i < kBaudRateCount; ++i) offered += (kBaudRates[i].capability & 0x66BFF) ? 1 : 0;
    EXPECT_EQ(Run({TwoPorts, FakeQuery},
                  [&](HWND d) {
                      EXPECT_EQ(SendDlgItemMessageW(d, IDC_CONNECT_BAUD, CB_GETCOUNT, 0, 0), offered);
                      EXPECT_TRUE(!Enabled(d, IDC_CONNECT_BAUD) && Enabled(d, IDC_CONNECT_PARITY));
                      SendDlgItemMessageW(d, IDC_CONNECT_BAUD, CB_SETCURSEL, WPARAM(-1), 0);
                      Select(d, IDC_CONNECT_BYTESIZE, L"7");
                      Select(d, IDC_CONNECT_PARITY, L"偶数");
                      Select(d, IDC_CONNECT_STOPBITS, L"2");
                      // The handshake boxes map to the lines as their states say: RTS undecided toggles.
                      CheckDlgButton(d, IDC_CONNECT_RTSCTS, BST_INDETERMINATE);
                      CheckDlgButton(d, IDC_CONNECT_DTRDSR, BST_CHECKED);
                      CheckDlgButton(d, IDC_CONNECT_XONXOFF, BST_CHECKED);
                      CheckDlgButton(d, IDC_CONNECT_SAVE, BST_UNCHECKED);
                      ClickDialogButton(d, IDC_CONNECT_OK);
                  }),
              1);
    const DCB& d = record_.dcb;
    EXPECT_STREQ(record_.portName, VORLIN_FAR_PORT);
    EXPECT_EQ(Values({d.ByteSize, d.Parity, d.fParity, d.StopBits, d.fRtsControl, d.fDtrControl, d.fOutX, d.fInX}),
              Values({7, 2, 1, 2, RTS_CONTROL_TOGGLE, DTR_CONTROL_HANDSHAKE, 1, 1}));
    EXPECT_FALSE(record_.flags & DEVICE_SAVE);
    DeviceSettings stored = TestPortSettings(VORLIN_FAR_PORT);  // its stored baud rate, not a list row
    LoadPortSettings(stored);
    EXPECT_EQ(d.BaudRate, stored.dcb.BaudRate);
}

TEST_F(ConnectDialog, ExtendedSettingsTypedAs7eReadBackAs0x7E)
{
    EXPECT_EQ(Run({TwoPorts, FakeQuery},
                  [&](HWND d) {
                      ClickDialogButton(d, IDC_CONNECT_EXTENDED);
                      HWND x = WaitDialog(L"デバイスの拡張設定", d), edit = GetDlgItem(x, IDC_EXT_ERRORCHAR);
                      ASSERT_NE(x, nullptr);
                      EXPECT_FALSE(IsWindowEnabled(edit));
                      SendDlgItemMessageW(x, IDC_EXT_ERRORCHAR_ON, BM_CLICK, 0, 0);
                      SetWindowTextW(edit, L"");
                      TypeText(edit, "xz-7e5");  // hexadecimal digits only, two at most
                      EXPECT_EQ(WindowTextW(edit), L"7E");
                      SetDlgItemTextW(x, IDC_EXT_XOFFLIM, L"1234");
                      SetDlgItemTextW(x, IDC_EXT_READINTERVAL, L"4294967295");
                      SendDlgItemMessageW(x, IDC_EXT_CTSFLOW, BM_CLICK, 0, 0);
                      EXPECT_TRUE(SaveScreenshot(x, "extended_dialog"));
                      ClickDialogButton(x, IDC_EXT_APPLY);
                      WaitUntil([&] { return !IsWindow(x); }, kWait);
                      ClickDialogButton(d, IDC_CONNECT_OK);
                  }),
              1);
    const DCB& d = record_.dcb;
    EXPECT_EQ(Values({BYTE(d.ErrorChar), d.fErrorChar, d.XoffLim, record_.timeouts.ReadIntervalTimeout, d.fOutxCtsFlow}),
              Values({0x7E, 1, 1234, MAXDWORD, 1}));
}

TEST_F(ConnectDialog, NoAnsweringPortReports2020AndCannotConfirm)
{
    std::wstring report;
    auto user = [](HWND d) {
        EXPECT_FALSE(Enabled(d, IDC_CONNECT_OK));
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
    };
    EXPECT_EQ(Run({TwoPorts, NobodyAnswers}, user, [&] { report = AnswerBox(nullptr); }), 0);
    EXPECT_EQ(report, L"開けるポートがありません。");
    report.clear();
    EXPECT_EQ(Run({NoPorts, NobodyAnswers}, user, [&] { report = AnswerBox(nullptr); }), 0);
    EXPECT_EQ(report, L"開けるポートがありません。");
}

} // namespace
