// The objects that raise events (Application, Port): a DispatchObject that is
// its own connection-point container with one connection point, working on
// the sink table of its class, and that supports error objects on its
// primary interface.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include "automation/com_object.h"
#include "automation/enumerator.h"
#include "automation/sink_table.h"

using ConnectionEnumerator = Enumerator<IEnumConnections, CONNECTDATA, InterfaceItemTraits>;
using ConnectionPointEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*, InterfaceItemTraits>;

template <typename Primary>
class ConnectableObject : public DispatchObject<Primary>,
                          public IConnectionPointContainer,
                          public IConnectionPoint,
                          public ISupportErrorInfo {
    using Base = DispatchObject<Primary>;

public:
    // One body for the IUnknown of every base.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return Base::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return Base::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Base::Release(); }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override
    {
        if (!out) return E_POINTER;
        IConnectionPoint* point = this;
        point->AddRef();
        *out = new (std::nothrow) ConnectionPointEnumerator(IID_IEnumConnectionPoints, {point});
        if (*out) return S_OK;
        point->Release();
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != sinks_.Events()) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override
    {
        if (!iid) return E_POINTER;
        *iid = sinks_.Events();
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override
    {
        if (!out) return E_POINTER;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override { return sinks_.Advise(id_, sink, cookie); }
    STDMETHODIMP Unadvise(DWORD cookie) override { return sinks_.Unadvise(id_, cookie); }
    STDMETHODIMP EnumConnections(IEnumConnections** out) override
    {
        if (!out) return E_POINTER;
        std::vector<CONNECTDATA> connections = sinks_.Connections(id_);
        *out = new (std::nothrow) ConnectionEnumerator(IID_IEnumConnections, connections);
        if (*out) return S_OK;
        for (CONNECTDATA& c : connections) c.pUnk->Release();
        return E_OUTOFMEMORY;
    }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return iid == Base::PrimaryInterface() ? S_OK : S_FALSE;
    }

    uint32_t Id() const { return id_; }

protected:
    ConnectableObject(REFIID primary, SinkTable& sinks) : Base(primary), sinks_(sinks) {}
    ~ConnectableObject() override { sinks_.RemoveOwner(id_); }

    void* FindInterface(REFIID iid) override
    {
        if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
        if (iid == IID_IConnectionPoint) return static_cast<IConnectionPoint*>(this);
        if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
        return Base::FindInterface(iid);
    }
    SinkTable& Sinks() { return sinks_; }

private:
    SinkTable& sinks_;
    const uint32_t id_ = NextObjectId();
};
