// The event sinks of one class of objects (Application or Port): process-wide,
// 16 entries in the order in which they were advised. Each entry holds one
// reference on its sink, the connection cookie, the ObjectId of the object
// whose connection point took it, and (Application only) its timers.
// Main thread only, like every automation call.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdint>
#include <vector>

#include "base/owners.h"

// ObjectIds, connection cookies and timer identifiers: each counter is
// incremented before use and skips 0 when it wraps.
uint32_t NextObjectId();
uint32_t NextCookie();
uint32_t NextTimerId();
void ResetTimerIds();

class SinkTable {
public:
    static constexpr size_t kMaxSinks = 16;
    static constexpr size_t kMaxTimers = 4;

    struct Entry {
        IDispatch* sink;
        DWORD cookie;
        uint32_t owner;
        uint32_t timerCount;
        uint32_t timers[kMaxTimers];
    };
    // Stops a timer of an entry that goes (the Application table's window timers).
    using TimerStopper = void (*)(uint32_t timerId);

    SinkTable(REFIID events, TimerStopper stopTimer = nullptr) : events_(events), stopTimer_(stopTimer) {}
    ~SinkTable() { Clear(); }
    SinkTable(const SinkTable&) = delete;
    SinkTable& operator=(const SinkTable&) = delete;

    REFIID Events() const { return events_; }
    // CONNECT_E_CANNOTCONNECT when `offered` lacks the event interface,
    // CONNECT_E_ADVISELIMIT when 16 sinks are connected already.
    HRESULT Advise(uint32_t owner, IUnknown* offered, DWORD* cookie);
    // CONNECT_E_NOCONNECTION when `owner` has no sink with `cookie`.
    HRESULT Unadvise(uint32_t owner, DWORD cookie);
    // Every sink of a destroyed object goes, as by Unadvise.
    void RemoveOwner(uint32_t owner);
    void Clear();

    // (sink, cookie) pairs of `owner`, one new reference each.
    std::vector<CONNECTDATA> Connections(uint32_t owner) const;
    // The sinks to raise an event on, one new reference each: a sink's call
    // pumps messages, and a client may advise or unadvise meanwhile. With
    // `except`, the sinks of that owner are left out.
    std::vector<ComPtr<IDispatch>> Sinks(uint32_t except = 0) const;

    Entry* FirstOwnedBy(uint32_t owner);
    // The sink whose entry holds the timer, with a new reference; null when none does.
    ComPtr<IDispatch> TimerSink(uint32_t timerId) const;

private:
    void Remove(size_t index);

    const IID& events_;
    TimerStopper stopTimer_;
    Entry entries_[kMaxSinks] = {};
    size_t count_ = 0;
};

// Calls an event on one sink: positional arguments (in reverse order, as
// DISPPARAMS keeps them), no result, the user's default locale.
HRESULT RaiseEvent(IDispatch* sink, DISPID event, VARIANTARG* arguments = nullptr, UINT count = 0);
