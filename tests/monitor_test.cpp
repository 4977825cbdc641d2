// The first complete monitor, end to end: the real program under Wine on a
// virtual null-modem cable (COM11 here, its far end COM12 driven by this test).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/log_files.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"
#include "tests/support/serial_bench.h"

using namespace std::chrono_literals;
using testing_support::FindProcessWindow;
using testing_support::ProgramRun;

namespace {

constexpr char kPort[] = "COM11";
constexpr char kFarPort[] = "COM12";
const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

std::string Sjis(const wchar_t* text)
{
    char buf[512] = {};
    WideCharToMultiByte(932, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

class Monitor : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(folder_));
        CreateDirectoryA((folder_ + "\\data").c_str(), nullptr);
        // A button file with two entries for the quick-send buttons.
        WriteTextFile(folder_ + "\\data\\test.txt", "PING,50494E470D0A\r\nTWO,414243\r\n");
        ASSERT_TRUE(run_.Start(folder_));
        hwnd_ = run_.WaitForMainWindow();
        ASSERT_TRUE(hwnd_);
    }

    HWND WaitForDialog(const wchar_t* title = nullptr)
    {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                // Visible: the dialog has finished its set-up.
                found = FindProcessWindow(run_.ProcessId(), "#32770");
                return found && IsWindowVisible(found) && (!title || WindowTextW(found) == title);
            },
            15000);
        return found;
    }

    // Opens the connect dialog with F5, picks the port and confirms.
    void ConnectWithF5(const char* port)
    {
        PostMessageA(hwnd_, WM_KEYDOWN, VK_F5, 0);
        HWND dialog = WaitForDialog();
        ASSERT_TRUE(dialog) << "F5 should open the connect dialog";
        HWND list = GetDlgItem(dialog, 1000);
        ASSERT_TRUE(list);
        ASSERT_NE(SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port)), CB_ERR);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1000, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        SendMessageA(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 15000));
    }

    std::string LogPath() const { return folder_ + "\\log\\Vorlin2_COM11.log"; }

    bool LogContains(const std::string& piece, DWORD timeout = 15000)
    {
        return WaitUntil([&] { return ReadWholeFile(LogPath()).find(piece) != std::string::npos; },
                         timeout);
    }

    TempFolder temp_;
    std::string folder_ = temp_.Path();
    ProgramRun run_;  // after the folder: the program ends before its folder goes
    HWND hwnd_ = nullptr;
};

} // namespace

TEST_F(Monitor, ConnectWatchSendReconfigureAndDisconnect)
{
    ASSERT_NO_FATAL_FAILURE(ConnectWithF5(kPort));
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_) == L"COM11 - " + kTitle; }, 15000))
        << "title after connecting";

    FarEnd peer;
    ASSERT_TRUE(peer.Open(kFarPort));
    ASSERT_TRUE(peer.Write("hello\r\n"));
    // The receive record in the log file: header, hex line, empty line.
    EXPECT_TRUE(LogContains("00001 " + Sjis(L"<受信>") + "      "));
    EXPECT_TRUE(LogContains(Sjis(L"データサイズ = 7") + "\r\n68 65 6c 6c 6f 0d 0a\r\n\r\n"));

    // Quick send of the first entry of the button file reaches the far end
    // and is logged as a send record.
    PostMessageA(hwnd_, WM_COMMAND, 42024, 0);
    EXPECT_EQ(peer.Read(6, 10000), "PING\r\n");
    EXPECT_TRUE(LogContains(Sjis(L"<送信>")));
    EXPECT_TRUE(LogContains("50 49 4e 47 0d 0a\r\n"));

    // Logging stopped: what arrives now is not logged; restarted: it is.
    PostMessageA(hwnd_, WM_COMMAND, 40420, 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(peer.Write("QQQQ"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(ReadWholeFile(LogPath()).find("51 51 51 51"), std::string::npos);
    PostMessageA(hwnd_, WM_COMMAND, 40420, 0);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(peer.Write("RRRR"));
    EXPECT_TRUE(LogContains("52 52 52 52\r\n"));

    // F5 while connected changes the settings without closing the port;
    // the engine's numbers start at 1 again.
    PostMessageA(hwnd_, WM_KEYDOWN, VK_F5, 0);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1000)))
        << "the open port cannot be changed; dialog: " << testing_support::WideToUtf8(WindowTextW(dialog));
    SendMessageA(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 15000));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(peer.Write("SS"));
    EXPECT_TRUE(LogContains("00001 " + Sjis(L"<受信>") + "      ", 0) &&
                LogContains(Sjis(L"データサイズ = 2") + "\r\n53 53\r\n"));
    std::string log = ReadWholeFile(LogPath());
    size_t last = log.rfind(Sjis(L"<受信>"));
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(log.substr(last - 6, 6), "00001 ") << "numbers restart after a reconfiguration";

    // The disconnect command (Shift+F5; a posted key cannot carry the shift state).
    PostMessageA(hwnd_, WM_COMMAND, 40120, 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_) == L"未接続 - " + kTitle; }, 15000));

    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(run_.WaitForExit(20s));
}

TEST_F(Monitor, ClosingWhileConnectedAsksFirst)
{
    ASSERT_NO_FATAL_FAILURE(ConnectWithF5(kPort));
    ASSERT_TRUE(WaitUntil([&] { return WindowTextW(hwnd_) == L"COM11 - " + kTitle; }, 15000));

    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    HWND box = WaitForDialog();
    ASSERT_TRUE(box) << "closing with an open port asks first";
    SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10000));
    EXPECT_TRUE(run_.Running());
    EXPECT_TRUE(IsWindow(hwnd_));

    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    box = WaitForDialog();
    ASSERT_TRUE(box);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(run_.WaitForExit(20s));
}

TEST_F(Monitor, APortHeldByAnotherProgramIsReportedAndStaysClosed)
{
    PostMessageA(hwnd_, WM_COMMAND, 40110, 0);
    HWND dialog = WaitForDialog();
    ASSERT_TRUE(dialog);
    HWND list = GetDlgItem(dialog, 1000);
    ASSERT_NE(SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(kPort)), CB_ERR);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1000, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    // Another program takes the port between the choice and the confirmation.
    HANDLE held = CreateFileA("\\\\.\\COM11", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    PostMessageA(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);

    // The system's error text in a box; the window stays unconnected.
    HWND box = nullptr;
    WaitUntil([&] { box = FindProcessWindow(run_.ProcessId(), "#32770"); return box && box != dialog; }, 15000);
    ASSERT_TRUE(box && box != dialog);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    CloseHandle(held);
    EXPECT_EQ(WindowTextW(hwnd_), kTitle);
    EXPECT_EQ(SendMessageA(hwnd_, 0x7442, 0, 0), 0);
}
