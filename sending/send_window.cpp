#include "sending/send_window.h"

#include <commctrl.h>

#include <vector>

#include "base/text.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "sending/send_pages.h"
#include "sending/tool_window.h"

// The window, its pages and its keyboard order belong to the main thread.
// The keyboard filter is a plain function the main loop calls, so the one
// window it serves is kept here.
namespace {

constexpr int kPageCount = 2;
constexpr size_t kMaxOrder = 64;

struct OrderEntry {
    HWND parent;
    int id;
};

struct SendWindow {
    HWND window = nullptr;
    HWND mainWindow = nullptr;
    HWND tabs = nullptr;
    HWND pages[kPageCount] = {};
    int shown = -1;
    std::vector<OrderEntry> order;  // Tab and Shift+Tab walk this list
};

SendWindow* g_open = nullptr;

SendWindow* StateOf(HWND window) { return reinterpret_cast<SendWindow*>(GetWindowLongPtrW(window, DWLP_USER)); }

void AddToOrder(SendWindow& s, HWND parent, int first, int last)
{
    for (int id = first; id <= last && s.order.size() < kMaxOrder; ++id) s.order.push_back({parent, id});
}

// The window's own buttons and tabs first, then the controls of the page shown.
void RebuildOrder(SendWindow& s)
{
    s.order.clear();
    AddToOrder(s, s.window, IDC_SEND_ASYNC, IDC_SEND_SYNC);
    AddToOrder(s, s.window, IDC_SEND_TABS, IDC_SEND_TABS);
    HWND page = s.pages[s.shown];
    if (s.shown == 0) {
        AddToOrder(s, page, IDC_SINGLE_FILE, IDC_SINGLE_DATA);
        AddToOrder(s, page, IDC_SINGLE_ENTRY_FIRST, IDC_SINGLE_ENTRY_LAST);
    } else {
        AddToOrder(s, page, IDC_MULTI_FILE, IDC_MULTI_SECTION);
        AddToOrder(s, page, kFieldControlBase, kFieldControlBase + kMaxFormFields - 1);
    }
}

// Centred across the tab control, and in the height below its headers.
void PlacePage(HWND tabs, HWND page)
{
    RECT client, display, own;
    GetClientRect(tabs, &client);
    display = client;
    TabCtrl_AdjustRect(tabs, FALSE, &display);
    GetWindowRect(page, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    SetWindowPos(page, nullptr, (client.right - width) / 2, display.top + (client.bottom - display.top - height) / 2,
                 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowPage(SendWindow& s, int index)
{
    if (index < 0 || index >= kPageCount) return;
    if (s.shown >= 0 && s.pages[s.shown]) ShowWindow(s.pages[s.shown], SW_HIDE);
    s.shown = index;
    if (!s.pages[index]) {
        s.pages[index] = CreateDialogParamW(GetModuleHandleW(nullptr),
                                            MAKEINTRESOURCEW(index == 0 ? IDD_SEND_SINGLE : IDD_SEND_MULTI), s.tabs,
                                            index == 0 ? ButtonPageProc : FormPageProc, 0);
        if (!s.pages[index]) return;
        PlacePage(s.tabs, s.pages[index]);
    }
    RebuildOrder(s);
    UpdateSendButtons(s.window);
    ShowWindow(s.pages[index], SW_SHOW);
    RedrawWindow(s.pages[index], nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void InsertTab(HWND tabs, HWND window, int index, const char* text)
{
    std::wstring wide = SjisToWide(text);
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = wide.data();
    item.lParam = reinterpret_cast<LPARAM>(window);
    SendMessageW(tabs, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
}

BOOL OnInitDialog(HWND window, HWND mainWindow)
{
    auto* s = new SendWindow;
    s->window = window;
    s->mainWindow = mainWindow;
    s->tabs = GetDlgItem(window, IDC_SEND_TABS);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    g_open = s;
    InsertTab(s->tabs, window, 0, "シングル編集");
    InsertTab(s->tabs, window, 1, "マルチ編集");
    ShowPage(*s, static_cast<int>(SendMessageW(s->tabs, TCM_GETCURSEL, 0, 0)));
    return TRUE;
}

void Close(SendWindow& s) { CloseToolWindow(s.window, s.mainWindow); }

void OnCommand(SendWindow& s, int id)
{
    switch (id) {
    case IDC_SEND_ASYNC:
    case IDC_SEND_SYNC:
        if (s.shown >= 0 && s.pages[s.shown]) SendMessageW(s.pages[s.shown], WM_COMMAND, id, 0);
        return;
    case IDCANCEL: Close(s); return;
    default: return;
    }
}

INT_PTR CALLBACK SendWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) return OnInitDialog(window, reinterpret_cast<HWND>(lParam));
    SendWindow* s = StateOf(window);
    if (!s) return FALSE;
    switch (msg) {
    case WM_COMMAND: OnCommand(*s, LOWORD(wParam)); return TRUE;
    case WM_CLOSE: Close(*s); return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE)
            ShowPage(*s, static_cast<int>(SendMessageW(s->tabs, TCM_GETCURSEL, 0, 0)));
        return TRUE;
    case WM_NCDESTROY:
        if (g_open == s) g_open = nullptr;
        SetWindowLongPtrW(window, DWLP_USER, 0);
        delete s;
        return FALSE;
    default: return FALSE;
    }
}

bool IsClass(HWND hwnd, const wchar_t* name)
{
    wchar_t cls[32] = L"";
    return hwnd && GetClassNameW(hwnd, cls, 32) && lstrcmpiW(cls, name) == 0;
}

// Tab and Shift+Tab: the next usable control of the order list, wrapping at
// the ends. False when the focus is on no control of the list.
bool MoveFocus(const SendWindow& s, bool backwards)
{
    HWND focus = GetFocus();
    // The edit part of a combo box stands for its combo box.
    if (IsClass(focus, L"Edit") && IsClass(GetParent(focus), L"ComboBox")) focus = GetParent(focus);
    if (!focus) return false;
    const HWND parent = GetParent(focus);
    const int id = GetDlgCtrlID(focus);
    const size_t n = s.order.size();
    size_t at = 0;
    while (at < n && !(s.order[at].parent == parent && s.order[at].id == id)) ++at;
    if (at == n) return false;
    for (size_t step = 1; step < n; ++step) {
        const OrderEntry& next = s.order[(at + (backwards ? n - step : step)) % n];
        HWND control = GetDlgItem(next.parent, next.id);
        if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) continue;
        SetFocus(control);
        if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
        return true;
    }
    return true;  // nothing else to go to: the focus stays
}

BOOL SendWindowFilter(MSG* msg)
{
    if (!g_open || !msg->hwnd) return FALSE;
    HWND window = g_open->window;
    if (msg->hwnd != window && !IsChild(window, msg->hwnd)) return FALSE;
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        Close(*g_open);
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
        MoveFocus(*g_open, GetKeyState(VK_SHIFT) < 0))
        return TRUE;
    return IsDialogMessageW(window, msg);
}

} // namespace

void UpdateSendButtons(HWND window)
{
    SendWindow* s = StateOf(window);
    if (!s || s->shown < 0) return;
    const bool ready = s->shown == 0 || FormPageCanSend(s->pages[s->shown]);
    for (int id : {IDC_SEND_ASYNC, IDC_SEND_SYNC}) EnableWindow(GetDlgItem(window, id), ready);
}

HWND OpenSendDataWindow(HWND mainWindow)
{
    return OpenToolWindow(g_open ? g_open->window : nullptr, mainWindow,
                          IDD_SEND_DATA, SendWindowProc, SendWindowFilter);
}
