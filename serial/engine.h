// The serial I/O engine: writer, reader and event threads on the open port.
#pragma once
#include <windows.h>
#include <cstdint>

enum EngineThread { ENGINE_WRITER = 0, ENGINE_READER = 1, ENGINE_EVENT = 2, ENGINE_THREADS = 3 };

// What the engine's threads receive (thread messages).
constexpr UINT WM_VORLIN_STOP = 0x7410;           // end the thread's loop
constexpr UINT WM_VORLIN_CANCEL_WRITE = 0x7411;   // writer: cancel the write in progress
constexpr UINT WM_VORLIN_FLUSH_PORT = 0x7412;     // the sink window: FlushFileBuffers on the port
constexpr UINT WM_VORLIN_SEND = 0x7422;           // writer (and the sink window): lParam SendRequest*
constexpr UINT WM_VORLIN_ESCAPE_REQUEST = 0x7426; // event thread: lParam EscapeRequest*, wParam done event
constexpr UINT WM_VORLIN_LINE_FUNCTION = 0x7427;  // event thread: EscapeCommFunction code
// What the engine's threads post to their sink window.
constexpr UINT WM_VORLIN_MODEM_STATUS = 0x7423;   // wParam modem status bits
constexpr UINT WM_VORLIN_IO_ERROR = 0x7424;       // wParam Win32 error, lParam EngineThread
constexpr UINT WM_VORLIN_THREAD_READY = 0x7430;   // lParam EngineThread
// The port is gone: a device-gone error, or one read error repeating for a
// second. Posted once per run of that error; wParam the error, lParam the
// SerialEngine::run of the thread that saw it.
constexpr UINT WM_VORLIN_PORT_LOST = 0x7432;
// (and 0x7425, WM_VORLIN_RECORD, with each TrafficRecord)

// Where the engine delivers: records, modem lines, errors and ready notices
// are posted to `window` (the main window); the reader hands every block it
// read to `relay` on its own thread (the tunnel), when there is one.
struct EngineSink {
    HWND window;
    void (*relay)(void* context, const uint8_t* bytes, uint32_t count);
    void* context;
};

// One per process, owned by the main thread.
struct SerialEngine {
    HANDLE port;                      // INVALID_HANDLE_VALUE when closed
    HANDLE thread[ENGINE_THREADS];    // 0 when not running
    DWORD threadId[ENGINE_THREADS];   // kept after a thread ends
    EngineSink sink;                  // read by each thread when it starts
    // Counts the starts (never 0 once started). Each thread names its start
    // in what it reports as the port lost, so that a notice still queued
    // from before a restart is told from one about the port open now.
    uint32_t run = 0;
};

// Errors after which the port is taken for gone: what Windows drivers answer
// for a removed adapter, and Wine's broken pipe for a vanished PTY.
bool IsDeviceGoneError(DWORD error);

// Starts the three threads on engine.port; false with the last error set.
bool StartEngine(SerialEngine& engine);
// Stops the threads and waits for them; a no-op when none runs.
void StopEngine(SerialEngine& engine);
// True while the writer thread runs.
bool IsWriterRunning(const SerialEngine& engine);

// A write request: one heap block (malloc) with the completion event (or
// 0), the byte count, the bytes and 3 zero bytes. The writer frees it.
struct SendRequest {
    HANDLE done;
    uint32_t count;
    uint8_t bytes[];
};

// Main window 0x7422: hands the request to the writer thread; when no
// writer runs (never started, or ended by itself), completes it at once
// (event set, block freed). 1 if handed on. When the request is handed on
// and writerSlot is given (SubmitSend passes it as wParam), the slot gets a
// handle to the writer thread for the sender to wait on as well, so that a
// synchronous sender is never left waiting by a writer that has ended.
LRESULT ForwardSendRequest(SerialEngine& engine, SendRequest* request, HANDLE* writerSlot = nullptr);
// Main window 0x7411: cancel the write in progress.
void CancelWrite(SerialEngine& engine);
// Main window 0x7427 and 0x7426: run on the event thread and wait (serving
// messages sent to the main thread meanwhile). A request the event thread
// could not answer because it ended fails with ERROR_OPERATION_ABORTED.
BOOL ExecuteLineFunction(SerialEngine& engine, DWORD code);
struct EscapeRequest;
BOOL ExecuteIoControl(SerialEngine& engine, EscapeRequest* request);
// The window that takes 0x7422 on the main thread and hands it to the writer
// (the main window); null until it exists.
void SetSendWindow(HWND window);
// Any thread: write bytes through the send window. 0 or a Win32 error
// (ERROR_OUTOFMEMORY when the request cannot be made, ERROR_INVALID_PARAMETER
// for count bytes at a null pointer, ERROR_INVALID_WINDOW_HANDLE before the
// main window exists). A synchronous send
// returns when the writer has finished with the request.
DWORD SubmitSend(const void* bytes, uint32_t count, bool asynchronous);
// The size of the request block for count bytes; false when it overflows.
bool SendRequestSize(uint64_t count, size_t* size);
