#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "shell/message_catalogue.h"
#include "shell/shell.h"
#include "tests/support/log_files.h"

namespace {

// Reports go to the status bar of the owner window; this one keeps them.
std::vector<std::string> g_reports;

LRESULT CALLBACK StatusProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SB_SETTEXTA && lParam) g_reports.emplace_back(reinterpret_cast<const char*>(lParam));
    if (message == SB_SETTEXTW && lParam) {
        char text[1024] = {};
        WideCharToMultiByte(932, 0, reinterpret_cast<const wchar_t*>(lParam), -1, text, sizeof text - 1, nullptr,
                            nullptr);
        g_reports.emplace_back(text);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class LogThreadTest : public testing::Test {
protected:
    void SetUp() override
    {
        GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
        WNDCLASSA wc{};
        wc.lpfnWndProc = StatusProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "LogTestStatus";
        RegisterClassA(&wc);
        owner_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        HWND status = CreateWindowExA(0, "LogTestStatus", "", WS_CHILD, 0, 0, 10, 10, owner_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)),
                                      GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(status, nullptr);
        g_reports.clear();
        ASSERT_TRUE(StartLogThread(owner_));
        ASSERT_NE(GetLogWindow(), nullptr);
        settings_ = Defaults();
        settings_.header = 0;  // the tests count bytes; the header's time varies
        ASSERT_TRUE(SetLogSettings(&settings_));
    }

    void TearDown() override
    {
        StopLogThread();
        SetLogWindowFailureForTest(false);
        DestroyWindow(owner_);
    }

    static LogSettings Defaults()
    {
        LogSettings s;
        LoadLogSettings(s);
        return s;
    }

    void Apply()
    {
        ASSERT_TRUE(SetLogSettings(&settings_));
    }

    // Posts a record of `data` (one hex line "xx xx ...\r\n\r\n" with the header off).
    static void Post(const std::string& data, uint32_t number = 1)
    {
        LogRecord* record = MakeLogRecord(LOGREC_RECEIVE, number, data.data(), static_cast<uint32_t>(data.size()));
        ASSERT_TRUE(PostMessageA(GetLogWindow(), WM_LOG_RECORD, 0, reinterpret_cast<LPARAM>(record)));
    }

    // The text the default layout without header gives for `count` bytes of 'A'.
    static std::string HexOfA(size_t count)
    {
        std::string text;
        for (size_t at = 0; at < count; at += 26) {
            size_t n = std::min<size_t>(26, count - at);
            for (size_t i = 0; i < n; ++i) text += i + 1 < n ? "41 " : "41\r\n";
        }
        return text + "\r\n";
    }

    static bool HasSize(const std::string& path, size_t size) { return ReadWholeFile(path).size() == size; }

    HWND owner_ = nullptr;
    LogSettings settings_{};
};

} // namespace

TEST(LogThreadAlone, StopWhileNotRunningDoesNothing)
{
    StopLogThread();
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE));
}

TEST(LogThreadAlone, ThreadWithoutItsWindowStillEnds)
{
    SetLogWindowFailureForTest(true);
    DWORD start = GetTickCount();
    EXPECT_TRUE(StartLogThread(nullptr));
    EXPECT_EQ(GetLogWindow(), nullptr);
    LogSettings s{};
    EXPECT_FALSE(GetLogSettings(&s));
    EXPECT_FALSE(OpenLogFile(nullptr, "C:\\never.log"));
    StopLogThread();
    EXPECT_LT(GetTickCount() - start, 2500u);  // neither the start nor the stop waited it out
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE));  // nothing posted to us
    SetLogWindowFailureForTest(false);
    // A later start in the same process works (the class is registered already).
    EXPECT_TRUE(StartLogThread(nullptr));
    EXPECT_NE(GetLogWindow(), nullptr);
    StopLogThread();
}

