// A port that goes away while open, as an unplugged USB adapter does: the
// engine reports it once and does not spin, the main window disconnects and
// says why, and reopens the port when it comes back. The real program runs on
// COM29, whose cable scripts/vports unplugs and plugs in again; far end COM30.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/catalogue.h"
#include "resources/resource.h"
#include "serial/device_calls.h"
#include "serial/port.h"
#include "shell/session.h"
#include "tests/support/main_window_host.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

namespace {

const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";
const std::wstring kConnectedTitle = L"" VORLIN_PORT " - " + kTitle;
const std::wstring kLostTitle = L"未接続 - " VORLIN_PORT " が使えなくなりました(";
constexpr DWORD kWait = 15000;

ULONGLONG Milliseconds(const FILETIME& t) { return ((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; }

// Processor time (user and kernel) of a process or a thread, in milliseconds.
ULONGLONG CpuMs(HANDLE handle, bool thread)
{
    FILETIME created, ended, kernel, user;
    BOOL ok = thread ? GetThreadTimes(handle, &created, &ended, &kernel, &user)
                     : GetProcessTimes(handle, &created, &ended, &kernel, &user);
    return ok ? Milliseconds(kernel) + Milliseconds(user) : 0;
}

// Every read fails at once with the error the test chooses, as on a port whose far side has gone.
struct FailingReads {
    std::atomic<DWORD> error{ERROR_CRC};
    std::atomic<int> calls{0};
};

} // namespace

TEST(PortLoss, AReaderWhoseEveryReadFailsReportsEachRunOnceAndBacksOff)
{
    SerialEngine engine{};
    engine.port = INVALID_HANDLE_VALUE;
    MainWindowStub main(engine);
    DeviceSettings settings = TestPortSettings(VORLIN_PORT);
    ASSERT_TRUE(OpenPort(settings, &engine.port)) << GetLastError();
    FailingReads fake;
    DeviceCalls calls = Win32DeviceCalls();
    calls.context = &fake;
    calls.readFile = [](void* context, HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
        auto& reads = *static_cast<FailingReads*>(context);
        ++reads.calls;
        SetLastError(reads.error);
        return FALSE;
    };
    SetDeviceCalls(&calls);
    ASSERT_TRUE(StartEngine(engine));
    const ULONGLONG start = GetTickCount64();
    // An error that does not by itself mean a removed device: the port counts as lost once
    // the same error has repeated for about a second.
    ASSERT_TRUE(PumpUntil([&] { return !main.portLost.empty(); }));
    const ULONGLONG lostAfter = GetTickCount64() - start;
    EXPECT_GE(lostAfter, 950u);
    EXPECT_LT(lostAfter, 2000u);
    // A device-gone error starts a new run: reported, and the port lost, at once.
    fake.error = ERROR_BROKEN_PIPE;
    const ULONGLONG switched = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return main.portLost.size() == 2; }));
    EXPECT_LT(GetTickCount64() - switched, 500u);
    // Then two seconds more of failing reads: tried about 20 times a second, nothing more posted.
    const int callsBefore = fake.calls;
    ASSERT_TRUE(PumpUntil([&] { return fake.calls >= callsBefore + 40; }, 10000));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 3000u) << "40 retries cannot come faster than 50 ms apart";
    const ULONGLONG cpu = CpuMs(engine.thread[ENGINE_READER], true);
    main.Drain();
    const LPARAM run = engine.run;
    std::erase_if(main.ioErrors, [](auto& e) { return e.second != ENGINE_READER; });  // a cable without modem lines
    EXPECT_EQ(main.ioErrors, (std::vector<std::pair<DWORD, LPARAM>>{{ERROR_CRC, ENGINE_READER},
                                                                    {ERROR_BROKEN_PIPE, ENGINE_READER}}));
    EXPECT_EQ(main.portLost, (std::vector<std::pair<DWORD, LPARAM>>{{ERROR_CRC, run}, {ERROR_BROKEN_PIPE, run}}));
    EXPECT_LT(cpu * 100, elapsed * 2) << "the reader used " << cpu << " ms of " << elapsed << " ms";
    printf("failing reads: %d calls, %zu reports and %llu ms of processor time in %llu ms\n", int(fake.calls),
           main.ioErrors.size() + main.portLost.size(), cpu, elapsed);
    // A stop ends the back-off at once.
    const ULONGLONG stopping = GetTickCount64();
    StopEngine(engine);
    EXPECT_LT(GetTickCount64() - stopping, 1000u);
    SetDeviceCalls(nullptr);
    ClosePort(&settings.flags, &engine.port);
}

