#include "tests/support/serial_bench.h"

#include <algorithm>
#include <cstdlib>

#include "logging/traffic_record.h"
#include "serial/port_names.h"
#include "shell/app.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/wait.h"

namespace {

struct Overlapped : OVERLAPPED {
    Overlapped() : OVERLAPPED{} { hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() { CloseHandle(hEvent); }
};

// The result of an I/O that went pending; at the time limit it is cancelled (keeping its count).
bool AwaitOverlapped(HANDLE port, OVERLAPPED& ov, DWORD* count, DWORD timeoutMs)
{
    if (WaitForSingleObject(ov.hEvent, timeoutMs) == WAIT_OBJECT_0) return GetOverlappedResult(port, &ov, count, FALSE);
    CancelIo(port);
    GetOverlappedResult(port, &ov, count, TRUE);
    return false;
}

// 9600 8N1, DTR and RTS on, no flow control; the other fields as `dcb` holds them.
void SetTestLine(DCB& dcb)
{
    dcb.DCBlength = sizeof dcb, dcb.BaudRate = 9600, dcb.ByteSize = 8, dcb.Parity = NOPARITY, dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE, dcb.fDtrControl = DTR_CONTROL_ENABLE, dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
}

MainWindowStub* g_stub = nullptr;  // one at a time

} // namespace

bool FarEnd::Open(const char* name)
{
    Close();
    char path[64];
    MakeDevicePath(name, path, sizeof path);
    HANDLE port =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    GetCommState(port, &dcb);
    SetTestLine(dcb);
    // Reads end after 20 ms with what has come: Wine keeps a read with the "return at
    // once" timeouts pending until a byte comes.
    COMMTIMEOUTS timeouts{0, 0, 20, 0, 0};
    port_ = port;  // closed again by Close()
    return SetCommState(port, &dcb) && SetCommTimeouts(port, &timeouts) &&
           PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

bool FarEnd::WritePort(HANDLE port, const void* bytes, size_t count)
{
    Overlapped ov;
    for (const auto* p = static_cast<const uint8_t*>(bytes); count;) {
        DWORD written = 0;
        ResetEvent(ov.hEvent);
        if (!WriteFile(port, p, static_cast<DWORD>(std::min<size_t>(count, 65536)), &written, &ov) &&
            !(GetLastError() == ERROR_IO_PENDING && AwaitOverlapped(port, ov, &written, 30000)))
            return false;
        if (written == 0) return false;
        p += written;
        count -= written;
    }
    return true;
}

std::string FarEnd::Read(size_t count, DWORD timeoutMs)
{
    std::string got;
    Overlapped ov;
    char buffer[4096];
    // Each read ends after 20 ms, under Wine with ERROR_TIMEOUT when nothing came: that is
    // no reason to stop. Only the deadline (or a port that fails otherwise) ends the loop.
    for (const ULONGLONG start = GetTickCount64(); got.size() < count;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= timeoutMs) break;
        DWORD n = 0, want = static_cast<DWORD>(std::min(count - got.size(), sizeof buffer));
        ResetEvent(ov.hEvent);
        const bool ok = ReadFile(port_, buffer, want, &n, &ov) ||
                        (GetLastError() == ERROR_IO_PENDING && AwaitOverlapped(port_, ov, &n, timeoutMs - elapsed));
        got.append(buffer, n);  // a read cut off at the deadline keeps what it got
        if (!ok && GetLastError() != ERROR_TIMEOUT) break;
    }
    return got;
}

MainWindowStub::MainWindowStub(SerialEngine& engine) : engine_(engine)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "VorlinTestMainWindow";
    RegisterClassA(&wc);  // fails harmlessly when already registered
    g_stub = this;
    hwnd_ = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    previous_ = GetMainWindow();
    SetMainWindow(hwnd_);
    engine.sink = EngineSink{hwnd_, nullptr, nullptr};
}

MainWindowStub::~MainWindowStub()
{
    SetMainWindow(previous_);
    if (hwnd_) DestroyWindow(hwnd_);
    g_stub = nullptr;
}

LRESULT CALLBACK MainWindowStub::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MainWindowStub* self = g_stub;
    auto* record = reinterpret_cast<TrafficRecord*>(lParam);
    switch (self ? msg : WM_NULL) {
    case WM_APP: return self->drained_ = true, 0;
    case WM_VORLIN_SEND:
        ++self->sendRequests;
        return ForwardSendRequest(self->engine_, reinterpret_cast<SendRequest*>(lParam),
                                  reinterpret_cast<HANDLE*>(wParam));
    case WM_VORLIN_CANCEL_WRITE: return CancelWrite(self->engine_), 0;
    case WM_VORLIN_LINE_FUNCTION: return ExecuteLineFunction(self->engine_, static_cast<DWORD>(lParam));
    case WM_VORLIN_ESCAPE_REQUEST: return ExecuteIoControl(self->engine_, reinterpret_cast<EscapeRequest*>(lParam));
    case WM_VORLIN_MODEM_STATUS: return self->modemStatuses.push_back(static_cast<DWORD>(wParam)), 0;
    case WM_VORLIN_IO_ERROR: return self->ioErrors.emplace_back(static_cast<DWORD>(wParam), lParam), 0;
    case WM_VORLIN_PORT_LOST: return self->portLost.emplace_back(static_cast<DWORD>(wParam), lParam), 0;
    case WM_VORLIN_THREAD_READY: return ++self->readyNotices, 0;
    case WM_VORLIN_RECORD:
        if (auto* bytes = record ? reinterpret_cast<const char*>(record->data) : nullptr)
            self->records.push_back({record->kind, record->number, {bytes, record->length}});
        return free(record), 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

void MainWindowStub::Drain()
{
    drained_ = false;
    PostMessageA(hwnd_, WM_APP, 0, 0);
    PumpUntil([&] { return drained_; });
}

DeviceSettings TestPortSettings(const char* name)
{
    DeviceSettings s{};
    lstrcpynA(s.portName, name, sizeof s.portName);
    SetTestLine(s.dcb);
    s.dcb.XonLim = 2048, s.dcb.XoffLim = 512, s.dcb.XonChar = 17, s.dcb.XoffChar = 19;
    s.timeouts = COMMTIMEOUTS{100, 50, 100, 50, 100};
    s.inputQueueSize = s.outputQueueSize = 2048;
    return s;
}
