// The modem status panel of the main window, its line requests recorded. (The engine's reports
// and the lines at the far end are proven by the engine and automation tests.)
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "serial/modem_panel.h"
#include "shell/app.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 0xFF, 0), kRed = RGB(0xFF, 0, 0), kBlue = RGB(0, 0, 0xFF), kCyan = RGB(0, 0xFF, 0xFF);
using Requests = std::vector<LPARAM>;
Requests g_requests;

WNDPROC g_mainProc = nullptr;
LRESULT CALLBACK RecordingMain(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_LINE_FUNCTION) return g_requests.push_back(lParam), 1;
    return CallWindowProcA(g_mainProc, hwnd, msg, wParam, lParam);
}

// The real main window's panel; the line requests it sends the window are recorded, not run.
class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_mainProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(main_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingMain)));
    }
    LRESULT Lamp(int line) { return SendMessageA(panel_, WM_PANEL_GET_LINE, 0, line); }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(panel_, id)) != FALSE; }
    // The colour in the middle of a lamp's face, left of its label.
    COLORREF Face(int id)
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
    void Setup(DWORD dtr, DWORD rts, bool outX = false)
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        dcb.fDtrControl = dtr;
        dcb.fRtsControl = rts;
        dcb.fOutX = outX;
        g_requests.clear();
        SendMessageA(panel_, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&dcb));
    }
    testing_support::MainWindowHost host_;
    HWND main_ = host_.Window(), panel_ = GetDlgItem(main_, IDC_MODEM_PANEL);
};

TEST_F(Panel, SetupLightsTheOutputLampsForEachHandshake)
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    struct { DWORD dtr, rts; bool outX; Requests requests; LRESULT dtrLamp, rtsLamp; COLORREF dtrFace, rtsFace; }
    cases[] = {
        {DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, false, {SETDTR, SETRTS, CLRBREAK}, 33, 33, kBlue, kBlue},
        {DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, true, {CLRDTR, CLRRTS, CLRBREAK}, 34, 34, face, face},
        {DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, false, {CLRBREAK}, 20, 20, kCyan, kCyan},
        {DTR_CONTROL_ENABLE, RTS_CONTROL_TOGGLE, false, {SETDTR, CLRBREAK}, 33, 20, kBlue, kCyan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DTR " << c.dtr << " RTS " << c.rts);
        Setup(c.dtr, c.rts, c.outX);
        EXPECT_TRUE(IsWindowEnabled(panel_));
        EXPECT_EQ(g_requests, c.requests);
        EXPECT_EQ(Requests({Lamp(LINE_DTR), Lamp(LINE_RTS), Lamp(LINE_BREAK)}), Requests({c.dtrLamp, c.rtsLamp, 34}));
        // Only lines the user switches can be clicked.
        EXPECT_TRUE(Enabled(IDC_PANEL_DTR) == (c.dtrLamp != 20) && Enabled(IDC_PANEL_RTS) == (c.rtsLamp != 20));
        EXPECT_EQ(std::vector<COLORREF>({Face(IDC_PANEL_DTR), Face(IDC_PANEL_RTS), Face(IDC_PANEL_BREAK)}),
                  std::vector<COLORREF>({c.dtrFace, c.rtsFace, face}));
        EXPECT_EQ(Requests({Lamp(LINE_CTS), Lamp(LINE_DSR), Lamp(LINE_RLSD)}), Requests({18, 18, 18}));
        EXPECT_TRUE(!Enabled(IDC_PANEL_CTS) && !Enabled(IDC_PANEL_DSR) && !Enabled(IDC_PANEL_RLSD));
        EXPECT_EQ(Enabled(IDC_PANEL_XON), c.outX);
    }
}

// Clicks and automation take one path: the line's own code is requested and only its lamp changes.
TEST_F(Panel, SwitchingALineRequestsItsCodeAndInputBitsLightTheirLamps)
{
    Setup(DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE, true);
    const struct { WPARAM state; int line; LRESULT result; Requests requests; LRESULT lamp; } cases[] = {
        {1, LINE_DTR, 1, {SETDTR}, 33},      {2, LINE_DTR, 1, {CLRDTR}, 34},      {1, LINE_BREAK, 1, {SETBREAK}, 33},
        {2, LINE_BREAK, 1, {CLRBREAK}, 34},  {1, LINE_XONXOFF, 1, {SETXON}, 0},   {2, LINE_XONXOFF, 1, {SETXOFF}, 0},
        {1, LINE_CTS, 0, {}, 18},            {2, LINE_RLSD, 0, {}, 18},           {1, 8, 1, {0}, 0},
    };
    for (const auto& c : cases) {
        g_requests.clear();
        EXPECT_EQ(SendMessageA(panel_, WM_PANEL_SET_LINE, c.state, c.line), c.result) << c.line;
        EXPECT_EQ(g_requests, c.requests) << c.line;
        EXPECT_EQ(Lamp(c.line), c.lamp) << c.line;
    }
    // Two clicks on RTS: blue, button face, blue again.
    g_requests.clear();
    SendDlgItemMessageA(panel_, IDC_PANEL_RTS, BM_CLICK, 0, 0);
    EXPECT_TRUE(Lamp(LINE_RTS) == 34 && Face(IDC_PANEL_RTS) == GetSysColor(COLOR_BTNFACE));
    SendDlgItemMessageA(panel_, IDC_PANEL_RTS, BM_CLICK, 0, 0);
    EXPECT_TRUE(Lamp(LINE_RTS) == 33 && Face(IDC_PANEL_RTS) == kBlue);
    EXPECT_EQ(g_requests, Requests({CLRRTS, SETRTS}));

    SendMessageA(panel_, WM_PANEL_LAMPS, MS_CTS_ON | MS_DSR_ON, 0);
    EXPECT_EQ(Requests({Lamp(LINE_CTS), Lamp(LINE_DSR), Lamp(LINE_RLSD), Lamp(0)}), Requests({17, 17, 18, 0}));
    EXPECT_EQ(std::vector<COLORREF>({Face(IDC_PANEL_CTS), Face(IDC_PANEL_RLSD)}), std::vector<COLORREF>({kGreen, kRed}));
    SendMessageA(main_, WM_VORLIN_MODEM_STATUS, MS_RLSD_ON, 0);  // the engine's report, through the main window
    EXPECT_EQ(Requests({Lamp(LINE_CTS), Lamp(LINE_DSR), Lamp(LINE_RLSD)}), Requests({18, 18, 17}));
}

} // namespace
