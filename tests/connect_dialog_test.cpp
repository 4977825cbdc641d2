#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "serial/connect_dialog.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "shell/message_catalogue.h"
#include "shell/shell.h"
#include "tests/support/ui_driver.h"

// The dialogs run modal on the test thread, as the connect command runs
// them; a second thread plays the user. Ports for these tests: COM9, COM10.
namespace {

constexpr DWORD kWait = 10000;
const wchar_t kConnectTitle[] = L"デバイスの設定＆接続";
const wchar_t kChangeTitle[] = L"デバイスの設定変更";
const wchar_t kExtendedTitle[] = L"デバイスの拡張設定";

std::wstring Wide(const char* text)
{
    wchar_t out[1024] = L"";
    MultiByteToWideChar(932, 0, text, -1, out, 1024);
    return out;
}
const std::wstring& AppTitle()
{
    static std::wstring title = Wide(kAppTitle);
    return title;
}

// The text a report of `number` shows, formatted with one name.
std::wstring ExpectedMessage(unsigned number, const char* name = nullptr)
{
    char format[512], text[512];
    LookupMessage(number, format, sizeof format);
    snprintf(text, sizeof text, format, name);
    return Wide(text);
}

size_t TwoPorts(std::vector<std::string>& list)
{
    list = {"COM10", "COM9"};
    return list.size();
}
size_t NoPorts(std::vector<std::string>& list)
{
    list.clear();
    return 0;
}

COMMPROP g_fakeProps;
BOOL FakeQuery(const char*, COMMPROP* props)
{
    *props = g_fakeProps;
    return TRUE;
}
BOOL NobodyAnswers(const char*, COMMPROP*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

COMMPROP FullProps()
{
    COMMPROP p{};
    p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
    p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_PARITY_CHECK | PCF_XONXOFF;
    p.dwSettableBaud = 0x66BFF;
    p.wSettableData = 0x0F;
    p.wSettableStopParity = 0x1F07;
    return p;
}

HANDLE HoldPort(const char* name)
{
    char path[64];
    snprintf(path, sizeof path, "\\\\.\\%s", name);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

std::wstring ComboText(HWND dialog, int id)
{
    HWND combo = GetDlgItem(dialog, id);
    LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (i == CB_ERR) return L"";
    wchar_t text[260] = L"";
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    return text;
}

int FindItem(HWND dialog, int id, const wchar_t* text)
{
    return static_cast<int>(
        SendMessageW(GetDlgItem(dialog, id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text)));
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

class ConnectDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The message file beside the test program, read as the program reads its own.
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string msg(exe);
        msg = msg.substr(0, msg.find_last_of('.') + 1) + "msg";
        FILE* f = fopen(msg.c_str(), "wb");
        if (f) {
            fputs("2020 開けるポートがありません。\r\n2021 ポート%sは使用中です。\r\n", f);
            fclose(f);
        }
        LoadMessageCatalogue();
    }
    void SetUp() override
    {
        main_ = CreateTestMainWindow(true);
        ASSERT_NE(main_, nullptr);
        thread_ = GetCurrentThreadId();
        g_fakeProps = FullProps();
        memset(&record_, 0, sizeof record_);
        record_.dcb.DCBlength = sizeof(DCB);
        record_.dcb.BaudRate = 9600;
        record_.dcb.ByteSize = 8;
    }
    void TearDown() override
    {
        SetPortAccess(nullptr);
        DestroyTestMainWindow(main_);
    }
    // Closes whatever the script left open, so no test can hang.
    void CloseLeftovers()
    {
        for (int i = 0; i < 5; ++i) {
            HWND left = FindThreadDialog(thread_, nullptr);
            if (!left) return;
            PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(left, WM_CLOSE, 0, 0);
            Sleep(200);
        }
    }
    HWND WaitDialog(const wchar_t* title, HWND except = nullptr)
    {
        return WaitForThreadDialog(thread_, title, kWait, except);
    }

    HWND main_ = nullptr;
    DWORD thread_ = 0;
    DeviceSettings record_;
};

} // namespace

TEST_F(ConnectDialog, FirstFreePortIsChosenWhenAnotherIsHeld)
{
    HANDLE held = HoldPort("COM10");
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "COM10 must exist for this test";
    PortAccess ports{TwoPorts, QueryPortProperties};
    SetPortAccess(&ports);
    std::wstring chosen, button;
    bool confirmEnabled = false, portListEnabled = false;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        chosen = ComboText(d, IDC_CONNECT_PORT);
        button = WindowTextW(GetDlgItem(d, IDC_CONNECT_OK));
        confirmEnabled = Enabled(d, IDC_CONNECT_OK);
        portListEnabled = Enabled(d, IDC_CONNECT_PORT);
        SaveWindowPng(d, BuildFolderFile("connect_dialog.png"));
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 0);
    user.join();
    CloseHandle(held);
    EXPECT_EQ(chosen, L"COM9");
    EXPECT_EQ(button, L"接続(&C)");
    EXPECT_TRUE(confirmEnabled);
    EXPECT_TRUE(portListEnabled);
    EXPECT_EQ(record_.portName[0], 0) << "a cancelled dialog hands back nothing";
}

