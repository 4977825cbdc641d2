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
// A port that opens answers with the fake capabilities.
BOOL RealOpenFakeProps(const char* name, COMMPROP* props)
{
    return QueryPortProperties(name, props) && (*props = g_fakeProps, TRUE);
}
size_t NoPorts(std::vector<std::string>& list) { return list.clear(), 0; }
BOOL NobodyAnswers(const char*, COMMPROP*) { return SetLastError(ERROR_ACCESS_DENIED), FALSE; }

std::wstring ComboText(HWND dialog, int id)
{
    wchar_t text[260] = L"";
    LRESULT i = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (i != CB_ERR) SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    return text;
}
// Every item of a list, in order.
std::wstring Items(HWND dialog, int id)
{
    std::wstring items;
    wchar_t text[260];
    for (WPARAM i = 0; SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text)) > 0; ++i)
        items += text + std::wstring(L" ");
    return items;
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
    INT_PTR Run(PortAccess ports, const std::function<void(HWND)>& user, const std::function<void()>& before = nullptr,
                const wchar_t* title = L"デバイスの設定＆接続")
    {
        SetPortAccess(&ports);
        UserThread thread([&] {
            if (before) before();
            if (HWND d = WaitDialog(title)) user(d);
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

// The far end is held: choosing it reports 2021 and goes back to the first free port.
TEST_F(ConnectDialog, AHeldPortIsRefusedAndTheListsOfferTheRowsThePortCanSet)
{
    FarEnd held;
    ASSERT_TRUE(held.Open(VORLIN_FAR_PORT)) << GetLastError();
    g_fakeProps.wSettableData = 0x3F;
    EXPECT_EQ(Run({TwoPorts, RealOpenFakeProps},
                  [&](HWND d) {
                      EXPECT_EQ(ComboText(d, IDC_CONNECT_PORT) + L"|" + WindowTextW(GetDlgItem(d, IDC_CONNECT_OK)),
                                L"" VORLIN_PORT L"|接続(&C)");
                      EXPECT_TRUE(SaveScreenshot(d, "connect_dialog"));
                      Select(d, IDC_CONNECT_PORT, L"" VORLIN_FAR_PORT);  // and notify, as a user's choice does
                      PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PORT, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_CONNECT_PORT)));
                      EXPECT_EQ(AnswerBox(d), L"ポート" VORLIN_FAR_PORT L"は使用中です。");
                      EXPECT_EQ(ComboText(d, IDC_CONNECT_PORT), L"" VORLIN_PORT);
                      EXPECT_EQ(Items(d, IDC_CONNECT_BAUD),
                                L"75 110 134 150 300 600 1200 1800 2400 4800 9600 19200 38400 57600 115200 ");
                      EXPECT_EQ(Items(d, IDC_CONNECT_BYTESIZE), L"5 6 7 8 16 16X ");
                      SendDlgItemMessageW(d, IDC_CONNECT_BAUD, CB_SETCURSEL, WPARAM(-1), 0);
                      Select(d, IDC_CONNECT_BYTESIZE, L"16X");
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
    EXPECT_STREQ(record_.portName, VORLIN_PORT);
    EXPECT_EQ(record_.properties.wSettableData, 0x3F) << "the chosen port's properties";
    EXPECT_EQ(Values({d.ByteSize, d.Parity, d.fParity, d.StopBits, d.fRtsControl, d.fDtrControl, d.fOutX, d.fInX}),
              Values({32, 2, 1, 2, RTS_CONTROL_TOGGLE, DTR_CONTROL_HANDSHAKE, 1, 1}));
    EXPECT_FALSE(record_.flags & DEVICE_SAVE);
    DeviceSettings stored = TestPortSettings(VORLIN_PORT);  // no baud row chosen: its stored rate
    LoadPortSettings(stored);
    EXPECT_EQ(d.BaudRate, stored.dcb.BaudRate);
}

// The open port's settings: its own capabilities decide which controls can be changed.
TEST_F(ConnectDialog, EachControlIsEnabledByItsCapabilities)
{
    const DWORD p = kFullProps.dwSettableParams, q = kFullProps.dwProvCapabilities;
    const struct { DWORD params, provider; const wchar_t* enabled; } cases[] = {
        {p & ~SP_BAUD, q, L"0111111"},
        {p & ~(SP_DATABITS | SP_PARITY_CHECK), q & ~PCF_RTSCTS, L"1001011"},
        {p & ~(SP_STOPBITS | SP_PARITY), q & ~(PCF_DTRDSR | PCF_XONXOFF), L"1100100"},
        {p & ~SP_HANDSHAKING, q & ~PCF_PARITY_CHECK, L"1101001"},
    };
    record_.flags = DEVICE_OPEN;
    strcpy(record_.portName, VORLIN_PORT);
    for (const auto& c : cases) {
        record_.properties = kFullProps;
        record_.properties.dwSettableParams = c.params;
        record_.properties.dwProvCapabilities = c.provider;
        std::wstring enabled;
        Run({NoPorts, NobodyAnswers},
            [&](HWND d) {
                for (int id = IDC_CONNECT_BAUD; id <= IDC_CONNECT_XONXOFF; ++id) enabled += Enabled(d, id) ? L'1' : L'0';
                ClickDialogButton(d, IDC_CONNECT_CANCEL);
            },
            nullptr, L"デバイスの設定変更");
        EXPECT_EQ(enabled, c.enabled) << std::hex << c.params << " " << c.provider;
    }
}

TEST_F(ConnectDialog, TheOpenPortsSettingsAreShownAndTheExtendedOnesReadBack)
{
    record_.flags = DEVICE_OPEN;
    strcpy(record_.portName, VORLIN_PORT);
    record_.properties = kFullProps;
    DCB& d = record_.dcb;
    d.BaudRate = 135, d.fRtsControl = RTS_CONTROL_TOGGLE, d.fDtrControl = DTR_CONTROL_HANDSHAKE, d.fInX = 1;
    d.fOutX = 0, d.XoffChar = 0x0A, d.fOutxCtsFlow = 1, d.fDsrSensitivity = 1, d.fNull = 1;
    EXPECT_EQ(Run({NoPorts, NobodyAnswers},
                  [&](HWND d) {
                      EXPECT_EQ(ComboText(d, IDC_CONNECT_PORT) + L"|" + WindowTextW(GetDlgItem(d, IDC_CONNECT_OK)) +
                                    L"|" + ComboText(d, IDC_CONNECT_BAUD),
                                L"" VORLIN_PORT L"|適用(&A)|134");
                      EXPECT_FALSE(Enabled(d, IDC_CONNECT_PORT));
                      EXPECT_EQ(Values({IsDlgButtonChecked(d, IDC_CONNECT_RTSCTS), IsDlgButtonChecked(d, IDC_CONNECT_DTRDSR),
                                        IsDlgButtonChecked(d, IDC_CONNECT_XONXOFF)}),
                                Values({BST_INDETERMINATE, BST_CHECKED, BST_CHECKED}));
                      ClickDialogButton(d, IDC_CONNECT_EXTENDED);
                      HWND x = WaitDialog(L"デバイスの拡張設定", d), edit = GetDlgItem(x, IDC_EXT_ERRORCHAR);
                      ASSERT_NE(x, nullptr);
                      EXPECT_EQ(WindowTextW(GetDlgItem(x, IDC_EXT_XOFFCHAR)), L"0A");
                      EXPECT_FALSE(IsWindowEnabled(edit));
                      SendDlgItemMessageW(x, IDC_EXT_ERRORCHAR_ON, BM_CLICK, 0, 0);
                      SetWindowTextW(edit, L"");
                      TypeText(edit, "xz-7e5");  // hexadecimal digits only, two at most
                      EXPECT_EQ(WindowTextW(edit), L"7E");
                      SetDlgItemTextW(x, IDC_EXT_XONCHAR, L"");
                      // Every box turned over and every number distinct: one read into another's field shows.
                      for (int id : {IDC_EXT_CTSFLOW, IDC_EXT_DSRFLOW, IDC_EXT_DSRSENSE, IDC_EXT_TXCONTINUE, IDC_EXT_NULL})
                          SendDlgItemMessageW(x, id, BM_CLICK, 0, 0);
                      const int numbers[] = {IDC_EXT_XONLIM, IDC_EXT_XOFFLIM, IDC_EXT_READINTERVAL, IDC_EXT_READMULTIPLIER,
                                             IDC_EXT_READCONSTANT, IDC_EXT_WRITEMULTIPLIER, IDC_EXT_WRITECONSTANT,
                                             IDC_EXT_INQUEUE, IDC_EXT_OUTQUEUE};
                      for (int i = 0; i < 9; ++i) SetDlgItemTextW(x, numbers[i], std::to_wstring(i + 1).c_str());
                      SetDlgItemTextW(x, IDC_EXT_READINTERVAL, L"4294967295");
                      EXPECT_TRUE(SaveScreenshot(x, "extended_dialog"));
                      ClickDialogButton(x, IDC_EXT_APPLY);
                      WaitUntil([&] { return !IsWindow(x); }, kWait);
                      ClickDialogButton(d, IDC_CONNECT_OK);
                  },
                  nullptr, L"デバイスの設定変更"),
              1);
    const COMMTIMEOUTS& t = record_.timeouts;
    EXPECT_EQ(Values({d.BaudRate, d.fParity, BYTE(d.ErrorChar), BYTE(d.XonChar), d.fErrorChar, d.fOutxCtsFlow,
                      d.fOutxDsrFlow, d.fDsrSensitivity, d.fTXContinueOnXoff, d.fNull}),
              Values({135, 0, 0x7E, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(Values({d.XonLim, d.XoffLim, t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                      t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant,
                      record_.inputQueueSize, record_.outputQueueSize}),
              Values({1, 2, MAXDWORD, 4, 5, 6, 7, 8, 9}));
}

TEST_F(ConnectDialog, NoAnsweringPortReports2020AndCannotConfirm)
{
    std::wstring report;
    auto user = [](HWND d) {
        EXPECT_FALSE(Enabled(d, IDC_CONNECT_OK));
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
    };
    for (auto list : {TwoPorts, NoPorts}) {
        EXPECT_EQ(Run({list, NobodyAnswers}, user, [&] { report = AnswerBox(nullptr); }), 0);
        EXPECT_EQ(report, L"開けるポートがありません。");
    }
}

} // namespace
