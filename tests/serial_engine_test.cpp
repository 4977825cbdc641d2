// The serial engine on a virtual null-modem cable: COM7 is the program's
// port, COM8 the far end. A hidden window stands in for the main window.
// Where a cable cannot produce a case on demand (a write that stops part
// way, ERROR_INVALID_HANDLE, a comm wait that fails), a device-call table
// stands in for the driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "serial/device_calls.h"
#include "serial/engine.h"
#include "serial/port.h"
#include "shell/messages.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"

namespace {

constexpr char kPort[] = "COM7";
constexpr char kPeer[] = "COM8";
constexpr DWORD kAllLines = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer_.Open(kPeer)) << GetLastError();
        ASSERT_TRUE(peer_.Line(SETRTS) && peer_.Line(SETDTR));
    }
    void TearDown() override
    {
        Stop();
        SetDeviceCalls(nullptr);
        ClosePort(&record_.flags, &engine_.port);
        // Leave nothing on the line for the next test.
        peer_.Drain(200);
    }
    void Open(const COMMTIMEOUTS* timeouts = nullptr)
    {
        if (timeouts) record_.timeouts = *timeouts;
        ASSERT_TRUE(OpenPort(record_, &engine_.port)) << GetLastError();
    }
    void Start()
    {
        ASSERT_TRUE(StartEngine(engine_));
        threads_ = DuplicateThreads(engine_);
        ASSERT_EQ(threads_.size(), 3u);
    }
    void Stop()
    {
        StopEngine(engine_);
        // Every thread has ended when StopEngine returns.
        EXPECT_TRUE(AllEnded(threads_));
        CloseAll(threads_);
    }
    void UseCalls(const DeviceCalls& calls)
    {
        calls_ = calls;
        SetDeviceCalls(&calls_);
    }
    bool Send(const std::string& bytes, bool asynchronous = false)
    {
        return SubmitSend(bytes.data(), static_cast<uint32_t>(bytes.size()), asynchronous) == 0;
    }
    bool AwaitRecords(size_t count, DWORD timeoutMs = 5000)
    {
        return main_.PumpUntil([&] { return main_.records.size() >= count; }, timeoutMs);
    }

    FarEnd peer_;
    SerialEngine engine_ = ClosedEngine();
    MainWindowStub main_{engine_};
    DeviceSettings record_ = TestPortSettings(kPort);
    DeviceCalls calls_{};
    std::vector<HANDLE> threads_;
};

TEST_F(Engine, StartsOnceReportsTheLinesAndStopsEveryThread)
{
    Open();
    Start();
    EXPECT_FALSE(StartEngine(engine_));   // already running: nothing happens
    for (int i = 0; i < ENGINE_THREADS; ++i) EXPECT_NE(engine_.thread[i], nullptr);
    EXPECT_TRUE(IsWriterRunning(engine_));
    // The first status is posted at start, even though it never changes.
    ASSERT_TRUE(main_.PumpUntil([&] { return !main_.modemStatuses.empty(); }, 3000));
    EXPECT_EQ(main_.modemStatuses[0] & kAllLines, kAllLines);
    // The ready notices were taken by the start, not left for the window.
    main_.PumpFor(100);
    EXPECT_EQ(main_.readyNotices, 0);
    EXPECT_TRUE(main_.ioErrors.empty());

    Stop();
    for (int i = 0; i < ENGINE_THREADS; ++i) EXPECT_EQ(engine_.thread[i], nullptr);
    EXPECT_FALSE(IsWriterRunning(engine_));
    StopEngine(engine_);  // a stopped engine stops at once
}

