// The test side of the virtual null-modem cables (scripts/vports and the
// modem-line library): the far end of a cable, a stand-in main window that
// collects what the engine posts, and port settings for the tests.
//
// Cables: COM5-COM6 and COM7-COM8 (serial engine and port tests),
// COM9-COM10 (dialogs), COM11-COM12 (end to end), COM13-COM14 and
// COM15-COM16 (benches). Lines are wired RTS -> CTS, DTR -> DSR and DCD.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/device_settings.h"
#include "serial/engine.h"

// The far end: the peer port, opened through Wine like any COM port.
class FarEnd {
public:
    FarEnd() = default;
    ~FarEnd() { Close(); }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    // Opens and configures the port (9600 8N1, DTR and RTS on) and empties
    // both directions; false with the last error set.
    bool Open(const char* name);
    void Close();

    bool Write(const void* bytes, size_t count) { return WritePort(port_, bytes, count); }
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Writes everything through an overlapped port handle (any port, not only a far end).
    static bool WritePort(HANDLE port, const void* bytes, size_t count);
    // Reads until `count` bytes have come or the time is up.
    std::string Read(size_t count, DWORD timeoutMs);
    // Reads until nothing more comes for quietMs (or limitMs have passed).
    std::string Drain(DWORD quietMs, DWORD limitMs = 10000);

    // EscapeCommFunction on this end (SETRTS, CLRDTR, SETBREAK, ...).
    bool Line(DWORD code);
    // CTS, DSR, RING and RLSD as this end sees them (MS_*_ON bits).
    DWORD ModemStatus();
    // Waits for a comm event in `mask` (EV_BREAK, EV_CTS, ...); the events seen, or 0.
    DWORD WaitEvent(DWORD mask, DWORD timeoutMs);

private:
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

// One display record as the main window received it.
struct SeenRecord {
    uint32_t kind;
    uint32_t number;
    std::string bytes;
};

// A hidden window that stands in for the main window: it becomes the
// process's main window (GetMainWindow) while it lives, hands 0x7422,
// 0x7411, 0x7426 and 0x7427 to the engine as the real one does, and keeps
// what the engine posts.
class MainWindowStub {
public:
    explicit MainWindowStub(SerialEngine& engine);
    ~MainWindowStub();
    MainWindowStub(const MainWindowStub&) = delete;
    MainWindowStub& operator=(const MainWindowStub&) = delete;

    HWND Handle() const { return hwnd_; }
    // Dispatches this thread's messages until the condition holds; false on timeout.
    bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
    // Dispatches for a while (to see that nothing more comes).
    void PumpFor(DWORD ms);

    std::vector<SeenRecord> records;
    std::vector<DWORD> modemStatuses;
    std::vector<std::pair<DWORD, LPARAM>> ioErrors;   // error, thread index
    int readyNotices = 0;

    // Records of one kind, in arrival order.
    std::vector<SeenRecord> OfKind(uint32_t kind) const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    SerialEngine& engine_;
    HWND hwnd_ = nullptr;
    HWND previous_ = nullptr;
};

// Settings for a test port: 9600 8N1, DTR and RTS on, the default timeouts
// (interval 100, read 50 x n + 100, write 50 x n + 100), 2048-byte queues.
DeviceSettings TestPortSettings(const char* name);

// A fresh SerialEngine block with the port closed.
SerialEngine ClosedEngine();

// True when every thread handle of the list has ended.
bool AllEnded(const std::vector<HANDLE>& threads);
// Duplicates of the engine's running thread handles (to look at after a stop).
std::vector<HANDLE> DuplicateThreads(const SerialEngine& engine);
void CloseAll(std::vector<HANDLE>& handles);
