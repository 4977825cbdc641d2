// The first complete monitor, end to end: the real program under Wine on a
// virtual null-modem cable whose far end this test drives.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

using namespace std::chrono_literals;

TEST(Monitor, ConnectWatchSendReconfigureCloseDisconnectAndFindThePortTaken)
{
    const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";
    constexpr DWORD kWait = 15000;
    TempFolder temp;
    testing_support::ProgramRun run;  // after the folder: the program ends before its folder goes
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    CreateDirectoryA(temp.File("data").c_str(), nullptr);
    temp.Write("data\\test.txt", "PING,50494E470D0A\r\nTWO,414243\r\n");  // for the quick-send buttons
    ASSERT_TRUE(run.Start(temp.Path())) << GetLastError();
    const HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd && run.ConnectWithF5(hwnd, VORLIN_PORT)) << "F5 opens the connect dialog, which offers our port";
    ASSERT_EQ(WindowTextW(hwnd), L"" VORLIN_PORT " - " + kTitle);
    // A command, handled by the time this returns.
    auto command = [&](WPARAM id) { SendMessageTimeoutA(hwnd, WM_COMMAND, id, 0, SMTO_NORMAL, kWait, nullptr); };
    auto log = [&] { return ReadWholeFile(temp.File("log\\Vorlin2_" VORLIN_PORT ".log")); };
    auto logHas = [&](const std::string& piece) {
        return WaitUntil([&] { return log().find(piece) != std::string::npos; }, kWait);
    };
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
    ASSERT_TRUE(peer.Write("hello\r\n"));
    // The receive record in the log file: header, hex line, empty line.
    EXPECT_TRUE(logHas("00001 <受信>      "));
    EXPECT_TRUE(logHas("データサイズ = 7\r\n68 65 6c 6c 6f 0d 0a\r\n\r\n"));
    // Quick send of the first entry of the button file reaches the far end and is logged.
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(6, kWait), "PING\r\n");
    EXPECT_TRUE(logHas("00001 <送信>") && logHas("50 49 4e 47 0d 0a\r\n"));
    // Logging stopped: what is sent now is not logged. The writer takes sends in order, so once
    // PING has come, the record of ABC was handed to the log before; restarted, it logs again.
    command(IDM_LOG_STOP);
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST + 1, 0);
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(9, kWait), "ABCPING\r\n");
    command(IDM_LOG_STOP);
    ASSERT_TRUE(peer.Write("RRRR"));
    EXPECT_TRUE(logHas("52 52 52 52\r\n"));
    EXPECT_EQ(log().find("41 42 43\r\n"), std::string::npos) << "sent while logging was stopped";
    // F5 while connected changes the settings without closing the port; the engine's numbers
    // start at 1 again. A send posted once the dialog has gone runs after the change.
    PostMessageA(hwnd, WM_KEYDOWN, VK_F5, 0);
    HWND dialog = run.WaitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CONNECT_PORT))) << "the open port cannot be changed";
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWait));
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(6, kWait), "PING\r\n");
    ASSERT_TRUE(peer.Write("SS"));
    EXPECT_TRUE(logHas("データサイズ = 2\r\n53 53\r\n"));
    const std::string text = log();
    size_t last = text.rfind("<受信>");
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(text.substr(last - 6, 6), "00001 ") << "numbers restart after a reconfiguration";
    // Closing while connected asks first: Cancel keeps the program.
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    HWND box = run.WaitForDialog();
    ASSERT_TRUE(box) << "closing with an open port asks first";
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWait));
    // The disconnect command (Shift+F5; a posted key cannot carry the shift state).
    PostMessageA(hwnd, WM_COMMAND, IDM_DISCONNECT, 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowTextW(hwnd) == L"未接続 - " + kTitle; }, kWait));
    // Another program takes the port between the choice and the confirmation: the system's
    // error text in a box, and the window stays unconnected.
    dialog = run.OpenConnectDialog(hwnd, WM_COMMAND, IDM_CONNECT, VORLIN_PORT);
    ASSERT_TRUE(dialog);
    HANDLE held = CreateFileA("\\\\.\\" VORLIN_PORT, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    PostMessageA(GetDlgItem(dialog, IDC_CONNECT_OK), BM_CLICK, 0, 0);
    box = run.WaitForDialog(dialog);
    ASSERT_TRUE(box);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    CloseHandle(held);
    EXPECT_EQ(SendMessageA(hwnd, 0x7442, 0, 0), 0);  // not connected
    PostMessageA(hwnd, WM_CLOSE, 0, 0);  // and so closing asks nothing
    EXPECT_TRUE(run.WaitForExit(20s));
}