TEST_F(LogThreadTest, MessageOnlyWindowAndSettings)
{
    HWND window = GetLogWindow();
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "VORLIN2_LOG_WND_CLASS");
    EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, "VORLIN2_LOG_WND_CLASS", nullptr), window);

    LogSettings read{};
    ASSERT_TRUE(GetLogSettings(&read));
    EXPECT_EQ(memcmp(&read, &settings_, sizeof read), 0);
    settings_.separator = ',';
    settings_.maxFileSize = 123456;
    Apply();
    ASSERT_TRUE(GetLogSettings(&read));
    EXPECT_EQ(read.separator, ',');
    EXPECT_EQ(read.maxFileSize, 123456);
    EXPECT_EQ(SendMessageA(window, WM_LOG_GET_SETTINGS, 0, 0), 1);
    EXPECT_EQ(SendMessageA(window, WM_LOG_SET_SETTINGS, 0, 0), 1);
    // 0x8142 with -1 while no file is open only resets the size.
    EXPECT_EQ(SendMessageA(window, WM_LOG_SET_FILE, reinterpret_cast<WPARAM>(INVALID_HANDLE_VALUE), 0), 0);
    // Starting twice reports "already initialised" and keeps the running thread.
    StartLogThread(owner_);
    EXPECT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(GetLogWindow(), window);
}

TEST_F(LogThreadTest, RecordsAppendToTheOpenedFile)
{
    TempFolder dir;
    std::string path = dir.File("a.log");
    WriteWholeFile(path, "old\r\n");
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("AAA");
    Post("");  // no data lines, one empty line
    ASSERT_TRUE(WaitUntil([&] { return HasSize(path, 19); }));
    EXPECT_EQ(ReadWholeFile(path), "old\r\n41 41 41\r\n\r\n\r\n");
    // A record that arrives with no file open is dropped. (The stop waits
    // for everything posted before it; an open would overtake the posts.)
    CloseLogFile();
    Post("AAA");
    FlushLogFile();
    StopLogThread();
    EXPECT_EQ(ReadWholeFile(path).size(), 19u);
    ASSERT_TRUE(StartLogThread(owner_));
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("A");
    ASSERT_TRUE(WaitUntil([&] { return HasSize(path, 19 + 6); }));
    EXPECT_EQ(ReadWholeFile(path), "old\r\n41 41 41\r\n\r\n\r\n41\r\n\r\n");
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(LogThreadTest, OpenCreatesMissingFoldersReadingTheNameAsShiftJis)
{
    TempFolder dir;
    // ソ and 表 end in the byte 0x5C, which must not split the folder name.
    std::string path = dir.Path() + "\\ソ\\表\\x.log";
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(932, 0, (dir.Path() + "\\ソ\\表").c_str(), -1, wide, MAX_PATH);
    DWORD attributes = GetFileAttributesW(wide);
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // Nothing else was made (no folder cut at the trail byte).
    WIN32_FIND_DATAW found;
    std::wstring pattern(wide);
    pattern = pattern.substr(0, pattern.rfind(L'\\', pattern.rfind(L'\\') - 1)) + L"\\*";
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
        if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], L"\u30bd");
    Post("A");
    EXPECT_TRUE(WaitUntil([&] { return HasSize(path, 6); }));
    CloseLogFile();
    ASSERT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(path); }));
    // A path through an existing file cannot be made: 2026, nothing opened.
    std::string blocked = dir.File("plain");
    WriteWholeFile(blocked, "x");
    EXPECT_FALSE(OpenLogFile(owner_, (blocked + "\\sub\\y.log").c_str()));
    EXPECT_EQ(g_reports.size(), 1u);
}