TEST_F(Engine, WritesAndReadsAreNumberedFromOnePerStart)
{
    Open();
    for (int run = 0; run < 2; ++run) {
        main_.records.clear();
        Start();
        ASSERT_TRUE(Send("hello"));
        EXPECT_EQ(peer_.Read(5, 3000), "hello");
        ASSERT_TRUE(Send("world", true));
        EXPECT_EQ(peer_.Read(5, 3000), "world");
        ASSERT_TRUE(peer_.Write("abc"));
        ASSERT_TRUE(AwaitRecords(3));
        ASSERT_TRUE(peer_.Write("defg"));
        ASSERT_TRUE(AwaitRecords(4));
        main_.PumpFor(200);

        std::vector<SeenRecord> sent = main_.OfKind(RECORD_SEND);
        std::vector<SeenRecord> received = main_.OfKind(RECORD_RECEIVE);
        ASSERT_EQ(sent.size(), 2u) << "run " << run;
        EXPECT_EQ(sent[0].number, 1u);
        EXPECT_EQ(sent[0].bytes, "hello");
        EXPECT_EQ(sent[1].number, 2u);
        EXPECT_EQ(sent[1].bytes, "world");
        ASSERT_EQ(received.size(), 2u) << "run " << run;
        EXPECT_EQ(received[0].number, 1u);
        EXPECT_EQ(received[0].bytes, "abc");
        EXPECT_EQ(received[1].number, 2u);
        EXPECT_EQ(received[1].bytes, "defg");
        EXPECT_EQ(main_.records.size(), 4u);
        Stop();
    }
}

