// Runs the real Vorlin2.exe in a folder of its own and watches it from the
// test process, as a user or a script would.
#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace testing_support {

// Folder of the running test executable (no trailing backslash).
std::string ModuleFolder();
// build/bin, where the program and the files beside it are built.
std::string ProgramBinFolder();
// A new empty folder under the test's temporary folder.
std::string MakeTempFolder(const char* tag);
// Copies Vorlin2.exe and the files that sit beside it into `folder`.
bool InstallProgram(const std::string& folder);
bool WriteTextFile(const std::string& path, const std::string& bytes);
std::string ReadTextFile(const std::string& path);

// Polls `condition` until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(20));

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

// Window text through the wide API (the program's texts are Japanese).
std::wstring WindowTextW(HWND hwnd);
// For messages of failed checks.
std::string WideToUtf8(const std::wstring& text);
// Saves the screen area of the window as a 24-bit .bmp file.
bool SaveWindowBitmap(HWND hwnd, const std::string& path);

} // namespace testing_support