TEST_F(LogThreadTest, HandleWithoutSizeLeavesTheOldFileInUse)
{
    TempFolder dir;
    std::string first = dir.File("first.log");
    ASSERT_TRUE(OpenLogFile(owner_, first.c_str()));
    // An event handle has no size: the thread answers the error and keeps
    // its file; the handle and the name stay the sender's.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char* name = _strdup("unused");
    LRESULT result = SendMessageA(GetLogWindow(), WM_LOG_SET_FILE, reinterpret_cast<WPARAM>(event),
                                  reinterpret_cast<LPARAM>(name));
    EXPECT_NE(result, 0);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(CloseHandle(event));
    free(name);
    Post("A");
    EXPECT_TRUE(WaitUntil([&] { return HasSize(first, 6); }));

    // Through OpenLogFile: a pipe opens but has no size, so 2026 is reported.
    std::string pipeName = "\\\\.\\pipe\\vorlin-logtest-" + std::to_string(GetCurrentProcessId());
    HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(OpenLogFile(owner_, pipeName.c_str()));
    ASSERT_EQ(g_reports.size(), 1u);
    char text[512];
    LookupMessage(2026, text, sizeof text);
    if (strstr(text, "%s")) {
        EXPECT_NE(g_reports[0].find(pipeName), std::string::npos) << g_reports[0];
    }
    CloseHandle(pipe);
    Post("AA");
    EXPECT_TRUE(WaitUntil([&] { return HasSize(first, 6 + 9); }));

    // A second file that answers: the first is closed only now.
    std::string second = dir.File("second.log");
    EXPECT_FALSE(FileIsClosedByOthers(first));
    ASSERT_TRUE(OpenLogFile(owner_, second.c_str()));
    EXPECT_TRUE(FileIsClosedByOthers(first));
    Post("A");
    EXPECT_TRUE(WaitUntil([&] { return HasSize(second, 6); }));
    EXPECT_EQ(ReadWholeFile(first).size(), 15u);
}

TEST_F(LogThreadTest, OpenAfterTheThreadEndedIsAFailure)
{
    TempFolder dir;
    std::string path = dir.File("late.log");
    StopLogThread();
    ASSERT_NE(GetLogWindow(), nullptr);  // the handle keeps its value, the window is gone
    EXPECT_FALSE(OpenLogFile(owner_, path.c_str()));
    EXPECT_EQ(g_reports.size(), 1u);
    EXPECT_TRUE(FileIsClosedByOthers(path));  // the handle was closed again
    LogSettings s{};
    EXPECT_FALSE(GetLogSettings(&s));
    EXPECT_FALSE(SetLogSettings(&s));
    PostLogRecord(LOGREC_SEND, 1, "x", 1);  // dropped and freed, no crash
}

TEST_F(LogThreadTest, ManyThreadsPostingLoseAndReorderNothing)
{
    TempFolder dir;
    std::string path = dir.File("many.log");
    settings_.header = 1;
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    constexpr int kThreads = 8;
    constexpr int kEach = 600;
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &ready] {
            ++ready;
            while (ready < kThreads) Sleep(0);
            for (int i = 0; i < kEach; ++i) {
                std::string data(1 + (i * 7 + t) % 60, static_cast<char>('a' + t));
                PostLogRecord(LOGREC_SEND, static_cast<uint32_t>(t * 10000 + i), data.data(),
                              static_cast<uint32_t>(data.size()));
            }
        });
    for (auto& th : threads) th.join();
    CloseLogFile();
    ASSERT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(path); }, 20000));
    std::string text = ReadWholeFile(path);
    int next[kThreads] = {};
    int records = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.size() > 6 && line[5] == ' ' && line.find("<送信>") == 6) {
            int number = atoi(line.c_str());
            int t = number / 10000, i = number % 10000;
            ASSERT_LT(t, kThreads);
            ASSERT_EQ(i, next[t]) << "thread " << t;
            ++next[t];
            ++records;
            size_t length = static_cast<size_t>(atoi(line.c_str() + line.rfind('=') + 1));
            EXPECT_EQ(length, 1 + (i * 7 + t) % 60u);
        }
    }
    EXPECT_EQ(records, kThreads * kEach);
}

TEST_F(LogThreadTest, AppendGrowsPastTheLimit)
{
    TempFolder dir;
    std::string path = dir.File("append.log");
    settings_.logType = LOGTYPE_APPEND;
    settings_.maxFileSize = 65536;
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    std::string block(4000, 'A');
    size_t each = HexOfA(4000).size();
    for (int i = 0; i < 20; ++i) Post(block);
    EXPECT_TRUE(WaitUntil([&] { return HasSize(path, 20 * each); }));
    EXPECT_GT(20 * each, 65536u);
}

