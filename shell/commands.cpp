#include "shell/commands.h"

#include <commdlg.h>

#include <cstring>
#include <vector>

#include "automation/port_lock.h"
#include "logging/log_thread.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/connect_dialog.h"
#include "serial/engine.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "settings/help.h"
#include "settings/toolbar.h"
#include "shell/connection.h"
#include "shell/message_catalogue.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "shell/ui_text.h"
#include "tunnel/tunnel.h"

namespace {

// The toolbar button whose drop-down arrow was pressed last (0 before any).
int g_lastDropDown = 0;

void ConnectCommand(HWND hwnd)
{
    if (!PortLock::Lock(PortLock::kUserInterface)) {
        ShowMessage(hwnd, kAppTitle, 2022, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    DeviceSettings& current = GetCurrentDevice();
    bool open = (current.flags & DEVICE_OPEN) != 0;
    DeviceSettings work{};
    if (open) work = current;

    if (RunConnectDialog(hwnd, work)) {
        DWORD error = 0;
        if (!open) {
            error = static_cast<DWORD>(SendMessageA(hwnd, WM_VORLIN_CONNECT, 0, reinterpret_cast<LPARAM>(&work)));
        } else {
            // Reconfigure without closing: on failure the settings that
            // worked are applied again. The panel is set up once the engine
            // runs again, so its line requests reach a running event thread.
            SerialEngine& engine = GetSerialEngine();
            StopEngine(engine);
            if (ReconfigurePort(work, &engine.port)) {
                current = work;
            } else {
                error = GetLastError();
                ReconfigurePort(current, &engine.port);
            }
            StartEngine(engine);
            SendDlgItemMessageA(hwnd, IDC_MODEM_PANEL, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&current.dcb));
        }
        if (current.flags & DEVICE_SAVE) SavePortSettings(current);
        if (error) ShowSystemError(hwnd, kAppTitle, error);
    }
    PortLock::Unlock(PortLock::kUserInterface);
}

void DisconnectCommand(HWND hwnd)
{
    if (!PortLock::Lock(PortLock::kUserInterface)) {
        ShowMessage(hwnd, kAppTitle, 2022, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SendMessageA(hwnd, WM_VORLIN_DISCONNECT, 0, 0);
    PortLock::Unlock(PortLock::kUserInterface);
}

void NewTunnelProcess(HWND hwnd) { StartChildPeer(hwnd); }

void AttachTunnel(HWND hwnd)
{
    HWND target = ChooseAttachTarget(hwnd);
    if (target && IsWindow(target)) AttachToInstance(hwnd, target);
}

void Exit(HWND hwnd) { SendMessageA(hwnd, WM_CLOSE, 0, 0); }
void Clear(HWND hwnd) { SendDlgItemMessageA(hwnd, IDC_LOG_VIEW, WM_LOGVIEW_CLEAR, 0, 0); }

void ChooseLogFile(HWND hwnd)
{
    AppSettings& app = GetAppSettings();
    wchar_t file[MAX_PATH] = {};
    std::wstring current = SjisToWide(app.logFilePath);
    lstrcpynW(file, current.c_str(), MAX_PATH);
    std::wstring title = SjisToWide("ログファイルの設定");
    // The filter is pairs of texts, each ended by a NUL, and one more NUL.
    std::wstring filter = SjisToWide("ﾛｸﾞﾌｧｲﾙ (*.log)");
    filter.push_back(L'\0');
    filter += L"*.log";
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = L"log";
    ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) return;

    std::string chosen = WideToSjis(file);
    if (chosen.empty() || chosen.size() >= sizeof app.logFilePath) return;
    memcpy(app.logFilePath, chosen.c_str(), chosen.size() + 1);
    app.flags &= ~APP_AUTO_LOG_NAME;
    if (GetCurrentDevice().flags & DEVICE_OPEN) {
        OpenLogFile(hwnd, app.logFilePath);
        ShowLoggingState(hwnd, true);
    }
}

void StopOrRestartLogging(HWND hwnd)
{
    if (IsLoggingRunning(hwnd)) {
        CloseLogFile();
        ShowLoggingState(hwnd, false);
    } else {
        OpenLogFile(hwnd, GetAppSettings().logFilePath);
        ShowLoggingState(hwnd, true);
    }
    DrawMenuBar(hwnd);
}

void Flush(HWND) { FlushLogFile(); }

void CustomizeToolbar(HWND hwnd)
{
    if (HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR)) SendMessageA(toolbar, TB_CUSTOMIZE, 0, 0);
}

void HelpContents(HWND hwnd) { WinHelpA(hwnd, GetHelpFile(), HELP_CONTEXT, 1); }
void HelpFinder(HWND hwnd) { WinHelpA(hwnd, GetHelpFile(), HELP_FINDER, 0); }
void Rescan(HWND) { ListButtonFiles(); }

void QuickSend(HWND hwnd, int index)
{
    ButtonEntry entry;
    int file = GetCurrentButtonFile();
    if (file < 0 || !ReadButtonEntry(file, index, entry)) {
        ShowMessage(hwnd, kAppTitle, 2025, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::vector<uint8_t> bytes = ButtonDataToBytes(entry.data);
    DWORD error = SubmitSend(bytes.data(), static_cast<uint32_t>(bytes.size()), true);
    if (error) ShowSystemError(hwnd, kAppTitle, error);
}

void ChooseForm(HWND hwnd, int index)
{
    if (g_lastDropDown != IDM_RESCAN_FORMS) return;
    if (!SetCurrentButtonFile(index)) return;
    EnableQuickSendButtons(hwnd, CountCurrentFormEntries());
}

struct Command {
    int id;
    void (*run)(HWND hwnd);
};

// Commands not listed (print, copy, find, filtering) do nothing.
constexpr Command kCommands[] = {
    {IDM_CONNECT, ConnectCommand},
    {IDM_DISCONNECT, DisconnectCommand},
    {IDM_TUNNEL_NEW_PROCESS, NewTunnelProcess},
    {IDM_TUNNEL_ATTACH, AttachTunnel},
    {IDM_EXIT, Exit},
    {IDM_CLEAR, Clear},
    {IDM_LOG_FILE, ChooseLogFile},
    {IDM_LOG_STOP, StopOrRestartLogging},
    {IDM_LOG_FLUSH, Flush},
    {IDM_CUSTOMIZE_TOOLBAR, CustomizeToolbar},
    {IDM_HELP_CONTENTS, HelpContents},
    {IDM_HELP_FIND, HelpFinder},
    {IDM_RESCAN_FORMS, Rescan},
};

// Pops the list of button files under the drop-down button.
void ShowFormMenu(HWND hwnd, const NMTOOLBARA* info)
{
    int count = ListButtonFiles();
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (int i = 0; i < count && i <= IDM_FORM_CHOICE_LAST - IDM_FORM_CHOICE_FIRST; ++i)
        AppendMenuW(menu, MF_STRING, IDM_FORM_CHOICE_FIRST + i, SjisToWide(GetButtonFileName(i)).c_str());
    POINT corner = {info->rcButton.left, info->rcButton.bottom};
    MapWindowPoints(info->hdr.hwndFrom, nullptr, &corner, 1);
    TPMPARAMS params{};
    params.cbSize = sizeof params;
    params.rcExclude = info->rcButton;
    MapWindowPoints(info->hdr.hwndFrom, nullptr, reinterpret_cast<POINT*>(&params.rcExclude), 2);
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY, corner.x, corner.y, hwnd, &params);
    DestroyMenu(menu);
}

// Tooltip message number of a toolbar button, 0 for none.
unsigned TooltipMessage(HWND hwnd, UINT id)
{
    struct Tip { UINT id; unsigned message; };
    static constexpr Tip kTips[] = {
        {IDM_DISCONNECT, 3}, {IDM_TUNNEL_NEW_PROCESS, 4}, {IDM_TUNNEL_ATTACH, 5}, {IDM_PRINT, 6},
        {IDM_EXIT, 7}, {IDM_COPY, 8}, {IDM_CLEAR, 9}, {IDM_FIND, 10}, {IDM_FIND_NEXT, 11},
        {IDM_FIND_PREVIOUS, 12}, {IDM_SEND_DATA, 13}, {IDM_FILTERING, 14}, {IDM_LOG_FILE, 15},
        {IDM_LOG_FLUSH, 19}, {IDM_SETTINGS, 20}, {IDM_CUSTOMIZE_TOOLBAR, 21}, {IDM_PSEUDO_DATA, 22},
        {IDM_HELP_CONTENTS, 23}, {IDM_HELP_FIND, 24}, {IDM_ABOUT, 25}, {IDM_RESCAN_FORMS, 26},
    };
    if (id == IDM_CONNECT) return (GetCurrentDevice().flags & DEVICE_OPEN) ? 2 : 1;
    if (id == IDM_LOG_STOP) return IsLoggingRunning(hwnd) ? 17 : 18;
    if (id >= IDM_QUICK_SEND_FIRST && id <= IDM_QUICK_SEND_LAST) return 27 + (id - IDM_QUICK_SEND_FIRST);
    for (const Tip& t : kTips)
        if (t.id == id) return t.message;
    return 0;
}

} // namespace

void OnCommand(HWND hwnd, int id)
{
    if (id >= IDM_QUICK_SEND_FIRST && id <= IDM_QUICK_SEND_LAST) return QuickSend(hwnd, id - IDM_QUICK_SEND_FIRST);
    if (id >= IDM_FORM_CHOICE_FIRST && id <= IDM_FORM_CHOICE_LAST) return ChooseForm(hwnd, id - IDM_FORM_CHOICE_FIRST);
    for (const Command& c : kCommands)
        if (c.id == id) return c.run(hwnd);
}

LRESULT OnNotify(HWND hwnd, NMHDR* header)
{
    if (!header) return 0;
    switch (header->code) {
    case TBN_DROPDOWN: {
        auto* info = reinterpret_cast<NMTOOLBARA*>(header);
        g_lastDropDown = info->iItem;
        if (info->iItem == IDM_RESCAN_FORMS) ShowFormMenu(hwnd, info);
        return TBDDRET_DEFAULT;
    }
    case TBN_RESET: {
        LRESULT result = OnToolbarNotify(hwnd, header);
        ApplyConnectionStateToToolbar(hwnd);
        return result;
    }
    case TTN_NEEDTEXTA: {
        // The text must outlive this call; one tooltip shows at a time.
        static char text[256];
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        unsigned message = TooltipMessage(hwnd, static_cast<UINT>(header->idFrom));
        if (!message) return 0;
        LookupMessage(message, text, sizeof text);
        info->lpszText = text;
        info->hinst = nullptr;
        return 0;
    }
    default:
        return OnToolbarNotify(hwnd, header);
    }
}
