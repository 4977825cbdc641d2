// The serial engine on a virtual null-modem cable, with a stand-in main window;
// a device-call table produces what a cable cannot on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "serial/device_calls.h"
#include "serial/port.h"
#include "shell/messages.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/wait.h"

namespace {

using IoError = std::pair<DWORD, LPARAM>;

// More than the cable holds while the far end does not read: its write stays pending.
const std::string kBig(1u << 20, 'Z');

// Records as "<kind><number>:<bytes> ", kinds Send, Receive, Error (unsent), Discard.
std::string Summary(const std::vector<SeenRecord>& records)
{
    std::string out;
    for (const SeenRecord& r : records)
        out += (r.kind < 4 ? "SRED"[r.kind] : '?') + std::to_string(r.number) + ":" +
               (r.bytes == kBig ? "<big>" : r.bytes) + " ";
    return out;
}

// What the fake device calls keep: the table's context, one per test.
struct Fake {
    std::atomic<int> emptyReads{0}, writes{0}, lineCalls{0}, waitCalls{0};
    std::atomic<DWORD> status{0}, readSize{0}, commMask{0};
    HANDLE writeEntered = nullptr, lineCallEntered = nullptr, lineCallRelease = nullptr;
};
Fake& FakeOf(void* context) { return *static_cast<Fake*>(context); }

class Engine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer_.Open(VORLIN_FAR_PORT) && peer_.Line(SETRTS) && peer_.Line(SETDTR)); }
    void TearDown() override
    {
        Stop();
        SetDeviceCalls(nullptr);
        ClosePort(&record_.flags, &engine_.port);
        peer_.Drain();  // leave nothing on the line for the next test
    }
    // Opens the port and starts the engine with the given device calls.
    void Start(DeviceCalls calls = Win32DeviceCalls())
    {
        if (engine_.port == INVALID_HANDLE_VALUE) {
            ASSERT_TRUE(OpenPort(record_, &engine_.port)) << GetLastError();
        }
        calls_ = calls;
        calls_.context = &fake_;
        SetDeviceCalls(&calls_);
        ASSERT_TRUE(StartEngine(engine_));
        for (HANDLE t : engine_.thread) {
            HANDLE copy = nullptr;
            ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0));
            threads_.push_back(copy);
        }
    }
    void Start(decltype(DeviceCalls::writeFile) writeFile)
    {
        calls_ = Win32DeviceCalls();
        calls_.writeFile = writeFile;
        Start(calls_);
    }
    void Stop()
    {
        StopEngine(engine_);
        for (HANDLE t : threads_) {
            EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0) << "a thread outlived StopEngine";
            CloseHandle(t);
        }
        threads_.clear();
    }
    bool Send(const std::string& bytes, bool async = false) { return !SubmitSend(bytes.data(), bytes.size(), async); }
    bool AwaitRecords(size_t count) { return PumpUntil([&] { return main_.records.size() >= count; }); }
    // Sends complete at once and leave no record.
    void ExpectSendsSwallowedAtOnce()
    {
        const size_t before = main_.records.size();
        const DWORD start = GetTickCount();
        EXPECT_TRUE(Send("nobody") && Send("nobody", true) && GetTickCount() - start < 1000);
        main_.Drain();
        EXPECT_EQ(main_.records.size(), before);
    }

    FarEnd peer_;
    SerialEngine engine_{INVALID_HANDLE_VALUE, {}, {}, {}};
    MainWindowStub main_{engine_};
    DeviceSettings record_ = TestPortSettings(VORLIN_PORT);
    DeviceCalls calls_{};
    Fake fake_;
    std::vector<HANDLE> threads_;
};