TEST_F(LogThreadTest, CyclicRewindsAfterTheRecordThatCrossedTheLimit)
{
    TempFolder dir;
    std::string path = dir.File("cyclic.log");
    settings_.logType = LOGTYPE_CYCLIC;
    settings_.maxFileSize = 1000;  // acts as 65536
    Apply();
    // Already over the limit when opened: the next record lands at its end.
    WriteWholeFile(path, std::string(70000, '.'));
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("A");
    std::string one = HexOfA(1);
    ASSERT_TRUE(WaitUntil([&] { return HasSize(path, 70000 + one.size()); }));
    // The check after that record rewound the file: the next lands at the start.
    Post("AA");
    std::string two = HexOfA(2);
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).substr(0, two.size()) == two; }));
    std::string text = ReadWholeFile(path);
    EXPECT_EQ(text.size(), 70000 + one.size());  // not truncated
    EXPECT_EQ(text.substr(two.size(), 10), std::string(10, '.'));

    // Below the (effective) limit nothing rewinds; crossing it does.
    std::string block(4000, 'A');
    std::string blockText = HexOfA(4000);
    size_t written = two.size();
    int n = 0;
    while (written < 65536) {
        Post(block);
        written += blockText.size();
        ++n;
    }
    Post("A");  // lands at the start again, over the first bytes of "41 41\r\n\r\n"
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).compare(0, 9, one + "\n\r\n") == 0; }));
    EXPECT_GT(n, 1);
    EXPECT_EQ(ReadWholeFile(path).size(), std::max(70000 + one.size(), written));
}

TEST_F(LogThreadTest, SmallerLimitRotatesAtOnce)
{
    TempFolder dir;
    std::string path = dir.File("shrink.log");
    WriteWholeFile(path, std::string(100000, '.'));
    settings_.logType = LOGTYPE_CYCLIC;
    Apply();  // default limit 4 GB: no rewind yet
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("A");
    ASSERT_TRUE(WaitUntil([&] { return HasSize(path, 100000 + HexOfA(1).size()); }));
    settings_.maxFileSize = 65536;
    Apply();  // rewinds now, before any further record
    Post("AA");
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).compare(0, 12, "41 41\r\n\r\n...") == 0; }));
}

TEST_F(LogThreadTest, AutoOpensNumberedFilesSkippingThoseThatExist)
{
    TempFolder dir;
    CreateDirectoryA((dir.File("d.x")).c_str(), nullptr);
    std::string path = dir.File("d.x\\Vorlin2_COM1.log");
    std::string second = dir.File("d.x\\Vorlin2_COM1_2.log");
    std::string third = dir.File("d.x\\Vorlin2_COM1_3.log");
    std::string fourth = dir.File("d.x\\Vorlin2_COM1_4.log");
    WriteWholeFile(third, "keep");
    settings_.logType = LOGTYPE_AUTO;
    settings_.maxFileSize = 65536;
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    std::string block(5000, 'A');
    std::string blockText = HexOfA(5000);
    ASSERT_LT(4 * blockText.size(), 65536u);
    ASSERT_GE(5 * blockText.size(), 65536u);
    for (int i = 0; i < 5; ++i) Post(block);  // crosses 65536 with the fifth
    Post("A");
    ASSERT_TRUE(WaitUntil([&] { return HasSize(second, HexOfA(1).size()); }));
    EXPECT_EQ(ReadWholeFile(path).size(), 5 * blockText.size());
    for (int i = 0; i < 5; ++i) Post(block);
    Post("AA");
    ASSERT_TRUE(WaitUntil([&] { return HasSize(fourth, HexOfA(2).size()); }));
    EXPECT_EQ(ReadWholeFile(third), "keep");
    // The limit is the same after a reopen, and the counter goes on from 4.
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("A");
    ASSERT_TRUE(WaitUntil([&] { return FileExists(dir.File("d.x\\Vorlin2_COM1_5.log")); }));
}

