// The automation server end to end: the real program registered under Wine
// with "/RegServer", driven by this process as a COM client and by scripts
// that cscript runs, and unregistered again at the end.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "base/text.h"
#include "tests/support/automation_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/wait.h"
#include "vorlin2_h.h"

using namespace std::chrono_literals;

namespace {

constexpr DWORD kWait = 20000;

// One program folder for the whole suite, registered before the first test.
TempFolder* g_folder = nullptr;

std::wstring RegistryText(const std::wstring& key, const wchar_t* value = nullptr)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"<none>";
    return text;
}

std::wstring Guid(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

using testing_support::Call;
using testing_support::Invoke;
using testing_support::Long;

// An event sink of IApplicationEvents: it counts timer events by identifier
// and answers OnQuit with `cancelQuit`.
class Sink : public IDispatch {
public:
    std::map<LONG, int> timers;
    int quits = 0;
    bool cancelQuit = false;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IApplicationEvents) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return --references_; }  // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == 3 && params->cArgs == 1 && V_VT(&params->rgvarg[0]) == VT_I4) ++timers[V_I4(&params->rgvarg[0])];
        if (id == 2 && params->cArgs == 1 && V_VT(&params->rgvarg[0]) == (VT_BOOL | VT_BYREF)) {
            ++quits;
            if (cancelQuit) *V_BOOLREF(&params->rgvarg[0]) = VARIANT_TRUE;
        }
        return S_OK;
    }

private:
    ULONG references_ = 1;
};

class Automation : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_folder = new TempFolder;
        ASSERT_TRUE(testing_support::InstallProgram(g_folder->Path()));
        ASSERT_TRUE(testing_support::RunProgramToEnd(g_folder->Path(), "/RegServer"));
    }
    static void TearDownTestSuite()
    {
        delete g_folder;
        g_folder = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    IDispatch* CreateApplication()
    {
        IDispatch* app = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                      reinterpret_cast<void**>(&app));
        EXPECT_EQ(hr, S_OK);
        return app;
    }
    static HWND WindowOf(IDispatch* app)
    {
        Call call;
        Invoke(call, app, L"hwnd", DISPATCH_PROPERTYGET);
        return call.hr == S_OK ? reinterpret_cast<HWND>(static_cast<LONG_PTR>(V_I4(&call.result))) : nullptr;
    }
    // The server's process, to see it end.
    static HANDLE ProcessOf(HWND window)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        return OpenProcess(SYNCHRONIZE, FALSE, pid);
    }
    // Pumping: an ending server releases our sinks, which are calls into this apartment.
    static bool Ends(HANDLE process)
    {
        bool ended = PumpUntil([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, kWait);
        CloseHandle(process);
        return ended;
    }
    static DWORD Advise(IDispatch* app, IUnknown* sink, HRESULT* result = nullptr)
    {
        IConnectionPointContainer* container = nullptr;
        IConnectionPoint* point = nullptr;
        DWORD cookie = 0;
        HRESULT hr = app->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
        if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID_IApplicationEvents, &point);
        if (SUCCEEDED(hr)) hr = point->Advise(sink, &cookie);
        if (point) point->Release();
        if (container) container->Release();
        if (result) *result = hr;
        return cookie;
    }
};

} // namespace

TEST_F(Automation, RegistrationEntersTheQuotedServerPathAndTheTypeLibrary)
{
    const std::wstring clsid = L"CLSID\\" + Guid(CLSID_Application);
    EXPECT_EQ(RegistryText(clsid + L"\\LocalServer32"), L"\"" + SjisToWide(g_folder->File("Vorlin2.exe")) + L"\"");
    EXPECT_EQ(RegistryText(clsid + L"\\LocalServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(RegistryText(L"Vorlin2.Application\\CLSID"), Guid(CLSID_Application));
    EXPECT_EQ(RegistryText(L"Vorlin2.Port\\CurVer"), L"Vorlin2.Port.1");

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Vorlin2, 2, 1, LANG_NEUTRAL, &library), S_OK);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_Application, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FAPPOBJECT | TYPEFLAG_FCANCREATE | TYPEFLAG_FPREDECLID),
              TYPEFLAG_FAPPOBJECT | TYPEFLAG_FCANCREATE | TYPEFLAG_FPREDECLID);
    info->ReleaseTypeAttr(attr);
    info->Release();
    // A Shift_JIS help string with a 0x5C trail byte (表) reads back whole; help contexts count on.
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IApplication, &info), S_OK);
    BSTR help = nullptr;
    DWORD context = 0;
    ASSERT_EQ(info->GetDocumentation(1, nullptr, &help, &context, nullptr), S_OK);
    EXPECT_STREQ(help, L"ウィンドウの表示状態を更新します｡");
    EXPECT_EQ(context, 31002u);
    SysFreeString(help);
    info->Release();
    library->Release();
}