// The first reads end with nothing: some at once, some after pending.
std::atomic<int> g_emptyReads{0};
BOOL WINAPI EmptyReads(HANDLE port, LPVOID buffer, DWORD size, LPDWORD count, LPOVERLAPPED ov)
{
    int n = g_emptyReads++;
    if (n >= 10) return ReadFile(port, buffer, size, count, ov);
    *count = 0;
    if (n < 5) return TRUE;
    ov->Internal = 0;      // done, 0 bytes: what GetOverlappedResult reports
    ov->InternalHigh = 0;
    SetEvent(ov->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

TEST_F(Engine, ReadsOfNothingMakeNoRecordAndTakeNoNumber)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.readFile = EmptyReads;
    UseCalls(calls);
    g_emptyReads = 0;
    Start();
    ASSERT_TRUE(main_.PumpUntil([&] { return g_emptyReads > 10; }, 3000));
    main_.PumpFor(100);
    EXPECT_TRUE(main_.records.empty());
    ASSERT_TRUE(peer_.Write("q"));
    ASSERT_TRUE(AwaitRecords(1));
    EXPECT_EQ(main_.records[0].kind, RECORD_RECEIVE);
    EXPECT_EQ(main_.records[0].number, 1u);
    EXPECT_EQ(main_.records[0].bytes, "q");
}

TEST_F(Engine, SendsWithoutARunningEngineCompleteAtOnceWithoutRecords)
{
    DWORD start = GetTickCount();
    EXPECT_TRUE(Send("nobody"));
    EXPECT_TRUE(Send("nobody", true));
    EXPECT_LT(GetTickCount() - start, 1000u);
    main_.PumpFor(100);
    EXPECT_TRUE(main_.records.empty());
}

TEST(EngineRequests, SizeFollowsTheLayoutAndRefusesOverflow)
{
    size_t size = 0;
    ASSERT_TRUE(SendRequestSize(10, &size));
    EXPECT_EQ(size, offsetof(SendRequest, bytes) + 10 + 3);
    EXPECT_EQ(offsetof(SendRequest, bytes), sizeof(HANDLE) + sizeof(uint32_t));
    ASSERT_TRUE(SendRequestSize(0, &size));
    EXPECT_GE(size, sizeof(SendRequest));
    EXPECT_FALSE(SendRequestSize(UINT64_MAX, &size));
    EXPECT_FALSE(SendRequestSize(SIZE_MAX - 5, &size));
}

TEST(EngineRequests, SendsThatCannotBeMadeFail)
{
    EXPECT_EQ(SubmitSend("x", 1, false), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SubmitSend(nullptr, 5, true), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// --- writes that a cable does not produce on demand ------------------------

// Writes only the first 3 bytes and says so.
BOOL WINAPI ShortWrite(HANDLE port, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED ov)
{
    DWORD part = count < 3 ? count : 3;
    if (!WriteFile(port, bytes, part, written, ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return FALSE;
        GetOverlappedResult(port, ov, written, TRUE);
    }
    return TRUE;
}

TEST_F(Engine, AShortWriteGivesTwoRecordsUnderOneNumber)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.writeFile = ShortWrite;
    UseCalls(calls);
    Start();
    ASSERT_TRUE(Send("0123456789"));
    EXPECT_EQ(peer_.Read(3, 3000), "012");
    ASSERT_TRUE(AwaitRecords(2));
    main_.PumpFor(100);
    ASSERT_EQ(main_.records.size(), 2u);
    EXPECT_EQ(main_.records[0].kind, RECORD_SEND);
    EXPECT_EQ(main_.records[0].number, 1u);
    EXPECT_EQ(main_.records[0].bytes, "012");
    EXPECT_EQ(main_.records[1].kind, RECORD_SEND_ERROR);
    EXPECT_EQ(main_.records[1].number, 1u);
    EXPECT_EQ(main_.records[1].bytes, "3456789");
}

TEST_F(Engine, TheLogFileGetsTheSameEventsUnderTheSameNumbers)
{
    TempFolder folder;
    std::string path = folder.File("engine.log");
    ASSERT_TRUE(StartLogThread(main_.Handle()));
    ASSERT_TRUE(OpenLogFile(main_.Handle(), path.c_str()));
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.writeFile = ShortWrite;
    UseCalls(calls);
    Start();
    ASSERT_TRUE(Send("0123456789"));
    EXPECT_EQ(peer_.Read(3, 3000), "012");
    ASSERT_TRUE(peer_.Write("456"));
    ASSERT_TRUE(AwaitRecords(3));
    Stop();
    StopLogThread();  // writes what it was sent, then closes the file

    std::string log = ReadWholeFile(path);
    // Header lines: number, kind name padded to 12 bytes, time, size.
    size_t sent = log.find("00001 <送信>      ");
    size_t unsent = log.find("00001 <送信エラー>");
    size_t received = log.find("00001 <受信>      ");
    ASSERT_NE(sent, std::string::npos) << log;
    ASSERT_NE(unsent, std::string::npos) << log;
    ASSERT_NE(received, std::string::npos) << log;
    EXPECT_LT(sent, unsent);
    EXPECT_NE(log.find("データサイズ = 3", sent), std::string::npos);
    EXPECT_NE(log.find("データサイズ = 7", unsent), std::string::npos);
    EXPECT_NE(log.find("30 31 32", sent), std::string::npos);
    EXPECT_NE(log.find("33 34 35 36 37 38 39", unsent), std::string::npos);
    EXPECT_NE(log.find("34 35 36", received), std::string::npos);
}

BOOL WINAPI InvalidHandleWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

TEST_F(Engine, AWriterEndedByAnInvalidHandleSwallowsNoLaterSend)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.writeFile = InvalidHandleWrite;
    UseCalls(calls);
    Start();
    ASSERT_TRUE(Send("one"));
    ASSERT_TRUE(AwaitRecords(1));
    EXPECT_EQ(main_.records[0].kind, RECORD_SEND_ERROR);
    EXPECT_EQ(main_.records[0].bytes, "one");
    ASSERT_TRUE(main_.PumpUntil([&] { return !main_.ioErrors.empty(); }, 2000));
    EXPECT_EQ(main_.ioErrors[0], (std::pair<DWORD, LPARAM>{ERROR_INVALID_HANDLE, ENGINE_WRITER}));
    ASSERT_TRUE(main_.PumpUntil([&] { return !IsWriterRunning(engine_); }, 2000));

    // The writer is gone but its slot still holds it: later sends complete
    // at once instead of waiting for ever.
    EXPECT_NE(engine_.thread[ENGINE_WRITER], nullptr);
    DWORD start = GetTickCount();
    EXPECT_TRUE(Send("two"));
    EXPECT_TRUE(Send("three", true));
    EXPECT_LT(GetTickCount() - start, 1000u);
    main_.PumpFor(100);
    EXPECT_EQ(main_.records.size(), 1u);
}

// A write that never comes back (the writer will be ended from outside).
HANDLE g_writeEntered = nullptr;
BOOL WINAPI EndlessWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    SetEvent(g_writeEntered);
    Sleep(INFINITE);
    return FALSE;
}

struct SyncSender {
    std::atomic<bool> returned{false};
};

TEST_F(Engine, ASynchronousSenderStopsWaitingWhenTheWriterEnds)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.writeFile = EndlessWrite;
    UseCalls(calls);
    g_writeEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Start();
    ASSERT_TRUE(Send("stuck", true));
    ASSERT_TRUE(main_.PumpUntil([] { return WaitForSingleObject(g_writeEntered, 0) == WAIT_OBJECT_0; }, 3000));

    // Another thread sends synchronously; its request queues behind the
    // stuck write.
    SyncSender sender;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            SubmitSend("queued", 6, false);
            static_cast<SyncSender*>(p)->returned = true;
            return 0;
        },
        &sender, 0, nullptr);
    main_.PumpFor(300);
    ASSERT_FALSE(sender.returned);

    // The writer ends without ever looking at its queue.
    TerminateThread(engine_.thread[ENGINE_WRITER], 1);
    EXPECT_TRUE(main_.PumpUntil([&] { return sender.returned.load(); }, 3000));
    EXPECT_EQ(WaitForSingleObject(thread, 3000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(g_writeEntered);
}

// --- pending writes on the cable -------------------------------------------

// More than the cable holds while the far end does not read: the write
// stays pending.
const std::string& BigBlock()
{
    static const std::string block = [] {
        std::string b(1 << 20, '\0');
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>('A' + i % 26);
        return b;
    }();
    return block;
}

TEST_F(Engine, StoppingDiscardsThePendingWriteAndEveryQueuedRequestInOrder)
{
    Open();
    Start();
    ASSERT_TRUE(Send(BigBlock(), true));
    ASSERT_TRUE(Send("a", true));
    ASSERT_TRUE(Send("b", true));
    ASSERT_TRUE(Send("c", true));
    main_.PumpFor(300);
    ASSERT_TRUE(main_.records.empty()) << "the big write should still be pending";

    Stop();
    ASSERT_TRUE(AwaitRecords(4));
    main_.PumpFor(100);
    ASSERT_EQ(main_.records.size(), 4u);
    const char* expected[] = {nullptr, "a", "b", "c"};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(main_.records[i].kind, RECORD_DISCARD);
        EXPECT_EQ(main_.records[i].number, i + 1);
        EXPECT_EQ(main_.records[i].bytes, expected[i] ? expected[i] : BigBlock());
    }
}

