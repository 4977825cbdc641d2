// The serial I/O engine: a writer, a reader and an event thread on the open
// port.
//
// Ownership and threads:
// - The SerialEngine block belongs to the main thread. Each engine thread
//   gets its own copy of it (and of the device-call table pointer) at start
//   and never looks at the original again.
// - Each thread owns its OVERLAPPED, its event, its buffer and its counter.
//   Nothing writable is shared; work crosses threads only as messages.
// - A SendRequest belongs to the writer from the moment its 0x7422 post
//   succeeds: the writer sets its event (if any) and frees it. If the post
//   fails, the main window completes and frees it.
// - Line and device-control requests (0x7427, 0x7426) belong to the main
//   thread, which waits for their event; the event thread only fills them.
// - Records are posted (PostLogRecord, PostTrafficRecord), never sent, so
//   no engine thread ever waits for the main thread.
// - No I/O buffer, OVERLAPPED or event is freed or reused while its I/O may
//   still be pending: after CancelIo each thread waits for the I/O to end.
#include "serial/engine.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/owners.h"
#include "base/worker_thread.h"
#include "logging/traffic_record.h"
#include "serial/device_calls.h"
#include "serial/port.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr UINT kModemPollMs = 1000;
constexpr DWORD kReadyWaitMs = 2000;
constexpr DWORD kStopPollMs = 200;
constexpr DWORD kSendTrailer = 3;
// How long the event thread waits for a cancelled WaitCommEvent before it
// also clears the comm mask, which ends the wait on every driver (Wine does
// not cancel a pending WaitCommEvent with CancelIo), and then in all.
constexpr DWORD kCancelGraceMs = 200;
constexpr DWORD kCancelLimitMs = 5000;
// A read that keeps failing at once is retried no faster than this.
constexpr DWORD kReadRetryMs = 50;
// A read error that has repeated this long means the port is gone, whatever
// the error (a driver may answer anything once its device has left).
constexpr ULONGLONG kLostAfterMs = 1000;

// What a thread receives: a copy of the control block and the device calls.
struct ThreadStart {
    SerialEngine engine;
    const DeviceCalls* calls;
};

struct ThreadContext {
    HANDLE port;
    const DeviceCalls& calls;
    EngineSink sink;
    uint32_t run;
};

// One error failing call after call. A port that fails every call would
// otherwise flood the main window with the same report many times a second.
struct ErrorRun {
    DWORD error = 0;        // 0: the last call succeeded
    ULONGLONG since = 0;    // tick of the run's first failure
    bool lostReported = false;
};

ThreadContext ContextOf(const ThreadStart& start)
{
    return {start.engine.port, *start.calls, start.engine.sink, start.engine.run};
}

ThreadStart TakeStart(void* param)
{
    auto* start = static_cast<ThreadStart*>(param);
    ThreadStart copy = *start;
    delete start;
    return copy;
}

// A null sink window would post into this thread's own queue.
void PostToSink(const ThreadContext& self, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (self.sink.window) PostMessageW(self.sink.window, message, wParam, lParam);
}

void PostIoError(const ThreadContext& self, DWORD error, EngineThread thread)
{
    PostToSink(self, WM_VORLIN_IO_ERROR, error, thread);
}

// Reports the first failure of a run of one error, and the port as lost once
// per run: at once for a device-gone error, or when `repeatsMeanLost` and the
// error has repeated for kLostAfterMs.
void ReportError(const ThreadContext& self, ErrorRun& run, DWORD error, EngineThread thread, bool repeatsMeanLost)
{
    ULONGLONG now = GetTickCount64();
    if (error != run.error) {
        run = ErrorRun{error, now, false};
        PostIoError(self, error, thread);
    }
    if (run.lostReported) return;
    if (IsDeviceGoneError(error) || (repeatsMeanLost && now - run.since >= kLostAfterMs)) {
        run.lostReported = true;
        PostToSink(self, WM_VORLIN_PORT_LOST, error, self.run);
    }
}

void PostReady(const ThreadContext& self, EngineThread thread) { PostToSink(self, WM_VORLIN_THREAD_READY, 0, thread); }

