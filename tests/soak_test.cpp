// The real program on a virtual null-modem cable whose far end this test drives: watching,
// sending, stopping the log, reconfiguring, closing; and a long busy line while the log rotates.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "settings/ini_file.h"
#include "tests/support/process_usage.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

namespace {

int Nibble(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// The received bytes of the whole records from the start of a log text while their numbers
// follow each other: a cyclic file's tail of older records, or a record still being written,
// ends the list. `lastStart` tells where the last whole record began.
std::string ReceivedBytes(const std::string& text, size_t* lastStart = nullptr)
{
    static const std::string kWord = " <受信> ", kSize = "データサイズ = ";
    std::string bytes;
    long previous = 0;
    for (size_t at = 0;;) {
        const size_t eol = text.find("\r\n", at), size = text.find(kSize, at);
        if (eol == std::string::npos || text.find(kWord, at) > size || size > eol) return bytes;
        const long number = strtol(text.c_str() + at, nullptr, 10);
        const size_t length = strtoul(text.c_str() + size + kSize.size(), nullptr, 10);
        if (previous && number != previous + 1 && number != 1) return bytes;
        std::string data;
        size_t p = eol + 2;
        for (; data.size() < length && p + 2 < text.size(); p += text[p + 2] == ' ' ? 3 : 4)
            data += static_cast<char>(Nibble(text[p]) << 4 | Nibble(text[p + 1]));
        if (data.size() < length || text.compare(p, 2, "\r\n") != 0) return bytes;
        if (lastStart) *lastStart = at;
        bytes += data, previous = number, at = p + 2;
    }
}

// The log files in the order they were written: the first, then _2, _3, ... (the counter starts at 1).
std::vector<std::string> LogFiles(const TempFolder& temp)
{
    std::vector<std::string> files{temp.File("log\\Vorlin2_" VORLIN_PORT ".log")};
    for (int n = 2; FileExists(temp.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log")); ++n)
        files.push_back(temp.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log"));
    return files;
}

// The scenario of a user session runs before the stream of the cyclic run, whose file it leaves behind.
void WatchSendStopTheLogAndReconfigure(testing_support::ProgramRun& run, HWND hwnd, FarEnd& peer, const std::string& logFile)
{
    constexpr DWORD kWait = 15000;
    auto command = [&](WPARAM id) { SendMessageTimeoutA(hwnd, WM_COMMAND, id, 0, SMTO_NORMAL, kWait, nullptr); };
    auto log = [&] { return ReadWholeFile(logFile); };
    auto logHas = [&](const std::string& piece) {
        return WaitUntil([&] { return log().find(piece) != std::string::npos; }, kWait);
    };
    ASSERT_TRUE(peer.Write("hello\r\n"));
    EXPECT_TRUE(logHas("00001 <受信>      "));
    EXPECT_TRUE(logHas("データサイズ = 7\r\n68 65 6c 6c 6f 0d 0a\r\n\r\n"));
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(6, kWait), "PING\r\n");
    EXPECT_TRUE(logHas("00001 <送信>") && logHas("50 49 4e 47 0d 0a\r\n"));
    // Sends go out in order: once PING has come, ABC was handed to the stopped log before it.
    command(IDM_LOG_STOP);
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST + 1, 0);
    PostMessageA(hwnd, WM_COMMAND, IDM_QUICK_SEND_FIRST, 0);
    EXPECT_EQ(peer.Read(9, kWait), "ABCPING\r\n");
    command(IDM_LOG_STOP);
    ASSERT_TRUE(peer.Write("RRRR"));
    EXPECT_TRUE(logHas("52 52 52 52\r\n"));
    EXPECT_EQ(log().find("41 42 43\r\n"), std::string::npos) << "sent while logging was stopped";
    // F5 while connected changes the settings without closing the port; numbers start at 1 again.
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
    const size_t last = text.rfind("<受信>");
    ASSERT_TRUE(last != std::string::npos && last >= 6);
    EXPECT_EQ(text.substr(last - 6, 6), "00001 ") << "numbers restart after a reconfiguration";
}

} // namespace

TEST(Monitor, SessionThenEveryByteOnceAndInOrderAcrossRotatedFilesThenRoundACyclicFile)
{
    const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";
    const struct { const char* logType; size_t count; } runs[] = {{"AUTO", 12u << 20}, {"CYCLIC", 8u << 20}};
    for (const auto& r : runs) {
        const bool cyclic = r.logType == std::string("CYCLIC");
        TempFolder temp;
        testing_support::ProgramRun run;  // after the folder: the program ends before its folder goes
        ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
        const std::string ini = temp.File("Vorlin2.ini");
        ASSERT_TRUE(WriteIniText(ini.c_str(), "LOG", "LOGTYPE", r.logType));
        ASSERT_TRUE(WriteIniText(ini.c_str(), "LOG", "MAXLOGFILESIZE", "65536"));
        // The view keeps its newest 100 records, so the first megabyte fills it: later commits are growth.
        ASSERT_TRUE(WriteIniText(ini.c_str(), "PREVIEW", "MAXDATACOUNT", "100"));
        CreateDirectoryA(temp.File("data").c_str(), nullptr);
        temp.Write("data\\test.txt", "PING,50494E470D0A\r\nTWO,414243\r\n");  // for the quick-send buttons
        ASSERT_TRUE(run.Start(temp.Path())) << GetLastError();
        HWND hwnd = run.WaitForMainWindow();
        ASSERT_TRUE(hwnd && run.ConnectWithF5(hwnd, VORLIN_PORT)) << "F5 opens the connect dialog, which offers our port";
        ASSERT_EQ(WindowTextW(hwnd), L"" VORLIN_PORT " - " + kTitle);
        FarEnd peer;
        ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
        if (cyclic) {
            ASSERT_NO_FATAL_FAILURE(WatchSendStopTheLogAndReconfigure(run, hwnd, peer, LogFiles(temp)[0]));
        }
        std::mt19937 random(static_cast<unsigned>(r.count));
        std::string sent(r.count, '\0');
        for (char& c : sent) c = static_cast<char>(random());
        // True once the newest log file that holds records ends with byte `end` of what was sent.
        auto logged = [&](size_t end) {
            return WaitUntil([&] {
                Sleep(250);
                SendMessageTimeoutA(hwnd, WM_COMMAND, IDM_LOG_FLUSH, 0, SMTO_NORMAL, 5000, nullptr);
                const std::vector<std::string> files = LogFiles(temp);
                std::string newest;
                for (size_t n = files.size(); newest.empty() && n > 0; --n) newest = ReceivedBytes(ReadWholeFile(files[n - 1]));
                const size_t tail = std::min<size_t>(newest.size(), 256);
                return tail && sent.compare(end - tail, tail, newest, newest.size() - tail, tail) == 0;
            }, 100000);
        };

        const size_t warm = 1u << 20;
        ASSERT_TRUE(peer.Write(sent.substr(0, warm)));
        ASSERT_TRUE(logged(warm));
        const ProcessUsage before = UsageOf(run.Process(), GetProcessId(run.Process()));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(peer.Write(sent.substr(warm)));
        ASSERT_TRUE(logged(r.count));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const ProcessUsage after = UsageOf(run.Process(), GetProcessId(run.Process()));
        EXPECT_GT(before.handles, 0u);
        EXPECT_LE(after.committedBytes, before.committedBytes + (4u << 20)) << "the process grew";
        EXPECT_LE(after.handles, before.handles + 4) << "handles were left open";
        // Closing while connected asks first (Cancel keeps the program); disconnected, it asks nothing.
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        HWND box = run.WaitForDialog();
        ASSERT_TRUE(box) << "closing with an open port asks first";
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 15000));
        PostMessageA(hwnd, WM_COMMAND, IDM_DISCONNECT, 0);  // Shift+F5: a posted key cannot carry the shift state
        EXPECT_TRUE(WaitUntil([&] { return WindowTextW(hwnd) == L"未接続 - " + kTitle; }, 15000));
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(run.WaitForExit(20s));

        std::string all;
        for (const std::string& file : LogFiles(temp)) {
            size_t lastStart = 0;
            all += ReceivedBytes(ReadWholeFile(file), &lastStart);
            EXPECT_LT(lastStart, 65536u) << file << " was not rotated at 64 KB";
        }
        ASSERT_LE(all.size(), sent.size());
        // AUTO keeps every byte; the cyclic file, from its start, the records since its last rewind.
        const std::string expected = cyclic ? sent.substr(sent.size() - all.size()) : sent;
        const size_t same = std::mismatch(all.begin(), all.end(), expected.begin(), expected.end()).first - all.begin();
        printf("soak %s: %.1f MB, the last %.1f MB in %.1f s (%.2f MB/s); %zu files, %zu bytes checked, %zu lost; "
               "committed %zu KB -> %zu KB, handles %zu -> %zu\n",
               r.logType, r.count / 1048576.0, (r.count - warm) / 1048576.0, seconds,
               (r.count - warm) / 1048576.0 / seconds, LogFiles(temp).size(),
               expected.size(), expected.size() - same, before.committedBytes / 1024, after.committedBytes / 1024,
               before.handles, after.handles);
        EXPECT_EQ(same, expected.size()) << "bytes lost, changed or out of order";
        EXPECT_TRUE(cyclic ? LogFiles(temp).size() == 1 && all.size() > 4096 : LogFiles(temp).size() > r.count / 65536)
            << LogFiles(temp).size() << " files, " << all.size() << " bytes in them";
    }
}
