#include "shell/connection.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "automation/automation.h"
#include "logging/log_thread.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/engine.h"
#include "serial/port.h"
#include "shell/message_catalogue.h"
#include "shell/shell.h"
#include "shell/ui_text.h"
#include "tunnel/tunnel.h"

namespace {

constexpr int kQuickSendButtons = IDM_QUICK_SEND_LAST - IDM_QUICK_SEND_FIRST + 1;
constexpr char kLogStop[] = "ログの停止(&S)";

void EnableButton(HWND hwnd, int id, bool enable)
{
    if (HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR)) SendMessageA(toolbar, TB_ENABLEBUTTON, id, enable);
}

void PressButton(HWND hwnd, int id, bool pressed)
{
    if (HWND toolbar = GetDlgItem(hwnd, IDC_TOOLBAR)) SendMessageA(toolbar, TB_PRESSBUTTON, id, pressed);
}

void SetMenuItem(HMENU menu, UINT id, const char* text, bool enabled)
{
    if (text) SetMenuTextSjis(menu, id, text);
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

} // namespace

bool MakeAutomaticLogPath(const char* portName, std::string& path)
{
    char name[300];
    snprintf(name, sizeof name, "Vorlin2_%.259s.log", portName);  // a name field holds 259 characters
    LogSettings log;
    if (!GetLogSettings(&log)) {
        path = name;
        return false;
    }
    log.directory[sizeof log.directory - 1] = 0;
    path = log.directory;
    if (!path.empty() && !EndsWithBackslash(log.directory)) path += '\\';
    path += name;
    return path.size() < sizeof(AppSettings::logFilePath);
}

namespace {

void StartLogging(HWND hwnd, const char* portName)
{
    AppSettings& app = GetAppSettings();
    bool havePath = true;
    if (app.flags & APP_AUTO_LOG_NAME) {
        std::string path;
        havePath = MakeAutomaticLogPath(portName, path);
        if (havePath)
            lstrcpynA(app.logFilePath, path.c_str(), sizeof app.logFilePath);
        else
            ShowMessage(hwnd, kAppTitle, 2026, MB_OK | MB_ICONEXCLAMATION, path.c_str());
    }
    if (havePath) OpenLogFile(hwnd, app.logFilePath);
    HMENU menu = GetMenu(hwnd);
    SetMenuItem(menu, IDM_LOG_FILE, "ログファイルの変更(&O)...", true);
    SetMenuItem(menu, IDM_LOG_FLUSH, "ログファイルのフラッシュ(&F)", true);
    ShowLoggingState(hwnd, true);
    EnableButton(hwnd, IDM_LOG_FLUSH, true);
}

} // namespace

bool IsLoggingRunning(HWND hwnd)
{
    return MenuTextIs(GetMenu(hwnd), IDM_LOG_STOP, kLogStop);
}

void ShowLoggingState(HWND hwnd, bool running)
{
    SetMenuItem(GetMenu(hwnd), IDM_LOG_STOP, running ? kLogStop : "ログの再開(&R)", true);
    EnableButton(hwnd, IDM_LOG_STOP, true);
    PressButton(hwnd, IDM_LOG_STOP, !running);
}

void EnableQuickSendButtons(HWND hwnd, int n)
{
    for (int i = 0; i < kQuickSendButtons; ++i) EnableButton(hwnd, IDM_QUICK_SEND_FIRST + i, i < n);
}

void ApplyConnectionStateToToolbar(HWND hwnd)
{
    bool open = (GetCurrentDevice().flags & DEVICE_OPEN) != 0;
    for (int id : {IDM_DISCONNECT, IDM_SEND_DATA, IDM_LOG_STOP, IDM_LOG_FLUSH}) EnableButton(hwnd, id, open);
    PressButton(hwnd, IDM_LOG_STOP, open && !IsLoggingRunning(hwnd));
}

int CountCurrentFormEntries()
{
    int current = GetCurrentButtonFile();
    if (current < 0) return 0;
    int n = 0;
    ButtonEntry entry;
    while (n < kQuickSendButtons && ReadButtonEntry(current, n, entry)) ++n;
    return n;
}

int RescanSendForms()
{
    if (ListButtonFiles() <= 0) return 0;
    SetCurrentButtonFile(0);
    return CountCurrentFormEntries();
}

LRESULT Connect(HWND hwnd, DeviceSettings* settings)
{
    if (!settings) return ERROR_INVALID_PARAMETER;
    SerialEngine& engine = GetSerialEngine();
    if (!OpenPort(*settings, &engine.port)) return GetLastError();

    DeviceSettings& current = GetCurrentDevice();
    if (settings != &current) current = *settings;
    current.flags |= DEVICE_OPEN;

    StartLogging(hwnd, current.portName);
    StartEngine(engine);

    HMENU menu = GetMenu(hwnd);
    SetMenuItem(menu, IDM_CONNECT, "デバイスの設定(&C)...\tF5", true);
    SetMenuItem(menu, IDM_DISCONNECT, nullptr, true);
    SetMenuItem(menu, IDM_SEND_DATA, "データ送信(&S)...", true);
    for (int id : {IDM_DISCONNECT, IDM_SEND_DATA, IDM_RESCAN_FORMS}) EnableButton(hwnd, id, true);

    EnableQuickSendButtons(hwnd, RescanSendForms());
    SetTunnelRelay(TRUE);
    SendDlgItemMessageA(hwnd, IDC_MODEM_PANEL, WM_PANEL_SETUP, 0, reinterpret_cast<LPARAM>(&current.dcb));

    std::string title(current.portName, strnlen(current.portName, sizeof current.portName));
    title += " - ";
    title += kAppTitle;
    SetWindowTextSjis(hwnd, title.c_str());
    DrawMenuBar(hwnd);
    FireOnConnect();
    return 0;
}

LRESULT Disconnect(HWND hwnd)
{
    FireOnDisconnect();
    SerialEngine& engine = GetSerialEngine();
    StopEngine(engine);
    ClosePort(&GetCurrentDevice().flags, &engine.port);

    HMENU menu = GetMenu(hwnd);
    SetMenuItem(menu, IDM_CONNECT, "接続(&C)...\tF5", true);
    SetMenuItem(menu, IDM_DISCONNECT, nullptr, false);

    CloseLogFile();
    SetMenuItem(menu, IDM_LOG_STOP, kLogStop, false);
    SetMenuItem(menu, IDM_LOG_FILE, "ログファイルの設定(&O)...", true);
    SetMenuItem(menu, IDM_LOG_FLUSH, nullptr, false);
    EnableButton(hwnd, IDM_LOG_STOP, false);
    PressButton(hwnd, IDM_LOG_STOP, false);
    EnableButton(hwnd, IDM_LOG_FLUSH, false);

    SetMenuItem(menu, IDM_SEND_DATA, "データ送信(&S)...", false);
    EnableButton(hwnd, IDM_DISCONNECT, false);
    EnableButton(hwnd, IDM_SEND_DATA, false);
    for (int id = IDM_RESCAN_FORMS; id <= IDM_QUICK_SEND_LAST; ++id) EnableButton(hwnd, id, false);

    std::string title = std::string("未接続 - ") + kAppTitle;
    SetWindowTextSjis(hwnd, title.c_str());

    SetTunnelRelay(FALSE);
    if (HWND panel = GetDlgItem(hwnd, IDC_MODEM_PANEL)) {
        EnableWindow(panel, FALSE);
        InvalidateRect(panel, nullptr, TRUE);
    }
    DrawMenuBar(hwnd);
    return 0;
}
