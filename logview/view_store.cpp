#include "logview/view_store.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

StoreAllocator g_allocator = nullptr;

void* Allocate(size_t count, size_t size)
{
    if (count && size > SIZE_MAX / count) return nullptr;
    return g_allocator ? g_allocator(count, size) : calloc(count, size);
}

} // namespace

void SetStoreAllocator(StoreAllocator allocator) { g_allocator = allocator; }

uint32_t RebuildStore(ViewStore& s, uint32_t capacity, size_t decodeSize)
{
    capacity = std::max<uint32_t>(capacity, 1);
    auto* records = static_cast<TrafficRecord**>(Allocate(capacity, sizeof(TrafficRecord*)));
    auto* lines = static_cast<uint32_t*>(Allocate(capacity, sizeof(uint32_t)));
    auto* states = static_cast<uint8_t*>(Allocate(capacity, sizeof(uint8_t)));
    if (!records || !lines || !states) {
        free(records);
        free(lines);
        free(states);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Keep the newest records that fit, in the same order from entry 0.
    uint32_t keep = std::min(s.count, capacity);
    uint64_t total = 0;
    for (uint32_t i = 0; i < s.count; ++i) {
        uint32_t slot = StoreSlot(s, i);
        if (i < keep) {
            records[i] = s.records[slot];
            lines[i] = s.lineCounts[slot];
            states[i] = s.startStates[slot];
            total += lines[i];
        } else {
            free(s.records[slot]);
        }
    }
    free(s.records);
    free(s.lineCounts);
    free(s.startStates);
    s.records = records;
    s.lineCounts = lines;
    s.startStates = states;
    s.capacity = capacity;
    s.head = 0;
    s.count = keep;
    s.totalLines = total;
    s.droppedLines = 0;

    if (decodeSize != s.decodeSize || !s.decodeBuffer) {
        auto* buffer = static_cast<uint8_t*>(decodeSize ? Allocate(decodeSize, 1) : nullptr);
        if (decodeSize && !buffer) return ERROR_NOT_ENOUGH_MEMORY;  // the old buffer stays, size and all
        free(s.decodeBuffer);
        s.decodeBuffer = buffer;
        s.decodeSize = buffer ? decodeSize : 0;
    }
    return 0;
}

void ClearStore(ViewStore& s)
{
    for (uint32_t i = 0; i < s.count; ++i) {
        uint32_t slot = StoreSlot(s, i);
        free(s.records[slot]);
        s.records[slot] = nullptr;
        s.lineCounts[slot] = 0;
        s.startStates[slot] = 0;
    }
    s.head = 0;
    s.count = 0;
    s.totalLines = 0;
    s.droppedLines = 0;
}

void FreeStore(ViewStore& s)
{
    if (s.records) ClearStore(s);
    free(s.records);
    free(s.lineCounts);
    free(s.startStates);
    free(s.decodeBuffer);
    s = ViewStore{};
}

void InsertRecord(ViewStore& s, TrafficRecord* record, uint32_t lines, uint8_t startState)
{
    if (s.count == s.capacity) {
        uint32_t oldest = StoreSlot(s, s.count - 1);
        s.totalLines -= s.lineCounts[oldest];
        s.droppedLines += s.lineCounts[oldest];
        free(s.records[oldest]);
        s.records[oldest] = nullptr;
        --s.count;
    }
    s.head = (s.head + s.capacity - 1) % s.capacity;
    s.records[s.head] = record;
    s.lineCounts[s.head] = lines;
    s.startStates[s.head] = startState;
    ++s.count;
    s.totalLines += lines;
}

bool FindDisplayLine(const ViewStore& s, uint64_t line, LinePlace& place)
{
    if (line >= s.totalLines) return false;
    // Walk from whichever end is nearer; lines near the bottom are the
    // common case while following.
    if (line < s.totalLines / 2) {
        uint64_t before = 0;
        for (uint32_t e = s.count; e-- > 0;) {
            uint32_t n = StoreLines(s, e);
            if (line < before + n) {
                place = {e, static_cast<uint32_t>(line - before)};
                return true;
            }
            before += n;
        }
    } else {
        uint64_t after = s.totalLines;  // lines of records older than and including e
        for (uint32_t e = 0; e < s.count; ++e) {
            uint32_t n = StoreLines(s, e);
            uint64_t first = after - n;
            if (line >= first && n) {
                place = {e, static_cast<uint32_t>(line - first)};
                return true;
            }
            after = first;
        }
    }
    return false;
}
