#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "serial/modem_panel.h"
#include "settings/settings_store.h"
#include "tests/support/temp_files.h"
#include "shell/app.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/ui_driver.h"

namespace {

// A main window that only records the line requests the panel makes.
std::vector<LPARAM> g_requests;
LRESULT g_requestResult = 1;

LRESULT CALLBACK RecordingMainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_LINE_FUNCTION) {
        g_requests.push_back(lParam);
        return g_requestResult;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingMainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "PanelTestMain";
        RegisterClassA(&wc);
        main_ = CreateWindowExA(0, "PanelTestMain", "panel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 700, 200,
                                nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(main_, nullptr);
        SetMainWindow(main_);
        panel_ = CreateModemPanel(main_);
        ASSERT_NE(panel_, nullptr);
        SendMessageA(panel_, 0xD441, 0, 0);
        g_requests.clear();
        g_requestResult = 1;
    }
    void TearDown() override
    {
        SetMainWindow(nullptr);
        DestroyWindow(main_);
    }

    LRESULT Lamp(int line) { return SendMessageA(panel_, WM_PANEL_GET_LINE, 0, line); }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(panel_, id)) != FALSE; }
    void Setup(DWORD dtr, DWORD rts, bool outX = false)
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        dcb.fDtrControl = dtr;
        dcb.fRtsControl = rts;
        dcb.fOutX = outX;
        SendMessageA(panel_, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&dcb));
    }
    // The colour in the middle of a lamp's face, left of its label.
    COLORREF FaceColour(int id)
    {
        HWND button = GetDlgItem(panel_, id);
        RedrawWindow(panel_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT r;
        GetClientRect(button, &r);
        HDC dc = GetDC(button);
        COLORREF c = GetPixel(dc, 3, r.bottom / 2);
        ReleaseDC(button, dc);
        return c;
    }

    HWND main_ = nullptr;
    HWND panel_ = nullptr;
};

} // namespace

TEST_F(Panel, StartsDisabledWithDarkLampsAndFillsTheParentsWidth)
{
    EXPECT_EQ(GetDlgCtrlID(panel_), IDC_MODEM_PANEL);
    EXPECT_FALSE(IsWindowEnabled(panel_));
    for (int line = 1; line <= 6; ++line) EXPECT_EQ(Lamp(line), 0) << line;
    EXPECT_EQ(Lamp(0), 0);
    EXPECT_EQ(Lamp(7), 0);
    SendMessageA(panel_, 0xD441, 0, 42);
    RECT client, panel = ChildRect(panel_);
    GetClientRect(main_, &client);
    EXPECT_EQ(panel.top, 42);
    EXPECT_EQ(panel.right - panel.left, client.right);
    // The Xon/Xoff group is shown only when the settings ask for it.
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(panel_, IDC_PANEL_XON)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(panel_, IDC_PANEL_XONXOFF_GROUP)));
}

TEST_F(Panel, XonXoffGroupIsShownWhenTheSettingsAskForIt)
{
    TempFolder folder;
    std::string ini = folder.Write("Vorlin2.ini", "[LINE]\r\nX=ENABLE\r\n");
    SetIniFileForTesting(ini.c_str());
    HWND panel = CreateModemPanel(main_);
    SetIniFileForTesting(nullptr);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(panel, IDC_PANEL_XON)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(panel, IDC_PANEL_XOFF)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(panel, IDC_PANEL_XONXOFF_GROUP)));
    DestroyWindow(panel);
}

TEST_F(Panel, SetupWithSwitchableLinesRaisesThemAndClearsBreak)
{
    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE);
    EXPECT_TRUE(IsWindowEnabled(panel_));
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{SETDTR, SETRTS, CLRBREAK}));
    EXPECT_EQ(Lamp(LINE_RTS), 33);
    EXPECT_EQ(Lamp(LINE_CTS), 18);
    EXPECT_EQ(Lamp(LINE_DTR), 33);
    EXPECT_EQ(Lamp(LINE_DSR), 18);
    EXPECT_EQ(Lamp(LINE_RLSD), 18);
    EXPECT_EQ(Lamp(LINE_BREAK), 34);
    EXPECT_TRUE(Enabled(IDC_PANEL_RTS));
    EXPECT_TRUE(Enabled(IDC_PANEL_DTR));
    EXPECT_TRUE(Enabled(IDC_PANEL_BREAK));
    EXPECT_FALSE(Enabled(IDC_PANEL_CTS));
    EXPECT_FALSE(Enabled(IDC_PANEL_DSR));
    EXPECT_FALSE(Enabled(IDC_PANEL_RLSD));
    EXPECT_FALSE(Enabled(IDC_PANEL_XON));

    g_requests.clear();
    Setup(DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, true);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRDTR, CLRRTS, CLRBREAK}));
    EXPECT_EQ(Lamp(LINE_RTS), 34);
    EXPECT_EQ(Lamp(LINE_DTR), 34);
    EXPECT_TRUE(Enabled(IDC_PANEL_RTS));
    EXPECT_TRUE(Enabled(IDC_PANEL_XON));
    EXPECT_TRUE(Enabled(IDC_PANEL_XOFF));
}

