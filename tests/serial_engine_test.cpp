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

constexpr DWORD kAllLines = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
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

TEST_F(Engine, StartReportsTheLinesOnceAndStopEndsEveryThread)
{
    Start();
    EXPECT_FALSE(StartEngine(engine_));  // already running
    // The first status is posted at start, though it never changes.
    ASSERT_TRUE(PumpUntil([&] { return !main_.modemStatuses.empty(); }));
    EXPECT_EQ(main_.modemStatuses[0] & kAllLines, kAllLines);
    // Line and device requests through the main window are proven end to end by the automation test.
    // The ready notices are taken by the start, not left for the window.
    EXPECT_TRUE(main_.readyNotices == 0 && main_.ioErrors.empty());

    Stop();
    EXPECT_TRUE(std::ranges::count(engine_.thread, nullptr) == 3 && !IsWriterRunning(engine_));
}

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

// The monitor test sees the numbers start at 1 again after a restart of the engine.
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
    // Header lines: number, kind name padded to 12 bytes, time, size; then the bytes.
    const std::string log = ReadWholeFile(path);
    size_t sent = log.find("00001 <送信>      "), unsent = log.find("00001 <送信エラー>");
    size_t received = log.find("00001 <受信>      ");
    ASSERT_TRUE(sent < unsent && unsent < log.size() && received < log.size()) << log;
    const std::pair<size_t, const char*> lines[] = {{sent, "データサイズ = 3"}, {unsent, "データサイズ = 7"},
                                                    {sent, "30 31 32"}, {unsent, "33 34 35 36 37 38 39"},
                                                    {received, "34 35 36"}};
    for (const auto& [from, text] : lines) EXPECT_NE(log.find(text, from), std::string::npos) << text;
}

TEST_F(Engine, WithoutARunningEngineSendsCompleteAtOnceAndLineRequestsFail)
{
    ExpectSendsSwallowedAtOnce();
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    EscapeRequest request{0x1B0068, nullptr, 0, nullptr, 0, 0};
    EXPECT_TRUE(!ExecuteIoControl(engine_, &request) && request.error != 0);
    // The request block is sized from its layout (64-bit handle) and refuses overflow.
    size_t size = 0;
    EXPECT_TRUE(SendRequestSize(10, &size) && size == sizeof(HANDLE) + sizeof(uint32_t) + 10 + 3) << size;
    EXPECT_FALSE(SendRequestSize(UINT64_MAX, &size) || SendRequestSize(SIZE_MAX - 5, &size));
}

TEST_F(Engine, AWriterEndedByAnInvalidHandleSwallowsNoLaterSend)
{
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
    // The writer is gone but its slot still holds it: later sends do not wait for ever.
    EXPECT_NE(engine_.thread[ENGINE_WRITER], nullptr);
    ExpectSendsSwallowedAtOnce();
}

