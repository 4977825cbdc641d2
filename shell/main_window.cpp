#include "shell/main_window.h"

#include <commctrl.h>

#include <cstdlib>

#include "automation/automation.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "logging/traffic_record.h"
#include "logview/log_view.h"
#include "resources/resource.h"
#include "serial/modem_panel.h"
#include "serial/port.h"
#include "settings/help.h"
#include "settings/toolbar.h"
#include "shell/commands.h"
#include "shell/layout.h"
#include "shell/session.h"
#include "shell/shell.h"
#include "shell/window_state.h"
#include "tunnel/tunnel.h"

namespace {

LRESULT OnCreate(HWND hwnd)
{
    InitCommonControls();
    CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), GetModuleHandleW(nullptr),
                    nullptr);

    const AppSettings& app = GetAppSettings();
    HWND toolbar = (app.flags & APP_SHOW_TOOLBAR) ? CreateToolbar(hwnd, app) : nullptr;
    if (!toolbar) EnableMenuItem(GetMenu(hwnd), IDM_CUSTOMIZE_TOOLBAR, MF_BYCOMMAND | MF_GRAYED);
    CreateModemPanel(hwnd);
    CreateLogView(hwnd);
    ApplySessionState(hwnd);  // the buttons that need a port start disabled
    WatchSession(hwnd);
    return 0;
}

// Ask before closing an open port; then drop the modeless dialog and go.
// A hidden server that its last client left, or that a client asked to
// quit, shows itself when the user keeps it: hidden, nobody could close it.
void OnClose(HWND hwnd)
{
    if (GetSession().IsOpen()) {
        if (ShowMessage(hwnd, kAppTitle, MSG_CONFIRM_EXIT, MB_OKCANCEL) != IDOK) {
            if (GetAppSettings().flags & APP_STARTED_BY_AUTOMATION) ShowWindow(hwnd, SW_SHOWNORMAL);
            return;
        }
    }
    SendMessageW(hwnd, WM_VORLIN_SET_MODELESS, 0, 0);
    DestroyWindow(hwnd);
}

LRESULT OnSysCommand(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if ((wParam & 0xFFF0) == SC_CLOSE && (GetAppSettings().flags & APP_STARTED_BY_AUTOMATION)) {
        ShowMessage(hwnd, kAppTitle, MSG_CLOSE_REFUSED, MB_OK);
        return 0;
    }
    return DefWindowProcW(hwnd, WM_SYSCOMMAND, wParam, lParam);
}

// Receive records go to the automation clients first, then every record
// goes to the log view, which owns it from then on.
LRESULT OnRecord(HWND hwnd, LPARAM lParam)
{
    auto* record = reinterpret_cast<TrafficRecord*>(lParam);
    if (!record) return 0;
    if (record->kind == RECORD_RECEIVE) FireOnReceive(record->data, record->length);
    HWND view = GetDlgItem(hwnd, IDC_LOG_VIEW);
    if (view)
        SendMessageW(view, WM_VORLIN_RECORD, 0, lParam);
    else
        free(record);
    return 0;
}

LRESULT ToLogView(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND view = GetDlgItem(hwnd, IDC_LOG_VIEW);
    if (!view) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return SendMessageW(view, msg == WM_VORLIN_WHEEL ? WM_MOUSEWHEEL : msg, wParam, lParam);
}

LRESULT OnQueryPort(WPARAM wParam, LPARAM lParam)
{
    return QueryPortProperties(reinterpret_cast<const char*>(wParam), reinterpret_cast<COMMPROP*>(lParam));
}

LRESULT OnConnect(Session& session, LPARAM lParam)
{
    if (!lParam) return ERROR_INVALID_PARAMETER;
    return session.Connect(*reinterpret_cast<const DeviceSettings*>(lParam));
}

} // namespace

// A Unicode window: its title and texts read right on any system code page.
BOOL RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VORLIN));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VORLIN), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance)
{
    return CreateWindowExW(WS_EX_WINDOWEDGE, kMainWindowClass, SjisToWide(kAppTitle).c_str(),
                           WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Session& session = GetSession();
    SerialEngine& engine = session.Engine();
    switch (msg) {
    case WM_CREATE: return OnCreate(hwnd);
    case WM_DESTROY: session.StopReopening(); PostQuitMessage(0); return 0;
    case WM_SIZE: if (wParam != SIZE_MINIMIZED) LayoutChildren(hwnd); return 0;
    case WM_CLOSE: OnClose(hwnd); return 0;
    case WM_COPYDATA: return AcceptAttachRequest(hwnd, wParam, lParam);
    case WM_NOTIFY: return OnNotify(hwnd, reinterpret_cast<NMHDR*>(lParam));
    case WM_HELP: ShowHelp(hwnd, HELP_CONTEXT, 1); return TRUE;
    case WM_NCLBUTTONDOWN:
        if (wParam >= HTLEFT && wParam <= HTBOTTOMRIGHT) return BeginOutlineSizing(hwnd, wParam);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_KEYDOWN: return ToLogView(hwnd, msg, wParam, lParam);
    case WM_COMMAND: OnCommand(hwnd, LOWORD(wParam)); return 0;
    case WM_SYSCOMMAND: return OnSysCommand(hwnd, wParam, lParam);
    case WM_TIMER: FireOnAppTimer(wParam); return 0;
    case WM_MOUSEMOVE: return OnSizingMouseMove(hwnd, wParam, lParam);
    case WM_LBUTTONUP: return OnSizingButtonUp(hwnd, wParam, lParam);
    case WM_CAPTURECHANGED: return OnSizingCaptureChanged(hwnd, wParam, lParam);
    case WM_MOUSEWHEEL: return ToLogView(hwnd, msg, wParam, lParam);
    case WM_VORLIN_WHEEL: return ToLogView(hwnd, msg, wParam, lParam);
    case WM_VORLIN_CANCEL_WRITE: CancelWrite(engine); return 0;
    case WM_VORLIN_FLUSH_PORT: return FlushPort(engine.port);
    case WM_VORLIN_SEND: return ForwardSendRequest(engine, reinterpret_cast<SendRequest*>(lParam), reinterpret_cast<HANDLE*>(wParam));
    case WM_VORLIN_MODEM_STATUS: SendDlgItemMessageW(hwnd, IDC_MODEM_PANEL, WM_PANEL_LAMPS, wParam, 0); return 0;
    case WM_VORLIN_RECORD: return OnRecord(hwnd, lParam);
    case WM_VORLIN_ESCAPE_REQUEST: return ExecuteIoControl(engine, reinterpret_cast<EscapeRequest*>(lParam));
    case WM_VORLIN_LINE_FUNCTION: return ExecuteLineFunction(engine, static_cast<DWORD>(lParam));
    case WM_VORLIN_SET_MODELESS: SetModelessDialog(reinterpret_cast<HWND>(wParam), reinterpret_cast<ModelessFilter>(lParam)); return 0;
    case WM_VORLIN_CONNECT: return OnConnect(session, lParam);
    case WM_VORLIN_DISCONNECT: return session.Disconnect();
    case WM_VORLIN_PORT_LOST: session.PortLost(static_cast<DWORD>(wParam), static_cast<uint32_t>(lParam)); return 0;
    case WM_VORLIN_IS_CONNECTED: return session.IsOpen() ? -1 : 0;
    case WM_VORLIN_GET_DEVICE: if (lParam) *reinterpret_cast<DeviceSettings*>(lParam) = session.Device(); return 0;
    case WM_VORLIN_QUERY_PORT: return OnQueryPort(wParam, lParam);
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