TEST_F(Engine, CancellingThePendingWriteRecordsItAsUnsentAndGoesOn)
{
    Open();
    Start();
    ASSERT_TRUE(Send(BigBlock(), true));
    main_.PumpFor(300);
    ASSERT_TRUE(main_.records.empty());
    SendMessageA(main_.Handle(), WM_VORLIN_CANCEL_WRITE, 0, 0);
    ASSERT_TRUE(AwaitRecords(1));
    EXPECT_EQ(main_.records[0].kind, RECORD_SEND_ERROR);
    EXPECT_EQ(main_.records[0].number, 1u);
    EXPECT_EQ(main_.records[0].bytes.size(), BigBlock().size());
    // The writer reports the aborted write. (Its receive-side purge also
    // ends the reader's pending read, which the reader reports too.)
    const std::pair<DWORD, LPARAM> aborted{ERROR_OPERATION_ABORTED, ENGINE_WRITER};
    EXPECT_TRUE(main_.PumpUntil(
        [&] {
            for (const auto& e : main_.ioErrors)
                if (e == aborted) return true;
            return false;
        },
        2000));

    // The writer goes on with the next request.
    peer_.Drain(300);
    ASSERT_TRUE(Send("after"));
    EXPECT_EQ(peer_.Read(5, 3000), "after");
    ASSERT_TRUE(AwaitRecords(2));
    EXPECT_EQ(main_.records[1].kind, RECORD_SEND);
    EXPECT_EQ(main_.records[1].number, 2u);
}

// --- the reader ---------------------------------------------------------------

TEST_F(Engine, AReaderWokenByAnotherMessageKeepsItsPendingRead)
{
    Open();
    Start();
    main_.PumpFor(200);
    for (int i = 0; i < 5; ++i) PostThreadMessageA(engine_.threadId[ENGINE_READER], WM_USER + 77, 0, 0);
    main_.PumpFor(200);
    ASSERT_TRUE(peer_.Write("data"));
    ASSERT_TRUE(AwaitRecords(1));
    main_.PumpFor(300);
    ASSERT_EQ(main_.records.size(), 1u);
    EXPECT_EQ(main_.records[0].bytes, "data");
    EXPECT_EQ(main_.records[0].number, 1u);
    EXPECT_TRUE(main_.ioErrors.empty());
}

// --- modem lines and line requests ---------------------------------------------

