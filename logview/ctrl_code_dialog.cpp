// The control-code dialog: a 16 x 16 grid of byte values painted on the
// dialog itself; clicking a cell toggles it, moving over one names it in
// the status bar.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "base/text.h"
#include "logview/ctrl_codes.h"
#include "resources/resource.h"
#include "settings/help.h"

namespace {

constexpr int kCell = 19;
constexpr int kGrid = 29;    // first cell's left and top edge
constexpr int kBand = 10;    // header bands' left and top edge
constexpr COLORREF kHeaderGrey = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kMarked = RGB(0xC0, 0, 0);
constexpr int kHelpTopic = 71;

struct DialogState {
    CtrlCodeSet working;
    HFONT font = nullptr;
    HBRUSH greyBrush = nullptr;
    HBRUSH markedBrush = nullptr;
    HPEN greyPen = nullptr;
};

DialogState* StateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

RECT CellRect(int column, int row)
{
    return RECT{kGrid + kCell * column, kGrid + kCell * row, kGrid + 18 + kCell * column, kGrid + 18 + kCell * row};
}

void DrawCentred(HDC dc, const wchar_t* text, int length, RECT r)
{
    DrawTextW(dc, text, length, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

wchar_t ByteAsCharacter(int byte)
{
    char c = static_cast<char>(byte);
    wchar_t w = 0;
    if (SjisToWide(&c, 1, &w, 1) != 1) w = L' ';
    return w;
}

void PaintGrid(HWND dialog, HDC dc, DialogState& st)
{
    HGDIOBJ oldPen = SelectObject(dc, st.greyPen);
    HGDIOBJ oldBrush = SelectObject(dc, st.greyBrush);
    Rectangle(dc, kBand, kBand, 333 + 1, kGrid);
    Rectangle(dc, kBand, kBand, kGrid, 333 + 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    wchar_t label[8];
    for (int i = 0; i < 16; ++i) {
        wsprintfW(label, L"%02X", i);
        DrawCentred(dc, label, -1, RECT{kGrid + kCell * i, kBand, 47 + kCell * i, 28});
        wsprintfW(label, L"%X0", i);
        DrawCentred(dc, label, -1, RECT{kBand, kGrid + kCell * i, 28, 47 + kCell * i});
    }

    SelectObject(dc, st.font);
    SetTextColor(dc, RGB(0, 0, 0));
    HBRUSH window = GetSysColorBrush(COLOR_WINDOW);
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 16; ++column) {
            int byte = row * 16 + column;
            RECT r = CellRect(column, row);
            FillRect(dc, &r, st.working.code[byte] ? st.markedBrush : window);
            wchar_t c = ByteAsCharacter(byte);
            DrawCentred(dc, &c, 1, r);
        }
    }
    // Grey lines between the cells.
    for (int i = 0; i <= 16; ++i) {
        int at = kGrid - 1 + kCell * i;
        MoveToEx(dc, at, kGrid - 1, nullptr);
        LineTo(dc, at, kGrid + kCell * 16);
        MoveToEx(dc, kGrid - 1, at, nullptr);
        LineTo(dc, kGrid + kCell * 16, at);
    }

    // Legend.
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    struct { int top; HBRUSH brush; UINT text; } legend[] = {
        {295, window, IDS_CTRL_LEGEND_TEXT},
        {314, st.markedBrush, IDS_CTRL_LEGEND_CODE},
    };
    for (const auto& item : legend) {
        SelectObject(dc, item.brush);
        Rectangle(dc, 353, item.top, 371 + 1, item.top + 18 + 1);
        wchar_t text[64];
        int n = LoadStringW(GetModuleHandleW(nullptr), item.text, text, 64);
        RECT at{374, item.top, 600, item.top + 18};
        DrawTextW(dc, text, n, &at, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    (void)dialog;
}

void OnInitDialog(HWND dialog, DialogState* st)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(st));
    st->font = CreateFontW(-19, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_STRING_PRECIS,
                           CLIP_STROKE_PRECIS, DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, L"Terminal");
    st->greyBrush = CreateSolidBrush(kHeaderGrey);
    st->markedBrush = CreateSolidBrush(kMarked);
    st->greyPen = CreatePen(PS_SOLID, 1, kHeaderGrey);
    HWND status = GetDlgItem(dialog, IDC_CTRL_STATUS);
    SendMessageW(status, SB_SIMPLE, TRUE, 0);

    RECT ok, bar;
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    GetWindowRect(status, &bar);
    int okWidth = ok.right - ok.left, okHeight = ok.bottom - ok.top;
    RECT want{0, 0, okWidth + 363, (bar.bottom - bar.top) + 343};
    AdjustWindowRectEx(&want, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, want.right - want.left, want.bottom - want.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(GetDlgItem(dialog, IDOK), nullptr, 353, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, IDCANCEL), nullptr, 353, okHeight + 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void OnDestroy(DialogState* st)
{
    if (!st) return;
    DeleteObject(st->font);
    DeleteObject(st->greyBrush);
    DeleteObject(st->markedBrush);
    DeleteObject(st->greyPen);
    st->font = nullptr;
    st->greyBrush = st->markedBrush = nullptr;
    st->greyPen = nullptr;
}

void OnMouseMove(HWND dialog, int x, int y)
{
    wchar_t text[128] = L"";
    int byte = CtrlCodeGridHitTest(x, y);
    if (byte >= 0) FormatCtrlCodeStatus(byte, text, 128);
    SendDlgItemMessageW(dialog, IDC_CTRL_STATUS, SB_SETTEXTW, SB_SIMPLEID | SBT_NOBORDERS, reinterpret_cast<LPARAM>(text));
}

void OnLeftButtonDown(HWND dialog, DialogState* st, int x, int y)
{
    int byte = CtrlCodeGridHitTest(x, y);
    if (byte < 0) return;
    st->working.code[byte] = st->working.code[byte] ? 0 : 1;
    RECT r = CellRect(byte % 16, byte / 16);
    InvalidateRect(dialog, &r, TRUE);
}

INT_PTR CALLBACK CtrlCodeDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DialogState* st = StateOf(dialog);
    switch (msg) {
    case WM_INITDIALOG: OnInitDialog(dialog, reinterpret_cast<DialogState*>(lParam)); return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dialog, &ps);
        if (st) PaintGrid(dialog, dc, *st);
        EndPaint(dialog, &ps);
        return TRUE;
    }
    case WM_MOUSEMOVE: OnMouseMove(dialog, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))); return TRUE;
    case WM_LBUTTONDOWN:
        if (st) OnLeftButtonDown(dialog, st, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return TRUE;
    case WM_SIZE: SendDlgItemMessageW(dialog, IDC_CTRL_STATUS, WM_SIZE, wParam, lParam); return TRUE;
    case WM_HELP: ShowHelp(dialog, HELP_CONTEXT, kHelpTopic); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: EndDialog(dialog, 1); return TRUE;
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        }
        return FALSE;
    case WM_DESTROY: OnDestroy(st); return TRUE;
    }
    return FALSE;
}

} // namespace

int EditCtrlCodeSet(HWND owner, CtrlCodeSet& set)
{
    DialogState st;
    st.working = set;
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CTRL_CODES), owner,
                                     CtrlCodeDialogProc, reinterpret_cast<LPARAM>(&st));
    if (result == 1) set = st.working;
    return 1;
}