// The first reads end with nothing: some at once, some after pending.
BOOL EmptyReads(void* context, HANDLE port, LPVOID buffer, DWORD size, LPDWORD count, LPOVERLAPPED ov)
{
    const int n = FakeOf(context).emptyReads++;
    FakeOf(context).readSize = size;
    if (n >= 10) return ReadFile(port, buffer, size, count, ov);
    *count = 0;
    if (n < 5) return TRUE;
    ov->Internal = ov->InternalHigh = 0;  // done, 0 bytes
    SetEvent(ov->hEvent);
    return SetLastError(ERROR_IO_PENDING), FALSE;
}

// Writes only the first 3 bytes and says so.
BOOL ShortWrite(void*, HANDLE port, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED ov)
{
    if (!WriteFile(port, bytes, count < 3 ? count : 3, written, ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return FALSE;
        GetOverlappedResult(port, ov, written, TRUE);
    }
    return TRUE;
}

// The soak test's session run sees the numbers start at 1 again after a restart of the engine.
TEST_F(Engine, RecordsAreNumberedOnScreenAndInTheLogAndReadsOfNothingTakeNoNumber)
{
    TempFolder folder;
    const std::string path = folder.File("engine.log");
    ASSERT_TRUE(StartLogThread(main_.Handle()) && OpenLogFile(main_.Handle(), path.c_str()));
    DeviceCalls calls = Win32DeviceCalls();
    calls.readFile = EmptyReads;
    calls.writeFile = ShortWrite;  // each write gives a sent and an unsent record under one number
    Start(calls);
    ASSERT_TRUE(Send("0123456789"));
    EXPECT_EQ(peer_.Read(3, 3000), "012");
    ASSERT_TRUE(Send("world", true));
    EXPECT_EQ(peer_.Read(3, 3000), "wor");
    ASSERT_TRUE(PumpUntil([&] { return fake_.emptyReads > 10; }));
    EXPECT_EQ(fake_.readSize, 4096u);
    // A reader woken by another message keeps its pending read.
    for (int i = 0; i < 5; ++i) PostThreadMessageA(engine_.threadId[ENGINE_READER], WM_USER + 77, 0, 0);
    ASSERT_TRUE(peer_.Write("456"));
    ASSERT_TRUE(AwaitRecords(5));
    ASSERT_TRUE(peer_.Write("defg"));
    ASSERT_TRUE(AwaitRecords(6));
    Stop();  // every record the threads made has been posted now
    main_.Drain();
    std::stable_partition(main_.records.begin(), main_.records.end(), [](auto& r) { return r.kind != RECORD_RECEIVE; });
    EXPECT_EQ(Summary(main_.records), "S1:012 E1:3456789 S2:wor E2:ld R1:456 R2:defg ");
    EXPECT_TRUE(main_.ioErrors.empty());
    StopLogThread();  // writes what it was sent, then closes the file
    // The log takes the same records (each record's bytes go through one call, checked above).
    const std::string log = ReadWholeFile(path);
    size_t sent = log.find("00001 <送信>      "), unsent = log.find("00001 <送信エラー>");
    EXPECT_TRUE(sent < unsent && unsent < log.find("00002 <送信>") && log.find("00002 <受信>") < log.size()) << log;
}

TEST_F(Engine, WithoutARunningEngineOrWriterSendsCompleteAtOnceAndLineRequestsFail)
{
    ExpectSendsSwallowedAtOnce();
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    EscapeRequest request{0x1B0068, nullptr, 0, nullptr, 0, 0};
    EXPECT_TRUE(!ExecuteIoControl(engine_, &request) && request.error != 0);
    // The request block is sized from its layout (64-bit handle) and refuses overflow.
    size_t size = 0;
    EXPECT_TRUE(SendRequestSize(10, &size) && size == sizeof(HANDLE) + sizeof(uint32_t) + 10 + 3) << size;
    EXPECT_FALSE(SendRequestSize(UINT64_MAX, &size) || SendRequestSize(SIZE_MAX - 5, &size));

    // A writer ended by an invalid handle: its slot still holds it, and later sends do not wait.
    Start([](void*, HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
        *written = 0;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    });
    ASSERT_TRUE(Send("one"));
    ASSERT_TRUE(AwaitRecords(1));
    EXPECT_EQ(Summary(main_.records), "E1:one ");
    ASSERT_TRUE(PumpUntil([&] { return !main_.ioErrors.empty() && !IsWriterRunning(engine_); }));
    EXPECT_EQ(main_.ioErrors[0], IoError(ERROR_INVALID_HANDLE, ENGINE_WRITER));
    EXPECT_NE(engine_.thread[ENGINE_WRITER], nullptr);
    ExpectSendsSwallowedAtOnce();
}

// Senders must never wait for ever: not for a writer that ended, nor for a window that is gone.
TEST_F(Engine, ASynchronousSenderStopsWaitingWhenTheWriterOrTheWindowIsGone)
{
    fake_.writeEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Start([](void* context, HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {  // never comes back
        SetEvent(FakeOf(context).writeEntered);
        WaitForSingleObject(GetCurrentThread(), INFINITE);
        return FALSE;
    });
    ASSERT_TRUE(Send("stuck", true));
    ASSERT_EQ(WaitForSingleObject(fake_.writeEntered, 5000), WAIT_OBJECT_0);
    static std::atomic<bool> returned;
    returned = false;
    std::thread([] { SubmitSend("queued", 6, false), returned = true; }).detach();
    ASSERT_TRUE(PumpUntil([&] { return main_.sendRequests == 2; }));
    EXPECT_FALSE(PumpUntil([&] { return returned.load(); }, 300));  // queued behind the stuck write
    TerminateThread(engine_.thread[ENGINE_WRITER], 1);  // ends without looking at its queue
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    CloseHandle(fake_.writeEntered);

    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    SetSendWindow(gone);
    EXPECT_EQ(SubmitSend("x", 1, false), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetSendWindow(nullptr);
    EXPECT_EQ(SubmitSend("x", 1, true), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Engine, ACancelledWriteIsUnsentAndAStopDiscardsThePendingWriteAndTheQueue)
{
    fake_.writes = 0;
    Start([](void* context, HANDLE port, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED ov) {
        const BOOL done = WriteFile(port, bytes, count, written, ov);  // counted once it is under way
        return ++FakeOf(context).writes, done;
    });
    ASSERT_TRUE(Send(kBig, true));
    ASSERT_TRUE(PumpUntil([&] { return fake_.writes == 1; }));  // a cancel now finds the write under way
    SendMessageA(main_.Handle(), WM_VORLIN_CANCEL_WRITE, 0, 0);
    ASSERT_TRUE(AwaitRecords(1));
    EXPECT_EQ(Summary(main_.records), "E1:<big> ");
    const IoError aborted{ERROR_OPERATION_ABORTED, ENGINE_WRITER};
    EXPECT_TRUE(PumpUntil([&] { return std::ranges::count(main_.ioErrors, aborted) > 0; }));
    // The writer goes on with the next request.
    peer_.Drain();
    ASSERT_TRUE(Send("after"));
    EXPECT_EQ(peer_.Read(5, 3000), "after");

    for (const std::string& bytes : {kBig, std::string("a"), std::string("b"), std::string("c")})
        ASSERT_TRUE(Send(bytes, true));
    ASSERT_TRUE(PumpUntil([&] { return fake_.writes == 3; }));
    Stop();
    main_.Drain();
    EXPECT_EQ(Summary(main_.records), "E1:<big> S2:after D3:<big> D4:a D5:b D6:c ");
}

// Line requests never wait for ever: those queued behind a stop fail, and the main thread
// keeps serving sent messages while it waits for one.
TEST_F(Engine, RequestsQueuedBehindAStopFailAndAWaitingMainThreadStillAnswers)
{
    fake_.lineCallEntered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    fake_.lineCallRelease = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DeviceCalls calls = Win32DeviceCalls();
    calls.escapeCommFunction = [](void* context, HANDLE port, DWORD code) {  // held until the test lets it go
        ++FakeOf(context).lineCalls;
        SetEvent(FakeOf(context).lineCallEntered);
        WaitForSingleObject(FakeOf(context).lineCallRelease, 10000);
        return EscapeCommFunction(port, code);
    };
    Start(calls);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uint32_t codes[2] = {SETRTS, SETDTR};
    auto post = [&](UINT msg, uint32_t* code) {
        return PostThreadMessageA(engine_.threadId[ENGINE_EVENT], msg, code ? reinterpret_cast<WPARAM>(done) : 0,
                                  reinterpret_cast<LPARAM>(code));
    };
    fake_.lineCalls = 0;
    ASSERT_TRUE(post(WM_VORLIN_LINE_FUNCTION, &codes[0]));
    ASSERT_EQ(WaitForSingleObject(fake_.lineCallEntered, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(post(WM_VORLIN_STOP, nullptr) && post(WM_VORLIN_LINE_FUNCTION, &codes[1]));
    SetEvent(fake_.lineCallRelease);
    ASSERT_EQ(WaitForSingleObject(threads_[ENGINE_EVENT], 5000), WAIT_OBJECT_0);
    EXPECT_EQ((std::vector<uint32_t>{codes[0], codes[1], uint32_t(fake_.lineCalls)}),
              (std::vector<uint32_t>{0, ERROR_OPERATION_ABORTED, 1}));
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    CloseHandle(done);

    Stop();
    Start(calls);
    std::atomic<bool> answered{false};
    auto sender = std::async(std::launch::async, [&] {
        WaitForSingleObject(fake_.lineCallEntered, 5000);
        answered = SendMessageTimeoutA(main_.Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr) != 0;
        SetEvent(fake_.lineCallRelease);
    });
    EXPECT_TRUE(ExecuteLineFunction(engine_, SETRTS));
    sender.get();
    EXPECT_TRUE(answered);
}

TEST_F(Engine, ACommWaitThatFailsIsRetriedAtTheTicksThatAlsoFindChanges)
{
    DeviceCalls calls = Win32DeviceCalls();
    calls.getCommModemStatus = [](void* context, HANDLE, LPDWORD status) {
        return *status = FakeOf(context).status, TRUE;
    };
    calls.setCommMask = [](void* context, HANDLE, DWORD mask) { return FakeOf(context).commMask = mask, TRUE; };
    calls.waitCommEvent = [](void* context, HANDLE, LPDWORD, LPOVERLAPPED) {
        ++FakeOf(context).waitCalls;
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    };
    fake_.status = MS_CTS_ON;
    fake_.waitCalls = 0;
    const ULONGLONG start = GetTickCount64();
    Start(calls);
    EXPECT_FALSE(StartEngine(engine_));  // already running
    EXPECT_TRUE(ExecuteLineFunction(engine_, CLRRTS));  // requests are still served
    EXPECT_EQ(fake_.commMask, DWORD(EV_CTS | EV_DSR | EV_RLSD));
    // Tried again at the ticks of the one-second timer, not in a busy loop.
    ASSERT_TRUE(PumpUntil([&] { return fake_.waitCalls >= 3; }));
    EXPECT_GE(GetTickCount64() - start, 1500u);
    // Reported once, not at every retry; the first status is posted at start and not again.
    main_.Drain();
    EXPECT_EQ(main_.ioErrors, (std::vector<IoError>{{ERROR_NOT_SUPPORTED, ENGINE_EVENT}}));
    EXPECT_EQ(main_.modemStatuses, (std::vector<DWORD>{MS_CTS_ON}));
    fake_.status = MS_RING_ON;
    EXPECT_TRUE(PumpUntil([&] { return main_.modemStatuses.back() == MS_RING_ON; }));
}

} // namespace
