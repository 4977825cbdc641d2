// The main window inside the test process: its class, styles, children,
// menu, and the routing of the messages other parts send it.
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

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

struct MenuLine {
    UINT id;  // 0 for a separator, -1 for a submenu
    const wchar_t* text;
    bool greyed;
};

// Compares one popup, item by item, with its expected lines.
void ExpectPopup(HMENU menu, int position, const wchar_t* title, const std::vector<MenuLine>& expected)
{
    wchar_t text[256] = {};
    GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
    EXPECT_STREQ(text, title);
    HMENU popup = GetSubMenu(menu, position);
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected.size())) << "popup " << position;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "popup " << position << " item " << i);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
        GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info);
        UINT id = (info.fType & MFT_SEPARATOR) ? 0 : info.hSubMenu ? UINT(-1) : info.wID;
        EXPECT_EQ(id, expected[i].id);
        if (!id) continue;  // separators carry no state of their own (Wine reports them greyed)
        GetMenuStringW(popup, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[i].text);
        EXPECT_EQ((info.fState & MFS_GRAYED) != 0, expected[i].greyed);
    }
}

} // namespace

TEST(MainWindow, ClassStylesAndChildren)
{
    MainWindowHost host;
    HWND hwnd = host.Window();
    ASSERT_TRUE(hwnd);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "VORLIN2_MAIN_WND_CLASS", &wc));
    EXPECT_EQ(wc.style, UINT(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    EXPECT_TRUE(wc.hIcon);

    // An overlapped window with a caption but no maximise box.
    LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    const LONG_PTR want = WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CAPTION;
    EXPECT_EQ(style & (want | WS_MAXIMIZEBOX), want);
    EXPECT_TRUE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_WINDOWEDGE);
    EXPECT_EQ(WindowTextW(hwnd), L"通信リソース制御ユーティリティー『Vorlin2』");

    HWND status = GetDlgItem(hwnd, IDC_STATUS_BAR);
    EXPECT_EQ(ClassOf(status), L"msctls_statusbar32");
    EXPECT_TRUE(GetWindowLongPtrA(status, GWL_STYLE) & SBARS_SIZEGRIP);
    HWND panel = GetDlgItem(hwnd, IDC_MODEM_PANEL);
    ASSERT_TRUE(panel);
    EXPECT_FALSE(IsWindowEnabled(panel)) << "the modem panel starts disabled";
    EXPECT_EQ(ClassOf(GetDlgItem(hwnd, IDC_LOG_VIEW)), L"VORLIN21_LOG_VIEW_CLASS");

    // No toolbar exists yet, so its customisation item is greyed.
    EXPECT_FALSE(GetDlgItem(hwnd, IDC_TOOLBAR));
    EXPECT_TRUE(GetMenuState(GetMenu(hwnd), IDM_CUSTOMIZE_TOOLBAR, MF_BYCOMMAND) & MF_GRAYED);
}

TEST(MainWindow, MenuTextsSeparatorsAndInitialStates)
{
    MainWindowHost host;
    HMENU menu = GetMenu(host.Window());
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), 6);
    const UINT SUB = UINT(-1);

    ExpectPopup(menu, 0, L"通信(&C)",
                {{IDM_CONNECT, L"接続(&C)...\tF5", false},
                 {IDM_DISCONNECT, L"切断(&D)\tShift + F5", true},
                 {0, L"", false},
                 {SUB, L"トンネル(&T)", false},
                 {0, L"", false},
                 {IDM_PRINT, L"印刷(&O)...\tCtrl + P", true},
                 {0, L"", false},
                 {IDM_EXIT, L"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tAlt + F4", false}});
    ExpectPopup(GetSubMenu(menu, 0), 3, L"トンネル(&T)",
                {{IDM_TUNNEL_NEW_PROCESS, L"新プロセスの作成(&N)", false},
                 {IDM_TUNNEL_ATTACH, L"他プロセスへアタッチ(&A)...", false}});
    ExpectPopup(menu, 1, L"編集(&E)",
                {{IDM_COPY, L"コピー(&C)\tCtrl + C", true},
                 {0, L"", false},
                 {IDM_CLEAR, L"クリア(&D)\tDel", false},
                 {0, L"", false},
                 {IDM_FIND, L"検索(&F)...\tCtrl + F", true},
                 {IDM_FIND_NEXT, L"次を検索(&N)\tF3", true},
                 {IDM_FIND_PREVIOUS, L"前を検索(&P)\tShift + F3", true}});
    ExpectPopup(menu, 2, L"ﾃﾞｰﾀ(&D)",
                {{IDM_SEND_DATA, L"データ送信(&S)...", true},
                 {IDM_FILTERING, L"フィルタリング(&F)...", true}});
    ExpectPopup(menu, 3, L"ﾛｸﾞ(&L)",
                {{IDM_LOG_FILE, L"ログファイルの設定(&O)...", false},
                 {IDM_LOG_STOP, L"ログの停止(&S)", true},
                 {IDM_LOG_FLUSH, L"ログファイルのフラッシュ(&F)", true}});
    // 40520 is greyed here because this build has no toolbar.
    ExpectPopup(menu, 4, L"ｵﾌﾟｼｮﾝ(&O)",
                {{IDM_SETTINGS, L"設定(&S)...\tAlt + Enter", false},
                 {IDM_CUSTOMIZE_TOOLBAR, L"ﾂｰﾙﾊﾞｰのｶｽﾀﾏｲｽﾞ(&T)...", true},
                 {0, L"", false},
                 {IDM_PSEUDO_DATA, L"疑似データ発生(&D)...", false}});
    ExpectPopup(menu, 5, L"ﾍﾙﾌﾟ(&H)",
                {{IDM_HELP_CONTENTS, L"はじめに(&H)...\tF1", false},
                 {IDM_HELP_FIND, L"検索(&F)...", false},
                 {0, L"", false},
                 {IDM_ABOUT, L"ﾊﾞｰｼﾞｮﾝ(&V)", false}});
}

