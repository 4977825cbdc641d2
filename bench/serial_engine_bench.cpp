// Throughput of the serial engine's receive path on a virtual null-modem
// cable, beside a raw copy over the same kind of cable.
//
//   serial_engine_bench [megabytes] [engine port] [its far end] [raw port] [its far end]
//
// The far end writes a known pseudo-random stream. For the engine, every
// receive record that reaches the (stand-in) main window is checked against
// the stream and counted; for the reference, a plain overlapped ReadFile
// loop on the other cable reads and checks the same stream. Each line of
// output is one figure. scripts/bench-serial adds a Linux-side raw copy
// (cat of the PTY) over the same cable.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logging/traffic_record.h"
#include "serial/engine.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "shell/messages.h"

namespace {

// The stream: xorshift64*, one byte per step, the same on both sides.
class Stream {
public:
    explicit Stream(uint64_t seed) : state_(seed) {}
    void Fill(uint8_t* out, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            state_ ^= state_ >> 12;
            state_ ^= state_ << 25;
            state_ ^= state_ >> 27;
            out[i] = static_cast<uint8_t>((state_ * 0x2545F4914F6CDD1DULL) >> 56);
        }
    }

private:
    uint64_t state_;
};

constexpr uint64_t kSeed = 0x5EED5EED12345678ULL;

// Counts what arrives and compares it with the stream.
struct Checker {
    Stream expected{kSeed};
    uint64_t received = 0;
    uint64_t corrupted = 0;
    uint64_t records = 0;
    uint8_t scratch[65536];

    void Take(const uint8_t* bytes, size_t count)
    {
        while (count) {
            size_t part = count < sizeof scratch ? count : sizeof scratch;
            expected.Fill(scratch, part);
            for (size_t i = 0; i < part; ++i) corrupted += scratch[i] != bytes[i];
            received += part;
            bytes += part;
            count -= part;
        }
    }
};

DeviceSettings BenchSettings(const char* name)
{
    DeviceSettings s{};
    lstrcpynA(s.portName, name, sizeof s.portName);
    s.dcb.DCBlength = sizeof(DCB);
    s.dcb.BaudRate = 115200;
    s.dcb.ByteSize = 8;
    s.dcb.fBinary = TRUE;
    s.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    s.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    s.dcb.XonLim = 2048;
    s.dcb.XoffLim = 512;
    s.dcb.XonChar = 17;
    s.dcb.XoffChar = 19;
    // The program's default timeouts.
    s.timeouts = COMMTIMEOUTS{100, 50, 100, 50, 100};
    s.inputQueueSize = 2048;
    s.outputQueueSize = 2048;
    return s;
}

// The far end: writes `total` bytes of the stream to its port.
struct FarWriter {
    HANDLE port;
    uint64_t total;
    uint64_t written = 0;
    DWORD error = 0;
};

DWORD WINAPI WriteStream(void* param)
{
    auto* w = static_cast<FarWriter*>(param);
    Stream stream(kSeed);
    std::vector<uint8_t> buffer(65536);
    uint8_t* chunk = buffer.data();
    const size_t chunkSize = buffer.size();
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (w->written < w->total) {
        DWORD part = static_cast<DWORD>(w->total - w->written < chunkSize ? w->total - w->written : chunkSize);
        stream.Fill(chunk, part);
        DWORD done = 0;
        while (done < part) {
            DWORD n = 0;
            ResetEvent(ov.hEvent);
            if (!WriteFile(w->port, chunk + done, part - done, &n, &ov)) {
                if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(w->port, &ov, &n, TRUE)) {
                    w->error = GetLastError();
                    CloseHandle(ov.hEvent);
                    return 1;
                }
            }
            done += n;
        }
        w->written += part;
    }
    CloseHandle(ov.hEvent);
    return 0;
}

bool OpenFarEnd(const char* name, HANDLE* port)
{
    DeviceSettings s = BenchSettings(name);
    *port = INVALID_HANDLE_VALUE;
    if (!OpenPort(s, port)) {
        fprintf(stderr, "cannot open %s: error %lu\n", name, GetLastError());
        return false;
    }
    return true;
}

// --- the engine run ---------------------------------------------------------

Checker* g_engineChecker = nullptr;