TEST_F(Engine, LineChangesAtTheFarEndAreReportedWithinASecond)
{
    Open();
    Start();
    ASSERT_TRUE(main_.PumpUntil([&] { return !main_.modemStatuses.empty(); }, 3000));
    ASSERT_TRUE(peer_.Line(CLRRTS));
    ASSERT_TRUE(main_.PumpUntil([&] { return (main_.modemStatuses.back() & MS_CTS_ON) == 0; }, 1500));
    ASSERT_TRUE(peer_.Line(CLRDTR));
    ASSERT_TRUE(main_.PumpUntil(
        [&] { return (main_.modemStatuses.back() & (MS_DSR_ON | MS_RLSD_ON)) == 0; }, 1500));
    ASSERT_TRUE(peer_.Line(SETDTR));
    ASSERT_TRUE(main_.PumpUntil([&] { return (main_.modemStatuses.back() & MS_DSR_ON) != 0; }, 1500));
}

TEST_F(Engine, LineRequestsThroughTheMainWindowReachTheFarEnd)
{
    Open();
    Start();
    auto line = [&](DWORD code) { return SendMessageA(main_.Handle(), WM_VORLIN_LINE_FUNCTION, 0, code) != 0; };
    EXPECT_TRUE(line(CLRRTS));
    EXPECT_EQ(peer_.ModemStatus() & MS_CTS_ON, 0u);
    EXPECT_TRUE(line(CLRDTR));
    EXPECT_EQ(peer_.ModemStatus() & (MS_DSR_ON | MS_RLSD_ON), 0u);
    EXPECT_TRUE(line(SETRTS));
    EXPECT_TRUE(line(SETDTR));
    EXPECT_EQ(peer_.ModemStatus() & kAllLines, kAllLines);
    EXPECT_FALSE(line(77));

    // A break is seen at the far end as a break event.
    HANDLE waiter = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD { return static_cast<FarEnd*>(p)->WaitEvent(EV_BREAK, 3000); }, &peer_, 0, nullptr);
    Sleep(200);
    EXPECT_TRUE(line(SETBREAK));
    EXPECT_TRUE(line(CLRBREAK));
    ASSERT_EQ(WaitForSingleObject(waiter, 5000), WAIT_OBJECT_0);
    DWORD seen = 0;
    GetExitCodeThread(waiter, &seen);
    CloseHandle(waiter);
    EXPECT_NE(seen & EV_BREAK, 0u);

    DWORD status = 0;
    EscapeRequest request{0x1B0068, nullptr, 0, &status, sizeof status, 99};  // IOCTL_SERIAL_GET_MODEMSTATUS
    EXPECT_NE(SendMessageA(main_.Handle(), WM_VORLIN_ESCAPE_REQUEST, 0, reinterpret_cast<LPARAM>(&request)), 0);
    EXPECT_EQ(request.error, 0u);
    EXPECT_EQ(request.outputLength, 4u);
    EXPECT_EQ(status & kAllLines, kAllLines);
}

TEST_F(Engine, LineRequestsWithoutAnEngineFail)
{
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    EscapeRequest request{0x1B0068, nullptr, 0, nullptr, 0, 0};
    EXPECT_FALSE(ExecuteIoControl(engine_, &request));
    EXPECT_NE(request.error, 0u);
}

// A line function that takes its time, so that requests queue behind it.
std::atomic<int> g_slowLineCalls{0};
BOOL WINAPI SlowEscape(HANDLE port, DWORD code)
{
    ++g_slowLineCalls;
    Sleep(400);
    return EscapeCommFunction(port, code);
}