// One event, both forms of its record: the log form first.
void Record(const ThreadContext& self, LogRecordKind logKind, RecordKind kind, uint32_t number, const uint8_t* bytes,
            uint32_t count)
{
    PostLogRecord(logKind, number, bytes, count);
    PostTrafficRecord(self.sink.window, kind, number, count, bytes);
}

enum class Control { None, Stop, Cancel };

// Takes the stop, cancel and flush messages out of the queue (others stay).
// Stop and cancel cancel this thread's pending I/O on the port.
Control CheckControlMessages(const ThreadContext& self)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_VORLIN_STOP, WM_VORLIN_FLUSH_PORT, PM_REMOVE)) {
        if (msg.message == WM_VORLIN_FLUSH_PORT) continue;
        if (self.calls.cancelIo) self.calls.cancelIo(self.calls.context, self.port);
        return msg.message == WM_VORLIN_STOP ? Control::Stop : Control::Cancel;
    }
    return Control::None;
}

// Waits until the pending I/O on `overlapped` has ended (cancelled or not)
// and returns its result; afterwards its buffer and event may be reused.
bool AwaitEnd(const ThreadContext& self, OVERLAPPED& overlapped, DWORD* transferred)
{
    *transferred = 0;
    return self.calls.getOverlappedResult(self.calls.context, self.port, &overlapped, transferred, TRUE) != FALSE;
}

void PrepareOverlapped(OVERLAPPED& overlapped)
{
    HANDLE event = overlapped.hEvent;
    memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = event;
    ResetEvent(event);
}

DWORD WaitForIoOrMessage(HANDLE event)
{
    return MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLEVENTS);
}

// --- writer ---------------------------------------------------------------

enum class Outcome { Continue, Stop };

struct Writer {
    ThreadContext self;
    OVERLAPPED overlapped;
    uint32_t number;
    ErrorRun errors;
};

void RecordWritten(const Writer& w, const SendRequest& request, DWORD written)
{
    if (written > request.count) written = request.count;
    if (written >= 1) Record(w.self, LOGREC_SEND, RECORD_SEND, w.number, request.bytes, written);
    if (request.count - written >= 1)
        Record(w.self, LOGREC_SEND_ERROR, RECORD_SEND_ERROR, w.number, request.bytes + written,
               request.count - written);
}

Outcome WriteFailed(Writer& w, const SendRequest& request, DWORD error)
{
    Record(w.self, LOGREC_SEND_ERROR, RECORD_SEND_ERROR, w.number, request.bytes, request.count);
    ReportError(w.self, w.errors, error, ENGINE_WRITER, false);
    if (error == ERROR_INVALID_HANDLE) return Outcome::Stop;
    RecoverAfterWriteError(w.self.port);
    return Outcome::Continue;
}

Outcome Write(Writer& w, const SendRequest& request)
{
    const ThreadContext& self = w.self;
    PrepareOverlapped(w.overlapped);
    DWORD written = 0;
    if (self.calls.writeFile(self.calls.context, self.port, request.bytes, request.count, &written, &w.overlapped)) {
        w.errors.error = 0;
        RecordWritten(w, request, written);
        return Outcome::Continue;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return WriteFailed(w, request, error);

    for (;;) {
        DWORD wait = WaitForIoOrMessage(w.overlapped.hEvent);
        if (wait == WAIT_OBJECT_0) {
            if (self.calls.getOverlappedResult(self.calls.context, self.port, &w.overlapped, &written, FALSE)) {
                w.errors.error = 0;
                RecordWritten(w, request, written);
                return Outcome::Continue;
            }
            error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE) continue;
            return WriteFailed(w, request, error);
        }
        if (wait == WAIT_OBJECT_0 + 1) {
            // A cancel makes the write end with an error, seen above.
            if (CheckControlMessages(self) != Control::Stop) continue;
            AwaitEnd(self, w.overlapped, &written);
            // Discarded whole, even if part of it has left the port.
            Record(self, LOGREC_DISCARD, RECORD_DISCARD, w.number, request.bytes, request.count);
            return Outcome::Stop;
        }
        // The wait itself failed while the write is pending: end the write
        // before its request is recorded and freed.
        error = GetLastError();
        if (self.calls.cancelIo) self.calls.cancelIo(self.calls.context, self.port);
        AwaitEnd(self, w.overlapped, &written);
        return WriteFailed(w, request, error);
    }
}