TEST_F(ConnectDialog, ChoosingAHeldPortShows2021AndGoesBack)
{
    PortAccess ports{TwoPorts, QueryPortProperties};
    SetPortAccess(&ports);
    HANDLE held = INVALID_HANDLE_VALUE;
    std::wstring first, report, after;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        first = ComboText(d, IDC_CONNECT_PORT);
        held = HoldPort("COM9");  // now COM10 is free and COM9 is ours
        ChooseComboItem(d, IDC_CONNECT_PORT, FindItem(d, IDC_CONNECT_PORT, first == L"COM10" ? L"COM9" : L"COM10"));
        HWND box = WaitDialog(AppTitle().c_str(), d);
        if (box) {
            report = MessageBoxText(box);
            ClickDialogButton(box, IDOK);
            WaitWithoutPumping([&] { return !IsWindow(box); }, kWait);
        }
        after = ComboText(d, IDC_CONNECT_PORT);
        ClickDialogButton(d, IDC_CONNECT_OK);
        Sleep(300);
        CloseLeftovers();
    });
    INT_PTR result = RunConnectDialog(main_, record_);
    user.join();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    ASSERT_EQ(first, L"COM10") << "both ports free: the first in list order answers";
    EXPECT_EQ(report, ExpectedMessage(2021, "COM9"));
    EXPECT_EQ(after, L"COM10");
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(record_.portName, "COM10");
}

TEST_F(ConnectDialog, ChoosingAFreePortTakesItsNameAndProperties)
{
    PortAccess ports{TwoPorts, QueryPortProperties};
    SetPortAccess(&ports);
    std::wstring after;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        ChooseComboItem(d, IDC_CONNECT_PORT, FindItem(d, IDC_CONNECT_PORT, L"COM9"));
        Sleep(300);
        after = ComboText(d, IDC_CONNECT_PORT);
        ClickDialogButton(d, IDC_CONNECT_OK);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 1);
    user.join();
    EXPECT_EQ(after, L"COM9");
    EXPECT_STREQ(record_.portName, "COM9");
    EXPECT_NE(record_.properties.dwSettableBaud, 0u) << "the port's own properties";
}

TEST_F(ConnectDialog, PortWithoutSpBaudShowsADisabledFilledBaudList)
{
    g_fakeProps.dwSettableParams &= ~SP_BAUD;
    g_fakeProps.dwProvCapabilities &= ~PCF_XONXOFF;
    PortAccess ports{TwoPorts, FakeQuery};
    SetPortAccess(&ports);
    LRESULT count = -1;
    bool baud = true, bytes = false, xon = true, parity = false;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        count = SendMessageW(GetDlgItem(d, IDC_CONNECT_BAUD), CB_GETCOUNT, 0, 0);
        baud = Enabled(d, IDC_CONNECT_BAUD);
        bytes = Enabled(d, IDC_CONNECT_BYTESIZE);
        parity = Enabled(d, IDC_CONNECT_PARITY);
        xon = Enabled(d, IDC_CONNECT_XONXOFF);
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
        Sleep(300);
        CloseLeftovers();
    });
    RunConnectDialog(main_, record_);
    user.join();
    LRESULT offered = 0;
    for (size_t i = 0; i < kBaudRateCount; ++i) offered += (kBaudRates[i].capability & 0x66BFF) ? 1 : 0;
    EXPECT_GT(offered, 0);
    EXPECT_EQ(count, offered);
    EXPECT_FALSE(baud);
    EXPECT_TRUE(bytes);
    EXPECT_TRUE(parity);
    EXPECT_FALSE(xon);
}