TEST_F(Engine, ASynchronousSenderStopsWaitingWhenTheWriterEnds)
{
    fake_.writeEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Start([](void* context, HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {  // never comes back
        SetEvent(FakeOf(context).writeEntered);
        WaitForSingleObject(GetCurrentThread(), INFINITE);
        return FALSE;
    });
    ASSERT_TRUE(Send("stuck", true));
    ASSERT_EQ(WaitForSingleObject(fake_.writeEntered, 5000), WAIT_OBJECT_0);
    // Another thread sends synchronously; its request queues behind the stuck write.
    static std::atomic<bool> returned;
    returned = false;
    std::thread([] { SubmitSend("queued", 6, false), returned = true; }).detach();
    ASSERT_TRUE(PumpUntil([&] { return main_.sendRequests == 2; }));
    // Nothing later shows that the sender waits: its staying out for a while is the witness.
    EXPECT_FALSE(PumpUntil([&] { return returned.load(); }, 300));
    TerminateThread(engine_.thread[ENGINE_WRITER], 1);  // ends without looking at its queue
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    CloseHandle(fake_.writeEntered);
}

TEST_F(Engine, ACancelledWriteIsUnsentAndAStopDiscardsThePendingWriteAndTheQueue)
{
    fake_.writes = 0;
    Start([](void* context, HANDLE port, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED ov) {
        return ++FakeOf(context).writes, WriteFile(port, bytes, count, written, ov);
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

TEST_F(Engine, RequestsQueuedBehindTheEventThreadsEndCompleteWithAnError)
{
    fake_.lineCallEntered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    fake_.lineCallRelease = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DeviceCalls calls = Win32DeviceCalls();
    calls.escapeCommFunction = [](void* context, HANDLE port, DWORD code) {  // held until the test lets it go
        Fake& fake = FakeOf(context);
        ++fake.lineCalls;
        SetEvent(fake.lineCallEntered);
        WaitForSingleObject(fake.lineCallRelease, 10000);
        return EscapeCommFunction(port, code);
    };
    Start(calls);
    HANDLE done[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    uint32_t codes[2] = {SETRTS, SETDTR};
    const DWORD events = engine_.threadId[ENGINE_EVENT];
    auto post = [&](UINT msg, int i) {
        return PostThreadMessageA(events, msg, i < 0 ? 0 : reinterpret_cast<WPARAM>(done[i]),
                                  i < 0 ? 0 : reinterpret_cast<LPARAM>(&codes[i]));
    };
    fake_.lineCalls = 0;
    ASSERT_TRUE(post(WM_VORLIN_LINE_FUNCTION, 0));
    // While the first request runs, queue a stop and a second request behind it.
    ASSERT_EQ(WaitForSingleObject(fake_.lineCallEntered, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(post(WM_VORLIN_STOP, -1) && post(WM_VORLIN_LINE_FUNCTION, 1));
    SetEvent(fake_.lineCallRelease);
    EXPECT_EQ(WaitForMultipleObjects(2, done, TRUE, 5000), WAIT_OBJECT_0);
    EXPECT_EQ((std::vector<uint32_t>{codes[0], codes[1], uint32_t(fake_.lineCalls)}),
              (std::vector<uint32_t>{0, ERROR_OPERATION_ABORTED, 1}));
    // The event thread has ended; a new request fails at once.
    ASSERT_EQ(WaitForSingleObject(threads_[ENGINE_EVENT], 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(ExecuteLineFunction(engine_, SETRTS));
    CloseHandle(done[0]);
    CloseHandle(done[1]);
    // Waiting for a line request, the main thread still serves messages sent to it: the
    // request is held until a message sent meanwhile has been answered (or has timed out).
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
    EXPECT_TRUE(ExecuteLineFunction(engine_, CLRRTS));  // requests are still served
    EXPECT_EQ(fake_.commMask, DWORD(EV_CTS | EV_DSR | EV_RLSD));
    // Tried again at the ticks of the one-second timer, not in a busy loop.
    ASSERT_TRUE(PumpUntil([&] { return fake_.waitCalls >= 3; }));
    EXPECT_GE(GetTickCount64() - start, 1500u);
    // Reported once, not at every retry; the same status is not reported again.
    main_.Drain();
    EXPECT_EQ(main_.ioErrors, (std::vector<IoError>{{ERROR_NOT_SUPPORTED, ENGINE_EVENT}}));
    EXPECT_EQ(main_.modemStatuses, (std::vector<DWORD>{MS_CTS_ON}));
    fake_.status = MS_RING_ON;
    EXPECT_TRUE(PumpUntil([&] { return main_.modemStatuses.back() == MS_RING_ON; }));
}

TEST(SubmitSend, AWindowThatIsGoneTakesNothingAndNobodyWaits)
{
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    SetSendWindow(gone);
    EXPECT_EQ(SubmitSend("x", 1, false), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << "and no wait for ever";
    SetSendWindow(nullptr);
    EXPECT_EQ(SubmitSend("x", 1, true), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

} // namespace
