// The test side of the virtual null-modem cables (scripts/vports and the modem-line
// library; lines wired RTS -> CTS, DTR -> DSR and DCD). A test's cable is declared in
// tests/CMakeLists.txt, which hands its ends over as VORLIN_PORT (the program's) and
// VORLIN_FAR_PORT.
#pragma once
#include <windows.h>

#include <cstdint>
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
    // 9600 8N1, DTR and RTS on, both directions emptied; false with the last error set.
    bool Open(const char* name);
    void Close()
    {
        if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
    }
    bool Write(const std::string& text) { return WritePort(port_, text.data(), text.size()); }
    // Writes everything through an overlapped port handle (any port, not only a far end).
    static bool WritePort(HANDLE port, const void* bytes, size_t count);
    // Reads until `count` bytes have come or the time is up.
    std::string Read(size_t count, DWORD timeoutMs);
    // Reads and drops what comes until the line has been quiet for `quietMs`.
    void Drain(DWORD quietMs = 200) { while (!Read(SIZE_MAX, quietMs).empty()) continue; }
    bool Line(DWORD code) { return EscapeCommFunction(port_, code) != FALSE; }  // SETRTS, CLRDTR, ...
    DWORD ModemStatus() { return GetCommModemStatus(port_, &status_) ? status_ : 0; }  // MS_*_ON at this end

private:
    HANDLE port_ = INVALID_HANDLE_VALUE;
    DWORD status_ = 0;
};

struct SeenRecord { uint32_t kind, number; std::string bytes; };

// A hidden window standing in for the main window (GetMainWindow while it lives): it
// hands 0x7422, 0x7411, 0x7426 and 0x7427 to the engine as the real one does and keeps
// what the engine posts. Pump with PumpUntil (wait.h).
class MainWindowStub {
public:
    explicit MainWindowStub(SerialEngine& engine);
    ~MainWindowStub();
    MainWindowStub(const MainWindowStub&) = delete;
    MainWindowStub& operator=(const MainWindowStub&) = delete;
    HWND Handle() const { return hwnd_; }
    // Pumps until everything posted to the window before this call has been handled.
    void Drain();

    std::vector<SeenRecord> records;
    std::vector<DWORD> modemStatuses;
    std::vector<std::pair<DWORD, LPARAM>> ioErrors;  // error, thread index
    std::vector<std::pair<DWORD, LPARAM>> portLost;  // error, engine run
    int readyNotices = 0, sendRequests = 0;         // 0x7430 and 0x7422 seen

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    SerialEngine& engine_;
    HWND hwnd_ = nullptr, previous_ = nullptr;
    bool drained_ = false;
};

// 9600 8N1, DTR and RTS on, timeouts {100, 50, 100, 50, 100}, 2048-byte queues.
DeviceSettings TestPortSettings(const char* name);
