#include "automation/server.h"

#include <new>

#include "automation/automation.h"
#include "automation/com_object.h"
#include "base/catalogue.h"

// Server state. Every call arrives on the main thread (a single-threaded
// apartment); the counts are interlocked all the same, as COM expects.
namespace {

void StopWindowTimer(uint32_t timerId);

struct ServerState {
    HWND window = nullptr;
    AppSettings* app = nullptr;
    ITypeLib* library = nullptr;
    LONG objects = 0;
    LONG locks = 0;
};

ServerState g_server;
AppSettings g_noSettings{};  // stands in before the server starts
SinkTable g_applicationSinks(DIID_IApplicationEvents, StopWindowTimer);
SinkTable g_portSinks(DIID_IPortEvents);

void StopWindowTimer(uint32_t timerId)
{
    if (g_server.window) KillTimer(g_server.window, timerId);
}

bool StartedForAutomation() { return g_server.app && (g_server.app->flags & APP_STARTED_BY_AUTOMATION); }

class ClassFactory : public UnknownObject<IClassFactory> {
public:
    using Creator = HRESULT (*)(REFIID iid, void** out);
    explicit ClassFactory(Creator create) : create_(create) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&g_server.locks);
        else InterlockedDecrement(&g_server.locks);
        CheckServerEnd();
        return S_OK;
    }

private:
    void* FindInterface(REFIID iid) override
    {
        return iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }
    Creator create_;
};

struct Registration {
    const CLSID* clsid;
    ClassFactory::Creator create;
    ClassFactory* factory;
    DWORD cookie;
};
Registration g_classes[] = {
    {&CLSID_Application, CreateApplicationObject, nullptr, 0},
    {&CLSID_Port, CreatePortObject, nullptr, 0},
};

// Port first, then Application: the reverse of registration.
void RevokeClasses()
{
    for (size_t i = std::size(g_classes); i-- > 0;) {
        Registration& c = g_classes[i];
        if (c.cookie) CoRevokeClassObject(c.cookie);
        if (c.factory) c.factory->Release();
        c.factory = nullptr;
        c.cookie = 0;
    }
}

} // namespace

HWND ServerWindow() { return g_server.window; }
AppSettings& ServerAppSettings() { return g_server.app ? *g_server.app : g_noSettings; }
SinkTable& ApplicationSinks() { return g_applicationSinks; }
SinkTable& PortSinks() { return g_portSinks; }

void AutomationObjectCreated() { InterlockedIncrement(&g_server.objects); }

void AutomationObjectDestroyed()
{
    InterlockedDecrement(&g_server.objects);
    CheckServerEnd();
}

// Posted, not sent: the object whose release got here finishes first.
void CheckServerEnd()
{
    if (!StartedForAutomation() || g_server.locks > 0 || g_server.objects > 0) return;
    if (g_server.window) PostMessageW(g_server.window, WM_CLOSE, 0, 0);
}

HRESULT LoadAutomationTypeInfo(REFIID iid, ITypeInfo** info)
{
    if (!g_server.library) return TYPE_E_LIBNOTREGISTERED;
    return g_server.library->GetTypeInfoOfGuid(iid, info);
}

bool InitAutomationServer(HWND mainWindow, AppSettings& app)
{
    g_server.window = mainWindow;
    g_server.app = &app;
    // Without the registered library the program runs without automation.
    if (FAILED(LoadRegTypeLib(LIBID_Vorlin2, 2, 1, LANG_NEUTRAL, &g_server.library))) {
        g_server.library = nullptr;
        return true;
    }
    g_applicationSinks.Clear();
    g_portSinks.Clear();
    ResetTimerIds();

    HRESULT hr = S_OK;
    for (Registration& c : g_classes) {
        c.factory = new (std::nothrow) ClassFactory(c.create);
        hr = c.factory ? CoRegisterClassObject(*c.clsid, c.factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, &c.cookie)
                       : E_OUTOFMEMORY;
        if (FAILED(hr)) break;
    }
    if (SUCCEEDED(hr)) return true;
    ShowSystemError(mainWindow, nullptr, static_cast<DWORD>(hr));
    RevokeClasses();
    return false;
}

void ShutdownAutomationServer()
{
    RevokeClasses();
    g_portSinks.Clear();
    g_applicationSinks.Clear();
    if (g_server.library) g_server.library->Release();
    g_server.library = nullptr;
    g_server.window = nullptr;
    g_server.app = nullptr;
}