void CompleteRequest(SendRequest* request)
{
    if (request->done) SetEvent(request->done);
    free(request);
}

// Requests still queued when the writer ends are recorded as discarded.
void DiscardQueuedRequests(const ThreadContext& self, uint32_t number)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_VORLIN_SEND, WM_VORLIN_SEND, PM_REMOVE)) {
        auto* request = reinterpret_cast<SendRequest*>(msg.lParam);
        if (!request) continue;
        Record(self, LOGREC_DISCARD, RECORD_DISCARD, number++, request->bytes, request->count);
        CompleteRequest(request);
    }
}

DWORD WINAPI WriterThread(void* param)
{
    ThreadStart start = TakeStart(param);
    MakeMessageQueue();
    Writer w{ContextOf(start), {}, 1, {}};
    w.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!w.overlapped.hEvent) {
        PostIoError(w.self, GetLastError(), ENGINE_WRITER);
        DiscardQueuedRequests(w.self, w.number);
        return 0;
    }
    PostReady(w.self, ENGINE_WRITER);
    SignalWorkerReady();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_VORLIN_STOP) break;
        if (msg.message != WM_VORLIN_SEND || !msg.lParam) continue;
        auto* request = reinterpret_cast<SendRequest*>(msg.lParam);
        Outcome outcome = Write(w, *request);
        CompleteRequest(request);
        ++w.number;
        if (outcome == Outcome::Stop) break;
    }
    CloseHandle(w.overlapped.hEvent);
    DiscardQueuedRequests(w.self, w.number);
    return 0;
}

// --- reader ---------------------------------------------------------------

struct Reader {
    ThreadContext self;
    OVERLAPPED overlapped;
    uint8_t* buffer;
    uint32_t number;
    ErrorRun errors;
};

// A read that completed (even with 0 bytes) ends a run of errors.
void Deliver(Reader& r, DWORD count)
{
    r.errors.error = 0;
    if (count == 0) return;
    Record(r.self, LOGREC_RECEIVE, RECORD_RECEIVE, r.number, r.buffer, count);
    ++r.number;
    if (r.self.sink.relay) r.self.sink.relay(r.self.sink.context, r.buffer, count);
}

Outcome ReadFailed(Reader& r, DWORD error)
{
    ReportError(r.self, r.errors, error, ENGINE_READER, true);
    if (error == ERROR_INVALID_HANDLE) return Outcome::Stop;
    RecoverAfterReadError(r.self.port);
    // Do not spin on a port that fails every read at once; a stop still
    // wakes the thread at once.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kReadRetryMs, QS_POSTMESSAGE);
    return Outcome::Continue;
}

// After a stop or cancel request: the read ends (cancelled, or completed in
// the meantime); bytes it did read are delivered, not lost.
Outcome FinishInterruptedRead(Reader& r, Control control)
{
    DWORD count = 0;
    if (AwaitEnd(r.self, r.overlapped, &count)) Deliver(r, count);
    return control == Control::Stop ? Outcome::Stop : Outcome::Continue;
}

