#include "logging/traffic_record.h"

#include <cstdlib>
#include <cstring>

#include "logging/log_thread.h"

namespace {

bool BlockSize(size_t header, uint32_t length, size_t trailer, size_t* size)
{
    size_t total = header + trailer;
    if (length > SIZE_MAX - total) return false;
    *size = total + length;
    return true;
}

} // namespace

TrafficRecord* MakeTrafficRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length,
                                 size_t trailer)
{
    size_t size;
    if (!BlockSize(offsetof(TrafficRecord, data), length, trailer, &size)) return nullptr;
    auto* record = static_cast<TrafficRecord*>(calloc(1, size));
    if (!record) return nullptr;
    record->kind = kind;
    record->number = number;
    GetLocalTime(&record->time);
    record->length = length;
    if (length) memcpy(record->data, data, length);
    return record;
}

LogRecord* MakeLogRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length)
{
    size_t size;
    if (!BlockSize(offsetof(LogRecord, data), length, kLogRecordTrailer, &size)) return nullptr;
    auto* record = static_cast<LogRecord*>(malloc(size));
    if (!record) return nullptr;
    GetLocalTime(&record->time);
    record->kind = kind;
    record->number = number;
    record->length = length;
    if (length) memcpy(record->data, data, length);
    record->data[length] = 0;
    return record;
}

void PostLogRecord(uint32_t kind, uint32_t number, const void* data, uint32_t length)
{
    HWND logWindow = GetLogWindow();
    if (!logWindow) return;
    LogRecord* record = MakeLogRecord(kind, number, data, length);
    if (!record) return;
    // The log thread owns the record from here on.
    if (!PostMessageW(logWindow, WM_LOG_RECORD, 0, reinterpret_cast<LPARAM>(record))) free(record);
}

void PostTrafficRecord(HWND window, uint32_t kind, uint32_t number, uint32_t length, const void* data)
{
    // A null window would post to this thread's own queue, where no one frees it.
    if (!window) return;
    TrafficRecord* record = MakeTrafficRecord(kind, number, data, length);
    if (!record) return;
    // The window (and then the log view) owns the record from here on.
    if (!PostMessageW(window, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(record))) free(record);
}
