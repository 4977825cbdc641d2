// A port that goes away while open, as an unplugged USB adapter does. The program's end of
// the cable is unplugged by scripts/vports.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "serial/device_calls.h"
#include "serial/port.h"
#include "shell/session.h"
#include "tests/support/main_window_host.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

const std::wstring kConnectedTitle = L"" VORLIN_PORT " - 通信リソース制御ユーティリティー『Vorlin2』";
const std::wstring kLostTitle = L"未接続 - " VORLIN_PORT " が使えなくなりました(";
const std::wstring kLostStatus = L"ポート " VORLIN_PORT " が使えなくなったため切断しました(";
constexpr DWORD kWait = 15000;
using Reports = std::vector<std::pair<DWORD, LPARAM>>;

// Processor time of a process or a thread, in milliseconds.
ULONGLONG CpuMs(HANDLE handle, bool thread)
{
    FILETIME times[4];
    BOOL ok = thread ? GetThreadTimes(handle, &times[0], &times[1], &times[2], &times[3])
                     : GetProcessTimes(handle, &times[0], &times[1], &times[2], &times[3]);
    auto ms = [](const FILETIME& t) { return ((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
    return ok ? ms(times[2]) + ms(times[3]) : 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& start) { return text.rfind(start, 0) == 0; }

// A control's text in another process (a status bar answers with its first part).
std::wstring Text(HWND control)
{
    wchar_t text[512] = {};
    SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWait, nullptr);
    return text;
}

// Wine gives no handle to wait on for the Linux script: the link it removes or makes is watched.
bool Plug(const char* how)
{
    char script[MAX_PATH];
    GetFullPathNameA(BuildFolderFile("..\\scripts\\vports").c_str(), MAX_PATH, script, nullptr);
    std::string line = std::string("\"") + script + "\" " + how + " " VORLIN_PORT ":" VORLIN_FAR_PORT;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(script, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    std::string link = "vports\\" VORLIN_PORT;
    link = BuildFolderFile(CharLowerA(link.data()));
    WIN32_FIND_DATAA found;
    auto listed = [&] {
        HANDLE search = FindFirstFileA(link.c_str(), &found);
        return search != INVALID_HANDLE_VALUE && FindClose(search);
    };
    return WaitUntil([&] { return listed() == (strcmp(how, "replug") == 0); }, kWait);
}

// Plugs the cable in again whatever way a test ends.
struct Unplugged {
    bool done = Plug("unplug");
    ~Unplugged() { Plug("replug"); }
};

} // namespace

TEST(PortLoss, AReaderWhoseEveryReadFailsReportsEachRunOnceAndBacksOff)
{
    SerialEngine engine{INVALID_HANDLE_VALUE, {}, {}, {}};
    MainWindowStub main(engine);
    DeviceSettings settings = TestPortSettings(VORLIN_PORT);
    ASSERT_TRUE(OpenPort(settings, &engine.port)) << GetLastError();
    static std::atomic<DWORD> error{ERROR_CRC};
    static std::atomic<int> reads{0};
    DeviceCalls calls = Win32DeviceCalls();
    calls.readFile = [](void*, HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
        return ++reads, SetLastError(error), FALSE;
    };
    SetDeviceCalls(&calls);
    ASSERT_TRUE(StartEngine(engine));
    const ULONGLONG start = GetTickCount64();
    // Not a device-gone error: the port counts as lost once it has repeated for a second.
    ASSERT_TRUE(PumpUntil([&] { return !main.portLost.empty(); }));
    EXPECT_GE(GetTickCount64() - start, 950u);
    // A device-gone error is a new run, and the port lost at once; 40 tries later nothing more
    // is posted, and they cannot have come faster than 50 ms apart.
    error = ERROR_BROKEN_PIPE;
    const ULONGLONG switched = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return main.portLost.size() == 2; }) && GetTickCount64() - switched < 500);
    const int before = reads;
    ASSERT_TRUE(PumpUntil([&] { return reads >= before + 40; }, kWait));
    const ULONGLONG elapsed = GetTickCount64() - start, cpu = CpuMs(engine.thread[ENGINE_READER], true);
    EXPECT_GE(elapsed, 3000u);
    main.Drain();
    EXPECT_EQ(main.ioErrors, (Reports{{ERROR_CRC, ENGINE_READER}, {ERROR_BROKEN_PIPE, ENGINE_READER}}));
    EXPECT_EQ(main.portLost, (Reports{{ERROR_CRC, engine.run}, {ERROR_BROKEN_PIPE, engine.run}}));
    EXPECT_LT(cpu * 100, elapsed * 2) << cpu << " ms of processor time";
    StopEngine(engine);
    SetDeviceCalls(nullptr);
    ClosePort(&settings.flags, &engine.port);
}

