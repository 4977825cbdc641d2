// A long busy line: the far end of a virtual cable streams pseudo-random bytes into the real
// program while its log rotates, first into a new file every 64 KB, then round one cyclic file.
// Every byte must reach the log once and in order, and the process must not grow.
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

class Soak : public testing::Test {
protected:
    // Streams `count` pseudo-random bytes into the program, whose log rotates at 64 KB by
    // `logType`, and closes it; they are left in sent_.
    void Run(const char* logType, size_t count)
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        const std::string ini = temp_.File("Vorlin2.ini");
        ASSERT_TRUE(WriteIniText(ini.c_str(), "LOG", "LOGTYPE", logType));
        ASSERT_TRUE(WriteIniText(ini.c_str(), "LOG", "MAXLOGFILESIZE", "65536"));
        // The view keeps its newest 100 records, so the first megabyte fills it: what the
        // process commits after that is growth.
        ASSERT_TRUE(WriteIniText(ini.c_str(), "PREVIEW", "MAXDATACOUNT", "100"));
        ASSERT_TRUE(run_.Start(temp_.Path())) << GetLastError();
        HWND hwnd = run_.WaitForMainWindow();
        ASSERT_TRUE(hwnd && run_.ConnectWithF5(hwnd, VORLIN_PORT));
        FarEnd peer;
        ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));
        std::mt19937 random(static_cast<unsigned>(count));
        sent_.assign(count, '\0');
        for (char& c : sent_) c = static_cast<char>(random());

        const size_t warm = 1u << 20;
        ASSERT_TRUE(peer.Write(sent_.substr(0, warm)));
        ASSERT_TRUE(WaitLogged(hwnd, warm));
        const ProcessUsage before = UsageOf(run_.Process(), GetProcessId(run_.Process()));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(peer.Write(sent_.substr(warm)));
        ASSERT_TRUE(WaitLogged(hwnd, count));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const ProcessUsage after = UsageOf(run_.Process(), GetProcessId(run_.Process()));
        printf("soak %s: %.1f MB in %.1f s (%.2f MB/s); committed %zu KB -> %zu KB, handles %zu -> %zu\n",
               logType, count / 1048576.0, seconds, (count - warm) / 1048576.0 / seconds, before.committedBytes / 1024,
               after.committedBytes / 1024, before.handles, after.handles);
        EXPECT_GT(before.handles, 0u);
        EXPECT_LE(after.committedBytes, before.committedBytes + (4u << 20)) << "the process grew";
        EXPECT_LE(after.handles, before.handles + 4) << "handles were left open";
        PostMessageA(hwnd, WM_COMMAND, IDM_DISCONNECT, 0);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(run_.WaitForExit(20s));
    }
    // True once the newest log file that holds records ends with byte `end` of sent_.
    bool WaitLogged(HWND hwnd, size_t end)
    {
        return WaitUntil([&] {
            Sleep(250);
            SendMessageTimeoutA(hwnd, WM_COMMAND, IDM_LOG_FLUSH, 0, SMTO_NORMAL, 5000, nullptr);
            std::string logged;
            for (size_t n = LogFiles().size(); logged.empty() && n > 0; --n) logged = ReceivedBytes(ReadWholeFile(LogFiles()[n - 1]));
            const size_t tail = std::min<size_t>(logged.size(), 256);
            return tail && sent_.compare(end - tail, tail, logged, logged.size() - tail, tail) == 0;
        }, 100000);
    }
    // The log files in the order they were written: the first, then _2, _3, ... (the counter starts at 1).
    std::vector<std::string> LogFiles() const
    {
        std::vector<std::string> files{temp_.File("log\\Vorlin2_" VORLIN_PORT ".log")};
        for (int n = 2; FileExists(temp_.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log")); ++n)
            files.push_back(temp_.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log"));
        return files;
    }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
    std::string sent_;
};

} // namespace

TEST_F(Soak, EveryByteOnceAndInOrderAcrossRotatedFiles)
{
    ASSERT_NO_FATAL_FAILURE(Run("AUTO", 12u << 20));
    std::string logged;
    for (const std::string& file : LogFiles()) {
        size_t lastStart = 0;
        logged += ReceivedBytes(ReadWholeFile(file), &lastStart);
        EXPECT_LT(lastStart, 65536u) << file << " was not rotated at 64 KB";
    }
    const size_t same = std::mismatch(logged.begin(), logged.end(), sent_.begin(), sent_.end()).first - logged.begin();
    printf("soak AUTO: %zu files; %zu of %zu bytes logged in order, %zu lost\n", LogFiles().size(), same, sent_.size(),
           sent_.size() - same);
    EXPECT_GT(LogFiles().size(), sent_.size() / 65536);
    EXPECT_TRUE(logged == sent_) << "bytes lost, changed or out of order";
}

TEST_F(Soak, CyclicFileHoldsTheLastBytesInOrder)
{
    ASSERT_NO_FATAL_FAILURE(Run("CYCLIC", 8u << 20));
    ASSERT_EQ(LogFiles().size(), 1u);
    // From the file's start: the records written since the last rewind, ending with the last byte sent.
    size_t lastStart = 0;
    const std::string logged = ReceivedBytes(ReadWholeFile(LogFiles()[0]), &lastStart);
    EXPECT_LT(lastStart, 65536u) << "the cyclic file was not rewound at 64 KB";
    ASSERT_GT(logged.size(), 4096u);
    const bool tail = sent_.compare(sent_.size() - logged.size(), logged.size(), logged) == 0;
    printf("soak CYCLIC: the last %zu bytes %s\n", logged.size(), tail ? "logged in order" : "differ");
    EXPECT_TRUE(tail) << "the newest records are not the stream's end";
}