// Wine's proxy of a remote class factory answers LockServer itself (E_NOTIMPL)
// without reaching the server, so the server's own factory is driven here, in
// this process, over a window that stands in for the main window.
TEST_F(Automation, LockServerKeepsAServerStartedForAutomation)
{
    static int closes;
    closes = 0;
    WNDCLASSW wc{};
    wc.lpszClassName = L"VorlinLockServerTest";
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg == WM_CLOSE) return ++closes, 0;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    };
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    AppSettings app{};
    app.flags = APP_STARTED_BY_AUTOMATION;
    ASSERT_TRUE(InitAutomationServer(window, app));

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_Application, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    IDispatch* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    object->Release();
    // A close would have been posted before this marker.
    bool marker = false;
    PostMessageW(window, WM_NULL, 0, 0);
    PumpUntil([&] { MSG m; return marker = !PeekMessageW(&m, window, 0, 0, PM_NOREMOVE); });
    EXPECT_TRUE(marker);
    EXPECT_EQ(closes, 0) << "the lock keeps the server";
    factory->LockServer(FALSE);
    EXPECT_TRUE(PumpUntil([&] { return closes == 1; }));
    factory->Release();
    ShutdownAutomationServer();
    DestroyWindow(window);
}

TEST_F(Automation, ServerStartsHiddenForItsClientAndEndsWithItsLastObject)
{
    IDispatch* app = CreateApplication();
    ASSERT_TRUE(app);
    HWND window = WindowOf(app);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    HANDLE process = ProcessOf(window);
    app->Release();
    EXPECT_TRUE(Ends(process));
}

TEST_F(Automation, MembersByNameAndErrorsThroughInvoke)
{
    IDispatch* app = CreateApplication();
    ASSERT_TRUE(app);
    HWND window = WindowOf(app);
    HANDLE process = ProcessOf(window);

    // The title goes through UTF-16 both ways: a character outside Shift_JIS survives.
    const std::wstring title = L"Vorlin2 テスト é ☃";
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(title.c_str());
    Call put, get;
    Invoke(put, app, L"Caption", DISPATCH_PROPERTYPUT, {text});
    Invoke(get, app, L"Caption", DISPATCH_PROPERTYGET);
    ASSERT_EQ(get.hr, S_OK);
    EXPECT_EQ(std::wstring(V_BSTR(&get.result)), title);
    wchar_t shown[64] = {};
    GetWindowTextW(window, shown, 64);
    EXPECT_EQ(std::wstring(shown), title);
    SysReAllocString(&V_BSTR(&text), std::wstring(600, L'x').c_str());
    Call longPut, longGet;
    Invoke(longPut, app, L"Caption", DISPATCH_PROPERTYPUT, {text});
    Invoke(longGet, app, L"Caption", DISPATCH_PROPERTYGET);
    EXPECT_EQ(SysStringLen(V_BSTR(&longGet.result)), 511u);
    VariantClear(&text);

    VARIANT yes;
    V_VT(&yes) = VT_BOOL;
    V_BOOL(&yes) = VARIANT_TRUE;
    Call show, alerts, alertsRead;
    Invoke(show, app, L"Visible", DISPATCH_PROPERTYPUT, {yes});
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, kWait));
    Invoke(alerts, app, L"DisplayAlerts", DISPATCH_PROPERTYPUT, {yes});
    Invoke(alertsRead, app, L"DisplayAlerts", DISPATCH_PROPERTYGET);
    EXPECT_EQ(V_BOOL(&alertsRead.result), VARIANT_TRUE);

    // Errors: source, the catalogue's text and 0x8004xxxx with the message number.
    Call noSink;
    Invoke(noSink, app, L"SetAppTimer", DISPATCH_METHOD, {Long(100)});
    EXPECT_EQ(noSink.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<uint32_t>(noSink.error.scode), 0x80041005u);
    EXPECT_STREQ(noSink.error.bstrSource, L"Vorlin2.Application");
    EXPECT_STREQ(noSink.error.bstrDescription, L"タイマーを使うには、先にイベントシンクを接続してください。");
    Sink sink;
    HRESULT advised = E_FAIL;
    Advise(app, &sink, &advised);
    ASSERT_EQ(advised, S_OK);
    Call notOwn, badTimeout;
    Invoke(notOwn, app, L"KillAppTimer", DISPATCH_METHOD, {Long(4242)});
    EXPECT_EQ(static_cast<uint32_t>(notOwn.error.scode), 0x80041007u);
    EXPECT_STREQ(notOwn.error.bstrDescription, L"タイマー 4242 はこのイベントシンクのタイマーではありません。");
    Invoke(badTimeout, app, L"SetAppTimer", DISPATCH_METHOD, {Long(0)});
    EXPECT_EQ(badTimeout.error.scode, E_INVALIDARG);

    app->Release();  // with its sink still advised: the object's end removes it
    EXPECT_TRUE(Ends(process));
}

