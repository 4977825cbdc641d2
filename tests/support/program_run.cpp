#include "tests/support/program_run.h"

#include <vector>

#include "tests/support/temp_files.h"
#include "tests/support/wait.h"

namespace testing_support {

bool InstallProgram(const std::string& folder)
{
    if (!CopyFileA(ShippedFile("Vorlin2.exe").c_str(), (folder + "\\Vorlin2.exe").c_str(), FALSE)) return false;
    // The files beside the program travel with it when they exist.
    for (const char* name : {"Vorlin2.ini", "Vorlin2.msg"})
        CopyFileA(ShippedFile(name).c_str(), (folder + "\\" + name).c_str(), FALSE);
    return true;
}

bool ProgramRun::Start(const std::string& folder, const std::string& arguments)
{
    Kill();
    std::string exe = folder + "\\Vorlin2.exe";
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> line(commandLine.c_str(), commandLine.c_str() + commandLine.size() + 1);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                          &info_) != 0;
}

HWND ProgramRun::FindWindowOfClass(const char* className) const
{
    struct Search { DWORD pid; const char* cls; HWND found; } search{info_.dwProcessId, className, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            char cls[128] = {};
            GetWindowThreadProcessId(hwnd, &pid);
            GetClassNameA(hwnd, cls, sizeof cls);
            return pid == s->pid && strcmp(cls, s->cls) == 0 ? (s->found = hwnd, FALSE) : TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramRun::WaitForMainWindow(std::chrono::milliseconds timeout)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowOfClass("VORLIN2_MAIN_WND_CLASS")) != nullptr || !Running(); },
              static_cast<DWORD>(timeout.count()));
    return found;
}

HWND ProgramRun::WaitForDialog(HWND except, std::chrono::milliseconds timeout)
{
    HWND found = nullptr;
    // Visible: the dialog has finished its set-up.
    auto ready = [&] { return (found = FindWindowOfClass("#32770")) && found != except && IsWindowVisible(found); };
    return WaitUntil(ready, static_cast<DWORD>(timeout.count())) ? found : nullptr;
}

void ProgramRun::Kill()
{
    if (!info_.hProcess) return;
    if (Running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
    info_ = PROCESS_INFORMATION{};
}

bool RunProgramToEnd(const std::string& folder, const std::string& arguments, std::chrono::milliseconds timeout)
{
    ProgramRun run;
    return run.Start(folder, arguments) && run.WaitForExit(timeout);
}

} // namespace testing_support
