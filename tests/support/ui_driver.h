// Driving dialogs and windows inside the test process: finding a thread's
// dialogs, a second thread that acts as the user while a modal dialog runs,
// clicks and choices as a user makes them, and screenshots.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "tests/support/wait.h"

// A visible top-level dialog (#32770) of the thread, titled `title` (any title when null), not `except`.
HWND FindThreadDialog(DWORD threadId, const wchar_t* title, HWND except = nullptr);
HWND WaitForThreadDialog(DWORD threadId, const wchar_t* title, DWORD timeoutMs, HWND except = nullptr);
std::wstring WindowTextW(HWND hwnd);
inline std::wstring MessageBoxText(HWND box) { return WindowTextW(GetDlgItem(box, 0xFFFF)); }

// The user's hand: runs `script` on another thread while the test thread runs a modal loop.
class UserThread {
public:
    explicit UserThread(std::function<void()> script) : thread_(std::move(script)) {}
    ~UserThread() { join(); }
    void join() { if (thread_.joinable()) thread_.join(); }

private:
    std::thread thread_;
};

// Posts the click of a button of a dialog as the button itself would.
void ClickDialogButton(HWND dialog, int id);
// Selects an item of a combo box and notifies the dialog as a user's choice does.
void ChooseComboItem(HWND dialog, int id, int index);
// Types characters into a control (WM_CHAR), as a keyboard would.
void TypeText(HWND control, const char* text);
// Child rectangle in the parent's client coordinates.
RECT ChildRect(HWND child);
// Saves what the window shows (with its frame) as <build>/<name>.bmp.
bool SaveScreenshot(HWND hwnd, const std::string& name);