TEST_F(Automation, TimersQuitAndTheSinkLimit)
{
    IDispatch* a = CreateApplication();
    IDispatch* b = CreateApplication();
    ASSERT_TRUE(a && b);
    HWND window = WindowOf(a);
    HANDLE process = ProcessOf(window);
    Sink sinkA, sinkB;
    Advise(a, &sinkA);
    Advise(b, &sinkB);

    // Two timers on one sink, each heard more than once; the fifth is refused.
    LONG ids[4] = {};
    for (LONG& id : ids) {
        Call set;
        Invoke(set, a, L"SetAppTimer", DISPATCH_METHOD, {Long(20)});
        ASSERT_EQ(set.hr, S_OK);
        id = V_I4(&set.result);
    }
    EXPECT_NE(ids[0], ids[1]);
    Call fifth;
    Invoke(fifth, a, L"SetAppTimer", DISPATCH_METHOD, {Long(20)});
    EXPECT_EQ(static_cast<uint32_t>(fifth.error.scode), 0x80041006u);
    EXPECT_TRUE(PumpUntil([&] { return sinkA.timers[ids[0]] >= 2 && sinkA.timers[ids[1]] >= 2; }, kWait));
    EXPECT_TRUE(sinkB.timers.empty());
    for (LONG id : ids) {
        Call kill;
        Invoke(kill, a, L"KillAppTimer", DISPATCH_METHOD, {Long(id)});
        EXPECT_EQ(kill.hr, S_OK);
    }

    // Quit asks the other object's sink only; its cancel keeps the program.
    sinkB.cancelQuit = true;
    Call cancelled;
    Invoke(cancelled, a, L"Quit", DISPATCH_METHOD);
    EXPECT_EQ(cancelled.hr, S_OK);
    EXPECT_EQ(V_BOOL(&cancelled.result), VARIANT_FALSE);
    EXPECT_EQ(sinkB.quits, 1);
    EXPECT_EQ(sinkA.quits, 0);
    EXPECT_TRUE(IsWindow(window));

    // 16 sinks in the process-wide table; the 17th is refused.
    std::vector<Sink> more(14);
    for (Sink& s : more) {
        HRESULT hr = E_FAIL;
        Advise(a, &s, &hr);
        ASSERT_EQ(hr, S_OK);
    }
    Sink extra;
    HRESULT refused = S_OK;
    Advise(b, &extra, &refused);
    EXPECT_EQ(refused, CONNECT_E_ADVISELIMIT);
    // The enumerator lists this object's own connections only.
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    IEnumConnections* connections = nullptr;
    a->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    container->FindConnectionPoint(DIID_IApplicationEvents, &point);
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    // (Skip: Wine's proxy of a remote Next does not return the count.)
    EXPECT_EQ(connections->Skip(14), S_OK);  // sinkA and 14 more are a's; sinkB is b's
    EXPECT_EQ(connections->Skip(1), S_OK);
    EXPECT_EQ(connections->Skip(1), S_FALSE);
    connections->Release();
    point->Release();
    container->Release();

    // Without a cancel, Quit closes the program and says so.
    sinkB.cancelQuit = false;
    Call quit;
    Invoke(quit, a, L"Quit", DISPATCH_METHOD);
    EXPECT_EQ(quit.hr, S_OK);
    EXPECT_EQ(V_BOOL(&quit.result), VARIANT_TRUE);
    EXPECT_TRUE(Ends(process));
    a->Release();
    b->Release();
}

