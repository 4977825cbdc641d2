// Runs the real Vorlin2.exe in a folder of its own and watches it from the
// test process, as a user or a script would.
#pragma once
#include <windows.h>

#include <chrono>
#include <string>

namespace testing_support {

// Copies Vorlin2.exe and the files that sit beside it into `folder`.
bool InstallProgram(const std::string& folder);
// Runs the program in `folder` with `arguments` (for example "/RegServer")
// and waits for it to end; false when it could not start or did not end.
bool RunProgramToEnd(const std::string& folder, const std::string& arguments,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));

class ProgramRun {
public:
    ProgramRun() = default;
    ~ProgramRun() { Kill(); }  // ends the process if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts <folder>\Vorlin2.exe with `arguments` in `folder`.
    bool Start(const std::string& folder, const std::string& arguments = "");
    // The first top-level window of the process with the class, or null.
    HWND FindWindowOfClass(const char* className) const;
    // The main window once it exists, or null after `timeout` (or when the process ended).
    HWND WaitForMainWindow(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // A visible dialog or message box of the program other than `except`, or null after `timeout`.
    HWND WaitForDialog(HWND except = nullptr, std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // A visible dialog or message box of the program titled `title`, or null after `timeout`.
    HWND WaitForDialogTitled(const std::wstring& title, std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // Connects the main window to `port` through the connect dialog (the menu command, or F5);
    // false when it did not.
    bool Connect(HWND mainWindow, const char* port);
    bool ConnectWithF5(HWND mainWindow, const char* port);
    // True when the process ended within `timeout`; exitCode receives its code.
    bool WaitForExit(std::chrono::milliseconds timeout, DWORD* exitCode = nullptr)
    {
        if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return false;
        return !exitCode || GetExitCodeProcess(info_.hProcess, exitCode);
    }
    HANDLE Process() const { return info_.hProcess; }
    bool Running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    void Kill();

    // Posts `message` to the main window, waits for the connect dialog and chooses `port` in
    // it; the dialog, or null when it did not come or does not offer the port.
    HWND OpenConnectDialog(HWND main, UINT message, WPARAM wParam, const char* port);

private:
    PROCESS_INFORMATION info_{};
};

} // namespace testing_support