TEST_F(ConnectDialog, ConfirmReadsListsAndBoxesAndAnEmptyListKeepsTheValue)
{
    g_fakeProps.dwSettableBaud = 0;  // no baud row offered
    PortAccess ports{TwoPorts, FakeQuery};
    SetPortAccess(&ports);
    record_.dcb.BaudRate = 4242;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        SendMessageW(GetDlgItem(d, IDC_CONNECT_BYTESIZE), CB_SETCURSEL, FindItem(d, IDC_CONNECT_BYTESIZE, L"7"), 0);
        SendMessageW(GetDlgItem(d, IDC_CONNECT_PARITY), CB_SETCURSEL, FindItem(d, IDC_CONNECT_PARITY, L"偶数"), 0);
        SendMessageW(GetDlgItem(d, IDC_CONNECT_STOPBITS), CB_SETCURSEL, FindItem(d, IDC_CONNECT_STOPBITS, L"2"), 0);
        CheckDlgButton(d, IDC_CONNECT_RTSCTS, BST_INDETERMINATE);
        CheckDlgButton(d, IDC_CONNECT_DTRDSR, BST_CHECKED);
        CheckDlgButton(d, IDC_CONNECT_XONXOFF, BST_CHECKED);
        CheckDlgButton(d, IDC_CONNECT_SAVE, BST_UNCHECKED);
        ClickDialogButton(d, IDC_CONNECT_OK);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 1);
    user.join();
    const DCB& dcb = record_.dcb;
    EXPECT_STREQ(record_.portName, "COM10");
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_TRUE(dcb.fParity);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_TRUE(dcb.fOutX && dcb.fInX);
    EXPECT_FALSE(record_.flags & DEVICE_SAVE);
    // The stored settings of the port were loaded, and no list row replaced the baud rate.
    DeviceSettings stored{};
    lstrcpyA(stored.portName, "COM10");
    LoadPortSettings(stored);
    EXPECT_EQ(dcb.BaudRate, stored.dcb.BaudRate);
}

TEST_F(ConnectDialog, ExtendedSettingsTypedAs7eReadBackAs0x7E)
{
    PortAccess ports{TwoPorts, FakeQuery};
    SetPortAccess(&ports);
    std::wstring shown, refused = L"?", limited;
    bool editEnabledBefore = true, editEnabledAfter = false;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        ClickDialogButton(d, IDC_CONNECT_EXTENDED);
        HWND x = WaitDialog(kExtendedTitle, d);
        if (!x) return CloseLeftovers();
        editEnabledBefore = Enabled(x, IDC_EXT_ERRORCHAR);
        SendMessageW(GetDlgItem(x, IDC_EXT_ERRORCHAR_ON), BM_CLICK, 0, 0);
        editEnabledAfter = Enabled(x, IDC_EXT_ERRORCHAR);
        HWND edit = GetDlgItem(x, IDC_EXT_ERRORCHAR);
        SetWindowTextW(edit, L"");
        TypeText(edit, "xz-");
        refused = WindowTextW(edit);
        TypeText(edit, "7e");
        shown = WindowTextW(edit);
        TypeText(edit, "5");  // two characters at most
        limited = WindowTextW(edit);
        SetDlgItemTextW(x, IDC_EXT_XONCHAR, L"");
        SetDlgItemTextW(x, IDC_EXT_XOFFLIM, L"1234");
        SetDlgItemTextW(x, IDC_EXT_READINTERVAL, L"4294967295");
        SetDlgItemTextW(x, IDC_EXT_OUTQUEUE, L"65536");
        SendMessageW(GetDlgItem(x, IDC_EXT_CTSFLOW), BM_CLICK, 0, 0);
        SaveWindowPng(x, BuildFolderFile("extended_dialog.png"));
        ClickDialogButton(x, IDC_EXT_APPLY);
        WaitWithoutPumping([&] { return !IsWindow(x); }, kWait);
        ClickDialogButton(d, IDC_CONNECT_OK);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 1);
    user.join();
    EXPECT_FALSE(editEnabledBefore);
    EXPECT_TRUE(editEnabledAfter);
    EXPECT_EQ(refused, L"") << "only hexadecimal digits are taken";
    EXPECT_EQ(shown, L"7E");
    EXPECT_EQ(limited, L"7E");
    EXPECT_EQ(static_cast<BYTE>(record_.dcb.ErrorChar), 0x7E);
    EXPECT_TRUE(record_.dcb.fErrorChar);
    EXPECT_EQ(record_.dcb.XonChar, 0);
    EXPECT_EQ(record_.dcb.XoffLim, 1234);
    EXPECT_EQ(record_.timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(record_.outputQueueSize, 65536u);
    EXPECT_TRUE(record_.dcb.fOutxCtsFlow);
    EXPECT_TRUE(record_.flags & DEVICE_SAVE);
}

