// Driving dialogs and windows inside the test process: finding a thread's
// dialogs, a second thread that acts as the user while a modal dialog runs,
// clicks and choices as a user makes them, and screenshots.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait.h"

// A visible top-level dialog (#32770) of the thread, titled `title` (any title when null), not `except`.
HWND FindThreadDialog(DWORD threadId, const wchar_t* title, HWND except = nullptr);
inline HWND WaitForThreadDialog(DWORD threadId, const wchar_t* title, DWORD timeoutMs, HWND except = nullptr)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindThreadDialog(threadId, title, except)) != nullptr; }, timeoutMs);
    return found;
}
inline std::wstring WindowTextW(HWND hwnd)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(hwnd, text, 1024);
    return text;
}
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
inline void ClickDialogButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
// Types characters into a control (WM_CHAR), as a keyboard would.
inline void TypeText(HWND control, const char* text)
{
    for (const char* p = text; *p; ++p) SendMessageW(control, WM_CHAR, static_cast<unsigned char>(*p), 1);
}
// What a window of this process shows (with its frame): RGB bytes, rows from the top.
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};
WindowPicture CaptureWindow(HWND hwnd);
size_t DistinctColours(const WindowPicture& picture);
// Saves a picture as <build>/<name>.bmp.
bool SavePicture(const WindowPicture& picture, const std::string& name);
// Saves what the window shows as <build>/<name>.bmp; false when it cannot, or when the
// picture is blank or nearly one colour (a window that drew nothing).
bool SaveScreenshot(HWND hwnd, const std::string& name);
