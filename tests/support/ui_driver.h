// Helpers for tests that drive dialogs and windows inside the test process:
// temporary folders and files, waiting with a deadline while messages are
// pumped, a second thread that acts as the user while a modal dialog runs,
// and pictures of windows saved as PNG files.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

bool WriteTextFile(const std::string& path, const std::string& text);
// Creates a file whose full path may exceed MAX_PATH.
bool WriteLongPathFile(const std::string& path, const std::string& text);
bool DeleteLongPathFile(const std::string& path);

// Pumps this thread's messages until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Waits (without pumping) for the condition; for the user thread.
bool WaitWithoutPumping(const std::function<bool()>& condition, DWORD timeoutMs);

// A top-level dialog (#32770) of the given thread whose title is `title`
// (any title when null) and that is not `except`.
HWND FindThreadDialog(DWORD threadId, const wchar_t* title, HWND except = nullptr);
HWND WaitForThreadDialog(DWORD threadId, const wchar_t* title, DWORD timeoutMs, HWND except = nullptr);
// The text of a message box (its static 0xFFFF).
std::wstring MessageBoxText(HWND box);
std::wstring WindowTextW(HWND hwnd);

// The user's hand: runs `script` on another thread while the test thread
// runs a modal loop. join() waits for it.
class UserThread {
public:
    explicit UserThread(std::function<void()> script);
    ~UserThread();
    void join();

private:
    std::thread thread_;
};

// Posts the click of a button of a dialog as the button itself would.
void ClickDialogButton(HWND dialog, int id);
// Selects an item of a combo box and notifies the dialog as a user's choice does.
void ChooseComboItem(HWND dialog, int id, int index);
// Types characters into a control (WM_CHAR), as a keyboard would.
void TypeText(HWND control, const char* text);

// Path beside the test executable's build folder: <build>/<name>.
std::string BuildFolderFile(const char* name);
// What a window of this process shows (with its frame): RGB bytes, rows
// from the top.
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};
WindowPicture CaptureWindow(HWND hwnd);
bool SavePicturePng(const WindowPicture& picture, const std::string& path);
// Saves what the window shows (with its frame) as a 24-bit PNG.
bool SaveWindowPng(HWND hwnd, const std::string& path);

// The program's main window inside the test process (shown, 800 x 600, with
// its status bar, panel and view), registered as the main window. Reports
// go to the status bar unless `messageBoxes` is set.
HWND CreateTestMainWindow(bool messageBoxes = false);
void DestroyTestMainWindow(HWND hwnd);
// Child rectangle in the parent's client coordinates.
RECT ChildRect(HWND child);
