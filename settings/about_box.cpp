#include "settings/about_box.h"

#include <shellapi.h>

#include <cwchar>

#include "resources/resource.h"

namespace {

constexpr int kVersion[3] = {2, 1, 7};
constexpr COLORREF kLinkColour = RGB(0, 0, 0xFF);

// Lives while the box is open; the brush is deleted when it closes.
struct AboutState {
    HBRUSH menuBrush = nullptr;
    HCURSOR hand = nullptr;
};

AboutState* StateOf(HWND box) { return reinterpret_cast<AboutState*>(GetWindowLongPtrW(box, DWLP_USER)); }

bool CursorOnLink(HWND box)
{
    RECT link;
    POINT p;
    HWND control = GetDlgItem(box, IDC_ABOUT_LINK);
    return control && GetWindowRect(control, &link) && GetCursorPos(&p) && PtInRect(&link, p);
}

// The link line is exactly as wide as its text, centred in the box.
void FitLink(HWND box)
{
    HWND link = GetDlgItem(box, IDC_ABOUT_LINK);
    wchar_t text[256];
    int length = GetWindowTextW(link, text, 256);
    HDC dc = GetDC(link);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    SelectObject(dc, old);
    ReleaseDC(link, dc);
    RECT client, r;
    GetClientRect(box, &client);
    GetWindowRect(link, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(link, nullptr, (client.right - size.cx) / 2, r.top, size.cx, r.bottom - r.top, SWP_NOZORDER);
}

void OnInit(HWND box, AboutState* state)
{
    SetWindowLongPtrW(box, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    struct { WPARAM which; int metric; } constexpr kIcons[] = {{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}};
    for (auto icon : kIcons) {
        int size = GetSystemMetrics(icon.metric);
        HANDLE image = LoadImageW(instance, MAKEINTRESOURCEW(IDI_VORLIN), IMAGE_ICON, size, size, LR_SHARED);
        SendMessageW(box, WM_SETICON, icon.which, reinterpret_cast<LPARAM>(image));
    }
    wchar_t format[128] = L"", title[160];
    LoadStringW(instance, IDS_APP_VERSION_TITLE, format, 128);
    swprintf(title, 160, format, kVersion[0], kVersion[1], kVersion[2]);
    SetDlgItemTextW(box, IDC_ABOUT_TITLE, title);
    FitLink(box);
}

void OpenLink(HWND box)
{
    wchar_t address[256];
    if (GetDlgItemTextW(box, IDC_ABOUT_LINK, address, 256) > 0)
        ShellExecuteW(box, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR OnColour(HWND box, HDC dc, HWND control)
{
    AboutState* state = StateOf(box);
    if (!state) return FALSE;
    SetBkColor(dc, GetSysColor(COLOR_MENU));
    if (control == GetDlgItem(box, IDC_ABOUT_LINK)) SetTextColor(dc, kLinkColour);
    return reinterpret_cast<INT_PTR>(state->menuBrush);
}

INT_PTR CALLBACK AboutProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: OnInit(box, reinterpret_cast<AboutState*>(lParam)); return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return OnColour(box, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        if (!StateOf(box) || !CursorOnLink(box)) return FALSE;
        SetCursor(StateOf(box)->hand);
        SetWindowLongPtrW(box, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_LBUTTONUP:
        if (CursorOnLink(box)) OpenLink(box);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(box, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

} // namespace

void ShowAboutBox(HWND owner)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    AboutState state;
    state.menuBrush = CreateSolidBrush(GetSysColor(COLOR_MENU));
    state.hand = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_HAND_CURSOR));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, reinterpret_cast<LPARAM>(&state));
    DeleteObject(state.menuBrush);
}
