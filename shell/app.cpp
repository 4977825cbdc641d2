#include "shell/app.h"

#include <clocale>
#include <cstring>

#include <commctrl.h>

#include "automation/automation.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "logging/log_thread.h"
#include "logview/key_state.h"
#include "logview/log_view.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/port.h"
#include "settings/help.h"
#include "settings/settings_store.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "shell/session.h"
#include "shell/shell.h"
#include "tunnel/tunnel.h"

// Process-wide state of the shell. Everything here belongs to the main
// thread; other threads reach it only through messages to the main window.
namespace {

struct ShellState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    HACCEL accelerators = nullptr;
    HWND modelessDialog = nullptr;
    ModelessFilter modelessFilter = nullptr;
    AppSettings app{};
};

ShellState g_shell;

// Every report of every part ends here: a message box, or the status bar of
// the owner (the main window when the reporter named none) by application
// flag bit 1. Without a status bar the text is lost; the caller still reads OK.
int PresentReport(void*, const ProblemReport& report)
{
    if (g_shell.app.flags & APP_MESSAGE_BOXES)
        return ShowMessageBox(report.owner, report.text, report.caption, report.style);
    HWND owner = report.owner ? report.owner : g_shell.mainWindow;
    HWND status = owner ? GetDlgItem(owner, IDC_STATUS_BAR) : nullptr;
    if (status) SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(SjisToWide(report.text).c_str()));
    return IDOK;
}

// The tunnel relays while a port is open; scripts hear of connects and
// disconnects. (The window's own updates observe the session too.)
void OnSessionChanged(void*, SessionChange change)
{
    switch (change) {
    case SessionChange::Connected: SetTunnelRelay(TRUE); FireOnConnect(); break;
    case SessionChange::Disconnecting: FireOnDisconnect(); break;
    case SessionChange::Disconnected: SetTunnelRelay(FALSE); break;
    default: break;
    }
}

void RelayToTunnel(void*, const uint8_t* bytes, uint32_t count) { RelayReceivedBytes(bytes, count); }

} // namespace

HINSTANCE GetAppInstance() { return g_shell.instance; }
HWND GetMainWindow() { return g_shell.mainWindow; }
HWND GetStatusBar() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_STATUS_BAR) : nullptr; }
HWND GetToolbar() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_TOOLBAR) : nullptr; }
HWND GetModemPanel() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_MODEM_PANEL) : nullptr; }
HWND GetLogView() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_LOG_VIEW) : nullptr; }
AppSettings& GetAppSettings() { return g_shell.app; }
DeviceSettings& GetCurrentDevice() { return GetSession().Device(); }
SerialEngine& GetSerialEngine() { return GetSession().Engine(); }
HWND GetModelessDialog() { return g_shell.modelessDialog; }

void InstallReportPresenter() { SetReportPresenter(PresentReport, nullptr); }

void SetMainWindow(HWND hwnd)
{
    g_shell.mainWindow = hwnd;
    GetSession().Attach(hwnd, &g_shell.app);
}

void SetModelessDialog(HWND dialog, ModelessFilter filter)
{
    if (g_shell.modelessDialog && IsWindow(g_shell.modelessDialog)) DestroyWindow(g_shell.modelessDialog);
    g_shell.modelessDialog = dialog;
    g_shell.modelessFilter = filter;
}

void InitShellState(HINSTANCE instance, bool startedByAutomation)
{
    g_shell.instance = instance;
    Session& session = GetSession();
    session.Reset();
    LoadAppSettings(g_shell.app);
    if (startedByAutomation)
        g_shell.app.flags |= APP_STARTED_BY_AUTOMATION;
    else
        g_shell.app.flags &= ~APP_STARTED_BY_AUTOMATION;
    SetKeyboardTracking((g_shell.app.flags & APP_TRACE_KEYBOARD) != 0);
    InstallReportPresenter();
    session.Attach(g_shell.mainWindow, &g_shell.app);
    session.SetRelay(RelayToTunnel, nullptr);
    session.RemoveObserver({OnSessionChanged, nullptr});
    session.AddObserver({OnSessionChanged, nullptr});
    if (!g_shell.accelerators) g_shell.accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCEL));
}

void DispatchLoopMessage(MSG& msg)
{
    if (g_shell.modelessDialog && g_shell.modelessFilter && g_shell.modelessFilter(&msg)) return;
    if (g_shell.mainWindow && g_shell.accelerators &&
        TranslateAcceleratorW(g_shell.mainWindow, g_shell.accelerators, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

namespace {

// Steps 4 and 5 of start-up; null with the last error set.
HWND CreateUserInterface()
{
    if (!InitLogView(g_shell.instance)) return nullptr;
    if (!g_shell.accelerators) return nullptr;
    if (!RegisterMainWindowClass(g_shell.instance)) return nullptr;
    return CreateMainWindow(g_shell.instance);
}

void Shutdown()
{
    ShutdownAutomationServer();
    StopTunnel();
    Session& session = GetSession();
    StopEngine(session.Engine());
    ClosePort(&session.Device().flags, &session.Engine().port);
    ShutdownLogView();
    StopLogThread();
    FreeMessageCatalogue();
}

} // namespace

int RunApplication(HINSTANCE instance, const char* commandLine, int showState)
{
    StartMode mode = ParseCommandLine(commandLine);
    if (mode == StartMode::RegServer) {
        RegisterServer();
        return 0;
    }
    if (mode == StartMode::UnregServer) {
        UnregisterServer();
        return 0;
    }
    bool automation = mode == StartMode::Automation;
    if (automation) showState = SW_HIDE;

    InitShellState(instance, automation);
    setlocale(LC_ALL, "Japanese");

    LocateIniFile();
    LoadMessageCatalogue();
    LocateHelpFile();
    LocateDataDirectory();
    StartLogThread(nullptr);

    HWND hwnd = CreateUserInterface();
    if (!hwnd) {
        ShowSystemError(nullptr, nullptr, GetLastError());
        Shutdown();
        return 1;  // start-up stopped before the loop
    }
    ShowWindow(hwnd, showState);
    UpdateWindow(hwnd);
    StartTunnel(nullptr);

    SetMainWindow(hwnd);
    int exitCode = 0;
    if (!InitAutomationServer(g_shell.mainWindow, g_shell.app)) {
        SendMessageW(g_shell.mainWindow, WM_CLOSE, 0, 0);
    } else {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchLoopMessage(msg);
        exitCode = static_cast<int>(msg.wParam);
    }
    Shutdown();
    return exitCode;
}
