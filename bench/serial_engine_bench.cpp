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
#include "bench/bench_stream.h"
#include "bench/engine_run.h"
#include "shell/messages.h"

using namespace bench;

namespace {

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
    AwaitAll(result.checker, total, [&] { ReadAndCheck(reader, ov, result.checker); });
    result.seconds = (GetTickCount() - start) / 1000.0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(ov.hEvent);
    ClosePort(&settings.flags, &reader);
    CloseHandle(peer);
    result.ok = writer.error == 0;
    return true;
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
