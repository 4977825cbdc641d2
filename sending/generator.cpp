#include "sending/generator.h"

#include <new>
#include <string>
#include <vector>

#include "base/catalogue.h"
#include "base/text.h"
#include "logging/traffic_record.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "sending/tool_window.h"

// Everything here runs on the main thread. Generating delivers the thread's
// messages between records, and one of them may destroy the window (the
// send data window opened meanwhile takes its place): the state then
// outlives the window until the generating loop has seen that and stopped.
namespace {

struct Generator {
    HWND window = nullptr;
    HWND mainWindow = nullptr;
    bool generating = false;
    bool destroyed = false;
};

Generator* g_open = nullptr;
// Raised by one per generated record for the life of the process.
uint32_t g_recordCounter = 0;

constexpr uint32_t kFirstNumber = 900000;
constexpr uint32_t kNumbers = 10000;
constexpr char kDefaultReplacement = '?';

struct KindButton {
    int id;
    RecordKind kind;
};
constexpr KindButton kKindButtons[] = {
    {IDC_PSEUDO_SEND, RECORD_SEND},
    {IDC_PSEUDO_RECEIVE, RECORD_RECEIVE},
    {IDC_PSEUDO_SEND_ERROR, RECORD_SEND_ERROR},
    {IDC_PSEUDO_DISCARD, RECORD_DISCARD},
};

Generator* StateOf(HWND window) { return reinterpret_cast<Generator*>(GetWindowLongPtrW(window, DWLP_USER)); }

BOOL OnInitDialog(HWND window, HWND mainWindow)
{
    auto* g = new Generator;
    g->window = window;
    g->mainWindow = mainWindow;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(g));
    g_open = g;
    wchar_t text[512] = L"";
    LoadStringW(GetModuleHandleW(nullptr), IDS_PSEUDO_DATA_TEXT, text, 512);
    SetDlgItemTextW(window, IDC_PSEUDO_TEXT, text);
    CheckRadioButton(window, IDC_PSEUDO_SEND, IDC_PSEUDO_DISCARD, IDC_PSEUDO_SEND);
    SendDlgItemMessageW(window, IDC_PSEUDO_REPLACEMENT, EM_LIMITTEXT, 1, 0);
    SetDlgItemTextW(window, IDC_PSEUDO_REPLACEMENT, L"?");
    SetDlgItemInt(window, IDC_PSEUDO_COUNT, 1, FALSE);
    SetDlgItemInt(window, IDC_PSEUDO_INTERVAL, 500, FALSE);
    return TRUE;
}

void Close(Generator& g) { CloseToolWindow(g.window, g.mainWindow); }

// A double-byte character cannot stand in for one byte: it gives the default.
char Replacement(HWND window)
{
    std::string text = GetDlgItemTextSjis(window, IDC_PSEUDO_REPLACEMENT);
    return text.size() == 1 ? text[0] : kDefaultReplacement;
}

void SetHexInput(HWND edit, bool on)
{
    SetEditInputFilter(edit, FILTER_HEX, on);
    LONG style = GetWindowLongW(edit, GWL_STYLE);
    SetWindowLongW(edit, GWL_STYLE, on ? style | ES_UPPERCASE : style & ~ES_UPPERCASE);
}

// On: the text becomes its bytes as hex digit pairs. Off: the pairs become
// bytes again, with what would not show as text replaced.
void SwitchHex(HWND window)
{
    HWND edit = GetDlgItem(window, IDC_PSEUDO_TEXT);
    const bool on = IsDlgButtonChecked(window, IDC_PSEUDO_HEX) == BST_CHECKED;
    const std::string text = GetWindowTextSjis(edit);
    try {
        if (on) {
            std::vector<char> hex(text.size() * 2 + 1);
            BytesToHexText(reinterpret_cast<const uint8_t*>(text.c_str()), hex.data());
            SetWindowTextSjis(edit, hex.data());
        } else {
            std::vector<uint8_t> bytes((text.size() + 1) / 2 + 1, 0);
            HexTextToBytes(text.c_str(), bytes.data(), true, Replacement(window));
            SetWindowTextSjis(edit, reinterpret_cast<const char*>(bytes.data()));
        }
    } catch (const std::bad_alloc&) {
        CheckDlgButton(window, IDC_PSEUDO_HEX, on ? BST_UNCHECKED : BST_CHECKED);
        ShowSystemError(window, kAppTitle, ERROR_OUTOFMEMORY);
        return;
    }
    SetHexInput(edit, on);
}

