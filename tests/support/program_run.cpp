#include "tests/support/program_run.h"

#include "tests/support/log_files.h"
#include "tests/support/temp_files.h"

#include <cstdio>
#include <vector>

namespace testing_support {

bool InstallProgram(const std::string& folder)
{
    if (!CopyFileA(ShippedFile("Vorlin2.exe").c_str(), (folder + "\\Vorlin2.exe").c_str(), FALSE)) return false;
    // The files beside the program travel with it when they exist.
    for (const char* name : {"Vorlin2.ini", "Vorlin2.msg"})
        CopyFileA(ShippedFile(name).c_str(), (folder + "\\" + name).c_str(), FALSE);
    return true;
}

HWND FindProcessWindow(DWORD processId, const char* className)
{
    struct Search { DWORD pid; const char* cls; HWND found; } search{processId, className, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            char cls[128] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            if (pid == s->pid && strcmp(cls, s->cls) == 0) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

ProgramRun::~ProgramRun()
{
    Kill();
}

bool ProgramRun::Start(const std::string& folder, const std::string& arguments)
{
    Kill();
    std::string exe = folder + "\\Vorlin2.exe";
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    return CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                          &info_) != 0;
}

HWND ProgramRun::WaitForMainWindow(std::chrono::milliseconds timeout)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessWindow(info_.dwProcessId, "VORLIN2_MAIN_WND_CLASS")) != nullptr || !Running(); },
              static_cast<DWORD>(timeout.count()));
    return found;
}

bool ProgramRun::WaitForExit(std::chrono::milliseconds timeout, DWORD* exitCode)
{
    if (!info_.hProcess) return true;
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(info_.hProcess, exitCode);
    return true;
}

bool ProgramRun::Running() const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
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

std::string WideToUtf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

} // namespace testing_support
