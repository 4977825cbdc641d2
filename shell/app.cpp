#include "shell/app.h"

#include <clocale>
#include <cstring>

#include "automation/automation.h"
#include "logging/log_thread.h"
#include "logview/log_view.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "serial/port.h"
#include "settings/help.h"
#include "settings/settings_store.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "shell/message_catalogue.h"
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
    DeviceSettings device{};
    SerialEngine engine{};
};

ShellState g_shell;

} // namespace

const char kAppTitle[] = "通信リソース制御ユーティリティー『Vorlin2』";

HINSTANCE GetAppInstance() { return g_shell.instance; }
HWND GetMainWindow() { return g_shell.mainWindow; }
HWND GetStatusBar() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_STATUS_BAR) : nullptr; }
HWND GetToolbar() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_TOOLBAR) : nullptr; }
HWND GetModemPanel() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_MODEM_PANEL) : nullptr; }
HWND GetLogView() { return g_shell.mainWindow ? GetDlgItem(g_shell.mainWindow, IDC_LOG_VIEW) : nullptr; }
AppSettings& GetAppSettings() { return g_shell.app; }
DeviceSettings& GetCurrentDevice() { return g_shell.device; }
SerialEngine& GetSerialEngine() { return g_shell.engine; }
HWND GetModelessDialog() { return g_shell.modelessDialog; }
void SetMainWindow(HWND hwnd) { g_shell.mainWindow = hwnd; }

void SetModelessDialog(HWND dialog, ModelessFilter filter)
{
    if (g_shell.modelessDialog && IsWindow(g_shell.modelessDialog)) DestroyWindow(g_shell.modelessDialog);
    g_shell.modelessDialog = dialog;
    g_shell.modelessFilter = filter;
}

void InitShellState(HINSTANCE instance, bool startedByAutomation)
{
    g_shell.instance = instance;
    memset(&g_shell.device, 0, sizeof g_shell.device);
    memset(&g_shell.engine, 0, sizeof g_shell.engine);
    g_shell.engine.port = INVALID_HANDLE_VALUE;
    LoadAppSettings(g_shell.app);
    if (startedByAutomation)
        g_shell.app.flags |= APP_STARTED_BY_AUTOMATION;
    else
        g_shell.app.flags &= ~APP_STARTED_BY_AUTOMATION;
    if (!g_shell.accelerators) g_shell.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAIN_ACCEL));
}

void DispatchLoopMessage(MSG& msg)
{
    if (g_shell.modelessDialog && g_shell.modelessFilter && g_shell.modelessFilter(&msg)) return;
    if (g_shell.mainWindow && g_shell.accelerators &&
        TranslateAcceleratorA(g_shell.mainWindow, g_shell.accelerators, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
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
    StopEngine(g_shell.engine);
    ClosePort(&g_shell.device.flags, &g_shell.engine.port);
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

    g_shell.mainWindow = hwnd;
    int exitCode = 0;
    if (!InitAutomationServer(g_shell.mainWindow)) {
        SendMessageA(g_shell.mainWindow, WM_CLOSE, 0, 0);
    } else {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchLoopMessage(msg);
        exitCode = static_cast<int>(msg.wParam);
    }
    Shutdown();
    return exitCode;
}
