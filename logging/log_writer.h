// The log file's text: one record becomes a header line, hex lines and
// character lines, all Shift_JIS with CR LF. Plain functions over a buffer:
// the finished text of each record goes out through one write function
// (the log file on the log thread, memory in tests and benches).
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "logging/traffic_record.h"
#include "settings/settings_types.h"

// One line is assembled in at most this many bytes: the hex line of 65,535
// bytes is 196,606 long, and converted text is cut at 196,607 bytes.
constexpr size_t kLogLineBufferSize = 196608;
constexpr size_t kLogLineTextMax = kLogLineBufferSize - 1;

// Writes `size` bytes somewhere; returns how many were written.
using LogWriteFunction = DWORD (*)(void* context, const void* data, DWORD size);

// The writer's buffers and where its text goes. Owned by one thread.
class LogOutput {
public:
    LogOutput(LogWriteFunction write, void* context);
    ~LogOutput();
    LogOutput(const LogOutput&) = delete;
    LogOutput& operator=(const LogOutput&) = delete;

    // Internal state of the writer functions below.
    LogWriteFunction write;
    void* context;
    uint8_t* buffer;          // lines waiting to be written
    size_t used = 0;
    wchar_t* wideBuffer;      // aligned copy of a chunk read as UTF-16
    char hexSeparator = 0;    // the separator built into hexPairs
    uint32_t hexPairs[256];   // two digits and the separator per byte value
    uint8_t ctrlMap[256];     // each byte, or the replacement character for a control code
};

// A write function for a file handle passed as the context (WriteFile).
DWORD WriteToLogFile(void* fileHandle, const void* data, DWORD size);

// Writes one record in the layout that `settings` choose; returns the bytes
// the write function reported as written.
uint64_t WriteLogRecord(LogOutput& output, const LogSettings& settings, const LogRecord& record);
// Writes one hex line of `count` (at least 1, at most 65,535) bytes.
uint64_t WriteHexLine(LogOutput& output, const uint8_t* bytes, size_t count, char separator);

// The kind name that a header shows; "<エラー>" for a kind above 5.
const char* LogKindName(uint32_t kind);
