// The serial engine's receive path on its own: the engine on one end of a
// cable, records checked by a stand-in main window, the far end writing the
// stream. The reference rate of the benches that sit on top of the engine.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_stream.h"
#include "logging/traffic_record.h"
#include "serial/engine.h"
#include "serial/port.h"

namespace bench {

// The far end writes `total` bytes of the stream while this thread pumps
// messages (what arrives is checked by whoever receives them) until all has
// come or nothing has for a while; the far end's write error, 0 if none.
inline DWORD WriteAndPump(HANDLE peer, uint64_t total, RunResult& result)
{
    FarWriter writer{peer, total};
    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 0, WriteStream, &writer, 0, nullptr);
    AwaitAll(result.checker, total, [] {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    });
    result.seconds = (GetTickCount() - start) / 1000.0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (writer.error) fprintf(stderr, "far end write failed: error %lu\n", writer.error);
    return writer.error;
}

inline Checker* g_engineChecker = nullptr;

inline LRESULT CALLBACK BenchMainWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
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

inline bool RunEngine(const char* port, const char* farPort, uint64_t total, RunResult& result)
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

    DWORD writeError = WriteAndPump(peer, total, result);

    StopEngine(engine);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    ClosePort(&settings.flags, &engine.port);
    CloseHandle(peer);
    g_engineChecker = nullptr;
    SetSendWindow(nullptr);
    DestroyWindow(main);
    result.ok = writeError == 0;
    return true;
}

} // namespace bench
