// A long busy line: the far end of a virtual cable streams pseudo-random bytes into the real
// program while its log rotates, first into a new file every 64 KB, then round one cyclic file.
// Every byte must reach the log once and in order, and the process must not grow.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
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

constexpr size_t kAutoBytes = 12u << 20, kCyclicBytes = 8u << 20;

// The received bytes of the log records in `text`, from its start while the records follow
// each other by number: a cyclic file's tail of older records, or a record still being
// written, ends the list.
std::string ReceivedBytes(const std::string& text, size_t* lastRecordStart = nullptr)
{
    std::string bytes, pending;
    size_t recordStart = 0;
    size_t at = 0;
    long previous = -1;
    bool inRecord = false;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (!inRecord) {
            // "00001 <受信> 2026/12/06 12:00:00.000 データサイズ = 26"
            long number = -1;
            if (line.find("<受信>") == std::string::npos || line.find("データサイズ = ") == std::string::npos ||
                sscanf(line.c_str(), "%ld", &number) != 1 || (previous >= 0 && number != previous + 1 && number > 1))
                break;
            previous = number;
            recordStart = at - line.size() - 2;
            inRecord = true;
        } else if (line.empty()) {
            bytes += pending;  // only whole records count
            pending.clear();
            if (lastRecordStart) *lastRecordStart = recordStart;
            inRecord = false;
        } else {
            for (size_t i = 0; i + 1 < line.size(); i += 3) {
                unsigned value;
                if (sscanf(line.c_str() + i, "%2x", &value) != 1) return bytes;
                pending.push_back(static_cast<char>(value));
            }
        }
    }
    return bytes;
}

class Soak : public testing::Test {
protected:
    void Run(const char* logType, size_t count, const std::function<void(const std::string& sent)>& check)
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
        ASSERT_TRUE(hwnd);
        ASSERT_TRUE(run_.ConnectWithF5(hwnd, VORLIN_PORT));
        FarEnd peer;
        ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT));

        std::mt19937 random(count);
        std::string sent(count, '\0');
        for (char& c : sent) c = static_cast<char>(random());
        // A first megabyte brings the view to its record limit and the threads to their
        // working size: the process is measured after it and again at the end.
        const size_t warm = 1u << 20;
        ASSERT_TRUE(peer.Write(sent.substr(0, warm)));
        ASSERT_TRUE(WaitLogged(hwnd, sent.substr(0, warm))) << Describe();
        const ProcessUsage before = UsageOf(run_.Process(), GetProcessId(run_.Process()));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(peer.Write(sent.substr(warm)));
        ASSERT_TRUE(WaitLogged(hwnd, sent)) << Describe();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const ProcessUsage after = UsageOf(run_.Process(), GetProcessId(run_.Process()));
        printf("soak %s: %.1f MB in %.1f s (%.2f MB/s); committed %zu KB -> %zu KB, handles %zu -> %zu\n",
               logType, count / 1048576.0, seconds, (count - warm) / 1048576.0 / seconds, before.committedBytes / 1024,
               after.committedBytes / 1024, before.handles, after.handles);
        EXPECT_GT(before.handles, 0u);
        EXPECT_LE(after.committedBytes, before.committedBytes + (4u << 20)) << "the process grew";
        EXPECT_LE(after.handles, before.handles + 4) << "handles were left open";
        check(sent);
        PostMessageA(hwnd, WM_COMMAND, IDM_DISCONNECT, 0);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(run_.WaitForExit(20s));
    }
    // True once the newest log file ends with the last bytes of `sent` (flushed at each look).
    bool WaitLogged(HWND hwnd, const std::string& sent)
    {
        ULONGLONG next = 0;
        return WaitUntil(
            [&] {
                if (GetTickCount64() < next) return false;
                next = GetTickCount64() + 250;
                SendMessageTimeoutA(hwnd, WM_COMMAND, IDM_LOG_FLUSH, 0, SMTO_NORMAL, 5000, nullptr);
                const std::vector<std::string> files = LogFiles();
                for (auto file = files.rbegin(); file != files.rend(); ++file) {
                    const std::string logged = ReceivedBytes(ReadWholeFile(*file));
                    if (logged.empty()) continue;
                    const size_t tail = std::min<size_t>(logged.size(), 256);
                    return sent.compare(sent.size() - tail, tail, logged, logged.size() - tail, tail) == 0;
                }
                return false;
            },
            100000);
    }
    // What the log folder holds, for a failure's message.
    std::string Describe() const
    {
        std::string text = "log files:";
        for (const std::string& file : LogFiles()) text += " " + file + " (" + std::to_string(ReadWholeFile(file).size()) + ")";
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(temp_.File("log\\*").c_str(), &found);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) text += std::string(" [") + found.cFileName + "]";
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        return text + "\nfirst lines: " + ReadWholeFile(LogFiles()[0]).substr(0, 400);
    }
    // The log files in the order they were written: the first, then _1, _2, ...
    std::vector<std::string> LogFiles() const
    {
        std::vector<std::string> files{temp_.File("log\\Vorlin2_" VORLIN_PORT ".log")};
        // The first rotated file is _2: the counter starts at 1.
        for (int n = 2; GetFileAttributesA(temp_.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log").c_str())
                        != INVALID_FILE_ATTRIBUTES;
             ++n)
            files.push_back(temp_.File("log\\Vorlin2_" VORLIN_PORT "_" + std::to_string(n) + ".log"));
        return files;
    }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
};

} // namespace

TEST_F(Soak, EveryByteOnceAndInOrderAcrossRotatedFiles)
{
    Run("AUTO", kAutoBytes, [&](const std::string& sent) {
        std::string logged;
        const std::vector<std::string> files = LogFiles();
        for (const std::string& file : files) {
            size_t lastRecord = 0;
            logged += ReceivedBytes(ReadWholeFile(file), &lastRecord);
            EXPECT_LT(lastRecord, 65536u) << file << " was not rotated at 64 KB";
        }
        EXPECT_GT(files.size(), kAutoBytes / 65536);
        ASSERT_EQ(logged.size(), sent.size());
        EXPECT_TRUE(logged == sent) << "bytes changed or out of order";
    });
}

TEST_F(Soak, CyclicFileHoldsTheLastBytesInOrder)
{
    Run("CYCLIC", kCyclicBytes, [&](const std::string& sent) {
        ASSERT_EQ(LogFiles().size(), 1u);
        // From the file's start: the records written since the last rewind, ending with the
        // last byte sent.
        size_t lastRecord = 0;
        const std::string logged = ReceivedBytes(ReadWholeFile(LogFiles()[0]), &lastRecord);
        EXPECT_LT(lastRecord, 65536u) << "the cyclic file was not rewound at 64 KB";
        ASSERT_GT(logged.size(), 4096u);
        EXPECT_TRUE(sent.compare(sent.size() - logged.size(), logged.size(), logged) == 0)
            << "the newest records are not the stream's end";
    });
}
