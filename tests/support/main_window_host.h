// Runs the program's main window inside the test process, so tests can read
// its menu (menus of another process cannot be read under Wine) and send it
// messages directly.
#pragma once
#include <windows.h>

#include "logview/log_view.h"
#include "shell/app.h"
#include "shell/main_window.h"
#include "shell/shell.h"

namespace testing_support {

class MainWindowHost {
public:
    // The main window with its children, shown and registered as the main window. Reports go
    // to its status bar unless `messageBoxes` is set.
    explicit MainWindowHost(bool messageBoxes = false)
    {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        InitShellState(instance, false);
        if (messageBoxes) GetAppSettings().flags |= APP_MESSAGE_BOXES;
        else GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
        InitLogView(instance);  // a second registration in one process fails harmlessly
        RegisterMainWindowClass(instance);
        SetMainWindow(hwnd_ = CreateMainWindow(instance));
        if (hwnd_) ShowWindow(hwnd_, SW_SHOWNOACTIVATE), UpdateWindow(hwnd_);
    }
    ~MainWindowHost()  // destroys the window and drops the quit message it posts
    {
        if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
        SetMainWindow(nullptr);
        Pump();
    }
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    HWND Window() const { return hwnd_; }
    // Dispatches what is queued for this thread (posted records, for example).
    void Pump()
    {
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            if (msg.message != WM_QUIT) DispatchLoopMessage(msg);
    }

private:
    HWND hwnd_ = nullptr;
};

} // namespace testing_support
