#include "tests/support/program_run.h"

#include <cstring>
#include <vector>

#include "resources/resource.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"
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

HWND ProgramRun::WaitForDialogTitled(const std::wstring& title, std::chrono::milliseconds timeout)
{
    struct Search { DWORD pid; const std::wstring* title; HWND found; } search{info_.dwProcessId, &title, nullptr};
    auto find = [&] {
        EnumWindows(
            [](HWND hwnd, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                DWORD pid = 0;
                wchar_t cls[32] = L"", text[256] = L"";
                GetWindowThreadProcessId(hwnd, &pid);
                GetClassNameW(hwnd, cls, 32);
                GetWindowTextW(hwnd, text, 256);
                bool match = pid == s->pid && !wcscmp(cls, L"#32770") && IsWindowVisible(hwnd) && *s->title == text;
                return match ? (s->found = hwnd, FALSE) : TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    };
    return WaitUntil(find, static_cast<DWORD>(timeout.count())) ? search.found : nullptr;
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

HWND ProgramRun::OpenConnectDialog(HWND main, UINT message, WPARAM wParam, const char* port)
{
    PostMessageA(main, message, wParam, 0);
    HWND dialog = WaitForDialog(), list = GetDlgItem(dialog, IDC_CONNECT_PORT);
    if (!dialog || SendMessageA(list, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(port)) == CB_ERR)
        return nullptr;
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONNECT_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return dialog;
}

namespace {

// The connect button of an open connect dialog: true once the title names the port.
bool ConfirmConnect(HWND main, HWND dialog, const char* port)
{
    if (!dialog) return false;
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
    const std::wstring connected = std::wstring(port, port + strlen(port)) + L" - ";  // port names are ASCII
    return WaitUntil([&] { return WindowTextW(main).starts_with(connected); }, 15000);
}

} // namespace

bool ProgramRun::Connect(HWND main, const char* port)
{
    return ConfirmConnect(main, OpenConnectDialog(main, WM_COMMAND, IDM_CONNECT, port), port);
}

bool ProgramRun::ConnectWithF5(HWND main, const char* port)
{
    return ConfirmConnect(main, OpenConnectDialog(main, WM_KEYDOWN, VK_F5, port), port);
}

bool RunProgramToEnd(const std::string& folder, const std::string& arguments, std::chrono::milliseconds timeout)
{
    ProgramRun run;
    return run.Start(folder, arguments) && run.WaitForExit(timeout);
}

} // namespace testing_support
