#include "shell/window_state.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "base/catalogue.h"
#include "base/text.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/modem_panel.h"
#include "settings/command_items.h"

namespace {

constexpr int kQuickSendButtons = IDM_QUICK_SEND_LAST - IDM_QUICK_SEND_FIRST + 1;

// Entries of the current button file, counted up to 18; belongs to the
// main thread like the window.
int g_quickSends = 0;

int CountCurrentFormEntries()
{
    int current = GetCurrentButtonFile();
    if (current < 0) return 0;
    int n = 0;
    ButtonEntry entry;
    while (n < kQuickSendButtons && ReadButtonEntry(current, n, entry)) ++n;
    return n;
}

// Menu texts that change with the state: {command, text when off, text when on}.
struct StateText {
    int command;
    const char* off;
    const char* on;
};
constexpr StateText kConnectTexts = {IDM_CONNECT, "接続(&C)...\tF5", "デバイスの設定(&C)...\tF5"};
constexpr StateText kLogFileTexts = {IDM_LOG_FILE, "ログファイルの設定(&O)...",
                                     "ログファイルの変更(&O)..."};
constexpr StateText kLogStopTexts = {IDM_LOG_STOP, "ログの再開(&R)", "ログの停止(&S)"};

void SetMenuText(HMENU menu, const StateText& text, bool on)
{
    SetMenuTextSjis(menu, text.command, on ? text.on : text.off);
}

bool CommandEnabled(const CommandItem& item, bool open)
{
    if (!item.needsPort) return true;
    if (!open) return false;
    if (item.command >= IDM_QUICK_SEND_FIRST && item.command <= IDM_QUICK_SEND_LAST)
        return item.command - IDM_QUICK_SEND_FIRST < g_quickSends;
    return true;
}

void ApplyTitle(HWND hwnd, Session& session)
{
    if (session.IsOpen()) {
        const DeviceSettings& device = session.Device();
        std::string title(device.portName, strnlen(device.portName, sizeof device.portName));
        SetWindowTextSjis(hwnd, (title + " - " + kAppTitle).c_str());
    } else {
        SetWindowTextSjis(hwnd, (std::string("未接続 - ") + kAppTitle).c_str());
    }
}

void SetStatusText(HWND hwnd, const char* text)
{
    if (HWND status = GetDlgItem(hwnd, IDC_STATUS_BAR))
        SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(SjisToWide(text).c_str()));
}

std::string LostPortName(const Session& session)
{
    const DeviceSettings& device = session.LostDevice();
    return std::string(device.portName, strnlen(device.portName, sizeof device.portName));
}

// The title and the status bar say which port went away and why. Straight
// to the status bar, not through the reporter: a message box would stop
// the user for something that needs no answer, and the reopening goes on.
void ShowPortLost(HWND hwnd, const Session& session)
{
    std::string port = LostPortName(session);
    char reason[512];
    SystemErrorText(session.LostError(), reason, sizeof reason);
    // It stands in parentheses: without the system's full stop.
    char* last = reason;
    for (char* p = reason; *p; p += IsSjisLeadByte(static_cast<uint8_t>(*p)) && p[1] ? 2 : 1) last = p;
    if (strcmp(last, "。") == 0 || strcmp(last, ".") == 0) *last = 0;
    char text[1024];
    FormatCatalogueMessage(text, sizeof text, MSG_PORT_LOST_TITLE, port.c_str(), reason, kAppTitle);
    SetWindowTextSjis(hwnd, text);
    FormatCatalogueMessage(text, sizeof text, session.IsReopening() ? MSG_PORT_LOST_REOPENING : MSG_PORT_LOST,
                           port.c_str(), reason);
    SetStatusText(hwnd, text);
}

void ShowPortReopened(HWND hwnd, const Session& session)
{
    char text[512];
    FormatCatalogueMessage(text, sizeof text, MSG_PORT_REOPENED, LostPortName(session).c_str());
    SetStatusText(hwnd, text);
}

void OnSessionChanged(void* context, SessionChange change)
{
    HWND hwnd = static_cast<HWND>(context);
    if (!IsWindow(hwnd)) return;
    Session& session = GetSession();
    HWND panel = GetDlgItem(hwnd, IDC_MODEM_PANEL);
    switch (change) {
    case SessionChange::Connected:
        g_quickSends = 0;
        RescanQuickSends(hwnd);
        ApplyTitle(hwnd, session);
        if (panel) SendMessageW(panel, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&session.Device().dcb));
        break;
    case SessionChange::Reconfigured:
        if (panel) SendMessageW(panel, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&session.Device().dcb));
        return;
    case SessionChange::Disconnected:
        ApplySessionState(hwnd);
        ApplyTitle(hwnd, session);
        if (panel) {
            EnableWindow(panel, FALSE);
            InvalidateRect(panel, nullptr, TRUE);
        }
        break;
    case SessionChange::Logging:
        ApplySessionState(hwnd);
        break;
    case SessionChange::Disconnecting:
        return;
    case SessionChange::Lost:
        ShowPortLost(hwnd, session);
        return;
    case SessionChange::Reopened:
        ShowPortReopened(hwnd, session);
        return;
    }
    DrawMenuBar(hwnd);
}

} // namespace

void WatchSession(HWND hwnd)
{
    GetSession().RemoveObserver({OnSessionChanged, hwnd});
    GetSession().AddObserver({OnSessionChanged, hwnd});
}

void ApplySessionState(HWND hwnd)
{
    Session& session = GetSession();
    bool open = session.IsOpen();
    HMENU menu = GetMenu(hwnd);
    HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR);
    for (const CommandItem& item : CommandItems()) {
        if (!item.command) continue;
        bool enabled = CommandEnabled(item, open);
        if (item.needsPort) EnableMenuItem(menu, item.command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        if (toolbar && item.image >= 0) SendMessageW(toolbar, TB_ENABLEBUTTON, item.command, enabled);
    }
    SetMenuText(menu, kConnectTexts, open);
    SetMenuText(menu, kLogFileTexts, open);
    // Closed, the item reads "stop" (greyed) for the next connection.
    SetMenuText(menu, kLogStopTexts, !open || session.IsLogging());
    if (toolbar) SendMessageW(toolbar, TB_PRESSBUTTON, IDM_LOG_STOP, open && !session.IsLogging());
}

unsigned CommandTooltip(int command)
{
    const CommandItem* item = FindCommandItem(command);
    if (!item) return 0;
    Session& session = GetSession();
    bool on = command == IDM_CONNECT ? session.IsOpen() : command == IDM_LOG_STOP ? session.IsLogging() : false;
    return on && item->tooltipOn ? item->tooltipOn : item->tooltip;
}

void RescanQuickSends(HWND hwnd)
{
    g_quickSends = 0;
    if (ListButtonFiles() > 0) {
        SetCurrentButtonFile(0);
        g_quickSends = CountCurrentFormEntries();
    }
    ApplySessionState(hwnd);
}

void ShowQuickSendsOfCurrentFile(HWND hwnd)
{
    g_quickSends = CountCurrentFormEntries();
    ApplySessionState(hwnd);
}