TEST_F(Panel, HandshakeLinesAreCyanAndOnlyBreakIsSwitchable)
{
    Setup(DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRBREAK}));
    EXPECT_EQ(Lamp(LINE_RTS), 20);
    EXPECT_EQ(Lamp(LINE_DTR), 20);
    EXPECT_FALSE(Enabled(IDC_PANEL_RTS));
    EXPECT_FALSE(Enabled(IDC_PANEL_DTR));
    EXPECT_TRUE(Enabled(IDC_PANEL_BREAK));
    EXPECT_EQ(FaceColour(IDC_PANEL_RTS), RGB(0, 0xFF, 0xFF));
    EXPECT_EQ(FaceColour(IDC_PANEL_DTR), RGB(0, 0xFF, 0xFF));

    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_TOGGLE);
    EXPECT_EQ(Lamp(LINE_RTS), 20);
    EXPECT_FALSE(Enabled(IDC_PANEL_RTS));
}

TEST_F(Panel, ModemStatusLightsTheInputLamps)
{
    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE);
    SendMessageA(panel_, WM_PANEL_LAMPS, MS_CTS_ON | MS_DSR_ON, 0);
    EXPECT_EQ(Lamp(LINE_CTS), 17);
    EXPECT_EQ(Lamp(LINE_DSR), 17);
    EXPECT_EQ(Lamp(LINE_RLSD), 18);
    EXPECT_EQ(FaceColour(IDC_PANEL_CTS), RGB(0, 0xFF, 0));
    EXPECT_EQ(FaceColour(IDC_PANEL_DSR), RGB(0, 0xFF, 0));
    EXPECT_EQ(FaceColour(IDC_PANEL_RLSD), RGB(0xFF, 0, 0));
    EXPECT_EQ(FaceColour(IDC_PANEL_RTS), RGB(0, 0, 0xFF));
    EXPECT_EQ(FaceColour(IDC_PANEL_BREAK), GetSysColor(COLOR_BTNFACE));
    SaveWindowPng(main_, BuildFolderFile("modem_panel_status_0x30.png"));

    SendMessageA(panel_, WM_PANEL_LAMPS, MS_RLSD_ON | MS_RING_ON, 0);
    EXPECT_EQ(Lamp(LINE_CTS), 18);
    EXPECT_EQ(Lamp(LINE_RLSD), 17);
    EXPECT_TRUE(g_requests.size() == 3u) << "input lamps ask nothing of the port";

    // The main window passes the engine's notice on to the panel.
    DestroyWindow(panel_);
    HWND real = CreateTestMainWindow();
    HWND panel = GetDlgItem(real, IDC_MODEM_PANEL);
    PostMessageA(real, WM_VORLIN_MODEM_STATUS, MS_CTS_ON | MS_DSR_ON, 0);
    EXPECT_TRUE(PumpUntil([&] { return SendMessageA(panel, WM_PANEL_GET_LINE, 0, LINE_CTS) == 17; }, 2000));
    DestroyTestMainWindow(real);
    SetMainWindow(main_);
}

TEST_F(Panel, TwoRtsClicksRequestCodesFourThenThree)
{
    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE);
    g_requests.clear();
    HWND rts = GetDlgItem(panel_, IDC_PANEL_RTS);
    SendMessageA(rts, BM_CLICK, 0, 0);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRRTS}));
    EXPECT_EQ(Lamp(LINE_RTS), 34);
    EXPECT_EQ(FaceColour(IDC_PANEL_RTS), GetSysColor(COLOR_BTNFACE));
    SendMessageA(rts, BM_CLICK, 0, 0);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRRTS, SETRTS}));
    EXPECT_EQ(Lamp(LINE_RTS), 33);
    EXPECT_EQ(FaceColour(IDC_PANEL_RTS), RGB(0, 0, 0xFF));

    g_requests.clear();
    SendMessageA(GetDlgItem(panel_, IDC_PANEL_DTR), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(panel_, IDC_PANEL_BREAK), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(panel_, IDC_PANEL_BREAK), BM_CLICK, 0, 0);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRDTR, SETBREAK, CLRBREAK}));
}

