// A COM client of the automation server, as scripts drive it: calls by
// name through IDispatch::Invoke, and cscript runs.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>
#include <vector>

namespace testing_support {

// One call's outcome; frees what the server handed back.
struct Call {
    HRESULT hr = E_FAIL;
    VARIANT result{};
    EXCEPINFO error{};
    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call();
};

// A call by name: a method, a property get or a property put (the last argument the value).
void Invoke(Call& call, IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args = {});
// The object a property get returned (null when none), with one reference.
IDispatch* GetObject(IDispatch* object, const wchar_t* name);

VARIANT Long(LONG value);
VARIANT Bool(bool value);
// A VT_BSTR; the caller clears it.
VARIANT Text(const wchar_t* text);

// A sink of the Port's events that lives as long as the client (static):
// its references are not counted. Subclasses take the events.
class PortEventSink : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        Event(id, *params);
        return S_OK;
    }

protected:
    virtual ~PortEventSink() = default;
    virtual void Event(DISPID id, const DISPPARAMS& params) = 0;
};
// Connects `sink` to the events of `port`; the connection's cookie, 0 when it failed.
DWORD AdvisePortEvents(IDispatch* port, IUnknown* sink);

// Runs cscript on `script` (UTF-8 here, written in Shift_JIS into `folder`
// as scripts are saved) with `arguments`; the exit code, and what the
// script printed in `output`.
DWORD RunScript(const std::string& folder, const char* name, const std::string& script,
                std::string* output = nullptr, const std::string& arguments = "");

} // namespace testing_support
