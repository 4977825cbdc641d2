// The log thread: its window, the order of what is posted, rotation, and files that fail or close late.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "base/catalogue.h"
#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"
#include "tests/support/wait.h"

namespace {

std::string HexOfA(size_t count)  // the default layout without header, for `count` bytes of 'A'
{
    std::string text;
    for (size_t i = 1; i <= count; ++i) text += i % 26 && i < count ? "41 " : "41\r\n";
    return text + "\r\n";
}

void Post(const std::string& data) { PostLogRecord(LOGREC_RECEIVE, 1, data.data(), static_cast<uint32_t>(data.size())); }
// Posts `data` and waits until the file holds `size` bytes.
bool PostAndAwait(const std::string& data, const std::string& path, size_t size)
{
    Post(data);
    return WaitUntil([&] { return ReadWholeFile(path).size() == size; });
}

class LogThreadTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
        ASSERT_TRUE(StartLogThread(owner_));
        LoadLogSettings(settings_);
        settings_.header = 0;  // the tests count bytes; the header's time varies
        Apply();
    }
    void TearDown() override { StopLogThread(); }

    void Apply() { ASSERT_TRUE(SetLogSettings(&settings_)); }
    // Sets the rotation, fills the file with `existing` dots first, opens it.
    std::string Open(const std::string& name, uint32_t type = LOGTYPE_APPEND, int64_t limit = 0xFFFFFFFFLL,
                     size_t existing = 0)
    {
        settings_.logType = type, settings_.maxFileSize = limit;
        Apply();
        std::string path = existing ? dir_.Write(name, std::string(existing, '.')) : dir_.File(name);
        EXPECT_TRUE(OpenLogFile(owner_, path.c_str())) << path;
        return path;
    }
    // What the log reported to its owner, the main window.
    std::wstring Status()
    {
        wchar_t text[512] = {};
        SendMessageW(GetDlgItem(owner_, IDC_STATUS_BAR), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }

    TempFolder dir_;
    testing_support::MainWindowHost host_;  // reports in its status bar
    HWND owner_ = host_.Window();
    LogSettings settings_{};
};

} // namespace

TEST(LogThreadAlone, StopWhileNotRunningAndThreadWithoutWindowBothEnd)
{
    StopLogThread();
    SetLogWindowFailureForTest(true);
    DWORD start = GetTickCount();
    EXPECT_TRUE(StartLogThread(nullptr));
    LogSettings s{};
    EXPECT_TRUE(!GetLogWindow() && !GetLogSettings(&s) && !OpenLogFile(nullptr, "C:\\never.log"));
    StopLogThread();
    EXPECT_LT(GetTickCount() - start, 2500u);  // neither the start nor the stop waited it out
    PostLogRecord(LOGREC_SEND, 1, "x", 1);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) << "posted to window 0: this thread";
    SetLogWindowFailureForTest(false);
}

TEST_F(LogThreadTest, SecondStartIsReportedAndAThreadThatHasEndedTakesNothing)
{
    HWND window = GetLogWindow();
    EXPECT_TRUE(StartLogThread(owner_));  // already running: reported, the same thread goes on
    EXPECT_NE(Status(), L"");
    EXPECT_EQ(GetLogWindow(), window);
    // Null pointers are answered, not followed.
    EXPECT_TRUE(SendMessageA(window, WM_LOG_GET_SETTINGS, 0, 0) && SendMessageA(window, WM_LOG_SET_SETTINGS, 0, 0));
    StopLogThread();
    std::string path = dir_.File("late.log");
    EXPECT_FALSE(OpenLogFile(owner_, path.c_str()));
    EXPECT_TRUE(FileIsClosedByOthers(path));
    LogSettings read{};
    EXPECT_FALSE(GetLogSettings(&read) || SetLogSettings(&read));
}

TEST_F(LogThreadTest, RecordsGoInPostOrderIntoMadeFoldersAndStopWritesAllPosted)
{
    // ソ and 表 end in the byte 0x5C, which must not split the folder name.
    std::string path = dir_.Path() + "\\ソ\\表\\x.log";
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    Post("AAA");
    Post("");  // no data lines, one empty line
    std::string expected = "41 41 41\r\n\r\n\r\n";
    for (int i = 0; i < 300; ++i) Post(std::string(100, 'A')), expected += HexOfA(100);
    StopLogThread();
    EXPECT_TRUE(FileIsClosedByOthers(path));
    EXPECT_EQ(ReadWholeFile(path), expected);
    WIN32_FIND_DATAA found;  // nothing but ソ in the folder: no name was cut at a trail byte
    HANDLE find = FindFirstFileA((dir_.Path() + "\\*").c_str(), &found);
    int entries = 0;
    do entries += strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..");
    while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_EQ(entries, 1);
}

