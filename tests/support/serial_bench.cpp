#include "tests/support/serial_bench.h"

#include <cstdlib>
#include <cstring>

#include "logging/traffic_record.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "shell/app.h"
#include "shell/messages.h"
#include "shell/shell.h"

namespace {

bool AwaitOverlapped(HANDLE port, OVERLAPPED& ov, DWORD* count, DWORD timeoutMs)
{
    if (WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(port);
        GetOverlappedResult(port, &ov, count, TRUE);
        return false;
    }
    return GetOverlappedResult(port, &ov, count, FALSE) != FALSE;
}

} // namespace

bool FarEnd::Open(const char* name)
{
    Close();
    char path[64];
    MakeDevicePath(name, path, sizeof path);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    // Reads end after 20 ms with what has come; Read and Drain poll. (Wine
    // keeps a read with the "return at once" timeouts pending until a byte
    // comes.)
    COMMTIMEOUTS timeouts{0, 0, 20, 0, 0};
    if (!SetCommState(port, &dcb) || !SetCommTimeouts(port, &timeouts)) {
        DWORD error = GetLastError();
        CloseHandle(port);
        SetLastError(error);
        return false;
    }
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    port_ = port;
    return true;
}

void FarEnd::Close()
{
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
}

bool FarEnd::WritePort(HANDLE port, const void* bytes, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool ok = true;
    while (ok && count) {
        DWORD chunk = count > 65536 ? 65536 : static_cast<DWORD>(count);
        DWORD written = 0;
        ResetEvent(ov.hEvent);
        if (!WriteFile(port, p, chunk, &written, &ov)) {
            ok = GetLastError() == ERROR_IO_PENDING && AwaitOverlapped(port, ov, &written, 30000);
        }
        if (written == 0) ok = false;
        p += written;
        count -= written;
    }
    CloseHandle(ov.hEvent);
    return ok;
}

std::string FarEnd::Read(size_t count, DWORD timeoutMs)
{
    std::string got;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD start = GetTickCount();
    char buffer[4096];
    while (got.size() < count && GetTickCount() - start < timeoutMs) {
        DWORD n = 0;
        ResetEvent(ov.hEvent);
        DWORD want = static_cast<DWORD>(count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer);
        if (!ReadFile(port_, buffer, want, &n, &ov) &&
            !(GetLastError() == ERROR_IO_PENDING && AwaitOverlapped(port_, ov, &n, 1000)))
            break;
        got.append(buffer, n);
    }
    CloseHandle(ov.hEvent);
    return got;
}

std::string FarEnd::Drain(DWORD quietMs, DWORD limitMs)
{
    std::string got;
    DWORD start = GetTickCount();
    DWORD lastData = start;
    while (GetTickCount() - lastData < quietMs && GetTickCount() - start < limitMs) {
        std::string part = Read(65536, 20);
        if (!part.empty()) lastData = GetTickCount();
        got += part;
    }
    return got;
}

bool FarEnd::Line(DWORD code) { return EscapeCommFunction(port_, code) != FALSE; }

DWORD FarEnd::ModemStatus()
{
    DWORD status = 0;
    GetCommModemStatus(port_, &status);
    return status;
}

DWORD FarEnd::WaitEvent(DWORD mask, DWORD timeoutMs)
{
    if (!SetCommMask(port_, mask)) return 0;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD seen = 0;
    DWORD result = 0;
    if (WaitCommEvent(port_, &seen, &ov)) {
        result = seen;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(ov.hEvent, timeoutMs) == WAIT_OBJECT_0) {
            DWORD ignored;
            if (GetOverlappedResult(port_, &ov, &ignored, FALSE)) result = seen;
        } else {
            // Changing the mask ends the wait (CancelIo does not, under Wine).
            SetCommMask(port_, 0);
            DWORD ignored;
            GetOverlappedResult(port_, &ov, &ignored, TRUE);
        }
    }
    CloseHandle(ov.hEvent);
    return result;
}

// --- the stand-in main window ---------------------------------------------