TEST_F(Panel, SwitchingLinesByMessage)
{
    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE);
    g_requests.clear();
    g_requestResult = 0;  // a request that failed
    EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, 2, LINE_DTR), 0);
    EXPECT_EQ(Lamp(LINE_DTR), 34) << "the lamp shows what was asked";
    g_requestResult = 1;
    EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, 1, LINE_DTR), 1);
    EXPECT_EQ(Lamp(LINE_DTR), 33);
    EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, 1, LINE_XONXOFF), 1);
    EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, 2, LINE_XONXOFF), 1);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{CLRDTR, SETDTR, SETXON, SETXOFF}));
    // Input lines cannot be switched; unknown lines ask for code 0.
    g_requests.clear();
    EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, 1, LINE_CTS), 0);
    EXPECT_EQ(Lamp(LINE_CTS), 18);
    EXPECT_TRUE(g_requests.empty());
    SendMessageA(panel_, WM_PANEL_SET_LINE, 1, 9);
    EXPECT_EQ(g_requests, (std::vector<LPARAM>{0}));
}

TEST_F(Panel, DisabledPanelDrawsPlainFramesAndKeepsItsLamps)
{
    Setup(DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE);
    SendMessageA(panel_, WM_PANEL_LAMPS, MS_CTS_ON, 0);
    EXPECT_EQ(FaceColour(IDC_PANEL_CTS), RGB(0, 0xFF, 0));
    EnableWindow(panel_, FALSE);
    EXPECT_EQ(FaceColour(IDC_PANEL_CTS), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Lamp(LINE_CTS), 17);
}

#include "serial/engine.h"
#include "serial/port.h"
#include "tests/support/serial_bench.h"

// The panel on the program's own main window, connected to COM9 with the
// far end of the virtual cable on COM10 (RTS -> CTS, DTR -> DSR and DCD).
TEST(PanelOnTheCable, RtsClicksReachTheFarEndAndItsLinesLightTheLamps)
{
    HWND main = CreateTestMainWindow();
    ASSERT_NE(main, nullptr);
    HWND panel = GetDlgItem(main, IDC_MODEM_PANEL);
    FarEnd peer;
    ASSERT_TRUE(peer.Open("COM10")) << GetLastError();
    SerialEngine& engine = GetSerialEngine();
    DeviceSettings& device = GetCurrentDevice();
    device = TestPortSettings("COM9");
    device.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    device.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    ASSERT_TRUE(OpenPort(device, &engine.port)) << GetLastError();
    ASSERT_TRUE(StartEngine(engine));
    SendMessageA(panel, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&device.dcb));

    auto peerSees = [&](DWORD bit, bool on) {
        return PumpUntil([&] { return ((peer.ModemStatus() & bit) != 0) == on; }, 5000);
    };
    EXPECT_TRUE(peerSees(MS_CTS_ON, true)) << "set-up raised RTS";
    EXPECT_TRUE(peerSees(MS_DSR_ON, true)) << "set-up raised DTR";

    HWND rts = GetDlgItem(panel, IDC_PANEL_RTS);
    SendMessageA(rts, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(panel, WM_PANEL_GET_LINE, 0, LINE_RTS), 34);
    EXPECT_TRUE(peerSees(MS_CTS_ON, false)) << "first click drops RTS";
    SendMessageA(rts, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(panel, WM_PANEL_GET_LINE, 0, LINE_RTS), 33);
    EXPECT_TRUE(peerSees(MS_CTS_ON, true)) << "second click raises it again";

    // The far end's lines come back through the engine as lamps.
    auto lamp = [&](int line, LRESULT state) {
        return PumpUntil([&] { return SendMessageA(panel, WM_PANEL_GET_LINE, 0, line) == state; }, 5000);
    };
    peer.Line(SETRTS);
    peer.Line(SETDTR);
    EXPECT_TRUE(lamp(LINE_CTS, 17));
    EXPECT_TRUE(lamp(LINE_DSR, 17));
    EXPECT_TRUE(lamp(LINE_RLSD, 17));
    peer.Line(CLRRTS);
    EXPECT_TRUE(lamp(LINE_CTS, 18));
    peer.Line(SETRTS);
    EXPECT_TRUE(lamp(LINE_CTS, 17));
    SaveWindowPng(main, BuildFolderFile("modem_panel_connected.png"));

    StopEngine(engine);
    ClosePort(&device.flags, &engine.port);
    DestroyTestMainWindow(main);
}