Outcome Read(Reader& r)
{
    const ThreadContext& self = r.self;
    PrepareOverlapped(r.overlapped);
    DWORD count = 0;
    if (self.calls.readFile(self.calls.context, self.port, r.buffer, kReadSize, &count, &r.overlapped)) {
        Deliver(r, count);
        return Outcome::Continue;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return ReadFailed(r, error);

    for (;;) {
        DWORD wait = WaitForIoOrMessage(r.overlapped.hEvent);
        if (wait == WAIT_OBJECT_0) {
            if (self.calls.getOverlappedResult(self.calls.context, self.port, &r.overlapped, &count, FALSE)) {
                Deliver(r, count);
                return Outcome::Continue;
            }
            error = GetLastError();
            if (error != ERROR_IO_INCOMPLETE) return ReadFailed(r, error);
            Control control = CheckControlMessages(self);
            if (control != Control::None) return FinishInterruptedRead(r, control);
            continue;
        }
        if (wait == WAIT_FAILED) PostIoError(self, GetLastError(), ENGINE_READER);
        Control control = CheckControlMessages(self);
        if (control != Control::None) return FinishInterruptedRead(r, control);
        // Woken by some other message: the read is still pending, so keep
        // waiting on it (a second read on the same OVERLAPPED is no option).
        if (wait == WAIT_FAILED) Sleep(kReadRetryMs);
    }
}

DWORD WINAPI ReaderThread(void* param)
{
    ThreadStart start = TakeStart(param);
    MakeMessageQueue();
    Reader r{ContextOf(start), {}, nullptr, 1, {}};
    r.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    r.buffer = static_cast<uint8_t*>(malloc(kReadSize));
    if (!r.overlapped.hEvent || !r.buffer) {
        PostIoError(r.self, r.buffer ? GetLastError() : ERROR_OUTOFMEMORY, ENGINE_READER);
        if (r.overlapped.hEvent) CloseHandle(r.overlapped.hEvent);
        free(r.buffer);
        return 0;
    }
    PostReady(r.self, ENGINE_READER);
    SignalWorkerReady();

    for (;;) {
        if (Read(r) == Outcome::Stop) break;
        if (CheckControlMessages(r.self) == Control::Stop) break;
    }
    CloseHandle(r.overlapped.hEvent);
    free(r.buffer);
    return 0;
}

// --- event thread ---------------------------------------------------------

// Heap-held: if a cancelled wait never ends, its OVERLAPPED and event must
// outlive the thread rather than be written into freed memory.
struct CommWait {
    OVERLAPPED overlapped;
    DWORD mask;
};

struct EventWatcher {
    ThreadContext self;
    CommWait* wait;
    bool pending;
    bool retryAtTick;
    ErrorRun errors;
    DWORD lastStatus;
};

void ReportStatus(EventWatcher& e)
{
    DWORD status = 0;
    if (!e.self.calls.getCommModemStatus(e.self.calls.context, e.self.port, &status)) return;
    PostToSink(e.self, WM_VORLIN_MODEM_STATUS, status, 0);
    e.lastStatus = status;
}

void PollStatus(EventWatcher& e)
{
    DWORD status = 0;
    if (!e.self.calls.getCommModemStatus(e.self.calls.context, e.self.port, &status)) return;
    if (status == e.lastStatus) return;
    PostToSink(e.self, WM_VORLIN_MODEM_STATUS, status, 0);
    e.lastStatus = status;
}

// Nothing is pending, so there is nothing to wait on: try again at the next
// tick of the timer rather than at once. Many ports never support the wait
// (a plain PTY), so only a device-gone error, not a repeat, means the port
// is lost.
void CommWaitFailed(EventWatcher& e, DWORD error)
{
    ReportError(e.self, e.errors, error, ENGINE_EVENT, false);
    e.retryAtTick = true;
}

void StartCommWait(EventWatcher& e)
{
    PrepareOverlapped(e.wait->overlapped);
    e.wait->mask = 0;
    if (e.self.calls.waitCommEvent(e.self.calls.context, e.self.port, &e.wait->mask, &e.wait->overlapped)) {
        ReportStatus(e);
        e.errors.error = 0;
        return;
    }
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        e.pending = true;
        return;
    }
    CommWaitFailed(e, error);
}