TEST(MainWindow, AcceleratorTable)
{
    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_ACCEL));
    ASSERT_TRUE(table);
    ACCEL entries[16];
    int n = CopyAcceleratorTableA(table, entries, 16);
    struct Want { BYTE virt; WORD key; WORD cmd; };
    const Want want[] = {
        {FVIRTKEY, VK_F5, IDM_CONNECT},
        {FVIRTKEY | FSHIFT, VK_F5, IDM_DISCONNECT},
        {FVIRTKEY | FCONTROL, 'P', IDM_PRINT},
        {FVIRTKEY, VK_DELETE, IDM_CLEAR},
        {FVIRTKEY | FALT, VK_RETURN, IDM_SETTINGS},
    };
    ASSERT_EQ(n, 5);
    for (const Want& w : want) {
        bool found = false;
        for (int i = 0; i < n; ++i)
            found |= (entries[i].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT)) == w.virt && entries[i].key == w.key && entries[i].cmd == w.cmd;
        EXPECT_TRUE(found) << "accelerator for command " << w.cmd;
    }
    DestroyAcceleratorTable(table);
}

namespace {

std::vector<std::string> g_arrivals;

void RecordReceiveEvent(const uint8_t* bytes, uint32_t count)
{
    g_arrivals.push_back("event:" + std::string(reinterpret_cast<const char*>(bytes), count));
}

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

TEST(MainWindow, ReceiveRecordsReachTheAutomationEventBeforeTheView)
{
    MainWindowHost host;
    HWND view = GetDlgItem(host.Window(), IDC_LOG_VIEW);
    g_viewProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchView)));
    SetReceiveSinkForTest(RecordReceiveEvent);
    g_arrivals.clear();

    PostTrafficRecord(host.Window(), RECORD_RECEIVE, 1, 3, "abc");
    PostTrafficRecord(host.Window(), RECORD_SEND, 1, 2, "xy");
    PostTrafficRecord(host.Window(), RECORD_DISCARD, 2, 1, "z");
    SendMessageA(host.Window(), WM_VORLIN_RECORD, 0, 0);  // a null record is ignored
    host.Pump();

    SetReceiveSinkForTest(nullptr);
    SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));
    EXPECT_EQ(g_arrivals, (std::vector<std::string>{"event:abc", "view:1:abc", "view:0:xy", "view:3:z"}));
}

TEST(MainWindow, StateQueriesAndSendsWithoutAWriter)
{
    MainWindowHost host;
    HWND hwnd = host.Window();
    EXPECT_EQ(SendMessageA(hwnd, WM_VORLIN_IS_CONNECTED, 0, 0), 0);

    DeviceSettings copy;
    memset(&copy, 0xCC, sizeof copy);
    GetCurrentDevice().flags = DEVICE_SAVE;
    strcpy(GetCurrentDevice().portName, "COM42");
    EXPECT_EQ(SendMessageA(hwnd, WM_VORLIN_GET_DEVICE, 0, reinterpret_cast<LPARAM>(&copy)), 0);
    EXPECT_EQ(memcmp(&copy, &GetCurrentDevice(), sizeof copy), 0);
    GetCurrentDevice().flags = DEVICE_OPEN;
    EXPECT_EQ(SendMessageA(hwnd, WM_VORLIN_IS_CONNECTED, 0, 0), -1);
    memset(&GetCurrentDevice(), 0, sizeof(DeviceSettings));

    // With no writer thread a request is completed at once: its event is set.
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto* request = static_cast<SendRequest*>(calloc(1, sizeof(SendRequest) + 4 + 3));
    request->done = done;
    request->count = 4;
    memcpy(request->bytes, "ping", 4);
    EXPECT_EQ(SendMessageA(hwnd, WM_VORLIN_SEND, 0, reinterpret_cast<LPARAM>(request)), 0);
    EXPECT_EQ(WaitForSingleObject(done, 0), WAIT_OBJECT_0);
    CloseHandle(done);
}

TEST(MainWindow, RegisteringASecondModelessDialogDestroysTheFirst)
{
    MainWindowHost host;
    HWND first = CreateWindowExA(0, "STATIC", "first", WS_POPUP, 0, 0, 10, 10, host.Window(), nullptr, nullptr, nullptr);
    HWND second = CreateWindowExA(0, "STATIC", "second", WS_POPUP, 0, 0, 10, 10, host.Window(), nullptr, nullptr, nullptr);
    SendMessageA(host.Window(), WM_VORLIN_SET_MODELESS, reinterpret_cast<WPARAM>(first), 0);
    EXPECT_TRUE(IsWindow(first));
    SendMessageA(host.Window(), WM_VORLIN_SET_MODELESS, reinterpret_cast<WPARAM>(second), 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    // Closing drops the registered dialog too.
    SendMessageA(host.Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(IsWindow(host.Window()));
}