// The session in this process, told that its port is lost: what ends the waiting, the setting.
TEST(PortLoss, OldNoticesAreIgnoredTheSameSettingsReturnAndConnectOrDisconnectEndTheWaiting)
{
    SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
    testing_support::MainWindowHost host;
    Session& session = GetSession();
    auto lose = [&](uint32_t run) { SendMessageW(host.Window(), WM_VORLIN_PORT_LOST, ERROR_DEVICE_REMOVED, run); };
    DeviceSettings settings = TestPortSettings(VORLIN_PORT);
    settings.dcb.BaudRate = 19200;
    ASSERT_EQ(session.Connect(settings), 0u);  // the engine's second run: the first one is older
    session.Disconnect();
    ASSERT_EQ(session.Connect(settings), 0u);
    const DeviceSettings first = session.Device();
    lose(session.Engine().run - 1);
    EXPECT_TRUE(session.IsOpen()) << "a notice from before the engine's last start";
    lose(session.Engine().run);
    EXPECT_TRUE(!session.IsOpen() && session.IsReopening());
    ASSERT_TRUE(PumpUntil([&] { return session.IsOpen(); }, 3000));
    EXPECT_EQ(memcmp(&session.Device(), &first, sizeof first), 0);
    // Reopening would come within a second: two are the witness that it does not.
    lose(session.Engine().run);
    ASSERT_EQ(session.Connect(settings), 0u);
    lose(session.Engine().run);
    session.Disconnect();  // a script's (the user's is greyed while disconnected)
    EXPECT_FALSE(PumpUntil([&] { return session.IsOpen() || session.IsReopening(); }, 2000));
    GetAppSettings().flags &= ~APP_REOPEN_PORT;
    ASSERT_EQ(session.Connect(settings), 0u);
    lose(session.Engine().run);
    EXPECT_FALSE(session.IsReopening());
    const std::wstring status = Text(GetDlgItem(host.Window(), IDC_STATUS_BAR));
    EXPECT_TRUE(StartsWith(status, kLostStatus) && status.find(L"開き直します") == std::wstring::npos) << status;
    SetMessageFileForTesting(nullptr);
}

TEST(PortLoss, TheProgramDisconnectsSaysWhyIdlesAndReopensWhenTheCableIsBack)
{
    TempFolder folder;
    testing_support::ProgramRun run;
    ASSERT_TRUE(testing_support::InstallProgram(folder.Path()));
    CreateDirectoryA(folder.File("data").c_str(), nullptr);
    folder.Write("data\\test.txt", "PING,50494E470D0A\r\n");  // for the quick-send button
    ASSERT_TRUE(run.Start(folder.Path()));
    HWND hwnd = run.WaitForMainWindow();
    // Looked up when read: the main window may still be making its children when it is found.
    auto status = [&] { return Text(GetDlgItem(hwnd, IDC_STATUS_BAR)); };
    ASSERT_TRUE(hwnd);
    ASSERT_TRUE(run.ConnectWithF5(hwnd, VORLIN_PORT) && WindowTextW(hwnd) == kConnectedTitle);
    const std::string log = folder.File("log\\Vorlin2_" VORLIN_PORT ".log");
    auto logHas = [&](const char* hex) {
        return WaitUntil([&] { return ReadWholeFile(log).find(hex) != std::string::npos; }, kWait);
    };
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT) && peer.Write("before") && logHas("62 65 66 6f 72 65\r\n"));

    const DWORD idle = 2000;
    {
        Unplugged unplugged;
        ASSERT_TRUE(unplugged.done);
        const ULONGLONG start = GetTickCount64();
        peer.Close();
        ASSERT_TRUE(WaitUntil([&] { return StartsWith(WindowTextW(hwnd), kLostTitle); }, kWait));
        EXPECT_LT(GetTickCount64() - start, 2000u);
        EXPECT_TRUE(StartsWith(status(), kLostStatus)) << status();
        EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(log); }, kWait) && logHas("62 65 66 6f 72 65\r\n"));
        // Two seconds unplugged: the time is the measurement, not a wait for something.
        const ULONGLONG before = CpuMs(run.Process(), false);
        WaitUntil([] { return false; }, idle);
        const ULONGLONG cpu = CpuMs(run.Process(), false) - before;
        EXPECT_LT(cpu * 100, idle * 5) << cpu << " ms of processor time";
    }
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd) == kConnectedTitle; }, kWait));
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_TRUE(WaitUntil([&] { return status() == L"ポート " VORLIN_PORT " が戻ったので、同じ設定で開き直しました。"; },
                          kWait));
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT) && peer.Write("after"));
    EXPECT_TRUE(logHas("61 66 74 65 72\r\n") && logHas("62 65 66 6f 72 65\r\n"));
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(6, kWait), "PING\r\n");

    // Gone again, the user closes the window while it waits: it ends without a question.
    peer.Close();
    Unplugged again;
    ASSERT_TRUE(again.done && WaitUntil([&] { return StartsWith(WindowTextW(hwnd), kLostTitle); }, kWait));
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    EXPECT_TRUE(run.WaitForExit(std::chrono::seconds(20), &exitCode) && exitCode == 0) << exitCode;
}