// False when the thread is to end.
bool AwaitCommEvent(EventWatcher& e)
{
    DWORD wait = WaitForIoOrMessage(e.wait->overlapped.hEvent);
    if (wait == WAIT_OBJECT_0) {
        DWORD ignored;
        if (e.self.calls.getOverlappedResult(e.self.calls.context, e.self.port, &e.wait->overlapped, &ignored, FALSE)) {
            e.pending = false;
            e.errors.error = 0;
            ReportStatus(e);
            return true;
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return true;
        // The wait has ended, if with an error: the thread goes on serving
        // requests and tries again at the next tick.
        e.pending = false;
        CommWaitFailed(e, error);
        return true;
    }
    if (wait == WAIT_FAILED) {
        PostIoError(e.self, GetLastError(), ENGINE_EVENT);
        return false;
    }
    return true;
}

// Runs every queued request; false on a stop request.
bool ServeRequests(EventWatcher& e, UINT_PTR timer)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        switch (msg.message) {
        case WM_VORLIN_LINE_FUNCTION:
            if (auto* code = reinterpret_cast<uint32_t*>(msg.lParam)) *code = RunLineFunction(e.self.port, *code);
            if (msg.wParam) SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
            break;
        case WM_VORLIN_ESCAPE_REQUEST:
            if (auto* request = reinterpret_cast<EscapeRequest*>(msg.lParam)) RunIoControl(e.self.port, request);
            if (msg.wParam) SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
            break;
        case WM_TIMER:
            if (msg.hwnd || msg.wParam != timer) break;
            PollStatus(e);
            e.retryAtTick = false;
            break;
        case WM_VORLIN_STOP:
            if (e.self.calls.cancelIo) e.self.calls.cancelIo(e.self.calls.context, e.self.port);
            return false;
        default:
            break;
        }
    }
    return true;
}

// Ends a pending WaitCommEvent. True when it has ended, so that its
// OVERLAPPED and event may go.
bool EndCommWait(EventWatcher& e)
{
    HANDLE event = e.wait->overlapped.hEvent;
    if (e.self.calls.cancelIo) e.self.calls.cancelIo(e.self.calls.context, e.self.port);
    if (WaitForSingleObject(event, kCancelGraceMs) != WAIT_OBJECT_0) {
        e.self.calls.setCommMask(e.self.calls.context, e.self.port, 0);
        if (WaitForSingleObject(event, kCancelLimitMs) != WAIT_OBJECT_0) return false;
    }
    DWORD ignored;
    e.self.calls.getOverlappedResult(e.self.calls.context, e.self.port, &e.wait->overlapped, &ignored, TRUE);
    return true;
}

// The thread does not answer requests queued behind its end; each is
// completed with an error so that no sender waits for ever.
void FailQueuedRequests()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_VORLIN_ESCAPE_REQUEST, WM_VORLIN_LINE_FUNCTION, PM_REMOVE)) {
        if (msg.message == WM_VORLIN_LINE_FUNCTION) {
            if (auto* code = reinterpret_cast<uint32_t*>(msg.lParam)) *code = ERROR_OPERATION_ABORTED;
        } else if (auto* request = reinterpret_cast<EscapeRequest*>(msg.lParam)) {
            request->error = ERROR_OPERATION_ABORTED;
        }
        if (msg.wParam) SetEvent(reinterpret_cast<HANDLE>(msg.wParam));
    }
}

DWORD WINAPI EventThread(void* param)
{
    ThreadStart start = TakeStart(param);
    MakeMessageQueue();
    EventWatcher e{ContextOf(start), new (std::nothrow) CommWait{}, false, false, {}, 0};
    if (e.wait) e.wait->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!e.wait || !e.wait->overlapped.hEvent) {
        PostIoError(e.self, e.wait ? GetLastError() : ERROR_OUTOFMEMORY, ENGINE_EVENT);
        delete e.wait;
        FailQueuedRequests();
        return 0;
    }
    e.self.calls.setCommMask(e.self.calls.context, e.self.port, EV_CTS | EV_DSR | EV_RLSD);
    UINT_PTR timer = SetTimer(nullptr, 0, kModemPollMs, nullptr);
    DWORD status = 0;
    e.self.calls.getCommModemStatus(e.self.calls.context, e.self.port, &status);
    PostToSink(e.self, WM_VORLIN_MODEM_STATUS, status, 0);
    e.lastStatus = status;
    PostReady(e.self, ENGINE_EVENT);
    SignalWorkerReady();

    for (;;) {
        if (!e.pending && !e.retryAtTick) StartCommWait(e);
        if (e.pending) {
            if (!AwaitCommEvent(e)) break;
        } else if (e.retryAtTick) {
            WaitMessage();
        }
        if (!ServeRequests(e, timer)) break;
    }

    bool ended = !e.pending || EndCommWait(e);
    FailQueuedRequests();
    if (timer) KillTimer(nullptr, timer);
    if (ended) {
        CloseHandle(e.wait->overlapped.hEvent);
        delete e.wait;
    }
    return 0;
}