LRESULT CALLBACK BenchMainWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_RECORD) {
        auto* record = reinterpret_cast<TrafficRecord*>(lParam);
        if (record && g_engineChecker && record->kind == RECORD_RECEIVE) {
            g_engineChecker->Take(record->data, record->length);
            ++g_engineChecker->records;
        }
        free(record);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

struct RunResult {
    bool ok = false;
    double seconds = 0;
    Checker checker;
};

// Waits until `total` bytes have been checked or nothing has come for 10 s.
template <typename Pump>
void AwaitAll(Checker& checker, uint64_t total, Pump pump)
{
    uint64_t last = 0;
    DWORD lastChange = GetTickCount();
    while (checker.received < total && GetTickCount() - lastChange < 10000) {
        pump();
        if (checker.received != last) {
            last = checker.received;
            lastChange = GetTickCount();
        }
    }
}

bool RunEngine(const char* port, const char* farPort, uint64_t total, RunResult& result)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = BenchMainWindow;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VorlinBenchMain";
    RegisterClassA(&wc);
    HWND main = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
    SetSendWindow(main);
    g_engineChecker = &result.checker;

    SerialEngine engine{};
    engine.port = INVALID_HANDLE_VALUE;
    engine.sink = EngineSink{main, nullptr, nullptr};
    DeviceSettings settings = BenchSettings(port);
    HANDLE peer = INVALID_HANDLE_VALUE;
    if (!OpenPort(settings, &engine.port)) {
        fprintf(stderr, "cannot open %s: error %lu\n", port, GetLastError());
        return false;
    }
    if (!OpenFarEnd(farPort, &peer) || !StartEngine(engine)) return false;

    FarWriter writer{peer, total};
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, WriteStream, &writer, 0, nullptr);
    AwaitAll(result.checker, total, [] {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    });
    result.seconds = (GetTickCount() - start) / 1000.0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    StopEngine(engine);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    ClosePort(&settings.flags, &engine.port);
    CloseHandle(peer);
    g_engineChecker = nullptr;
    SetSendWindow(nullptr);
    DestroyWindow(main);
    if (writer.error) fprintf(stderr, "far end write failed: error %lu\n", writer.error);
    result.ok = writer.error == 0;
    return true;
}

// --- the raw reference ------------------------------------------------------

bool RunRaw(const char* port, const char* farPort, uint64_t total, RunResult& result)
{
    DeviceSettings settings = BenchSettings(port);
    HANDLE reader = INVALID_HANDLE_VALUE;
    HANDLE peer = INVALID_HANDLE_VALUE;
    if (!OpenFarEnd(port, &reader) || !OpenFarEnd(farPort, &peer)) return false;
    FarWriter writer{peer, total};
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, WriteStream, &writer, 0, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    static uint8_t buffer[4096];
    AwaitAll(result.checker, total, [&] {
        DWORD n = 0;
        ResetEvent(ov.hEvent);
        if (!ReadFile(reader, buffer, sizeof buffer, &n, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return;
            if (WaitForSingleObject(ov.hEvent, 1000) != WAIT_OBJECT_0) {
                CancelIo(reader);
            }
            if (!GetOverlappedResult(reader, &ov, &n, TRUE)) n = 0;
        }
        result.checker.Take(buffer, n);
        ++result.checker.records;
    });
    result.seconds = (GetTickCount() - start) / 1000.0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(ov.hEvent);
    ClosePort(&settings.flags, &reader);
    CloseHandle(peer);
    result.ok = writer.error == 0;
    return true;
}

void Report(const char* name, const RunResult& r, uint64_t total)
{
    double mb = r.checker.received / 1e6;
    printf("%s: %.1f MB in %.2f s = %.2f MB/s (%llu reads)\n", name, mb, r.seconds,
           r.seconds > 0 ? mb / r.seconds : 0.0, static_cast<unsigned long long>(r.checker.records));
    printf("%s: bytes lost %llu, corrupted %llu\n", name,
           static_cast<unsigned long long>(total > r.checker.received ? total - r.checker.received : 0),
           static_cast<unsigned long long>(r.checker.corrupted));
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 50;
    const char* enginePort = argc > 2 ? argv[2] : "COM13";
    const char* engineFar = argc > 3 ? argv[3] : "COM14";
    const char* rawPort = argc > 4 ? argv[4] : "COM15";
    const char* rawFar = argc > 5 ? argv[5] : "COM16";
    uint64_t total = megabytes * 1000 * 1000;

    static RunResult engine;
    static RunResult raw;
    if (!RunEngine(enginePort, engineFar, total, engine)) return 2;
    if (!RunRaw(rawPort, rawFar, total, raw)) return 2;

    Report("engine", engine, total);
    Report("raw ReadFile", raw, total);
    double engineRate = engine.seconds > 0 ? engine.checker.received / 1e6 / engine.seconds : 0;
    double rawRate = raw.seconds > 0 ? raw.checker.received / 1e6 / raw.seconds : 0;
    printf("engine / raw ReadFile: %.2f\n", rawRate > 0 ? engineRate / rawRate : 0.0);
    bool clean = engine.ok && raw.ok && engine.checker.received == total && engine.checker.corrupted == 0 &&
                 raw.checker.received == total && raw.checker.corrupted == 0;
    return clean ? 0 : 1;
}
