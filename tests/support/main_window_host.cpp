#include "tests/support/main_window_host.h"

#include "logview/log_view.h"
#include "shell/app.h"
#include "shell/main_window.h"
#include "shell/shell.h"

namespace testing_support {

MainWindowHost::MainWindowHost(bool messageBoxes)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    InitShellState(instance, false);
    if (messageBoxes) GetAppSettings().flags |= APP_MESSAGE_BOXES;
    else GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
    InitLogView(instance);            // a second registration in one process fails harmlessly
    RegisterMainWindowClass(instance);
    hwnd_ = CreateMainWindow(instance);
    SetMainWindow(hwnd_);
    if (hwnd_) {
        ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
        UpdateWindow(hwnd_);
    }
}

MainWindowHost::~MainWindowHost()
{
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    SetMainWindow(nullptr);
    Pump();
}

void MainWindowHost::Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        DispatchLoopMessage(msg);
    }
}

} // namespace testing_support
