// The two forms of the record of one event on the line. Each is a single
// heap block (malloc) with the data right behind the fixed fields; whoever
// receives the message that carries it owns it and frees it with free().
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

enum RecordKind : uint32_t {
    RECORD_SEND = 0,
    RECORD_RECEIVE = 1,
    RECORD_SEND_ERROR = 2,
    RECORD_DISCARD = 3,
};

enum LogRecordKind : uint32_t {
    LOGREC_TEXT = 0,
    LOGREC_ERROR_TEXT = 1,
    LOGREC_SEND = 2,
    LOGREC_RECEIVE = 3,
    LOGREC_SEND_ERROR = 4,
    LOGREC_DISCARD = 5,
};

// Display form: zero-filled, 3 zero bytes behind the data so that it reads
// as a narrow or a wide NUL-terminated string even at an odd length.
struct TrafficRecord {
    uint32_t kind;
    uint32_t number;
    SYSTEMTIME time;
    uint32_t length;
    uint8_t data[];
};

// Log form: 1 zero byte behind the data.
struct LogRecord {
    SYSTEMTIME time;
    uint32_t kind;
    uint32_t number;
    uint32_t length;
    uint8_t data[];
};

// The display form travels to the main window, and from there to the log
// view, as this message (lParam TrafficRecord*; the receiver owns it).
constexpr UINT WM_VORLIN_RECORD = 0x7425;

constexpr size_t kTrafficRecordTrailer = 3;
constexpr size_t kLogRecordTrailer = 1;

static_assert(offsetof(TrafficRecord, data) == 28, "display record layout");
static_assert(offsetof(LogRecord, data) == 28, "log record layout");

// Builds a record in one zero-filled block with `trailer` zero bytes behind
// the data; nullptr when the size overflows or memory is short.
TrafficRecord* MakeTrafficRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length,
                                 size_t trailer = kTrafficRecordTrailer);
LogRecord* MakeLogRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length);

// Build and post the log form to the log thread (nothing when it does not
// run) and the display form to `window` (the main window). A failed post,
// or no window, frees it.
void PostLogRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length);
void PostTrafficRecord(HWND window, uint32_t kind, uint32_t number, uint32_t length, const void* data);
