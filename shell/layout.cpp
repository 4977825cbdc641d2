#include "shell/layout.h"

#include <windowsx.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "shell/messages.h"

// The sizing state belongs to the main thread: the drag runs inside the
// main window's own messages, with the mouse captured.
namespace {

constexpr int kOutlineThickness = 1;

using SizingHandler = LRESULT (*)(HWND, WPARAM, LPARAM);

LRESULT IdleMove(HWND, WPARAM, LPARAM) { return 0; }
LRESULT IdleButtonUp(HWND, WPARAM, LPARAM) { return 0; }
LRESULT IdleCaptureChanged(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, WM_CAPTURECHANGED, wParam, lParam);
}

struct SizingState {
    int hitTest = 0;     // 0: no drag
    int offsetX = 0;     // dragged edge minus cursor
    int offsetY = 0;
    int moveX = 0;       // where the dragged edges are now
    int moveY = 0;
    SizingHandler onMove = IdleMove;
    SizingHandler onButtonUp = IdleButtonUp;
    SizingHandler onCaptureChanged = IdleCaptureChanged;
};
SizingState g_sizing;

bool DragsLeft(int h) { return h == HTLEFT || h == HTTOPLEFT || h == HTBOTTOMLEFT; }
bool DragsRight(int h) { return h == HTRIGHT || h == HTTOPRIGHT || h == HTBOTTOMRIGHT; }
bool DragsTop(int h) { return h == HTTOP || h == HTTOPLEFT || h == HTTOPRIGHT; }
bool DragsBottom(int h) { return h == HTBOTTOM || h == HTBOTTOMLEFT || h == HTBOTTOMRIGHT; }

int WindowHeight(HWND hwnd)
{
    RECT r;
    if (!hwnd || !GetWindowRect(hwnd, &r)) return 0;
    return r.bottom - r.top;
}

RECT CurrentOutline(HWND hwnd)
{
    RECT window;
    GetWindowRect(hwnd, &window);
    return SizedWindowRect(window, g_sizing.hitTest, POINT{g_sizing.moveX, g_sizing.moveY});
}

// Inverting twice restores the screen, so drawing the same outline again erases it.
void DrawOutline(const RECT& r)
{
    HDC screen = GetDC(nullptr);
    if (!screen) return;
    const int t = kOutlineThickness;
    RECT bars[] = {
        {r.left, r.top, r.right, r.top + t},
        {r.left, r.top + t, r.left + t, r.bottom - t},
        {r.right - t, r.top + t, r.right, r.bottom - t},
        {r.left, r.bottom - t, r.right, r.bottom},
    };
    for (const RECT& bar : bars) InvertRect(screen, &bar);
    ReleaseDC(nullptr, screen);
}

POINT ScreenPoint(HWND hwnd, LPARAM lParam)
{
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(hwnd, &p);
    return p;
}

void TakeCursor(POINT cursor)
{
    g_sizing.moveX = cursor.x + g_sizing.offsetX;
    g_sizing.moveY = cursor.y + g_sizing.offsetY;
}