LPTHREAD_START_ROUTINE const kThreadProcs[ENGINE_THREADS] = {WriterThread, ReaderThread, EventThread};

// --- main thread side -----------------------------------------------------

// Set by the main thread, read by any thread that sends.
std::atomic<HWND> g_sendWindow{nullptr};

bool HasEnded(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

// Waits for a request's event, or for the thread that should answer it to
// end. True when the request was answered.
bool AwaitAnswer(HANDLE done, HANDLE thread)
{
    HANDLE handles[2] = {done, thread};
    WaitServingSentMessages(handles, thread ? 2 : 1, INFINITE);
    return WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
}

void StopThread(SerialEngine& engine, int index)
{
    if (!engine.thread[index]) return;
    do {
        PostThreadMessageW(engine.threadId[index], WM_VORLIN_STOP, 0, 0);
    } while (WaitServingSentMessages(&engine.thread[index], 1, kStopPollMs) != 0 &&
             !HasEnded(engine.thread[index]));
    CloseHandle(engine.thread[index]);
    engine.thread[index] = nullptr;
}

} // namespace

bool StartEngine(SerialEngine& engine)
{
    for (HANDLE thread : engine.thread)
        if (thread) return false;
    if (++engine.run == 0) ++engine.run;
    for (int i = 0; i < ENGINE_THREADS; ++i) {
        // Each thread says it is ready once its queue exists, so that posts to
        // it cannot fail; one that never says so is still stopped as usual.
        auto* start = new (std::nothrow) ThreadStart{engine, &GetDeviceCalls()};
        DWORD id = 0;
        HANDLE thread = start ? StartWorkerThread(kThreadProcs[i], start, kReadyWaitMs, &id) : nullptr;
        if (!thread) {
            DWORD error = start ? GetLastError() : ERROR_OUTOFMEMORY;
            delete start;
            StopEngine(engine);
            SetLastError(error);
            return false;
        }
        engine.thread[i] = thread;
        engine.threadId[i] = id;
    }
    // The ready notices were posted before the threads said so; when the
    // sink is this thread's own window they are taken here, not left for it.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_VORLIN_THREAD_READY, WM_VORLIN_THREAD_READY, PM_REMOVE)) {
    }
    return true;
}

void StopEngine(SerialEngine& engine)
{
    for (int i = 0; i < ENGINE_THREADS; ++i) StopThread(engine, i);
}

// ERROR_NO_SUCH_DEVICE, which the mingw-w64 headers lack.
constexpr DWORD kErrorNoSuchDevice = 433;

bool IsDeviceGoneError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:         // a USB adapter pulled out under an open handle
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case kErrorNoSuchDevice:
    case ERROR_NOT_READY:             // Wine: status calls on a PTY whose far side is gone
    case ERROR_BROKEN_PIPE:           // Wine: reads on such a PTY
        return true;
    default:
        return false;
    }
}

bool IsWriterRunning(const SerialEngine& engine)
{
    return engine.thread[ENGINE_WRITER] && !HasEnded(engine.thread[ENGINE_WRITER]);
}