// The session inside this process: what ends the waiting for a lost port, and the setting.
TEST(PortLoss, TheUsersConnectOrDisconnectEndsTheWaitingAndOldNoticesAreIgnored)
{
    SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
    testing_support::MainWindowHost host;
    HWND hwnd = host.Window();
    ASSERT_TRUE(hwnd);
    Session& session = GetSession();
    const DeviceSettings settings = TestPortSettings(VORLIN_PORT);
    auto lose = [&](uint32_t run) { SendMessageW(hwnd, WM_VORLIN_PORT_LOST, ERROR_DEVICE_REMOVED, run); };
    ASSERT_EQ(session.Connect(settings), 0u);
    const DCB first = session.Device().dcb;
    lose(session.Engine().run - 1);
    EXPECT_TRUE(session.IsOpen()) << "a notice from before the engine's last start";
    lose(session.Engine().run);
    EXPECT_TRUE(!session.IsOpen() && session.IsReopening());
    char reason[256];
    SystemErrorText(ERROR_DEVICE_REMOVED, reason, sizeof reason);
    EXPECT_EQ(WindowTextW(hwnd).rfind(kLostTitle, 0), 0u) << "with the reason: " << reason;
    // The port is there: it opens again at a tick, with the same settings.
    ASSERT_TRUE(PumpUntil([&] { return session.IsOpen(); }, 3000));
    EXPECT_EQ(WindowTextW(hwnd), kConnectedTitle);
    EXPECT_EQ(memcmp(&session.Device().dcb, &first, sizeof first), 0);
    // A connect of the user's, or a disconnect (of a script; the user's is greyed), ends the
    // waiting. Reopening would come within a second: two are the witness that it does not.
    lose(session.Engine().run);
    ASSERT_EQ(session.Connect(settings), 0u);
    EXPECT_FALSE(session.IsReopening());
    lose(session.Engine().run);
    session.Disconnect();
    EXPECT_FALSE(PumpUntil([&] { return session.IsOpen() || session.IsReopening(); }, 2000));
    // With the setting off the window stays disconnected and says so.
    GetAppSettings().flags &= ~APP_REOPEN_PORT;
    ASSERT_EQ(session.Connect(settings), 0u);
    lose(session.Engine().run);
    EXPECT_FALSE(session.IsOpen() || session.IsReopening());
    wchar_t status[512] = {};
    SendDlgItemMessageW(hwnd, IDC_STATUS_BAR, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(std::wstring(status).rfind(L"ポート " VORLIN_PORT " が使えなくなったため切断しました(", 0), 0u);
    EXPECT_EQ(std::wstring(status).find(L"開き直します"), std::wstring::npos);
    SetMessageFileForTesting(nullptr);
}

namespace {

// The real program on the cable that this test unplugs and plugs in again.
class Unplugged : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        CreateDirectoryA(temp_.File("data").c_str(), nullptr);
        temp_.Write("data\\test.txt", "PING,50494E470D0A\r\n");  // for the quick-send button
        ASSERT_TRUE(run_.Start(temp_.Path())) << GetLastError();
        ASSERT_TRUE(hwnd_ = run_.WaitForMainWindow());
    }
    void TearDown() override
    {
        run_.Kill();
        if (unplugged_) Plug("replug");  // the cable is back for the next test
    }

    // scripts/vports, a Linux program that Wine starts: its handle cannot be waited for, so
    // the link it removes or makes again is watched instead.
    bool Plug(const char* how)
    {
        char script[MAX_PATH];
        GetFullPathNameA(BuildFolderFile("..\\scripts\\vports").c_str(), MAX_PATH, script, nullptr);
        std::string line = std::string("\"") + script + "\" " + how + " " VORLIN_PORT ":" VORLIN_FAR_PORT;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(script, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
        std::string link = "vports\\" VORLIN_PORT;
        for (char& c : link) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        link = BuildFolderFile(link);
        unplugged_ = strcmp(how, "unplug") == 0;
        // Listed, not opened: Wine answers no attributes for a link to a terminal.
        auto present = [&] {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA(link.c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
            return search != INVALID_HANDLE_VALUE;
        };
        return WaitUntil([&] { return present() != unplugged_; }, kWait);
    }
    void Connect(const char* baud)
    {
        PostMessageA(hwnd_, WM_KEYDOWN, VK_F5, 0);
        HWND dialog = run_.WaitForDialog();
        ASSERT_TRUE(dialog);
        for (int id : {IDC_CONNECT_PORT, IDC_CONNECT_BAUD}) {
            HWND list = GetDlgItem(dialog, id);
            ASSERT_NE(SendMessageA(list, CB_SELECTSTRING, WPARAM(-1),
                                   reinterpret_cast<LPARAM>(id == IDC_CONNECT_PORT ? VORLIN_PORT : baud)),
                      CB_ERR);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        }
        PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_) == kConnectedTitle; }, kWait));
    }
    // A control's text in the other process: WM_GETTEXT, which Windows carries between
    // processes (a status bar answers with its first part).
    static std::wstring Text(HWND control)
    {
        wchar_t text[512] = {};
        SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWait, nullptr);
        return text;
    }
    std::wstring StatusText() { return Text(GetDlgItem(hwnd_, IDC_STATUS_BAR)); }
    std::string LogPath() const { return temp_.File("log\\Vorlin2_" VORLIN_PORT ".log"); }
    bool LogHas(const std::string& piece)
    {
        return WaitUntil([&] { return ReadWholeFile(LogPath()).find(piece) != std::string::npos; }, kWait);
    }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
    HWND hwnd_ = nullptr;
    bool unplugged_ = false;
};

} // namespace

