#include "shell/commands.h"

#include <commdlg.h>

#include <cstring>
#include <vector>

#include "automation/port_lock.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "logging/log_thread.h"
#include "logview/log_view.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "sending/generator.h"
#include "sending/send_forms.h"
#include "sending/send_window.h"
#include "serial/connect_dialog.h"
#include "serial/port_names.h"
#include "settings/about_box.h"
#include "settings/file_dialogs.h"
#include "settings/help.h"
#include "settings/toolbar.h"
#include "shell/session.h"
#include "shell/settings_parts.h"
#include "shell/shell.h"
#include "shell/window_state.h"
#include "tunnel/tunnel.h"

namespace {

// The toolbar button whose drop-down arrow was pressed last (0 before any).
int g_lastDropDown = 0;

// The user's connect and disconnect wait while a script holds the port.
bool LockForUser(HWND hwnd)
{
    if (PortLock::Lock(PortLock::kUserInterface)) return true;
    ShowMessage(hwnd, kAppTitle, MSG_PORT_LOCKED, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void ConnectCommand(HWND hwnd)
{
    if (!LockForUser(hwnd)) return;
    Session& session = GetSession();
    DeviceSettings work{};
    if (session.IsOpen()) work = session.Device();
    if (RunConnectDialog(hwnd, work)) {
        DWORD error = session.IsOpen() ? session.Reconfigure(work)
                                       : static_cast<DWORD>(SendMessageW(hwnd, WM_VORLIN_CONNECT, 0,
                                                                         reinterpret_cast<LPARAM>(&work)));
        if (session.Device().flags & DEVICE_SAVE) SavePortSettings(session.Device());
        if (error) ShowSystemError(hwnd, kAppTitle, error);
    }
    PortLock::Unlock(PortLock::kUserInterface);
}

void DisconnectCommand(HWND hwnd)
{
    if (!LockForUser(hwnd)) return;
    SendMessageW(hwnd, WM_VORLIN_DISCONNECT, 0, 0);
    PortLock::Unlock(PortLock::kUserInterface);
}

void NewTunnelProcess(HWND hwnd) { StartChildPeer(hwnd); }

void AttachTunnel(HWND hwnd)
{
    HWND target = ChooseAttachTarget(hwnd);
    if (target && IsWindow(target)) AttachToInstance(hwnd, target);
}

void Exit(HWND hwnd) { SendMessageW(hwnd, WM_CLOSE, 0, 0); }
void Clear(HWND hwnd) { SendDlgItemMessageW(hwnd, IDC_LOG_VIEW, WM_LOGVIEW_CLEAR, 0, 0); }

void ChooseLogFile(HWND hwnd)
{
    wchar_t file[MAX_PATH] = {};
    std::wstring current = SjisToWide(GetAppSettings().logFilePath);
    lstrcpynW(file, current.c_str(), MAX_PATH);
    constexpr FileChoice kLogFile = {"ログファイルの設定", "ﾛｸﾞﾌｧｲﾙ (*.log)", L"*.log", L"log", OFN_OVERWRITEPROMPT};
    if (!ChooseSaveFile(hwnd, kLogFile, file)) return;

    GetSession().SetLogFile(WideToSjis(file).c_str());  // a failed open was reported already
}

void StopOrRestartLogging(HWND)
{
    Session& session = GetSession();
    session.SetLogging(!session.IsLogging());
}

void Flush(HWND) { FlushLogFile(); }

void CustomizeToolbar(HWND hwnd)
{
    if (HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR)) SendMessageW(toolbar, TB_CUSTOMIZE, 0, 0);
}

// The menu's help asks for the file when none was found.
void HelpContents(HWND hwnd)
{
    GetHelpFilePath(hwnd);
    ShowHelp(hwnd, HELP_CONTEXT, 1);
}

void HelpFinder(HWND hwnd)
{
    GetHelpFilePath(hwnd);
    ShowHelp(hwnd, HELP_FINDER, 0);
}
void About(HWND hwnd) { ShowAboutBox(hwnd); }
void Rescan(HWND) { ListButtonFiles(); }
void SendData(HWND hwnd) { OpenSendDataWindow(hwnd); }
void PseudoData(HWND hwnd) { OpenPseudoDataGenerator(hwnd); }

void QuickSend(HWND hwnd, int index)
{
    ButtonEntry entry;
    int file = GetCurrentButtonFile();
    if (file < 0 || !ReadButtonEntry(file, index, entry)) {
        ShowMessage(hwnd, kAppTitle, MSG_NO_BUTTON_DATA, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::vector<uint8_t> bytes = ButtonDataToBytes(entry.data);
    DWORD error = GetSession().Send(bytes.data(), static_cast<uint32_t>(bytes.size()), true);
    if (error) ShowSystemError(hwnd, kAppTitle, error);
}

void ChooseForm(HWND hwnd, int index)
{
    if (g_lastDropDown != IDM_RESCAN_FORMS) return;
    if (!SetCurrentButtonFile(index)) return;
    ShowQuickSendsOfCurrentFile(hwnd);
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
    {IDM_SETTINGS, RunSettingsDialog},
    {IDM_CUSTOMIZE_TOOLBAR, CustomizeToolbar},
    {IDM_HELP_CONTENTS, HelpContents},
    {IDM_HELP_FIND, HelpFinder},
    {IDM_ABOUT, About},
    {IDM_RESCAN_FORMS, Rescan},
    {IDM_SEND_DATA, SendData},
    {IDM_PSEUDO_DATA, PseudoData},
};

// Pops the list of button files under the drop-down button.
void ShowFormMenu(HWND hwnd, const NMTOOLBARW* info)
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
        auto* info = reinterpret_cast<NMTOOLBARW*>(header);
        g_lastDropDown = info->iItem;
        if (info->iItem == IDM_RESCAN_FORMS) ShowFormMenu(hwnd, info);
        return TBDDRET_DEFAULT;
    }
    case TBN_RESET: {
        LRESULT result = OnToolbarNotify(hwnd, header);
        ApplySessionState(hwnd);
        return result;
    }
    case TTN_NEEDTEXTW: {
        // The text must outlive this call; one tooltip shows at a time.
        static wchar_t text[256];
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        unsigned message = CommandTooltip(static_cast<int>(header->idFrom));
        if (!message) return 0;
        char narrow[256];
        LookupMessage(message, narrow, sizeof narrow);
        size_t n = SjisToWide(narrow, strlen(narrow), text, 255);
        text[n] = 0;
        info->lpszText = text;
        info->hinst = nullptr;
        return 0;
    }
    default:
        return OnToolbarNotify(hwnd, header);
    }
}
