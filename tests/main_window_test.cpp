// The main window inside the test process: its window, children and menu,
// and the routing of the messages other parts send it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "logging/traffic_record.h"
#include "resources/resource.h"
#include "serial/engine.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/ui_driver.h"

using testing_support::MainWindowHost;

namespace {

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

std::vector<std::string> g_arrivals;

WNDPROC g_viewProc = nullptr;
LRESULT CALLBACK WatchView(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_RECORD && lParam) {
        auto* r = reinterpret_cast<TrafficRecord*>(lParam);
        g_arrivals.push_back("view:" + std::to_string(r->kind) + ":" +
                             std::string(reinterpret_cast<const char*>(r->data), r->length));
    }
    return CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
}

} // namespace

TEST(MainWindow, WindowChildrenAndMenu)
{
    MainWindowHost host;
    HWND hwnd = host.Window();
    ASSERT_TRUE(hwnd);
    // An overlapped window with a caption but no maximise box, a status bar with a grip, the
    // view, and the modem panel, disabled until a port opens.
    const LONG_PTR want = WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CAPTION;
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWL_STYLE) & (want | WS_MAXIMIZEBOX), want);
    EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(hwnd, IDC_STATUS_BAR), GWL_STYLE) & SBARS_SIZEGRIP);
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_LOG_VIEW)), L"VORLIN21_LOG_VIEW_CLASS");
    EXPECT_TRUE(GetDlgItem(hwnd, IDC_MODEM_PANEL) && !IsWindowEnabled(GetDlgItem(hwnd, IDC_MODEM_PANEL)));
    // The menu reads in Japanese (the resource script is UTF-8). No toolbar exists yet, so
    // its customisation item is greyed.
    HMENU menu = GetMenu(hwnd);
    ASSERT_EQ(GetMenuItemCount(menu), 6);
    const wchar_t* titles[] = {L"通信(&C)", L"編集(&E)", L"ﾃﾞｰﾀ(&D)", L"ﾛｸﾞ(&L)", L"ｵﾌﾟｼｮﾝ(&O)", L"ﾍﾙﾌﾟ(&H)"};
    for (int i = 0; i < 6; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, titles[i]);
    }
    EXPECT_FALSE(GetDlgItem(hwnd, IDC_TOOLBAR));
    EXPECT_TRUE(GetMenuState(menu, IDM_CUSTOMIZE_TOOLBAR, MF_BYCOMMAND) & MF_GRAYED);
}

TEST(MainWindow, ReceiveRecordsReachTheAutomationEventBeforeTheView)
{
    MainWindowHost host;
    HWND view = GetDlgItem(host.Window(), IDC_LOG_VIEW);
    g_viewProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchView)));
    SetReceiveSinkForTest([](const uint8_t* bytes, uint32_t count) {
        g_arrivals.push_back("event:" + std::string(reinterpret_cast<const char*>(bytes), count));
    });
    g_arrivals.clear();

    PostTrafficRecord(RECORD_RECEIVE, 1, 3, "abc");
    PostTrafficRecord(RECORD_SEND, 1, 2, "xy");
    PostTrafficRecord(RECORD_DISCARD, 2, 1, "z");
    SendMessageA(host.Window(), WM_VORLIN_RECORD, 0, 0);  // a null record is ignored
    host.Pump();

    SetReceiveSinkForTest(nullptr);
    SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));
    EXPECT_EQ(g_arrivals, (std::vector<std::string>{"event:abc", "view:1:abc", "view:0:xy", "view:3:z"}));
}
