// The one pattern of the automation objects: reference counting, the
// server's object count, and IDispatch through the type information of the
// object's primary (dual) interface. Each object adds only its own members.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <new>
#include <utility>

#include "vorlin2_h.h"

// The server's count of live objects (automation/server.cpp). The last
// object going may end a server started for automation.
void AutomationObjectCreated();
void AutomationObjectDestroyed();
// The type information of `iid` from the server's type library.
HRESULT LoadAutomationTypeInfo(REFIID iid, ITypeInfo** info);

// IUnknown of every COM object of the server: an interlocked count that
// starts at 1 (the creator's) and the interfaces FindInterface names.
template <typename Interface>
class UnknownObject : public Interface {
public:
    UnknownObject() = default;
    UnknownObject(const UnknownObject&) = delete;
    UnknownObject& operator=(const UnknownObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = FindInterface(iid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~UnknownObject() = default;
    // The interface pointer for `iid`, or null; without a new reference.
    virtual void* FindInterface(REFIID iid) = 0;

private:
    LONG references_ = 1;
};

template <typename Primary>
class DispatchObject : public UnknownObject<Primary> {
public:

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        typeInfo_->AddRef();
        *info = typeInfo_;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return typeInfo_->GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override
    {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        SetErrorInfo(0, nullptr);  // a member's error is the only one the caller may see
        return typeInfo_->Invoke(static_cast<Primary*>(this), id, flags, params, result, exception, argumentError);
    }

    // The second step of creation (see CreateAutomationObject).
    HRESULT LoadTypeInfo() { return LoadAutomationTypeInfo(primary_, &typeInfo_); }

protected:
    explicit DispatchObject(REFIID primary) : primary_(primary) { AutomationObjectCreated(); }
    ~DispatchObject() override
    {
        if (typeInfo_) typeInfo_->Release();
        AutomationObjectDestroyed();
    }
    void* FindInterface(REFIID iid) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == primary_) return static_cast<Primary*>(this);
        return nullptr;
    }
    REFIID PrimaryInterface() const { return primary_; }

private:
    const IID& primary_;
    ITypeInfo* typeInfo_ = nullptr;
};

// Creates a T (constructed from `args`), loads its type information and hands
// out its `iid`; a failure leaves nothing behind.
template <typename T, typename... Args>
HRESULT CreateAutomationObject(REFIID iid, void** out, Args&&... args)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->LoadTypeInfo();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}
