// The automation server's speed from another process, beside a reference: a
// trivial out-of-process COM object that this program serves itself (started
// by COM with "-Embedding"), doing the same work in the same run.
//
//   automation_bench [seconds per figure]   (Vorlin2.exe registered with /RegServer)
//
// Figures: property reads per second through IDispatch::Invoke (Vorlin2's
// Application "hwnd"; the reference's property 0), and events per second
// delivered to a sink from a timer at the shortest interval (Vorlin2's
// application timers with SetAppTimer(1); the reference's window timer of 1 ms,
// raised the same way, with IDispatch::Invoke on the sink).
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/com_object.h"
#include "bench/bench_clock.h"

namespace {

// {6A0C1E55-3B7D-4C2A-8F10-5E2D9B4A7C01}: the reference's class, registered by this program for the run.
const CLSID kReferenceClass = {0x6a0c1e55, 0x3b7d, 0x4c2a, {0x8f, 0x10, 0x5e, 0x2d, 0x9b, 0x4a, 0x7c, 0x01}};
constexpr DISPID kReferenceValue = 0;   // property get: a long
constexpr DISPID kReferenceAdvise = 1;  // method (sink, interval): raises event 3 on the sink by a timer

// A minimal IDispatch with nothing but Invoke; the rest answers "not here".
class PlainDispatch : public UnknownObject<IDispatch> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

protected:
    explicit PlainDispatch(REFIID extra) : extra_(extra) {}
    void* FindInterface(REFIID iid) override
    {
        return iid == IID_IUnknown || iid == IID_IDispatch || iid == extra_ ? static_cast<IDispatch*>(this) : nullptr;
    }

private:
    const IID& extra_;
};

// ---- the reference server (this program started with -Embedding) ----

HWND g_referenceWindow = nullptr;
IDispatch* g_referenceSink = nullptr;

class ReferenceObject : public PlainDispatch {
public:
    ReferenceObject() : PlainDispatch(IID_IDispatch) {}
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == kReferenceValue && result) {
            V_VT(result) = VT_I4;
            V_I4(result) = 42;
            return S_OK;
        }
        if (id == kReferenceAdvise && params->cArgs == 2 && V_VT(&params->rgvarg[1]) == VT_DISPATCH) {
            if (g_referenceSink) g_referenceSink->Release();
            (g_referenceSink = V_DISPATCH(&params->rgvarg[1]))->AddRef();
            SetTimer(g_referenceWindow, 1, static_cast<UINT>(V_I4(&params->rgvarg[0])), nullptr);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~ReferenceObject() override
    {
        KillTimer(g_referenceWindow, 1);
        if (g_referenceSink) g_referenceSink->Release();
        g_referenceSink = nullptr;
        PostQuitMessage(0);  // one client, one object: the server's end
    }
};

class ReferenceFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) override
    {
        auto* object = new ReferenceObject;
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

LRESULT CALLBACK ReferenceWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER && g_referenceSink) {
        VARIANTARG argument;
        V_VT(&argument) = VT_I4;
        V_I4(&argument) = 1;
        DISPPARAMS params{&argument, nullptr, 1, 0};
        g_referenceSink->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int ServeReference()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = ReferenceWindowProc;
    wc.lpszClassName = L"VorlinBenchReference";
    RegisterClassW(&wc);
    g_referenceWindow = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    static ReferenceFactory factory;
    DWORD cookie = 0;
    CoRegisterClassObject(kReferenceClass, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    CoRevokeClassObject(cookie);
    return 0;
}

// ---- the client ----

class CountingSink : public PlainDispatch {
public:
    explicit CountingSink(REFIID events) : PlainDispatch(events) {}
    long events = 0;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == 3) ++events;
        return S_OK;
    }
};

double ReadsPerSecond(IDispatch* object, DISPID id, double seconds)
{
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    long calls = 0;
    DISPPARAMS none{};
    for (;; ++calls) {
        VARIANT result;
        VariantInit(&result);
        if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                  nullptr)))
            return -1;
        QueryPerformanceCounter(&now);
        if (Seconds(start, now) >= seconds) return (calls + 1) / Seconds(start, now);
    }
}

double EventsPerSecond(CountingSink& sink, double seconds)
{
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    long first = sink.events;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        QueryPerformanceCounter(&now);
    } while (Seconds(start, now) < seconds);
    return (sink.events - first) / Seconds(start, now);
}

bool RegisterReference()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(path) + L"\" -Embedding";
    wchar_t clsid[40];
    StringFromGUID2(kReferenceClass, clsid, 40);
    std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\LocalServer32";
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, command.c_str(),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void UnregisterReference()
{
    wchar_t clsid[40];
    StringFromGUID2(kReferenceClass, clsid, 40);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str());
}

void Print(const char* figure, double ours, double reference)
{
    printf("%-34s Vorlin2 %10.0f   reference %10.0f   ratio %.2f\n", figure, ours, reference,
           reference > 0 ? ours / reference : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    CoInitialize(nullptr);
    if (argc > 1 && (strcmp(argv[1], "-Embedding") == 0 || strcmp(argv[1], "/Embedding") == 0)) {
        int code = ServeReference();
        CoUninitialize();
        return code;
    }
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    if (seconds <= 0) seconds = 3.0;
    if (!RegisterReference()) {
        fprintf(stderr, "cannot register the reference server\n");
        return 1;
    }
    IDispatch* app = nullptr;
    IDispatch* reference = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&app));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(kReferenceClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&reference));
    if (FAILED(hr)) {
        fprintf(stderr, "cannot create the objects (0x%08lx): is Vorlin2.exe registered?\n", static_cast<unsigned long>(hr));
        UnregisterReference();
        return 1;
    }

    DISPID hwnd = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"hwnd");
    app->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &hwnd);
    Print("property reads/s (Invoke)", ReadsPerSecond(app, hwnd, seconds),
          ReadsPerSecond(reference, kReferenceValue, seconds));

    // Events: Vorlin2's application timer at 1 ms on an advised sink ...
    CountingSink ourSink(DIID_IApplicationEvents), referenceSink(IID_IDispatch);
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    app->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    container->FindConnectionPoint(DIID_IApplicationEvents, &point);
    point->Advise(&ourSink, &cookie);
    VARIANT interval;
    V_VT(&interval) = VT_I4;
    V_I4(&interval) = 1;
    DISPID setTimer = 0;
    name = const_cast<LPOLESTR>(L"SetAppTimer");
    app->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &setTimer);
    DISPPARAMS params{&interval, nullptr, 1, 0};
    VARIANT timerId;
    VariantInit(&timerId);
    app->Invoke(setTimer, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &timerId, nullptr, nullptr);
    double ours = EventsPerSecond(ourSink, seconds);
    point->Unadvise(cookie);
    point->Release();
    container->Release();
    // ... and the reference's timer at 1 ms on its sink.
    VARIANTARG advise[2];
    V_VT(&advise[0]) = VT_I4;
    V_I4(&advise[0]) = 1;
    V_VT(&advise[1]) = VT_DISPATCH;
    V_DISPATCH(&advise[1]) = &referenceSink;
    DISPPARAMS adviseParams{advise, nullptr, 2, 0};
    reference->Invoke(kReferenceAdvise, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &adviseParams, nullptr,
                      nullptr, nullptr);
    Print("timer events/s at 1 ms (to a sink)", ours, EventsPerSecond(referenceSink, seconds));

    app->Release();
    reference->Release();
    UnregisterReference();
    CoUninitialize();
    return 0;
}
