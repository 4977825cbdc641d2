// The main window inside the test process: the routing of the records the engine posts it. (Its
// menu texts and states follow the connection in the connection-state test.)
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
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/ui_driver.h"

using testing_support::MainWindowHost;

namespace {

std::vector<std::string> g_arrivals;

WNDPROC g_viewProc = nullptr;
LRESULT CALLBACK WatchView(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (auto* r = msg == WM_VORLIN_RECORD ? reinterpret_cast<TrafficRecord*>(lParam) : nullptr)
        g_arrivals.push_back("view:" + std::to_string(r->kind) + ":" + std::string(r->data, r->data + r->length));
    return CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
}

} // namespace

TEST(MainWindow, ReceiveRecordsReachTheAutomationEventBeforeTheView)
{
    MainWindowHost host;
    HWND view = GetDlgItem(host.Window(), IDC_LOG_VIEW);
    g_viewProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchView)));
    SetReceiveSinkForTest([](const uint8_t* bytes, uint32_t count) {
        g_arrivals.push_back("event:" + std::string(reinterpret_cast<const char*>(bytes), count));
    });
    g_arrivals.clear();
    PostTrafficRecord(host.Window(), RECORD_RECEIVE, 1, 3, "abc");
    PostTrafficRecord(host.Window(), RECORD_SEND, 1, 2, "xy");
    PostTrafficRecord(host.Window(), RECORD_DISCARD, 2, 1, "z");
    SendMessageA(host.Window(), WM_VORLIN_RECORD, 0, 0);  // a null record is ignored
    host.Pump();
    SetReceiveSinkForTest(nullptr);
    SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));
    EXPECT_EQ(g_arrivals, (std::vector<std::string>{"event:abc", "view:1:abc", "view:0:xy", "view:3:z"}));
    // The window as a user sees it with those records: menu, panel, view and status bar.
    EXPECT_TRUE(SaveScreenshot(host.Window(), "main_window"));
}