TEST_F(ConnectDialog, CancelKeepsNothingOfTheExtendedSettings)
{
    PortAccess ports{TwoPorts, FakeQuery};
    SetPortAccess(&ports);
    record_.flags = DEVICE_SAVE;
    DeviceSettings before = record_;
    bool extendedCancelKept = false;
    UserThread user([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        // Extended dialog cancelled: its edits are dropped at once.
        ClickDialogButton(d, IDC_CONNECT_EXTENDED);
        HWND x = WaitDialog(kExtendedTitle, d);
        if (!x) return CloseLeftovers();
        SetDlgItemTextW(x, IDC_EXT_XONLIM, L"7");
        ClickDialogButton(x, IDC_EXT_CANCEL);
        WaitWithoutPumping([&] { return !IsWindow(x); }, kWait);
        ClickDialogButton(d, IDC_CONNECT_EXTENDED);
        x = WaitDialog(kExtendedTitle, d);
        if (!x) return CloseLeftovers();
        wchar_t text[16] = L"";
        GetDlgItemTextW(x, IDC_EXT_XONLIM, text, 16);
        extendedCancelKept = std::wstring(text) != L"7";
        SetDlgItemTextW(x, IDC_EXT_XONLIM, L"9");
        SetDlgItemTextW(x, IDC_EXT_INQUEUE, L"100");
        ClickDialogButton(x, IDC_EXT_APPLY);
        WaitWithoutPumping([&] { return !IsWindow(x); }, kWait);
        PostMessageW(d, WM_CLOSE, 0, 0);  // the close box cancels too
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 0);
    user.join();
    EXPECT_TRUE(extendedCancelKept);
    DeviceSettings expected = before;
    expected.flags &= ~DEVICE_SAVE;
    EXPECT_EQ(memcmp(&expected, &record_, sizeof record_), 0);
}

TEST_F(ConnectDialog, NoAnsweringPortReports2020AndCannotConfirm)
{
    PortAccess ports{TwoPorts, NobodyAnswers};
    SetPortAccess(&ports);
    std::wstring report;
    bool confirm = true;
    LRESULT baudCount = -1;
    UserThread user([&] {
        HWND box = WaitDialog(AppTitle().c_str());
        if (box) {
            report = MessageBoxText(box);
            ClickDialogButton(box, IDOK);
        }
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        confirm = Enabled(d, IDC_CONNECT_OK);
        baudCount = SendMessageW(GetDlgItem(d, IDC_CONNECT_BAUD), CB_GETCOUNT, 0, 0);
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 0);
    user.join();
    EXPECT_EQ(report, ExpectedMessage(2020));
    EXPECT_FALSE(confirm);
    EXPECT_EQ(baudCount, 0);

    // An empty port list reports nothing and cannot confirm either.
    PortAccess none{NoPorts, NobodyAnswers};
    SetPortAccess(&none);
    bool anyBox = true;
    UserThread user2([&] {
        HWND d = WaitDialog(kConnectTitle);
        if (!d) return CloseLeftovers();
        confirm = Enabled(d, IDC_CONNECT_OK);
        anyBox = FindThreadDialog(thread_, AppTitle().c_str(), d) != nullptr;
        ClickDialogButton(d, IDC_CONNECT_CANCEL);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 0);
    user2.join();
    EXPECT_FALSE(confirm);
    EXPECT_FALSE(anyBox);
}

TEST_F(ConnectDialog, AnOpenPortIsChangedNotChosen)
{
    PortAccess ports{TwoPorts, NobodyAnswers};  // must not be asked
    SetPortAccess(&ports);
    record_.flags = DEVICE_OPEN;
    lstrcpyA(record_.portName, "COM9");
    record_.properties = FullProps();
    record_.dcb.BaudRate = 19200;
    record_.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    std::wstring button, port, baud;
    LRESULT ports_ = 0;
    bool portEnabled = true;
    UINT rts = 0;
    UserThread user([&] {
        HWND d = WaitDialog(kChangeTitle);
        if (!d) return CloseLeftovers();
        button = WindowTextW(GetDlgItem(d, IDC_CONNECT_OK));
        port = ComboText(d, IDC_CONNECT_PORT);
        ports_ = SendMessageW(GetDlgItem(d, IDC_CONNECT_PORT), CB_GETCOUNT, 0, 0);
        portEnabled = Enabled(d, IDC_CONNECT_PORT);
        baud = ComboText(d, IDC_CONNECT_BAUD);
        rts = IsDlgButtonChecked(d, IDC_CONNECT_RTSCTS);
        ClickDialogButton(d, IDC_CONNECT_OK);
        Sleep(300);
        CloseLeftovers();
    });
    EXPECT_EQ(RunConnectDialog(main_, record_), 1);
    user.join();
    EXPECT_EQ(button, L"適用(&A)");
    EXPECT_EQ(port, L"COM9");
    EXPECT_EQ(ports_, 1);
    EXPECT_FALSE(portEnabled);
    EXPECT_EQ(baud, L"19200");
    EXPECT_EQ(rts, static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(record_.flags & DEVICE_OPEN);
    EXPECT_EQ(record_.dcb.BaudRate, 19200u);
}