namespace {

// Running servers: processes of Vorlin2.exe (tests that make main windows run as *_test.exe).
size_t ServerProcesses()
{
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += _wcsicmp(entry.szExeFile, L"Vorlin2.exe") == 0;
    CloseHandle(snapshot);
    return count;
}

// Runs cscript on `script` in the server's folder.
DWORD RunScript(const char* name, const std::string& script, std::string* output = nullptr)
{
    return testing_support::RunScript(g_folder->Path(), name, script, output);
}

} // namespace

// Wine's script host cannot sink events, and ends with 0 after an unhandled
// error: the scripts check each step themselves and quit with its number.
TEST_F(Automation, VBScriptAndJScriptSetTheCaptionReadTheWindowAndSeeErrors)
{
    // Each script lets go of its object before it quits: Wine's script host quits without
    // releasing what it holds, and a server whose client never releases never ends.
    EXPECT_EQ(RunScript("client.vbs",
                        "On Error Resume Next\r\n"
                        "Sub Done(code)\r\n"
                        "  Set app = Nothing\r\n"
                        "  WScript.Quit code\r\n"
                        "End Sub\r\n"
                        "Set app = CreateObject(\"Vorlin2.Application\")\r\n"
                        "If Err.Number <> 0 Then Done 2\r\n"
                        "app.Caption = \"スクリプト表示\"\r\n"
                        "If app.Caption <> \"スクリプト表示\" Then Done 3\r\n"
                        "If app.hwnd = 0 Then Done 4\r\n"
                        "app.KillAppTimer 7\r\n"
                        "If Err.Number <> &H80041005 Then Done 5\r\n"
                        "If Err.Source <> \"Vorlin2.Application\" Then Done 6\r\n"
                        "Done 0\r\n"),
              0u);
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
    EXPECT_EQ(RunScript("client.js",
                        "var app;\r\n"
                        "function done(code) { app = null; CollectGarbage(); WScript.Quit(code); }\r\n"
                        "try { app = new ActiveXObject(\"Vorlin2.Application\"); } catch (e) { WScript.Quit(2); }\r\n"
                        "app.Caption = \"スクリプト表示\";\r\n"
                        "if (app.Caption != \"スクリプト表示\") done(3);\r\n"
                        "if (app.hwnd == 0) done(4);\r\n"
                        "try { app.KillAppTimer(7); done(5); }\r\n"
                        "catch (e) { if ((e.number >>> 0) != 0x80041005) done(6); }\r\n"
                        "done(0);\r\n"),
              0u);
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
}

// The example the README gives Windows users, exactly as it stands there.
TEST_F(Automation, TheReadmeScriptSetsTheCaption)
{
    std::string readmePath = VORLIN_README;
    std::replace(readmePath.begin(), readmePath.end(), '/', '\\');
    std::string readme = ReadWholeFile(readmePath);
    size_t begin = readme.find("```vbscript\n");
    ASSERT_NE(begin, std::string::npos);
    begin += 12;
    std::string script = readme.substr(begin, readme.find("```", begin) - begin);
    std::string printed;
    EXPECT_EQ(RunScript("caption.vbs", script, &printed), 0u);
    EXPECT_NE(printed.find(WideToSjis(L"Caption: Vorlin2 - 装置テスト")), std::string::npos) << printed;
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
}

// Last: the entries go, and no server is started for a client any more.
TEST_F(Automation, UnregistrationRemovesTheKeysAndTheLibrary)
{
    ASSERT_TRUE(testing_support::RunProgramToEnd(g_folder->Path(), "/UnregServer"));
    EXPECT_EQ(RegistryText(L"CLSID\\" + Guid(CLSID_Application) + L"\\LocalServer32"), L"<none>");
    EXPECT_EQ(RegistryText(L"Vorlin2.Application\\CLSID"), L"<none>");
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + Guid(LIBID_Vorlin2)).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"Interface\\" + Guid(IID_IApplication)).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &key), ERROR_SUCCESS) << "NoRemove keeps CLSID";
    RegCloseKey(key);
    ITypeLib* library = nullptr;
    EXPECT_NE(LoadRegTypeLib(LIBID_Vorlin2, 2, 1, LANG_NEUTRAL, &library), S_OK);
}