LRESULT ForwardSendRequest(SerialEngine& engine, SendRequest* request, HANDLE* writerSlot)
{
    if (!request) return 0;
    if (IsWriterRunning(engine)) {
        // Taken before the post: from then on the request is the writer's.
        HANDLE writer = nullptr;
        if (writerSlot && request->done)
            DuplicateHandle(GetCurrentProcess(), engine.thread[ENGINE_WRITER], GetCurrentProcess(), &writer,
                            SYNCHRONIZE, FALSE, 0);
        if (PostThreadMessageW(engine.threadId[ENGINE_WRITER], WM_VORLIN_SEND, 0,
                               reinterpret_cast<LPARAM>(request))) {
            if (writerSlot) *writerSlot = writer;
            return 1;
        }
        if (writer) CloseHandle(writer);
    }
    CompleteRequest(request);
    return 0;
}

void CancelWrite(SerialEngine& engine)
{
    if (engine.thread[ENGINE_WRITER]) PostThreadMessageW(engine.threadId[ENGINE_WRITER], WM_VORLIN_CANCEL_WRITE, 0, 0);
}

namespace {

// Runs one request on the event thread and waits for it to be answered (or
// for the thread's end): 0 when it was answered, else why not.
DWORD RunOnEventThread(SerialEngine& engine, UINT message, void* request)
{
    HANDLE thread = engine.thread[ENGINE_EVENT];
    if (!thread) return ERROR_INVALID_HANDLE;
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return GetLastError();
    if (!PostThreadMessageW(engine.threadId[ENGINE_EVENT], message, reinterpret_cast<WPARAM>(done.get()),
                            reinterpret_cast<LPARAM>(request)))
        return GetLastError();
    return AwaitAnswer(done.get(), thread) ? 0 : ERROR_OPERATION_ABORTED;
}

} // namespace

BOOL ExecuteLineFunction(SerialEngine& engine, DWORD code)
{
    uint32_t request = code;  // the event thread puts its answer in its place
    return RunOnEventThread(engine, WM_VORLIN_LINE_FUNCTION, &request) == 0 && request == 0;
}

BOOL ExecuteIoControl(SerialEngine& engine, EscapeRequest* request)
{
    if (!request) return FALSE;
    if (DWORD error = RunOnEventThread(engine, WM_VORLIN_ESCAPE_REQUEST, request)) request->error = error;
    return request->error == 0;
}

bool SendRequestSize(uint64_t count, size_t* size)
{
    // Event handle, count, the bytes, then 3 zero bytes; never less than
    // the record itself.
    constexpr size_t header = offsetof(SendRequest, bytes);
    if (count > SIZE_MAX - header - kSendTrailer) return false;
    size_t total = header + static_cast<size_t>(count) + kSendTrailer;
    *size = total < sizeof(SendRequest) ? sizeof(SendRequest) : total;
    return true;
}

DWORD SubmitSend(const void* bytes, uint32_t count, bool asynchronous)
{
    if (!bytes && count) return ERROR_INVALID_PARAMETER;
    size_t size;
    if (!SendRequestSize(count, &size)) return ERROR_OUTOFMEMORY;
    UniqueHandle done;
    if (!asynchronous) {
        done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!done) return GetLastError();
    }
    HeapBlock<SendRequest> request(static_cast<SendRequest*>(calloc(1, size)));
    if (!request) return ERROR_OUTOFMEMORY;
    request->done = done.get();
    request->count = count;
    if (count) memcpy(request->bytes, bytes, count);

    HWND main = g_sendWindow;
    if (!main) return ERROR_INVALID_WINDOW_HANDLE;
    // The main window owns the request once it has taken the message (it
    // hands it to the writer or completes it at once); a window that is gone
    // took nothing, and then nothing is waited for.
    HANDLE writer = nullptr;
    DWORD_PTR result = 0;
    SendRequest* handed = request.release();
    if (!SendMessageTimeoutW(main, WM_VORLIN_SEND, asynchronous ? 0 : reinterpret_cast<WPARAM>(&writer),
                             reinterpret_cast<LPARAM>(handed), SMTO_NORMAL, INFINITE, &result)) {
        free(handed);
        return ERROR_INVALID_WINDOW_HANDLE;
    }
    if (!asynchronous) {
        UniqueHandle writerThread(writer);
        AwaitAnswer(done.get(), writerThread.get());
    }
    return 0;
}

void SetSendWindow(HWND window) { g_sendWindow = window; }