TEST_F(Unplugged, TheWindowDisconnectsSaysWhyAndReopensWithTheSameSettingsWhenThePortIsBack)
{
    ASSERT_NO_FATAL_FAILURE(Connect("19200"));
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    ASSERT_TRUE(peer.Write("before"));
    ASSERT_TRUE(LogHas("62 65 66 6f 72 65\r\n"));

    ASSERT_TRUE(Plug("unplug"));
    const ULONGLONG unplugged = GetTickCount64();
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_).rfind(kLostTitle, 0) == 0; }, kWait));
    const ULONGLONG noticed = GetTickCount64() - unplugged;
    EXPECT_LT(noticed, 2000u);
    EXPECT_EQ(StatusText().rfind(L"ポート " VORLIN_PORT " が使えなくなったため切断しました(", 0), 0u) << StatusText();
    // Disconnected as the command does: the log file is closed, with what came before.
    EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(LogPath()); }, kWait));
    EXPECT_NE(ReadWholeFile(LogPath()).find("62 65 66 6f 72 65\r\n"), std::string::npos);
    // Unplugged for two seconds, the program idles: the time is the measurement, not a wait
    // for something to happen.
    const ULONGLONG cpuBefore = CpuMs(run_.Process(), false);
    const ULONGLONG idleStart = GetTickCount64();
    WaitUntil([] { return false; }, 2000);
    const ULONGLONG idle = GetTickCount64() - idleStart, cpu = CpuMs(run_.Process(), false) - cpuBefore;
    EXPECT_LT(cpu * 100, idle * 5) << cpu << " ms of processor time in " << idle << " ms";
    EXPECT_EQ(WindowTextW(hwnd_).rfind(kLostTitle, 0), 0u) << "the port is still away";

    ASSERT_TRUE(Plug("replug"));
    const ULONGLONG replugged = GetTickCount64();
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_) == kConnectedTitle; }, kWait));
    const ULONGLONG reopened = GetTickCount64() - replugged;
    EXPECT_LT(reopened, 3000u);
    // Said once the connection is made (the title comes with it).
    EXPECT_TRUE(WaitUntil([&] { return StatusText() == L"ポート " VORLIN_PORT " が戻ったので、同じ設定で開き直しました。"; },
                          kWait));
    printf("noticed after %llu ms, reopened after %llu ms, %llu ms of processor time in %llu ms unplugged\n", noticed,
           reopened, cpu, idle);
    // Data flows both ways again and is logged after what came before.
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    ASSERT_TRUE(peer.Write("after"));
    EXPECT_TRUE(LogHas("62 65 66 6f 72 65\r\n") && LogHas("61 66 74 65 72\r\n"));
    PostMessageA(hwnd_, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(6, kWait), "PING\r\n");
    // The same settings: the dialog for changing them shows the speed chosen at first.
    PostMessageA(hwnd_, WM_KEYDOWN, VK_F5, 0);
    HWND dialog = run_.WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(Text(GetDlgItem(dialog, IDC_CONNECT_BAUD)), L"19200");
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_CANCEL), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWait));

    // Gone again, the user closes the window while it waits: it ends without a question.
    peer.Close();
    ASSERT_TRUE(Plug("unplug"));
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_).rfind(kLostTitle, 0) == 0; }, kWait));
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    EXPECT_TRUE(run_.WaitForExit(20s, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}
