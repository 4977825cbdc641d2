#include "logview/log_view.h"

#include <cstdlib>

#include "resources/resource.h"
#include "shell/messages.h"

// Placeholder until the view is built: it takes ownership of every record
// it is sent and frees it at once, so nothing leaks.
namespace {

LRESULT CALLBACK LogViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_RECORD) {
        free(reinterpret_cast<void*>(lParam));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

BOOL InitLogView(HINSTANCE instance)
{
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = LogViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kLogViewClass;
    return RegisterClassA(&wc) != 0;
}

void ShutdownLogView()
{
    UnregisterClassA(kLogViewClass, GetModuleHandleA(nullptr));
}

HWND CreateLogView(HWND parent)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, kLogViewClass, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(IDC_LOG_VIEW), GetModuleHandleA(nullptr), nullptr);
}
