#include "settings/settings_dialog.h"

#include <commctrl.h>

#include <cstdlib>
#include <vector>

#include "resources/resource.h"
#include "settings/help.h"
#include "settings/settings_pages.h"

// The dialog, its pages and its loop run on the main thread; the loop
// dispatches the thread's other messages too, so the main window keeps
// showing traffic while the dialog is open.
namespace {

constexpr int kPageCount = 3;

struct PageInfo {
    const char* tab;
    int dialog;
    DLGPROC proc;
    int firstControl, lastControl;  // where Tab enters and leaves the page
    ULONG_PTR helpTopic;
};
constexpr PageInfo kPages[kPageCount] = {
    {"ログファイル", IDD_SETTINGS_LOG, LogPageProc, IDC_LOG_DIRECTORY, IDC_LOG_ASCII_BYTES, 20},
    {"ログプレビュー", IDD_SETTINGS_VIEW, ViewPageProc, IDC_VIEW_FONT_SIZE, IDC_VIEW_FLIP, 21},
    {"その他", IDD_SETTINGS_OTHER, OtherPageProc, IDC_REGISTER_SERVER, IDC_SAMPLE_PAGE, 68},
};

// The three buttons in the order the arrow keys walk them.
constexpr int kButtons[3] = {IDC_SETTINGS_OK, IDC_SETTINGS_CANCEL, IDC_SETTINGS_APPLY};

struct Frame {
    SettingsDialogState* state;
    HWND dialog = nullptr;
    HWND tab = nullptr;
    HWND pages[kPageCount] = {};
};

Frame* FrameOf(HWND dialog) { return reinterpret_cast<Frame*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

int CurrentTab(const Frame& frame)
{
    int n = static_cast<int>(SendMessageW(frame.tab, TCM_GETCURSEL, 0, 0));
    return n >= 0 && n < kPageCount ? n : 0;
}

void ShowPage(Frame& frame, int shown)
{
    for (int i = 0; i < kPageCount; ++i)
        if (frame.pages[i]) ShowWindow(frame.pages[i], i == shown ? SW_SHOW : SW_HIDE);
}

void SelectTab(Frame& frame, int index)
{
    SendMessageW(frame.tab, TCM_SETCURSEL, index, 0);
    ShowPage(frame, index);
}

// Each page sits in the middle of the tab control's area below its headers.
void PlacePage(const Frame& frame, HWND page)
{
    RECT area, r;
    GetWindowRect(frame.tab, &area);
    MapWindowPoints(nullptr, frame.dialog, reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(frame.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    GetWindowRect(page, &r);
    int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
    int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
    SetWindowPos(page, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

BOOL OnInit(HWND dialog, Frame* frame)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(frame));
    frame->dialog = dialog;
    frame->tab = GetDlgItem(dialog, IDC_SETTINGS_TAB);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (int i = 0; i < kPageCount; ++i) {
        std::wstring text = SjisToWide(kPages[i].tab);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(frame->tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    for (int i = 0; i < kPageCount; ++i) {
        HWND page = CreateDialogParamW(instance, MAKEINTRESOURCEW(kPages[i].dialog), dialog, kPages[i].proc,
                                       reinterpret_cast<LPARAM>(frame->state));
        if (!page) continue;
        SetWindowLongPtrW(page, GWLP_ID, IDC_SETTINGS_PAGE_FIRST + i);
        PlacePage(*frame, page);
        frame->pages[i] = page;
    }
    ShowPage(*frame, CurrentTab(*frame));
    SetFocus(GetDlgItem(dialog, IDC_SETTINGS_CANCEL));
    return FALSE;
}

void Close(HWND dialog) { PostMessageW(dialog, WM_SETTINGS_END, 0, 0); }

void AskPage(Frame& frame, UINT request)
{
    HWND page = frame.pages[CurrentTab(frame)];
    if (!page || SendMessageW(page, request, 0, 0)) Close(frame.dialog);
}

void OnHelp(Frame& frame, const HELPINFO* info)
{
    HWND control = static_cast<HWND>(info->hItemHandle);
    if (info->iContextType == HELPINFO_WINDOW && control && GetParent(control) == frame.dialog &&
        info->iCtrlId >= IDC_SETTINGS_TAB && info->iCtrlId <= IDC_SETTINGS_APPLY) {
        ShowHelp(frame.dialog, HELP_CONTEXTPOPUP, info->iCtrlId);
        return;
    }
    ShowHelp(frame.dialog, HELP_CONTEXT, kPages[CurrentTab(frame)].helpTopic);
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Frame* frame = FrameOf(dialog);
    switch (msg) {
    case WM_INITDIALOG: return OnInit(dialog, reinterpret_cast<Frame*>(lParam));
    case WM_CLOSE: Close(dialog); return TRUE;
    case WM_HELP: if (frame) OnHelp(*frame, reinterpret_cast<HELPINFO*>(lParam)); return TRUE;
    case WM_NOTIFY:
        if (frame && reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE) ShowPage(*frame, CurrentTab(*frame));
        return TRUE;
    case WM_COMMAND:
        if (!frame || HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_SETTINGS_OK: AskPage(*frame, WM_SETTINGS_OK); return TRUE;
        case IDC_SETTINGS_CANCEL:
        case IDCANCEL: AskPage(*frame, WM_SETTINGS_CANCEL); return TRUE;
        case IDC_SETTINGS_APPLY: AskPage(*frame, WM_SETTINGS_APPLY); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

int ButtonIndex(HWND dialog, HWND focus)
{
    for (int i = 0; i < 3; ++i)
        if (focus == GetDlgItem(dialog, kButtons[i])) return i;
    return -1;
}

void FocusButton(HWND dialog, int index) { SetFocus(GetDlgItem(dialog, kButtons[(index + 3) % 3])); }

// Tab walks tab control -> page -> OK -> Cancel -> apply -> tab control;
// Shift+Tab the other way. Inside a page the page's own handling moves on.
bool OnTabKey(Frame& frame, HWND focus, bool back)
{
    HWND dialog = frame.dialog, page = frame.pages[CurrentTab(frame)];
    const PageInfo& info = kPages[CurrentTab(frame)];
    int button = ButtonIndex(dialog, focus);
    if (!back) {
        if (focus == frame.tab && page) SetFocus(GetDlgItem(page, info.firstControl));
        else if (page && focus == GetDlgItem(page, info.lastControl)) FocusButton(dialog, 0);
        else if (button == 2) SetFocus(frame.tab);
        else if (button >= 0) FocusButton(dialog, button + 1);
        else return false;
        return true;
    }
    if (focus == frame.tab) FocusButton(dialog, 2);
    else if (page && focus == GetDlgItem(page, info.firstControl)) SetFocus(frame.tab);
    else if (button == 0 && page) SetFocus(GetDlgItem(page, info.lastControl));
    else if (button > 0) FocusButton(dialog, button - 1);
    else return false;
    return true;
}

// The dialog's own keys; true when the key was taken.
bool OnKeyDown(Frame& frame, const MSG& msg)
{
    HWND dialog = frame.dialog, focus = GetFocus();
    if (msg.hwnd != dialog && !IsChild(dialog, msg.hwnd)) return false;
    int button = ButtonIndex(dialog, focus);
    switch (msg.wParam) {
    case VK_LEFT:
    case VK_UP:
        if (button < 0) return false;
        FocusButton(dialog, button - 1);
        return true;
    case VK_RIGHT:
    case VK_DOWN:
        if (button < 0) return false;
        FocusButton(dialog, button + 1);
        return true;
    case VK_PRIOR:
    case VK_NEXT:
        SelectTab(frame, (CurrentTab(frame) + (msg.wParam == VK_NEXT ? 1 : kPageCount - 1)) % kPageCount);
        SetFocus(frame.tab);
        return true;
    case VK_TAB: return OnTabKey(frame, focus, GetKeyState(VK_SHIFT) < 0);
    case VK_ESCAPE: Close(dialog); return true;
    default: return false;
    }
}

void Dispatch(Frame& frame, MSG& msg)
{
    if (msg.message == WM_KEYDOWN && OnKeyDown(frame, msg)) return;
    HWND page = frame.pages[CurrentTab(frame)];
    HWND focus = GetFocus();
    HWND handler = page && focus && IsChild(page, focus) ? page : frame.dialog;
    if (IsDialogMessageW(handler, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// Takes the next message; false at a quit message, which stays queued.
bool NextMessage(MSG& msg)
{
    while (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) WaitMessage();
    if (msg.message != WM_QUIT) return true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
}

std::vector<HWND> DisableThreadWindows(HWND except)
{
    std::vector<HWND> disabled;
    struct Walk { HWND except; std::vector<HWND>* list; } walk{except, &disabled};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* w = reinterpret_cast<Walk*>(lParam);
            if (hwnd != w->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
                EnableWindow(hwnd, FALSE);
                w->list->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return disabled;
}

} // namespace

void OpenSettingsDialog(HWND mainWindow, const SettingsDialogParts& parts)
{
    SettingsDialogState state{parts, mainWindow, {}, {}};
    Frame frame{&state};
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), mainWindow,
                                     SettingsProc, reinterpret_cast<LPARAM>(&frame));
    if (!dialog) return;
    // What was already waiting is delivered before the dialog shows.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!NextMessage(msg)) {
            DestroyWindow(dialog);
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    HWND previous = GetActiveWindow();
    std::vector<HWND> disabled = DisableThreadWindows(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetActiveWindow(dialog);
    while (IsWindow(dialog) && NextMessage(msg)) {
        if (msg.message == WM_SETTINGS_END && msg.hwnd == dialog) break;
        Dispatch(frame, msg);
    }
    // Enabled first: a disabled window cannot be activated.
    for (HWND hwnd : disabled)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    if (previous && IsWindow(previous)) SetActiveWindow(previous);
    if (IsWindow(dialog)) DestroyWindow(dialog);
}

namespace {

// WM_HELP of a page: the popup of a control, else the page's topic.
void ShowPageHelp(HWND page, const HELPINFO* info, ULONG_PTR topic)
{
    HWND control = static_cast<HWND>(info->hItemHandle);
    if (info->iContextType == HELPINFO_WINDOW && control && GetParent(control) == page && info->iCtrlId > 0 &&
        info->iCtrlId < 0xFFFF) {
        ShowHelp(page, HELP_CONTEXTPOPUP, static_cast<ULONG_PTR>(info->iCtrlId));
        return;
    }
    ShowHelp(page, HELP_CONTEXT, topic);
}

// The page's answer to a request of the dialog, as its dialog result.
INT_PTR Answer(HWND page, LRESULT result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace

INT_PTR PageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM lParam, const PageHandlers& handlers)
{
    SettingsDialogState* state = PageState(page);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        if (handlers.init && lParam) handlers.init(page, *reinterpret_cast<SettingsDialogState*>(lParam));
        return FALSE;
    case WM_COMMAND:
        if (state && handlers.command) handlers.command(page, *state, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DRAWITEM:
        if (state && handlers.drawItem) handlers.drawItem(*state, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_HELP: ShowPageHelp(page, reinterpret_cast<HELPINFO*>(lParam), handlers.helpTopic); return TRUE;
    case WM_SETTINGS_OK:
    case WM_SETTINGS_APPLY:
        if (!handlers.apply) return Answer(page, 1);
        return Answer(page, state ? handlers.apply(page, *state, msg == WM_SETTINGS_OK) : 0);
    case WM_SETTINGS_CANCEL: return Answer(page, 1);
    default: return FALSE;
    }
}

void FillCombo(HWND page, int id, int first, int count)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = L"";
        LoadStringW(instance, first + i, text, 64);
        SendDlgItemMessageW(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

char FirstCharacter(HWND page, int id, char fallback)
{
    std::string text = GetDlgItemTextSjis(page, id);
    return text.empty() ? fallback : text[0];
}

void SetCharacter(HWND page, int id, char c)
{
    char text[2] = {c, 0};
    SetDlgItemTextSjis(page, id, text);
}

bool ReadNumber(HWND page, int id, long long& value)
{
    std::string text = GetDlgItemTextSjis(page, id);
    char* end = nullptr;
    value = strtoll(text.c_str(), &end, 10);
    if (end == text.c_str()) value = 0;
    return end != text.c_str();
}

void SetNumber(HWND page, int id, long long value) { SetDlgItemTextSjis(page, id, std::to_string(value).c_str()); }