void EndDrag(HWND hwnd, POINT cursor, bool apply)
{
    if (!g_sizing.hitTest) return;
    DrawOutline(CurrentOutline(hwnd));
    TakeCursor(cursor);
    RECT target = CurrentOutline(hwnd);
    g_sizing.hitTest = 0;
    g_sizing.onMove = IdleMove;
    g_sizing.onButtonUp = IdleButtonUp;
    g_sizing.onCaptureChanged = IdleCaptureChanged;
    // The capture-changed message this causes finds no drag and passes.
    if (GetCapture() == hwnd) ReleaseCapture();
    if (apply)
        SetWindowPos(hwnd, nullptr, target.left, target.top, target.right - target.left, target.bottom - target.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT DragMove(HWND hwnd, WPARAM, LPARAM lParam)
{
    DrawOutline(CurrentOutline(hwnd));
    TakeCursor(ScreenPoint(hwnd, lParam));
    DrawOutline(CurrentOutline(hwnd));
    return 0;
}

LRESULT DragButtonUp(HWND hwnd, WPARAM, LPARAM lParam)
{
    EndDrag(hwnd, ScreenPoint(hwnd, lParam), true);
    return 0;
}

// Another window took the mouse (a switch of program, a dialog): the drag
// is dropped and the window keeps its size.
LRESULT DragCaptureChanged(HWND hwnd, WPARAM, LPARAM)
{
    POINT cursor;
    DWORD pos = GetMessagePos();
    cursor.x = GET_X_LPARAM(pos);
    cursor.y = GET_Y_LPARAM(pos);
    EndDrag(hwnd, cursor, false);
    return 0;
}

} // namespace

void LayoutChildren(HWND hwnd)
{
    if (IsIconic(hwnd)) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HWND status = GetDlgItem(hwnd, IDC_STATUS_BAR);
    HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR);
    HWND panel = GetDlgItem(hwnd, IDC_MODEM_PANEL);
    HWND view = GetDlgItem(hwnd, IDC_LOG_VIEW);

    if (status) SendMessageW(status, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (toolbar) SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    int toolbarHeight = toolbar ? WindowHeight(toolbar) + 2 : 0;
    if (panel) SendMessageW(panel, WM_PANEL_PLACE, 0, toolbarHeight);
    if (view) {
        RECT r = client;
        r.top += WindowHeight(panel) + toolbarHeight;
        r.bottom -= WindowHeight(status);
        SetWindowPos(view, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

RECT SizedWindowRect(const RECT& window, int hitTest, POINT edge)
{
    RECT r = window;
    if (DragsLeft(hitTest)) r.left = edge.x < window.right - kMinWindowWidth ? edge.x : window.right - kMinWindowWidth;
    if (DragsRight(hitTest)) r.right = edge.x > window.left + kMinWindowWidth ? edge.x : window.left + kMinWindowWidth;
    if (DragsTop(hitTest)) r.top = edge.y < window.bottom - kMinWindowHeight ? edge.y : window.bottom - kMinWindowHeight;
    if (DragsBottom(hitTest))
        r.bottom = edge.y > window.top + kMinWindowHeight ? edge.y : window.top + kMinWindowHeight;
    return r;
}

LRESULT BeginOutlineSizing(HWND hwnd, WPARAM hitTest)
{
    DWORD pos = GetMessagePos();
    return BeginOutlineSizingAt(hwnd, static_cast<int>(hitTest), POINT{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)});
}

LRESULT BeginOutlineSizingAt(HWND hwnd, int h, POINT cursor)
{
    if (h < HTLEFT || h > HTBOTTOMRIGHT || g_sizing.hitTest) return 0;
    RECT window;
    GetWindowRect(hwnd, &window);

    g_sizing.onMove = DragMove;
    g_sizing.onButtonUp = DragButtonUp;
    g_sizing.onCaptureChanged = DragCaptureChanged;
    SetCapture(hwnd);

    g_sizing.offsetX = DragsLeft(h) ? window.left - cursor.x : DragsRight(h) ? window.right - cursor.x : 0;
    g_sizing.offsetY = DragsTop(h) ? window.top - cursor.y : DragsBottom(h) ? window.bottom - cursor.y : 0;
    g_sizing.hitTest = h;
    TakeCursor(cursor);
    DrawOutline(CurrentOutline(hwnd));
    return 0;
}

LRESULT OnSizingMouseMove(HWND hwnd, WPARAM wParam, LPARAM lParam) { return g_sizing.onMove(hwnd, wParam, lParam); }
LRESULT OnSizingButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    return g_sizing.onButtonUp(hwnd, wParam, lParam);
}
LRESULT OnSizingCaptureChanged(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    return g_sizing.onCaptureChanged(hwnd, wParam, lParam);
}

bool IsOutlineSizing() { return g_sizing.hitTest != 0; }
