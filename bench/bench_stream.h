// What the throughput benches share: a known pseudo-random stream, a far end
// that writes it, a checker that counts and compares what arrives, and the
// lines they print.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "serial/device_settings.h"
#include "serial/port.h"

namespace bench {

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

inline constexpr uint64_t kSeed = 0x5EED5EED12345678ULL;

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

inline DeviceSettings BenchSettings(const char* name)
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

inline DWORD WINAPI WriteStream(void* param)
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

inline bool OpenFarEnd(const char* name, HANDLE* port)
{
    DeviceSettings s = BenchSettings(name);
    *port = INVALID_HANDLE_VALUE;
    if (!OpenPort(s, port)) {
        fprintf(stderr, "cannot open %s: error %lu\n", name, GetLastError());
        return false;
    }
    return true;
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

// One overlapped read of up to 4096 bytes (given up after a second), checked.
inline void ReadAndCheck(HANDLE reader, OVERLAPPED& ov, Checker& checker)
{
    static uint8_t buffer[4096];
    DWORD n = 0;
    ResetEvent(ov.hEvent);
    if (!ReadFile(reader, buffer, sizeof buffer, &n, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return;
        if (WaitForSingleObject(ov.hEvent, 1000) != WAIT_OBJECT_0) CancelIo(reader);
        // A cancelled read keeps what it had read.
        if (!GetOverlappedResult(reader, &ov, &n, TRUE) && GetLastError() != ERROR_OPERATION_ABORTED) n = 0;
    }
    checker.Take(buffer, n);
    ++checker.records;
}

inline void Report(const char* name, const RunResult& r, uint64_t total)
{
    double mb = r.checker.received / 1e6;
    printf("%s: %.1f MB in %.2f s = %.2f MB/s (%llu reads)\n", name, mb, r.seconds,
           r.seconds > 0 ? mb / r.seconds : 0.0, static_cast<unsigned long long>(r.checker.records));
    printf("%s: bytes lost %llu, corrupted %llu\n", name,
           static_cast<unsigned long long>(total > r.checker.received ? total - r.checker.received : 0),
           static_cast<unsigned long long>(r.checker.corrupted));
}

} // namespace bench
