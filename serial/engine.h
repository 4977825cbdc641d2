// The serial I/O engine: writer, reader and event threads on the open port.
#pragma once
#include <windows.h>
#include <cstdint>

enum EngineThread { ENGINE_WRITER = 0, ENGINE_READER = 1, ENGINE_EVENT = 2, ENGINE_THREADS = 3 };

// One per process, owned by the main thread.
struct SerialEngine {
    HANDLE port;                      // INVALID_HANDLE_VALUE when closed
    HANDLE thread[ENGINE_THREADS];    // 0 when not running
    DWORD threadId[ENGINE_THREADS];   // kept after a thread ends
};

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
// Any thread: write bytes through the main window. 0 or a Win32 error
// (ERROR_OUTOFMEMORY when the request cannot be made, ERROR_INVALID_PARAMETER
// for count bytes at a null pointer, ERROR_INVALID_WINDOW_HANDLE before the
// main window exists). A synchronous send
// returns when the writer has finished with the request.
DWORD SubmitSend(const void* bytes, uint32_t count, bool asynchronous);
// The size of the request block for count bytes; false when it overflows.
bool SendRequestSize(uint64_t count, size_t* size);