TEST_F(Engine, RequestsQueuedBehindTheEventThreadsEndCompleteWithAnError)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.escapeCommFunction = SlowEscape;
    UseCalls(calls);
    Start();
    HANDLE firstDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE secondDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint32_t first = SETRTS;
    uint32_t second = SETDTR;
    DWORD events = engine_.threadId[ENGINE_EVENT];
    g_slowLineCalls = 0;
    ASSERT_TRUE(PostThreadMessageA(events, WM_VORLIN_LINE_FUNCTION, reinterpret_cast<WPARAM>(firstDone),
                                   reinterpret_cast<LPARAM>(&first)));
    // Wait until the first request is being run, then queue a stop and a
    // second request behind it.
    DWORD start = GetTickCount();
    while (g_slowLineCalls == 0 && GetTickCount() - start < 2000) Sleep(5);
    ASSERT_EQ(g_slowLineCalls, 1);
    ASSERT_TRUE(PostThreadMessageA(events, WM_VORLIN_STOP, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(events, WM_VORLIN_LINE_FUNCTION, reinterpret_cast<WPARAM>(secondDone),
                                   reinterpret_cast<LPARAM>(&second)));
    EXPECT_EQ(WaitForSingleObject(firstDone, 3000), WAIT_OBJECT_0);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(WaitForSingleObject(secondDone, 3000), WAIT_OBJECT_0);
    EXPECT_EQ(second, static_cast<uint32_t>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(g_slowLineCalls, 1);
    // The event thread has ended; a new request fails at once.
    ASSERT_EQ(WaitForSingleObject(threads_[ENGINE_EVENT], 3000), WAIT_OBJECT_0);
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    CloseHandle(firstDone);
    CloseHandle(secondDone);
}

struct SentDuringWait {
    HWND window;
    std::atomic<bool> answered{false};
};

TEST_F(Engine, TheMainThreadServesSentMessagesWhileItWaitsForALineRequest)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.escapeCommFunction = SlowEscape;
    UseCalls(calls);
    Start();
    SentDuringWait sender{main_.Handle()};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            auto* s = static_cast<SentDuringWait*>(p);
            Sleep(100);
            // Another thread blocked in SendMessage to the main window.
            SendMessageA(s->window, WM_NULL, 0, 0);
            s->answered = true;
            return 0;
        },
        &sender, 0, nullptr);
    EXPECT_TRUE(ExecuteLineFunction(engine_, SETRTS));
    // The sender was answered during the 400 ms the request took.
    EXPECT_TRUE(sender.answered);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
}

// --- the comm wait ---------------------------------------------------------

std::atomic<DWORD> g_fakeStatus{0};
std::atomic<int> g_waitCalls{0};

BOOL WINAPI FakeModemStatus(HANDLE, LPDWORD status)
{
    *status = g_fakeStatus;
    return TRUE;
}
// A comm wait that never reports anything: only the timer sees changes.
BOOL WINAPI SilentWait(HANDLE port, LPDWORD mask, LPOVERLAPPED ov)
{
    ++g_waitCalls;
    return WaitCommEvent(port, mask, ov);
}
BOOL WINAPI FailingWait(HANDLE, LPDWORD, LPOVERLAPPED)
{
    ++g_waitCalls;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

TEST_F(Engine, AChangeWithoutACommEventIsFoundByTheTimer)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.getCommModemStatus = FakeModemStatus;
    calls.waitCommEvent = SilentWait;
    UseCalls(calls);
    g_fakeStatus = MS_CTS_ON;
    Start();
    ASSERT_TRUE(main_.PumpUntil([&] { return !main_.modemStatuses.empty(); }, 3000));
    EXPECT_EQ(main_.modemStatuses[0], static_cast<DWORD>(MS_CTS_ON));
    // The same status again is not reported by the timer.
    main_.PumpFor(1200);
    EXPECT_EQ(main_.modemStatuses.size(), 1u);
    g_fakeStatus = MS_RING_ON;
    ASSERT_TRUE(main_.PumpUntil([&] { return main_.modemStatuses.back() == MS_RING_ON; }, 1500));
}

TEST_F(Engine, ACommWaitThatFailsAtOnceIsRetriedAtTheNextTick)
{
    Open();
    DeviceCalls calls = Win32DeviceCalls();
    calls.waitCommEvent = FailingWait;
    UseCalls(calls);
    g_waitCalls = 0;
    Start();
    // Requests are still served while the wait keeps failing.
    EXPECT_TRUE(ExecuteLineFunction(engine_, CLRRTS));
    main_.PumpFor(2500);
    int calls2500 = g_waitCalls;
    EXPECT_GE(calls2500, 2);   // tried again at the ticks
    EXPECT_LE(calls2500, 5);   // not in a busy loop
    // Reported once, not at every retry.
    ASSERT_EQ(main_.ioErrors.size(), 1u);
    EXPECT_EQ(main_.ioErrors[0], (std::pair<DWORD, LPARAM>{ERROR_NOT_SUPPORTED, ENGINE_EVENT}));
}

} // namespace