TEST_F(LogThreadTest, HandleWithoutSizeLeavesTheOldFileInUse)
{
    std::string first = dir_.Write("first.log", "old\r\n");
    ASSERT_TRUE(OpenLogFile(owner_, first.c_str()));  // appends
    // A pipe opens but has no size: the thread refuses it and 2026 is reported.
    std::string pipeName = "\\\\.\\pipe\\vorlin-logtest-" + std::to_string(GetCurrentProcessId());
    HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(OpenLogFile(owner_, pipeName.c_str()));
    EXPECT_NE(Status().find(std::wstring(pipeName.begin(), pipeName.end())), std::wstring::npos);
    CloseHandle(pipe);
    EXPECT_TRUE(PostAndAwait("A", first, 5 + 6));
    // A second file that answers: the first is closed only now.
    EXPECT_FALSE(FileIsClosedByOthers(first));
    std::string second = Open("second.log");
    EXPECT_TRUE(FileIsClosedByOthers(first));
    EXPECT_TRUE(PostAndAwait("A", second, 6));
    EXPECT_EQ(ReadWholeFile(first), "old\r\n41\r\n\r\n");
}

TEST_F(LogThreadTest, AutoOpensNumberedFilesSkippingThoseThatExistAndStopsWhenNoneCanBeMade)
{
    auto numbered = [&](int n) { return dir_.File("Vorlin2_COM1_" + std::to_string(n) + ".log"); };
    dir_.Write("Vorlin2_COM1_3.log", "keep");
    std::string path = Open("Vorlin2_COM1.log", LOGTYPE_AUTO, 65536);
    const std::string big(30000, 'A');  // one record crosses the limit
    Post(big);
    ASSERT_TRUE(PostAndAwait("A", numbered(2), 6));  // the counter starts at 1
    Post(big);
    ASSERT_TRUE(PostAndAwait("AA", numbered(4), 9));
    EXPECT_EQ(ReadWholeFile(path), HexOfA(30000));
    EXPECT_EQ(ReadWholeFile(numbered(3)), "keep");
    // So long a name that the numbered name does not fit in 260 bytes: logging stops silently.
    path = Open(std::string(254 - dir_.Path().size() - 1, 'n') + ".log", LOGTYPE_AUTO, 65536);
    ASSERT_EQ(path.size(), 258u);
    Post(big);
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path) == HexOfA(30000) && FileIsClosedByOthers(path); }));
    Post("A");
    StopLogThread();  // handles all that was posted: nothing more was written
    EXPECT_EQ(ReadWholeFile(path), HexOfA(30000));
    EXPECT_EQ(Status(), L"");
}

TEST_F(LogThreadTest, RotationIsCheckedAfterEveryRecordEvenWithoutOneAndAfterNewSettings)
{
    // APPEND over its limit only grows; made CYCLIC it rewinds at once, without cutting the file.
    std::string path = Open("c.log", LOGTYPE_APPEND, 65536, 70000);
    ASSERT_TRUE(PostAndAwait("A", path, 70006));
    settings_.logType = LOGTYPE_CYCLIC;
    Apply();
    Post("B");
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).substr(0, 6) == "42\r\n\r\n"; }));
    // Opened again over the limit: a record message without a record rewinds it too.
    CloseLogFile();
    ASSERT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(path); }));
    ASSERT_TRUE(OpenLogFile(owner_, path.c_str()));
    PostMessageA(GetLogWindow(), WM_LOG_RECORD, 0, 0);
    Post("C");
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(path).substr(0, 6) == "43\r\n\r\n"; }));
    EXPECT_EQ(ReadWholeFile(path).size(), 70006u);
}

TEST_F(LogThreadTest, QueuedCloseDoesNotCloseAFileOpenedAfterIt)
{
    settings_.ascii = settings_.unicode = 1;  // slow lines keep the thread busy
    std::string first = Open("first.log");
    for (int i = 0; i < 200; ++i) Post(std::string(4096, 'A'));
    CloseLogFile();  // queued behind the records; the open below is served before it
    std::string second = Open("second.log");
    Post("AB");
    // What was posted before the open went to the first file, not into the second.
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(second).substr(0, 7) == "41 42\r\n"; }, 20000));
    EXPECT_FALSE(FileIsClosedByOthers(second));
    CloseLogFile();  // a close after the open does close it
    EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(second); }));
    // A failed open does not keep a later close from closing the file still open.
    ASSERT_TRUE(OpenLogFile(owner_, first.c_str()));
    EXPECT_FALSE(OpenLogFile(owner_, (first + "\\x\\y.log").c_str()));
    CloseLogFile();
    EXPECT_TRUE(WaitUntil([&] { return FileIsClosedByOthers(first); }));
}