namespace {
constexpr char kStubClass[] = "VorlinTestMainWindow";
}

MainWindowStub::MainWindowStub(SerialEngine& engine) : engine_(engine)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kStubClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExA(0, kStubClass, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, this);
    previous_ = GetMainWindow();
    SetMainWindow(hwnd_);
}

MainWindowStub::~MainWindowStub()
{
    SetMainWindow(previous_);
    if (hwnd_) DestroyWindow(hwnd_);
    // Whatever the engine posted after the window went is dropped by the
    // system; records already taken were copied.
}

LRESULT CALLBACK MainWindowStub::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    auto* self = reinterpret_cast<MainWindowStub*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_VORLIN_SEND:
        return ForwardSendRequest(self->engine_, reinterpret_cast<SendRequest*>(lParam),
                                  reinterpret_cast<HANDLE*>(wParam));
    case WM_VORLIN_CANCEL_WRITE: CancelWrite(self->engine_); return 0;
    case WM_VORLIN_LINE_FUNCTION: return ExecuteLineFunction(self->engine_, static_cast<DWORD>(lParam));
    case WM_VORLIN_ESCAPE_REQUEST: return ExecuteIoControl(self->engine_, reinterpret_cast<EscapeRequest*>(lParam));
    case WM_VORLIN_MODEM_STATUS: self->modemStatuses.push_back(static_cast<DWORD>(wParam)); return 0;
    case WM_VORLIN_IO_ERROR: self->ioErrors.emplace_back(static_cast<DWORD>(wParam), lParam); return 0;
    case WM_VORLIN_THREAD_READY: ++self->readyNotices; return 0;
    case WM_VORLIN_RECORD: {
        auto* record = reinterpret_cast<TrafficRecord*>(lParam);
        if (!record) return 0;
        self->records.push_back({record->kind, record->number,
                                 std::string(reinterpret_cast<const char*>(record->data), record->length)});
        free(record);
        return 0;
    }
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool MainWindowStub::PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20, QS_ALLINPUT);
    }
}

void MainWindowStub::PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

std::vector<SeenRecord> MainWindowStub::OfKind(uint32_t kind) const
{
    std::vector<SeenRecord> out;
    for (const SeenRecord& r : records)
        if (r.kind == kind) out.push_back(r);
    return out;
}

DeviceSettings TestPortSettings(const char* name)
{
    DeviceSettings s{};
    lstrcpynA(s.portName, name, sizeof s.portName);
    s.dcb.DCBlength = sizeof(DCB);
    s.dcb.BaudRate = 9600;
    s.dcb.ByteSize = 8;
    s.dcb.Parity = NOPARITY;
    s.dcb.StopBits = ONESTOPBIT;
    s.dcb.fBinary = TRUE;
    s.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    s.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    s.dcb.XonLim = 2048;
    s.dcb.XoffLim = 512;
    s.dcb.XonChar = 17;
    s.dcb.XoffChar = 19;
    s.timeouts = COMMTIMEOUTS{100, 50, 100, 50, 100};
    s.inputQueueSize = 2048;
    s.outputQueueSize = 2048;
    return s;
}

SerialEngine ClosedEngine()
{
    SerialEngine engine{};
    engine.port = INVALID_HANDLE_VALUE;
    return engine;
}

bool AllEnded(const std::vector<HANDLE>& threads)
{
    for (HANDLE t : threads)
        if (WaitForSingleObject(t, 0) != WAIT_OBJECT_0) return false;
    return true;
}

std::vector<HANDLE> DuplicateThreads(const SerialEngine& engine)
{
    std::vector<HANDLE> out;
    for (HANDLE t : engine.thread) {
        HANDLE copy = nullptr;
        if (t && DuplicateHandle(GetCurrentProcess(), t, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
            out.push_back(copy);
    }
    return out;
}

void CloseAll(std::vector<HANDLE>& handles)
{
    for (HANDLE h : handles) CloseHandle(h);
    handles.clear();
}
