#include "automation/sink_table.h"

#include <olectl.h>

namespace {

uint32_t Next(uint32_t& counter)
{
    if (++counter == 0) ++counter;
    return counter;
}

uint32_t g_objectIds = 0;
uint32_t g_cookies = 0;
uint32_t g_timerIds = 0;

ComPtr<IDispatch> Hold(IDispatch* sink)
{
    ComPtr<IDispatch> held;
    sink->AddRef();
    *held.put() = sink;
    return held;
}

} // namespace

uint32_t NextObjectId() { return Next(g_objectIds); }
uint32_t NextCookie() { return Next(g_cookies); }
uint32_t NextTimerId() { return Next(g_timerIds); }
void ResetTimerIds() { g_timerIds = 0; }

HRESULT SinkTable::Advise(uint32_t owner, IUnknown* offered, DWORD* cookie)
{
    if (!offered || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch* sink = nullptr;
    if (FAILED(offered->QueryInterface(events_, reinterpret_cast<void**>(&sink))) || !sink)
        return CONNECT_E_CANNOTCONNECT;
    if (count_ == kMaxSinks) {
        sink->Release();
        return CONNECT_E_ADVISELIMIT;
    }
    entries_[count_++] = Entry{sink, NextCookie(), owner, 0, {}};
    *cookie = entries_[count_ - 1].cookie;
    return S_OK;
}

HRESULT SinkTable::Unadvise(uint32_t owner, DWORD cookie)
{
    for (size_t i = 0; i < count_; ++i) {
        if (entries_[i].cookie == cookie && entries_[i].owner == owner) {
            Remove(i);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

void SinkTable::RemoveOwner(uint32_t owner)
{
    for (size_t i = count_; i-- > 0;)
        if (entries_[i].owner == owner) Remove(i);
}

void SinkTable::Clear()
{
    while (count_) Remove(count_ - 1);
}

// The entry leaves the table before its sink is released: a release can
// reach the client, and the table must be whole if anything runs meanwhile.
void SinkTable::Remove(size_t index)
{
    Entry gone = entries_[index];
    for (size_t i = index + 1; i < count_; ++i) entries_[i - 1] = entries_[i];
    entries_[--count_] = Entry{};
    if (stopTimer_)
        for (uint32_t t = 0; t < gone.timerCount; ++t) stopTimer_(gone.timers[t]);
    gone.sink->Release();
}

std::vector<CONNECTDATA> SinkTable::Connections(uint32_t owner) const
{
    std::vector<CONNECTDATA> found;
    for (size_t i = 0; i < count_; ++i) {
        if (entries_[i].owner != owner) continue;
        entries_[i].sink->AddRef();
        found.push_back(CONNECTDATA{entries_[i].sink, entries_[i].cookie});
    }
    return found;
}

std::vector<ComPtr<IDispatch>> SinkTable::Sinks(uint32_t except) const
{
    std::vector<ComPtr<IDispatch>> sinks;
    for (size_t i = 0; i < count_; ++i)
        if (!except || entries_[i].owner != except) sinks.push_back(Hold(entries_[i].sink));
    return sinks;
}

SinkTable::Entry* SinkTable::FirstOwnedBy(uint32_t owner)
{
    for (size_t i = 0; i < count_; ++i)
        if (entries_[i].owner == owner) return &entries_[i];
    return nullptr;
}

ComPtr<IDispatch> SinkTable::TimerSink(uint32_t timerId) const
{
    for (size_t i = 0; i < count_; ++i)
        for (uint32_t t = 0; t < entries_[i].timerCount; ++t)
            if (entries_[i].timers[t] == timerId) return Hold(entries_[i].sink);
    return {};
}

HRESULT RaiseEvent(IDispatch* sink, DISPID event, VARIANTARG* arguments, UINT count)
{
    DISPPARAMS params{arguments, nullptr, count, 0};
    return sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}
