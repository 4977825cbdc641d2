// Runs the program's main window inside the test process, so tests can read
// its menu (menus of another process cannot be read under Wine) and send it
// messages directly.
#pragma once
#include <windows.h>

namespace testing_support {

class MainWindowHost {
public:
    // The main window with its children, shown and registered as the main window. Reports go
    // to its status bar unless `messageBoxes` is set.
    explicit MainWindowHost(bool messageBoxes = false);
    ~MainWindowHost();  // destroys the window and drops the quit message it posts
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    HWND Window() const { return hwnd_; }
    // Dispatches what is queued for this thread (posted records, for example).
    void Pump();

private:
    HWND hwnd_ = nullptr;
};

} // namespace testing_support
