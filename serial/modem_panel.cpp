#include "serial/modem_panel.h"

#include <cstring>
#include <initializer_list>
#include <iterator>

#include "base/text.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "serial/engine.h"

// The panel lives on the main thread. Its lamp words are kept with the
// dialog (DWLP_USER) and freed when it is destroyed.
namespace {

constexpr int kLines = 6;

struct LampButton {
    int id;
    const char* label;
};
// Index i is line i + 1.
constexpr LampButton kLamps[kLines] = {
    {IDC_PANEL_RTS, "RTS"}, {IDC_PANEL_CTS, "CTS"}, {IDC_PANEL_DTR, "DTR"},
    {IDC_PANEL_DSR, "DSR"}, {IDC_PANEL_RLSD, "RLSD"}, {IDC_PANEL_BREAK, "BREAK"},
};

// EscapeCommFunction codes of the switchable lines: {on, off}.
struct LineCodes {
    int line;
    DWORD on;
    DWORD off;
};
constexpr LineCodes kLineCodes[] = {
    {LINE_RTS, SETRTS, CLRRTS}, {LINE_DTR, SETDTR, CLRDTR}, {LINE_BREAK, SETBREAK, CLRBREAK},
    {LINE_XONXOFF, SETXON, SETXOFF},
};

struct PanelState {
    uint32_t lamp[kLines];
};

PanelState* State(HWND panel) { return reinterpret_cast<PanelState*>(GetWindowLongPtrW(panel, DWLP_USER)); }

int LineOfControl(int id)
{
    for (int i = 0; i < kLines; ++i)
        if (kLamps[i].id == id) return i + 1;
    return 0;
}

// Line requests go to the panel's parent (the main window), which runs them
// on the engine's event thread.
LRESULT RequestLine(HWND panel, DWORD code)
{
    HWND main = GetParent(panel);
    return main ? SendMessageW(main, WM_VORLIN_LINE_FUNCTION, 0, static_cast<LPARAM>(code)) : 0;
}

void RepaintLamp(HWND panel, int line) { InvalidateRect(GetDlgItem(panel, kLamps[line - 1].id), nullptr, FALSE); }

void SetLamp(HWND panel, int line, uint32_t state, bool enabled)
{
    State(panel)->lamp[line - 1] = state;
    EnableWindow(GetDlgItem(panel, kLamps[line - 1].id), enabled);
}

BOOL Result(HWND panel, LRESULT result)
{
    SetWindowLongPtrW(panel, DWLP_MSGRESULT, result);
    return TRUE;
}

void OnPlace(HWND panel, LPARAM top)
{
    RECT parent, own;
    GetClientRect(GetParent(panel), &parent);
    GetClientRect(panel, &own);
    SetWindowPos(panel, nullptr, 0, static_cast<int>(top), parent.right, own.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

// A new connection: the lamps show what was asked of the lines; the
// results of the requests are not looked at.
void OnSetup(HWND panel, const DCB* dcb)
{
    if (!dcb) return;
    EnableWindow(panel, TRUE);
    if (dcb->fDtrControl == DTR_CONTROL_HANDSHAKE) {
        SetLamp(panel, LINE_DTR, LAMP_HANDSHAKE, false);
    } else if (dcb->fDtrControl != DTR_CONTROL_DISABLE) {
        RequestLine(panel, SETDTR);
        SetLamp(panel, LINE_DTR, LAMP_OUTPUT_ON, true);
    } else {
        RequestLine(panel, CLRDTR);
        SetLamp(panel, LINE_DTR, LAMP_OUTPUT_OFF, true);
    }
    SetLamp(panel, LINE_DSR, LAMP_INPUT_OFF, false);
    if (dcb->fRtsControl == RTS_CONTROL_HANDSHAKE || dcb->fRtsControl == RTS_CONTROL_TOGGLE) {
        SetLamp(panel, LINE_RTS, LAMP_HANDSHAKE, false);
    } else if (dcb->fRtsControl == RTS_CONTROL_ENABLE) {
        RequestLine(panel, SETRTS);
        SetLamp(panel, LINE_RTS, LAMP_OUTPUT_ON, true);
    } else {
        RequestLine(panel, CLRRTS);
        SetLamp(panel, LINE_RTS, LAMP_OUTPUT_OFF, true);
    }
    SetLamp(panel, LINE_CTS, LAMP_INPUT_OFF, false);
    SetLamp(panel, LINE_RLSD, LAMP_INPUT_OFF, false);
    RequestLine(panel, CLRBREAK);
    SetLamp(panel, LINE_BREAK, LAMP_OUTPUT_OFF, true);
    for (int id : {IDC_PANEL_XONXOFF_GROUP, IDC_PANEL_XON, IDC_PANEL_XOFF})
        EnableWindow(GetDlgItem(panel, id), dcb->fOutX != 0);
    InvalidateRect(panel, nullptr, TRUE);
}

void OnModemStatus(HWND panel, DWORD status)
{
    PanelState* s = State(panel);
    s->lamp[LINE_CTS - 1] = (status & MS_CTS_ON) ? LAMP_INPUT_ON : LAMP_INPUT_OFF;
    s->lamp[LINE_DSR - 1] = (status & MS_DSR_ON) ? LAMP_INPUT_ON : LAMP_INPUT_OFF;
    s->lamp[LINE_RLSD - 1] = (status & MS_RLSD_ON) ? LAMP_INPUT_ON : LAMP_INPUT_OFF;
    for (int line : {LINE_CTS, LINE_DSR, LINE_RLSD}) RepaintLamp(panel, line);
}

LRESULT OnSetLine(HWND panel, WPARAM state, LPARAM lParam)
{
    int line = static_cast<int>(lParam);
    if (line == LINE_CTS || line == LINE_DSR || line == LINE_RLSD) return 0;
    const LineCodes* codes = nullptr;
    for (const LineCodes& c : kLineCodes)
        if (c.line == line) codes = &c;
    if (!codes) return RequestLine(panel, 0);
    bool on = state == LAMP_ON;
    if (line != LINE_XONXOFF) {
        uint32_t& lamp = State(panel)->lamp[line - 1];
        lamp = (lamp & ~(LAMP_ON | LAMP_OFF)) | (on ? LAMP_ON : LAMP_OFF);
        RepaintLamp(panel, line);
    }
    return RequestLine(panel, on ? codes->on : codes->off);
}

// A click goes round through the main window, the path automation takes.
void OnCommand(HWND panel, int id, int code)
{
    if (code != BN_CLICKED) return;
    int line = LineOfControl(id);
    WPARAM state;
    if (line == LINE_RTS || line == LINE_DTR || line == LINE_BREAK) {
        state = (State(panel)->lamp[line - 1] & LAMP_ON) ? LAMP_OFF : LAMP_ON;
    } else if (id == IDC_PANEL_XON || id == IDC_PANEL_XOFF) {
        line = LINE_XONXOFF;
        state = id == IDC_PANEL_XON ? LAMP_ON : LAMP_OFF;
    } else {
        return;
    }
    SendMessageW(panel, WM_PANEL_SET_LINE, state, line);
}

void OnDrawItem(HWND panel, const DRAWITEMSTRUCT* item)
{
    int line = LineOfControl(static_cast<int>(item->CtlID));
    const char* label = line ? kLamps[line - 1].label : "Unknown";
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    int shift = 0;
    if (!IsWindowEnabled(panel)) {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    } else {
        uint32_t state = line ? State(panel)->lamp[line - 1] : 0;
        HBRUSH brush = CreateSolidBrush(LampColour(state));
        DrawColourButton(item, brush);
        DeleteObject(brush);
        if (item->itemState & ODS_SELECTED) shift = 1;
    }
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item->hwndItem, WM_GETFONT, 0, 0)));
    // Lamp labels are ASCII; the program's text still goes out as UTF-16.
    wchar_t text[16];
    int length = static_cast<int>(SjisToWide(label, strlen(label), text, std::size(text)));
    SIZE size;
    GetTextExtentPoint32W(dc, text, length, &size);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    TextOutW(dc, (r.left + r.right - size.cx) / 2 + shift, (r.top + r.bottom - size.cy) / 2 + shift, text, length);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

INT_PTR CALLBACK PanelProc(HWND panel, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto* state = new PanelState{};
        SetWindowLongPtrW(panel, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
        if (!IsXonXoffPanelEnabled())
            for (int id : {IDC_PANEL_XONXOFF_GROUP, IDC_PANEL_XON, IDC_PANEL_XOFF}) ShowWindow(GetDlgItem(panel, id), SW_HIDE);
        return FALSE;
    }
    case WM_NCDESTROY:
        delete State(panel);
        SetWindowLongPtrW(panel, DWLP_USER, 0);
        return FALSE;
    case WM_PANEL_PLACE: OnPlace(panel, lParam); return Result(panel, 0);
    case WM_PANEL_SETUP: OnSetup(panel, reinterpret_cast<const DCB*>(lParam)); return Result(panel, 0);
    case WM_PANEL_LAMPS: OnModemStatus(panel, static_cast<DWORD>(wParam)); return Result(panel, 0);
    case WM_PANEL_GET_LINE:
        return Result(panel, lParam >= 1 && lParam <= kLines ? State(panel)->lamp[lParam - 1] : 0);
    case WM_PANEL_SET_LINE: return Result(panel, OnSetLine(panel, wParam, lParam));
    case WM_COMMAND: OnCommand(panel, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_DRAWITEM: OnDrawItem(panel, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_ENABLE: InvalidateRect(panel, nullptr, TRUE); return FALSE;
    default: return FALSE;
    }
}

} // namespace

COLORREF LampColour(uint32_t state)
{
    if (state & LAMP_INPUT) {
        if (state & LAMP_ON) return RGB(0x00, 0xFF, 0x00);
        if (state & LAMP_OFF) return RGB(0xFF, 0x00, 0x00);
        if (state & LAMP_DRIVER) return RGB(0x00, 0xFF, 0xFF);
    } else if ((state & LAMP_OUTPUT) && (state & LAMP_ON)) {
        return RGB(0x00, 0x00, 0xFF);
    }
    return GetSysColor(COLOR_BTNFACE);
}

HWND CreateModemPanel(HWND parent)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND panel = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MODEM_PANEL), parent, PanelProc, 0);
    if (!panel) return nullptr;
    SetWindowLongPtrW(panel, GWLP_ID, IDC_MODEM_PANEL);
    EnableWindow(panel, FALSE);
    return panel;
}
