#include "tests/support/automation_client.h"

#include <algorithm>

#include "base/text.h"
#include "tests/support/temp_files.h"
#include "vorlin2_h.h"

namespace testing_support {

Call::~Call()
{
    VariantClear(&result);
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
}

void Invoke(Call& call, IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    call.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(call.hr)) return;
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(args.size()),
                      flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    call.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &call.result, &call.error, nullptr);
}

IDispatch* GetObject(IDispatch* object, const wchar_t* name)
{
    Call call;
    Invoke(call, object, name, DISPATCH_PROPERTYGET);
    if (call.hr != S_OK || V_VT(&call.result) != VT_DISPATCH || !V_DISPATCH(&call.result)) return nullptr;
    IDispatch* found = V_DISPATCH(&call.result);
    found->AddRef();
    return found;
}

STDMETHODIMP PortEventSink::QueryInterface(REFIID iid, void** out)
{
    *out = iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IPortEvents ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
}

DWORD AdvisePortEvents(IDispatch* port, IUnknown* sink)
{
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    if (SUCCEEDED(port->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_IPortEvents, &point)) && FAILED(point->Advise(sink, &cookie)))
        cookie = 0;
    if (point) point->Release();
    if (container) container->Release();
    return cookie;
}

VARIANT Long(LONG value)
{
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Bool(bool value)
{
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
    return v;
}

DWORD RunScript(const std::string& folder, const char* name, const std::string& script, std::string* output,
                const std::string& arguments)
{
    std::wstring wide;
    int length = MultiByteToWideChar(CP_UTF8, 0, script.data(), static_cast<int>(script.size()), nullptr, 0);
    wide.resize(length);
    MultiByteToWideChar(CP_UTF8, 0, script.data(), static_cast<int>(script.size()), wide.data(), length);
    std::string path = folder + "\\" + name;
    WriteWholeFile(path, WideToSjis(wide));
    std::string outPath = path + ".out";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::string line = "cscript.exe //nologo \"" + path + "\" " + arguments;
    DWORD code = 99;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        else TerminateProcess(pi.hProcess, 98);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(out);
    if (output) *output = ReadWholeFile(outPath);
    return code;
}

} // namespace testing_support