TEST_F(LogThreadTest, AutoStopsSilentlyWhenNoFileCanBeMade)
{
    TempFolder dir;
    // A name so long that the rotated name does not fit in 260 bytes.
    std::string path = dir.Path() + "\\";
    path += std::string(254 - path.size(), 'n') + ".log";
    ASSERT_EQ(path.size(), 258u);
    settings_.logType = LOGTYPE_AUTO;
    settings_.maxFileSize = 65536;
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    std::string block(30000, 'A');
    for (int i = 0; i < 3; ++i) Post(block);
    size_t full = HexOfA(30000).size();  // the first record crosses the limit
    ASSERT_TRUE(WaitUntil([&] { return HasSize(path, full) && FileIsClosedByOthers(path); }));
    Post("A");  // nothing open: dropped
    LogSettings s{};
    EXPECT_TRUE(GetLogSettings(&s));  // round trip: the record above was handled
    Sleep(50);
    EXPECT_EQ(ReadWholeFile(path).size(), full);
    EXPECT_TRUE(g_reports.empty());
    // Opening a file again resumes logging.
    ASSERT_TRUE(OpenLogFile(owner_, (dir.File("again.log")).c_str()));
    Post("A");
    EXPECT_TRUE(WaitUntil([&] { return HasSize(dir.File("again.log"), HexOfA(1).size()); }));
}

TEST_F(LogThreadTest, RecordMessageWithoutRecordStillChecksRotation)
{
    TempFolder dir;
    std::string path = dir.File("zero.log");
    WriteWholeFile(path, std::string(70000, '.'));
    settings_.logType = LOGTYPE_CYCLIC;
    settings_.maxFileSize = 65536;
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));  // over the limit; opening checks nothing
    ASSERT_TRUE(PostMessageA(GetLogWindow(), WM_LOG_RECORD, 0, 0));
    Post("A");  // so it lands at the start
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).compare(0, 7, "41\r\n\r\n.") == 0; }));
    EXPECT_EQ(ReadWholeFile(path).size(), 70000u);
}

TEST_F(LogThreadTest, RecordsPostedBeforeStopAreWrittenAndTheFileClosed)
{
    TempFolder dir;
    std::string path = dir.File("stop.log");
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    for (int i = 0; i < 300; ++i) Post(std::string(100, 'A'));
    StopLogThread();
    EXPECT_TRUE(FileIsClosedByOthers(path));
    EXPECT_EQ(ReadWholeFile(path).size(), 300 * HexOfA(100).size());
}

TEST_F(LogThreadTest, QueuedCloseDoesNotCloseAFileOpenedAfterIt)
{
    TempFolder dir;
    std::string first = dir.File("first.log");
    std::string second = dir.File("second.log");
    settings_.ascii = 1;
    settings_.unicode = 1;  // slow lines keep the thread busy
    Apply();
    ASSERT_TRUE(OpenLogFile(owner_, first.c_str()));
    for (int i = 0; i < 200; ++i) Post(std::string(4096, 'A'));
    // Stop, then restart at once, while records are still queued: the open is
    // served before the queued close.
    CloseLogFile();
    ASSERT_TRUE(OpenLogFile(owner_, second.c_str()));
    Post("AB");
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(second).find("41 42\r\n") != std::string::npos; }, 20000));
    // Whatever of the backlog went where, the file opened last is still open.
    EXPECT_FALSE(FileIsClosedByOthers(second));
    Post("C");
    EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(second).find("43\r\n") != std::string::npos; }));
    // A close after it closes it.
    CloseLogFile();
    EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(second); }));
    // A failed open does not stop a later close from closing the file still open.
    ASSERT_TRUE(OpenLogFile(owner_, first.c_str()));
    EXPECT_FALSE(OpenLogFile(owner_, (dir.File("first.log") + "\\x\\y.log").c_str()));
    CloseLogFile();
    EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(first); }));
}
