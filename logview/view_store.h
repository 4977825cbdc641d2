// The log view's record store: the newest records (entry 0 the newest),
// the display lines each takes, their total, and the decoding buffer.
// Owned by the user-interface thread; the records in it are the view's.
#pragma once
#include <cstddef>
#include <cstdint>

#include "logging/traffic_record.h"

// Allocation used by the store; tests replace it to make a rebuild fail.
using StoreAllocator = void* (*)(size_t count, size_t size);
void SetStoreAllocator(StoreAllocator allocator);  // null: calloc

struct ViewStore {
    // Ring of `capacity` entries: entry i (0 = newest) is slot (head + i) % capacity.
    TrafficRecord** records = nullptr;
    uint32_t* lineCounts = nullptr;
    // JIS shift state at the start of each record, so a redraw decodes it as
    // it was counted.
    uint8_t* startStates = nullptr;
    uint32_t capacity = 0;  // always the size of the three arrays
    uint32_t head = 0;
    uint32_t count = 0;
    uint64_t totalLines = 0;
    // Lines dropped with the oldest records since the last clear; display
    // line L is absolute line L + droppedLines.
    uint64_t droppedLines = 0;
    uint8_t* decodeBuffer = nullptr;
    size_t decodeSize = 0;  // always the size of decodeBuffer
};

// Rebuilds the arrays for `capacity` (at least 1) and the decoding buffer
// for `decodeSize` bytes, keeping the newest records that fit. Returns 0 or
// a system error code. When the arrays cannot be allocated the old store is
// kept whole; when the decoding buffer cannot, the old buffer stays with its
// size. Either way every size field matches what exists.
uint32_t RebuildStore(ViewStore& store, uint32_t capacity, size_t decodeSize);

// Frees every record and the arrays and buffer.
void FreeStore(ViewStore& store);

// Frees every record; the arrays stay.
void ClearStore(ViewStore& store);

// Puts `record` (now owned by the store) in as entry 0; when full, frees
// the oldest record first and takes its lines out of the total.
void InsertRecord(ViewStore& store, TrafficRecord* record, uint32_t lines, uint8_t startState);

inline uint32_t StoreSlot(const ViewStore& s, uint32_t entry) { return (s.head + entry) % s.capacity; }
inline TrafficRecord* StoreRecord(const ViewStore& s, uint32_t entry) { return s.records[StoreSlot(s, entry)]; }
inline uint32_t StoreLines(const ViewStore& s, uint32_t entry) { return s.lineCounts[StoreSlot(s, entry)]; }

struct LinePlace {
    uint32_t entry;  // store entry holding the line
    uint32_t line;   // line within the record
};

// Finds display line L (0 = first line of the oldest record). False when L
// is at or past the total; records with no lines are passed over.
bool FindDisplayLine(const ViewStore& store, uint64_t line, LinePlace& place);
