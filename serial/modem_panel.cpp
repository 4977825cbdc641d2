#include "serial/modem_panel.h"

#include "resources/resource.h"
#include "shell/messages.h"

// Placeholder until the lamp panel is built: an empty strip of the panel's
// height that takes its place in the layout.
namespace {

constexpr char kPanelClass[] = "VORLIN2_PANEL_PLACEHOLDER";
constexpr int kPanelHeight = 32;

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PANEL_PLACE) {
        RECT client;
        GetClientRect(GetParent(hwnd), &client);
        SetWindowPos(hwnd, nullptr, 0, static_cast<int>(wParam), client.right, kPanelHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

HWND CreateModemPanel(HWND parent)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPanelClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    return CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0, 0, kPanelHeight,
                           parent, reinterpret_cast<HMENU>(IDC_MODEM_PANEL), GetModuleHandleA(nullptr), nullptr);
}
