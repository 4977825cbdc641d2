// Runs the real Vorlin2.exe in a folder of its own and watches it from the
// test process, as a user or a script would.
#pragma once
#include <windows.h>

#include <chrono>
#include <string>

namespace testing_support {

// Copies Vorlin2.exe and the files that sit beside it into `folder`.
bool InstallProgram(const std::string& folder);

// Top-level windows of a process with the given class (first one).
HWND FindProcessWindow(DWORD processId, const char* className);

class ProgramRun {
public:
    ProgramRun() = default;
    ~ProgramRun();  // ends the process if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts <folder>\Vorlin2.exe with `arguments` in `folder`.
    bool Start(const std::string& folder, const std::string& arguments = "");
    // The main window once it exists, or null after `timeout`.
    HWND WaitForMainWindow(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // True when the process ended within `timeout`; exitCode receives its code.
    bool WaitForExit(std::chrono::milliseconds timeout, DWORD* exitCode = nullptr);
    bool Running() const;
    void Kill();
    DWORD ProcessId() const { return info_.dwProcessId; }
    HANDLE Process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_{};
};

// For messages of failed checks.
std::string WideToUtf8(const std::wstring& text);

} // namespace testing_support