RecordKind CheckedKind(HWND window)
{
    for (const KindButton& b : kKindButtons)
        if (IsDlgButtonChecked(window, b.id) == BST_CHECKED) return b.kind;
    return RECORD_SEND;
}

// Delivers what waits in the queue. False when generating must stop: a quit
// message (put back, so the main loop still ends) or the window destroyed.
bool DeliverMessages(const Generator& g)
{
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (g.destroyed) return false;
    }
    return !g.destroyed;
}

// The interval between records, answering messages as they come.
bool WaitInterval(const Generator& g, DWORD interval)
{
    for (const ULONGLONG end = GetTickCount64() + interval;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (!DeliverMessages(g)) return false;
    }
}

void Generate(Generator& g)
{
    HWND window = g.window;
    const std::string text = GetDlgItemTextSjis(window, IDC_PSEUDO_TEXT);
    if (g.generating || text.empty()) return;
    const RecordKind kind = CheckedKind(window);
    const int count = static_cast<int>(GetDlgItemInt(window, IDC_PSEUDO_COUNT, nullptr, TRUE));
    const UINT interval = GetDlgItemInt(window, IDC_PSEUDO_INTERVAL, nullptr, FALSE);
    std::vector<uint8_t> data;
    try {
        if (IsDlgButtonChecked(window, IDC_PSEUDO_HEX) == BST_CHECKED) data = ButtonDataToBytes(text);
        else data.assign(text.begin(), text.end());
    } catch (const std::bad_alloc&) {
        ShowSystemError(window, kAppTitle, ERROR_OUTOFMEMORY);
        return;
    }

    EnableWindow(window, FALSE);
    g.generating = true;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && interval > 0 && !WaitInterval(g, interval)) break;
        // The main window owns the record once posted; a record that cannot
        // be made or posted is skipped (and freed).
        PostTrafficRecord(g.mainWindow, kind, kFirstNumber + g_recordCounter % kNumbers,
                          static_cast<uint32_t>(data.size()), data.data());
        ++g_recordCounter;
        if (!DeliverMessages(g)) break;
    }
    g.generating = false;
    if (!g.destroyed) EnableWindow(window, TRUE);
}

void OnCommand(Generator& g, int id)
{
    switch (id) {
    case IDC_PSEUDO_HEX: SwitchHex(g.window); return;
    case IDC_PSEUDO_CLOSE:
    case IDCANCEL: Close(g); return;
    default: return;
    }
}

INT_PTR CALLBACK GeneratorProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) return OnInitDialog(window, reinterpret_cast<HWND>(lParam));
    Generator* g = StateOf(window);
    if (!g) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_PSEUDO_GENERATE) return OnCommand(*g, LOWORD(wParam)), TRUE;
        Generate(*g);
        // The window may have gone while generating; its state waited for us.
        if (g->destroyed && !g->generating) delete g;
        return TRUE;
    case WM_CLOSE: Close(*g); return TRUE;
    case WM_NCDESTROY:
        if (g_open == g) g_open = nullptr;
        SetWindowLongPtrW(window, DWLP_USER, 0);
        if (g->generating) g->destroyed = true;
        else delete g;
        return FALSE;
    default: return FALSE;
    }
}

BOOL GeneratorFilter(MSG* msg) { return g_open && IsDialogMessageW(g_open->window, msg); }

} // namespace

HWND OpenPseudoDataGenerator(HWND mainWindow)
{
    return OpenToolWindow(g_open ? g_open->window : nullptr, mainWindow,
                          IDD_PSEUDO_DATA, GeneratorProc, GeneratorFilter);
}
