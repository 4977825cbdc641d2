#include "shell/layout.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "shell/messages.h"

namespace {

int WindowHeight(HWND hwnd)
{
    RECT r;
    if (!hwnd || !GetWindowRect(hwnd, &r)) return 0;
    return r.bottom - r.top;
}

} // namespace

void LayoutChildren(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    HWND status = GetDlgItem(hwnd, IDC_STATUS_BAR);
    HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR);
    HWND panel = GetDlgItem(hwnd, IDC_MODEM_PANEL);
    HWND view = GetDlgItem(hwnd, IDC_LOG_VIEW);

    if (status) SendMessageA(status, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (toolbar) SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    int toolbarHeight = toolbar ? WindowHeight(toolbar) + 2 : 0;
    if (panel) SendMessageA(panel, WM_PANEL_PLACE, toolbarHeight, 0);
    if (view) {
        RECT r = client;
        r.top += WindowHeight(panel) + toolbarHeight;
        r.bottom -= WindowHeight(status);
        SetWindowPos(view, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// Until the outline sizing is built, the system's own sizing runs.
LRESULT BeginOutlineSizing(HWND hwnd, WPARAM hitTest)
{
    POINT pt;
    GetCursorPos(&pt);
    return DefWindowProcA(hwnd, WM_NCLBUTTONDOWN, hitTest, MAKELPARAM(pt.x, pt.y));
}

LRESULT OnSizingMouseMove(HWND, WPARAM, LPARAM) { return 0; }
LRESULT OnSizingButtonUp(HWND, WPARAM, LPARAM) { return 0; }
LRESULT OnSizingCaptureChanged(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, WM_CAPTURECHANGED, wParam, lParam);
}
