// The automation server: the object model in this process over a stand-in main window, then the
// real program, registered with "/RegServer", serving this process over a virtual null-modem cable.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "automation/server.h"
#include "base/text.h"
#include "resources/resource.h"
#include "serial/device_settings.h"
#include "tests/support/automation_client.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"
#include "vorlin2_h.h"

using namespace testing_support;

namespace {

constexpr DWORD kWait = 20000;
TempFolder* g_folder = nullptr;

// A call's outcome: 0 for S_OK, the message number of an automation error, else the HRESULT.
long Outcome(const Call& call)
{
    HRESULT hr = call.hr == DISP_E_EXCEPTION ? call.error.scode : call.hr;
    return (static_cast<uint32_t>(hr) & 0xFFFF0000u) == 0x80040000u ? hr & 0xFFFF : hr;
}

long Do(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args = {})
{
    Call call;
    Invoke(call, object, name, flags, args);
    for (VARIANT& v : args) VariantClear(&v);
    return Outcome(call);
}
long Put(IDispatch* object, const wchar_t* name, VARIANT value) { return Do(object, name, DISPATCH_PROPERTYPUT, {value}); }
long Method(IDispatch* object, const wchar_t* name) { return Do(object, name, DISPATCH_METHOD); }

// A failing call as "<message> <source>".
std::wstring Failure(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args = {})
{
    Call call;
    Invoke(call, object, name, flags, args);
    for (VARIANT& v : args) VariantClear(&v);
    return std::to_wstring(Outcome(call)) + L" " + (call.error.bstrSource ? call.error.bstrSource : L"");
}

LONG GetLong(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {})
{
    Call call;
    Invoke(call, object, name, DISPATCH_PROPERTYGET, args);
    VARIANT value;
    VariantInit(&value);
    if (call.hr != S_OK || FAILED(VariantChangeType(&value, &call.result, 0, VT_I4))) return -9999;
    return V_I4(&value);
}

std::vector<LONG> Items(IDispatch* object, const wchar_t* name)
{
    std::vector<LONG> items;
    IDispatch* collection = GetObject(object, name);
    for (LONG i = 1, count = collection ? GetLong(collection, L"Count") : 0; i <= count; ++i)
        items.push_back(GetLong(collection, L"Item", {Long(i)}));
    if (collection) collection->Release();
    return items;
}

std::wstring Guid(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring RegistryText(const std::wstring& key, const wchar_t* value = nullptr)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"<none>";
    return text;
}

// --- In this process, over a stand-in main window. ------------------------

bool g_open = false;
COMMPROP g_properties{};
DeviceSettings g_connected{};
int g_closes = 0;

LRESULT CALLBACK StandInMain(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case 0x7440: g_connected = *reinterpret_cast<DeviceSettings*>(lParam); return 0;
    case 0x7442: return g_open ? -1 : 0;
    case 0x7443: reinterpret_cast<DeviceSettings*>(lParam)->properties = g_properties; return 0;
    case WM_CLOSE: ++g_closes; return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

class InProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        WNDCLASSW wc{};
        wc.lpfnWndProc = StandInMain;
        wc.lpszClassName = L"VorlinStandInMain";
        RegisterClassW(&wc);
        window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(InitAutomationServer(window_, app_));
        g_open = false;
        g_closes = 0;
    }
    void TearDown() override
    {
        ShutdownAutomationServer();
        DestroyWindow(window_);
        CoUninitialize();
    }
    static IDispatch* NewPort()
    {
        IDispatch* port = nullptr;
        EXPECT_EQ(CreatePortObject(IID_IDispatch, reinterpret_cast<void**>(&port)), S_OK);
        return port;
    }
    // The CommProp of a Port made while the main window reports `properties`.
    static IDispatch* PropertyOf(const COMMPROP& properties)
    {
        g_properties = properties;
        IDispatch* port = NewPort();
        IDispatch* prop = GetObject(port, L"Property");
        port->Release();
        return prop;
    }

    HWND window_ = nullptr;
    AppSettings app_{};
};

// Driven in this process: Wine's proxy of a remote class factory answers LockServer itself.
TEST_F(InProcess, LockServerKeepsAServerStartedForAutomation)
{
    ShutdownAutomationServer();
    app_.flags = APP_STARTED_BY_AUTOMATION;
    ASSERT_TRUE(InitAutomationServer(window_, app_));
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_Application, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)), S_OK);
    IDispatch* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                                      reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    object->Release();
    EXPECT_FALSE(PumpUntil([] { return g_closes > 0; }, 500)) << "the lock keeps the server";
    factory->LockServer(FALSE);
    EXPECT_TRUE(PumpUntil([&] { return g_closes == 1; }));
    factory->Release();
}

TEST_F(InProcess, CollectionsFollowTheirTablesAndCountFromOne)
{
    COMMPROP all{};
    all.dwSettableBaud = 0x7FFFF;
    all.wSettableData = 0x3F;
    all.wSettableStopParity = 0x1F07;
    all.dwSettableParams = 0x7F;
    all.dwProvCapabilities = 0x3FF;
    all.wPacketLength = 0xFFFF;
    IDispatch* prop = PropertyOf(all);
    ASSERT_TRUE(prop);
    EXPECT_EQ(Items(prop, L"SettableBaud"), (std::vector<LONG>{75, 110, 135, 150, 300, 600, 1200, 1800, 2400, 4800, 7200,
                                                               9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000}));
    EXPECT_EQ(Items(prop, L"SettableData"), (std::vector<LONG>{5, 6, 7, 8, 16, 32}));
    EXPECT_EQ(Items(prop, L"SettableStopBits"), (std::vector<LONG>{0, 1, 2}));
    EXPECT_EQ(Items(prop, L"SettableParity"), (std::vector<LONG>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Items(prop, L"SettableParams"), (std::vector<LONG>{2, 4, 16, 1, 32, 64, 8}));
    EXPECT_EQ(Items(prop, L"ProvCapabilities"), (std::vector<LONG>{1, 2, 4, 8, 16, 32, 64, 128, 256, 512}));
    EXPECT_EQ(GetLong(prop, L"MaxBaud"), 256000) << "the row without a bit matches 0";
    EXPECT_EQ(GetLong(prop, L"PacketLength"), 65535);
    prop->Release();

    COMMPROP some{};
    some.dwSettableBaud = 0x30000;
    some.wSettableStopParity = 0x0A02;
    some.dwMaxBaud = 0x10000000;  // no rate has this bit
    prop = PropertyOf(some);
    ASSERT_TRUE(prop);
    EXPECT_EQ(Items(prop, L"SettableBaud"), (std::vector<LONG>{115200, 128000}));  // 0x20000 before 0x10000
    EXPECT_EQ(Items(prop, L"SettableStopBits"), (std::vector<LONG>{1}));
    EXPECT_EQ(Items(prop, L"SettableParity"), (std::vector<LONG>{1, 3}));
    EXPECT_EQ(GetLong(prop, L"MaxBaud"), 9600);

    IDispatch* baud = GetObject(prop, L"SettableBaud");
    ASSERT_TRUE(baud);
    EXPECT_EQ(Do(baud, L"Item", DISPATCH_PROPERTYGET, {Long(0)}), DISP_E_BADINDEX);
    EXPECT_EQ(Do(baud, L"Item", DISPATCH_PROPERTYGET, {Long(3)}), DISP_E_BADINDEX);
    EXPECT_EQ(GetLong(baud, L"Item", {Text(L"2")}), 128000);
    Call newEnum;
    Invoke(newEnum, baud, L"_NewEnum", DISPATCH_PROPERTYGET);
    ASSERT_EQ(V_VT(&newEnum.result), VT_UNKNOWN);
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(V_UNKNOWN(&newEnum.result)->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)), S_OK);
    VARIANT got[3];
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(V_VT(&got[1]), VT_I4);
    EXPECT_EQ(V_I4(&got[1]), 128000);
    for (IUnknown* object : std::initializer_list<IUnknown*>{items, baud, prop}) object->Release();
}

// Each write is checked (lock, then open port, then range) and lands in its own field on Connect.
TEST_F(InProcess, DeviceSettingsAreCheckedAndHandedOverOnConnect)
{
    IDispatch* port = NewPort();
    IDispatch* other = NewPort();
    IDispatch* dcb = GetObject(port, L"DCB");
    IDispatch* timeouts = GetObject(port, L"Timeouts");
    IDispatch* queue = GetObject(port, L"DeviceQueue");
    ASSERT_TRUE(dcb && timeouts && queue);
    // Flags set before flags cleared, so a flag on another's bit shows either way.
    for (const wchar_t* flag : {L"fParity", L"fOutxDsrFlow", L"fTXContinueOnXoff", L"fInX", L"fNull", L"fAbortOnError"})
        EXPECT_EQ(Put(dcb, flag, Bool(true)), 0) << flag;
    for (const wchar_t* flag : {L"fOutxCtsFlow", L"fDsrSensitivity", L"fOutX", L"fErrorChar"})
        EXPECT_EQ(Put(dcb, flag, Bool(false)), 0) << flag;
    VARIANT one;
    V_VT(&one) = VT_BOOL;
    V_BOOL(&one) = 1;  // true is VARIANT_TRUE only
    EXPECT_EQ(Put(dcb, L"fBinary", one), 0);
    struct Range {
        const wchar_t* name;
        LONG lowest, highest;
        long message;
        LONG value;  // written last
    } ranges[] = {
        {L"fDtrControl", 0, 2, 4104, 2},   {L"fRtsControl", 0, 3, 4105, 3}, {L"XonLim", 0, 32767, 4106, 101},
        {L"XoffLim", 0, 32767, 4107, 102}, {L"ByteSize", 4, 8, 4108, 7},    {L"Parity", 0, 4, 4109, 3},
        {L"StopBits", 0, 2, 4110, 1},      {L"XonChar", 0, 255, 4114, 201}, {L"XoffChar", 0, 255, 4114, 202},
        {L"ErrorChar", 0, 255, 4114, 203}, {L"EofChar", 0, 255, 4114, 204}, {L"EvtChar", 0, 255, 4114, 205},
    };
    for (const Range& r : ranges) {
        EXPECT_EQ(Put(dcb, r.name, Long(r.lowest)), 0) << r.name;
        EXPECT_EQ(Put(dcb, r.name, Long(r.highest)), 0) << r.name;
        EXPECT_EQ(Put(dcb, r.name, Long(r.lowest - 1)), r.message) << r.name;
        if (r.highest < 32767) {
            EXPECT_EQ(Put(dcb, r.name, Long(r.highest + 1)), r.message) << r.name;
        }
        EXPECT_EQ(GetLong(dcb, r.name), r.highest) << r.name << " unchanged by a refused write";
        EXPECT_EQ(Put(dcb, r.name, Long(r.value)), 0) << r.name;
    }
    const std::pair<IDispatch*, const wchar_t*> counts[] = {
        {dcb, L"BaudRate"}, {timeouts, L"ReadIntervalTimeout"}, {timeouts, L"ReadTotalTimeoutMultiplier"},
        {timeouts, L"ReadTotalTimeoutConstant"}, {timeouts, L"WriteTotalTimeoutMultiplier"},
        {timeouts, L"WriteTotalTimeoutConstant"}, {queue, L"InQueue"}, {queue, L"OutQueue"},
    };
    for (size_t i = 0; i < std::size(counts); ++i)
        EXPECT_EQ(Put(counts[i].first, counts[i].second, Long(static_cast<LONG>(11 + i))), 0) << counts[i].second;

    ASSERT_EQ(Method(port, L"Connect"), 0);
    const DCB& d = g_connected.dcb;
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ((std::vector<unsigned>{d.fBinary, d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow, d.fDtrControl,
                                     d.fDsrSensitivity, d.fTXContinueOnXoff, d.fOutX, d.fInX, d.fErrorChar, d.fNull,
                                     d.fRtsControl, d.fAbortOnError}),
              (std::vector<unsigned>{0, 1, 0, 1, 2, 0, 1, 0, 1, 0, 1, 3, 1}));
    EXPECT_EQ((std::vector<unsigned>{d.XonLim, d.XoffLim, d.ByteSize, d.Parity, d.StopBits,
                                     static_cast<uint8_t>(d.XonChar), static_cast<uint8_t>(d.XoffChar),
                                     static_cast<uint8_t>(d.ErrorChar), static_cast<uint8_t>(d.EofChar),
                                     static_cast<uint8_t>(d.EvtChar)}),
              (std::vector<unsigned>{101, 102, 7, 3, 1, 201, 202, 203, 204, 205}));
    const COMMTIMEOUTS& t = g_connected.timeouts;
    EXPECT_EQ((std::vector<DWORD>{d.BaudRate, t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                  t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant,
                                  g_connected.inputQueueSize, g_connected.outputQueueSize}),
              (std::vector<DWORD>{11, 12, 13, 14, 15, 16, 17, 18}));

    // Negative counts come from the CommTimeouts source, also for the queue.
    EXPECT_EQ(Failure(timeouts, L"ReadIntervalTimeout", DISPATCH_PROPERTYPUT, {Long(-1)}), L"4115 Vorlin2.CommTimeouts");
    EXPECT_EQ(Failure(queue, L"OutQueue", DISPATCH_PROPERTYPUT, {Long(-1)}), L"4116 Vorlin2.CommTimeouts");
    // Another Port holds the lock: DCB writes fail with 2022, even while open; counts ignore it.
    EXPECT_EQ(Method(other, L"Lock"), 0);
    EXPECT_EQ(Failure(dcb, L"BaudRate", DISPATCH_PROPERTYPUT, {Long(1)}), L"2022 Vorlin2.DeviceControlBlock");
    EXPECT_EQ(Put(queue, L"InQueue", Long(5)), 0);
    g_open = true;
    EXPECT_EQ(Put(dcb, L"ByteSize", Long(9)), 2022);
    EXPECT_EQ(Method(other, L"Unlock"), 0);
    EXPECT_EQ(Put(dcb, L"ByteSize", Long(9)), 4113);
    EXPECT_EQ(Put(timeouts, L"ReadTotalTimeoutConstant", Long(-1)), 4115);
    EXPECT_EQ(Failure(timeouts, L"ReadTotalTimeoutConstant", DISPATCH_PROPERTYPUT, {Long(5)}),
              L"4113 Vorlin2.DeviceControlBlock");
    EXPECT_EQ(Put(queue, L"InQueue", Long(5)), 4113);
    EXPECT_EQ(Failure(port, L"Connect", DISPATCH_METHOD), L"4111 Vorlin2.Port");
    g_open = false;

    // Another Port has a block of its own.
    IDispatch* otherDcb = GetObject(other, L"DCB");
    EXPECT_NE(GetLong(otherDcb, L"XonChar"), 201);
    // The dispatch layer takes only its own index and IID_NULL.
    ITypeInfo* info = nullptr;
    EXPECT_EQ(port->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"Name");
    EXPECT_EQ(port->GetIDsOfNames(IID_IDispatch, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    for (IDispatch* object : {otherDcb, dcb, timeouts, queue, other, port}) object->Release();
}

// What clients compiled against the library rely on: numbers, not names.
// Whatever a client passes: every member of every object is called with random arguments (any
// type, huge and odd texts, arrays of any shape), port closed and open; nothing may fault or hang.
TEST_F(InProcess, RandomArgumentsToEveryMemberAreAnsweredSafely)
{
    std::mt19937 random(20261206);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    std::function<VARIANT(int)> make = [&](int depth) {
        VARIANT v;
        VariantInit(&v);
        const LONG edges[] = {0, 1, -1, 255, 256, 65535, 65536, LONG_MAX, LONG_MIN};
        switch (const uint32_t kind = pick(depth ? 6 : 9); kind > 6 ? 4 : kind) {  // texts most often
        case 0: V_VT(&v) = VT_NULL; break;
        case 1: v = Long(pick(2) ? edges[pick(9)] : static_cast<LONG>(random())); break;
        case 2: V_VT(&v) = VT_R8, V_R8(&v) = pick(2) ? 1e300 : -0.5; break;
        case 3: v = Bool(pick(2)); break;
        case 4: {
            std::wstring text(pick(4) ? pick(40) : pick(70000), L'0');
            for (wchar_t& c : text) c = pick(2) ? L"0123456789abcdefＡＦ０９ -\xD800"[pick(23)] : wchar_t(random());
            v = Text(text.c_str());
            break;
        }
        case 5: {
            SAFEARRAYBOUND bounds[2] = {{pick(20), static_cast<LONG>(pick(3)) - 1}, {pick(3), 0}};
            const UINT dimensions = 1 + pick(2);
            SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, dimensions, bounds);
            for (LONG i = 0; array && dimensions == 1 && i < static_cast<LONG>(bounds[0].cElements); ++i) {
                LONG index = bounds[0].lLbound + i;
                VARIANT item = make(1);
                SafeArrayPutElement(array, &index, &item);
                VariantClear(&item);
            }
            V_VT(&v) = VT_ARRAY | VT_VARIANT, V_ARRAY(&v) = array;
            break;
        }
        default: break;  // VT_EMPTY
        }
        return v;
    };
    IDispatch* app = nullptr;
    IDispatch* port = NewPort();
    ASSERT_EQ(CreateApplicationObject(IID_IDispatch, reinterpret_cast<void**>(&app)), S_OK);
    std::vector<IDispatch*> objects{app, port};
    for (const wchar_t* name : {L"DCB", L"Timeouts", L"DeviceQueue", L"Property"}) objects.push_back(GetObject(port, name));
    int calls = 0;
    for (int round = 0; round < 3000; ++round) {
        g_open = round >= 1500;
        IDispatch* object = objects[pick(static_cast<uint32_t>(objects.size()))];
        ITypeInfo* info = nullptr;
        TYPEATTR* type = nullptr;
        ASSERT_TRUE(object && object->GetTypeInfo(0, 0, &info) == S_OK && info->GetTypeAttr(&type) == S_OK);
        FUNCDESC* function = nullptr;
        if (info->GetFuncDesc(pick(type->cFuncs), &function) != S_OK) {  // IDispatch's own, under Wine
            info->ReleaseTypeAttr(type);
            info->Release();
            continue;
        }
        ++calls;
        std::vector<VARIANT> args(pick(5) ? function->cParams : pick(4));
        for (VARIANT& arg : args) arg = make(0);
        const bool put = function->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
        Call call;
        call.hr = object->Invoke(function->memid, IID_NULL, 0, static_cast<WORD>(function->invkind), &params,
                                 &call.result, &call.error, nullptr);
        for (VARIANT& arg : args) VariantClear(&arg);
        info->ReleaseFuncDesc(function);
        info->ReleaseTypeAttr(type);
        info->Release();
    }
    for (IDispatch* object : objects) object->Release();
    EXPECT_GT(calls, 1000);
}

TEST_F(InProcess, TypeLibraryDeclaresTheObjectModel)
{
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
    struct Member {
        const IID& iid;
        const wchar_t* name;
        DISPID id;
        DWORD help;
    } members[] = {
        {IID_IApplication, L"Caption", 0, 31001},          {IID_IApplication, L"Port", 7, 31008},
        {IID_IPort, L"Name", 0, 30001},                    {IID_IPort, L"Send", 16, 30017},
        {IID_IPort, L"Application", 20, 30021},            {DIID_IApplicationEvents, L"OnAppTimer", 3, 33003},
        {DIID_IPortEvents, L"OnReceive", 4, 32004},        {IID_IDeviceControlBlock, L"EvtChar", 24, 20024},
        {IID_ICommTimeouts, L"WriteTotalTimeoutConstant", 5, 21005}, {IID_IDeviceQueue, L"OutQueue", 2, 22002},
        {IID_ICommProp, L"CurrentRxQueue", 15, 29015},     {IID_ISettableBaudCollection, L"_NewEnum", -4, 25003},
        {IID_ISettableParityCollection, L"Item", 0, 28001},
    };
    for (const Member& m : members) {
        ASSERT_EQ(library->GetTypeInfoOfGuid(m.iid, &info), S_OK) << WideToSjis(m.name);
        LPOLESTR name = const_cast<LPOLESTR>(m.name);
        DISPID id = 1000;
        DWORD help = 0;
        EXPECT_EQ(info->GetIDsOfNames(&name, 1, &id), S_OK);
        EXPECT_EQ(id, m.id) << WideToSjis(m.name);
        EXPECT_EQ(info->GetDocumentation(id, nullptr, nullptr, &help, nullptr), S_OK);
        EXPECT_EQ(help, m.help) << WideToSjis(m.name);
        info->Release();
    }
    library->Release();
    // The enumerations carry the system's values, not their places.
    const std::pair<long, long> values[] = {
        {stFAX, PST_FAX},     {stSCANNER, PST_SCANNER},        {stNETWORK_BRIDGE, PST_NETWORK_BRIDGE},
        {stLAT, PST_LAT},     {stTCPIP_TELNET, PST_TCPIP_TELNET}, {stX25, PST_X25},
        {pcf16BitMode, PCF_16BITMODE}, {spHandShaking, SP_HANDSHAKING}, {spParityCheck, SP_PARITY_CHECK},
        {spRLSD, SP_RLSD},    {rcToggle, RTS_CONTROL_TOGGLE},  {dcHandshake, DTR_CONTROL_HANDSHAKE},
        {prtSpace, SPACEPARITY}, {sb20, TWOSTOPBITS},          {deRlsd, 4}, {deBreak, 256},
    };
    for (const auto& [value, expected] : values) EXPECT_EQ(value, expected);
}

// --- The real program, registered for the whole run. ----------------------

class RegisteredServer : public testing::Environment {
public:
    void SetUp() override
    {
        g_folder = new TempFolder;
        ASSERT_TRUE(InstallProgram(g_folder->Path()));
        ASSERT_TRUE(RunProgramToEnd(g_folder->Path(), "/RegServer"));
    }
    // Last: the entries go, CLSID (NoRemove) stays, and the library is gone.
    void TearDown() override
    {
        EXPECT_TRUE(RunProgramToEnd(g_folder->Path(), "/UnregServer"));
        EXPECT_EQ(RegistryText(L"CLSID\\" + Guid(CLSID_Application) + L"\\LocalServer32"), L"<none>");
        EXPECT_EQ(RegistryText(L"Vorlin2.Application\\CLSID"), L"<none>");
        HKEY key;
        EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + Guid(LIBID_Vorlin2)).c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"Interface\\" + Guid(IID_IPort)).c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        delete g_folder;
        g_folder = nullptr;
    }
};
const testing::Environment* const g_registration = testing::AddGlobalTestEnvironment(new RegisteredServer);

TEST(Registration, EntersTheClassesProgramIdsAndTheQuotedServerPath)
{
    const std::wstring app = L"CLSID\\" + Guid(CLSID_Application), port = L"CLSID\\" + Guid(CLSID_Port);
    const std::wstring server = L"\"" + SjisToWide(g_folder->File("Vorlin2.exe")) + L"\"";
    std::wstring appId = Guid(LIBID_Vorlin2);
    appId[8] = L'0';  // one family: the application identifier ends in 990, the library in 991
    const struct {
        std::wstring key;
        const wchar_t* value;
        std::wstring expected;
    } entries[] = {
        {app + L"\\LocalServer32", nullptr, server},     {app + L"\\LocalServer32", L"ThreadingModel", L"Apartment"},
        {app + L"\\LocalServer", nullptr, server},       {app + L"\\ProgID", nullptr, L"Vorlin2.Application.1"},
        {app + L"\\VersionIndependentProgID", nullptr, L"Vorlin2.Application"},
        {app + L"\\TypeLib", nullptr, Guid(LIBID_Vorlin2)}, {port + L"\\LocalServer32", nullptr, server},
        {port + L"\\ProgID", nullptr, L"Vorlin2.Port.1"}, {port + L"\\VersionIndependentProgID", nullptr, L"Vorlin2.Port"},
        {L"Vorlin2.Application\\CLSID", nullptr, Guid(CLSID_Application)},
        {L"Vorlin2.Application\\CurVer", nullptr, L"Vorlin2.Application.1"},
        {L"Vorlin2.Application.1\\CLSID", nullptr, Guid(CLSID_Application)},
        {L"Vorlin2.Port\\CLSID", nullptr, Guid(CLSID_Port)},   {L"Vorlin2.Port\\CurVer", nullptr, L"Vorlin2.Port.1"},
        {L"Vorlin2.Port.1\\CLSID", nullptr, Guid(CLSID_Port)}, {L"AppID\\" + appId, nullptr, L"Vorlin2"},
        {L"AppID\\Vorlin2.exe", L"AppID", appId},
    };
    for (const auto& e : entries) EXPECT_EQ(RegistryText(e.key, e.value), e.expected) << WideToSjis(e.key);
}

// A sink of both event interfaces: counts events, keeps texts and timer ids, answers OnQuit.
class Sink : public PortEventSink {
public:
    std::map<DISPID, int> calls;
    std::map<LONG, int> timers;
    std::wstring received;
    bool cancelQuit = false;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid != DIID_IApplicationEvents) return PortEventSink::QueryInterface(iid, out);
        *out = this;
        return S_OK;
    }

private:
    void Event(DISPID id, const DISPPARAMS& params) override
    {
        ++calls[id];
        const VARIANT* arg = params.cArgs == 1 ? &params.rgvarg[0] : nullptr;
        if (id == 3 && arg && V_VT(arg) == VT_I4) ++timers[V_I4(arg)];
        if (id == 4 && arg && V_VT(arg) == VT_BSTR) received += V_BSTR(arg);
        if (id == 2 && arg && V_VT(arg) == (VT_BOOL | VT_BYREF) && cancelQuit) *V_BOOLREF(arg) = VARIANT_TRUE;
    }
};

class Server : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    static IDispatch* Create(REFCLSID type)
    {
        IDispatch* object = nullptr;
        EXPECT_EQ(CoCreateInstance(type, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
                  S_OK);
        return object;
    }
    static HWND WindowOf(IDispatch* app) { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(GetLong(app, L"hwnd"))); }
    // The server's process, to see it end.
    static HANDLE ProcessOf(HWND window)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        return OpenProcess(SYNCHRONIZE, FALSE, pid);
    }
    // Pumping: an ending server releases our sinks, which are calls into this apartment.
    static bool Ends(HANDLE process, DWORD timeoutMs = kWait)
    {
        bool ended = PumpUntil([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeoutMs);
        if (ended) CloseHandle(process);
        return ended;
    }
    static HRESULT Advise(IDispatch* object, REFIID events, IUnknown* sink)
    {
        IConnectionPointContainer* container = nullptr;
        IConnectionPoint* point = nullptr;
        DWORD cookie = 0;
        HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
        if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, &point);
        if (SUCCEEDED(hr)) hr = point->Advise(sink, &cookie);
        if (point) point->Release();
        if (container) container->Release();
        return hr;
    }
    static bool Send(IDispatch* port, const wchar_t* text, bool sync = true)
    {
        return Do(port, L"Send", DISPATCH_METHOD, {Text(text), Bool(sync)}) == 0;
    }
};

TEST_F(Server, ApplicationMembersErrorsTimersQuitAndTheSinkLimit)
{
    IDispatch* a = Create(CLSID_Application);
    IDispatch* b = Create(CLSID_Application);
    ASSERT_TRUE(a && b);
    HWND window = WindowOf(a);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window)) << "a server started for a client starts hidden";
    HANDLE process = ProcessOf(window);

    // The title goes through UTF-16 both ways (a character outside Shift_JIS survives), 511 at most.
    const std::wstring title = L"Vorlin2 テスト é ☃";
    EXPECT_EQ(Put(a, L"Caption", Text(title.c_str())), 0);
    Call caption;
    Invoke(caption, a, L"Caption", DISPATCH_PROPERTYGET);
    EXPECT_EQ(std::wstring(V_BSTR(&caption.result)), title);
    EXPECT_EQ(Put(a, L"Caption", Text(std::wstring(600, L'x').c_str())), 0);
    Call longCaption;
    Invoke(longCaption, a, L"Caption", DISPATCH_PROPERTYGET);
    EXPECT_EQ(SysStringLen(V_BSTR(&longCaption.result)), 511u);
    EXPECT_EQ(Put(a, L"Visible", Bool(true)), 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, kWait));

    // Errors: source, the catalogue's text and 0x8004xxxx with the message number.
    Call noSink;
    Invoke(noSink, a, L"SetAppTimer", DISPATCH_METHOD, {Long(100)});
    EXPECT_EQ(noSink.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(static_cast<uint32_t>(noSink.error.scode), 0x80041005u);
    EXPECT_STREQ(noSink.error.bstrSource, L"Vorlin2.Application");
    EXPECT_STREQ(noSink.error.bstrDescription, L"タイマーを使うには、先にイベントシンクを接続してください。");
    Sink sinkA, sinkB;
    ASSERT_EQ(Advise(a, DIID_IApplicationEvents, &sinkA), S_OK);
    ASSERT_EQ(Advise(b, DIID_IApplicationEvents, &sinkB), S_OK);
    Call notOwn;
    Invoke(notOwn, a, L"KillAppTimer", DISPATCH_METHOD, {Long(4242)});
    EXPECT_EQ(static_cast<uint32_t>(notOwn.error.scode), 0x80041007u);
    EXPECT_STREQ(notOwn.error.bstrDescription, L"タイマー 4242 はこのイベントシンクのタイマーではありません。");
    EXPECT_EQ(Do(a, L"SetAppTimer", DISPATCH_METHOD, {Long(0)}), E_INVALIDARG);

    // Four timers on one sink (the shortest interval is 1), each heard; the fifth is refused.
    LONG ids[4] = {};
    for (LONG& id : ids) {
        Call set;
        Invoke(set, a, L"SetAppTimer", DISPATCH_METHOD, {Long(&id == ids ? 1 : 20)});
        ASSERT_EQ(set.hr, S_OK);
        id = V_I4(&set.result);
    }
    EXPECT_EQ(Do(a, L"SetAppTimer", DISPATCH_METHOD, {Long(20)}), 4102);
    EXPECT_TRUE(PumpUntil([&] { return sinkA.timers[ids[0]] >= 2 && sinkA.timers[ids[3]] >= 2; }, kWait));
    EXPECT_TRUE(sinkB.timers.empty());
    for (LONG id : ids) EXPECT_EQ(Do(a, L"KillAppTimer", DISPATCH_METHOD, {Long(id)}), 0);

    // Quit asks the other object's sink only; its cancel keeps the program.
    sinkB.cancelQuit = true;
    Call cancelled;
    Invoke(cancelled, a, L"Quit", DISPATCH_METHOD);
    EXPECT_EQ(cancelled.hr, S_OK);
    EXPECT_EQ(V_BOOL(&cancelled.result), VARIANT_FALSE);
    EXPECT_EQ(sinkB.calls[2], 1);
    EXPECT_EQ(sinkA.calls[2], 0);
    EXPECT_TRUE(IsWindow(window));

    // 16 sinks process-wide; the enumerator lists the object's own (Wine's proxy of Next loses the count).
    std::vector<Sink> more(14);
    for (Sink& s : more) ASSERT_EQ(Advise(a, DIID_IApplicationEvents, &s), S_OK);
    Sink extra;
    EXPECT_EQ(Advise(b, DIID_IApplicationEvents, &extra), CONNECT_E_ADVISELIMIT);
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    IEnumConnections* connections = nullptr;
    a->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    container->FindConnectionPoint(DIID_IApplicationEvents, &point);
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    EXPECT_EQ(connections->Skip(15), S_OK);
    EXPECT_EQ(connections->Skip(1), S_FALSE);
    for (IUnknown* object : std::initializer_list<IUnknown*>{connections, point, container}) object->Release();

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

VARIANT ArrayOf(std::vector<LONG> values, UINT dimensions = 1)
{
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(values.size()), 1}, {1, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, dimensions, bounds);
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        LONG index[2] = {i + 1, 0};
        VARIANT v = Long(values[i]);
        SafeArrayPutElement(array, index, &v);
    }
    VARIANT v;
    V_VT(&v) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&v) = array;
    return v;
}

// Escape with `code` and `input`: 0 or the error; the output's size in `outputSize`.
long EscapeWith(IDispatch* port, LONG code, VARIANT input, LONG* outputSize = nullptr)
{
    VARIANT out;
    VariantInit(&out);
    VARIANT byRef;
    V_VT(&byRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&byRef) = &out;
    long result = Do(port, L"Escape", DISPATCH_METHOD, {Long(code), input, Long(4), byRef});
    LONG upper = -1;
    if (outputSize && V_VT(&out) == (VT_ARRAY | VT_UI1)) SafeArrayGetUBound(V_ARRAY(&out), 1, &upper);
    if (outputSize) *outputSize = upper + 1;
    VariantClear(&out);
    return result;
}

TEST_F(Server, PortConnectsSendsReceivesDrivesTheLinesAndLocks)
{
    IDispatch* port = Create(CLSID_Port);
    ASSERT_TRUE(port);
    IDispatch* app = GetObject(port, L"Application");
    ASSERT_TRUE(app);
    HWND window = WindowOf(app);
    HANDLE process = ProcessOf(window);
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    app->Release();
    static Sink sink;  // outlives the apartment, whatever the server does
    ASSERT_NE(AdvisePortEvents(port, &sink), 0u);

    EXPECT_EQ(Put(port, L"Name", Text(L"" VORLIN_PORT)), 0);
    ASSERT_EQ(Method(port, L"Connect"), 0);
    EXPECT_EQ(GetLong(port, L"IsConnect"), -1);
    EXPECT_TRUE(PumpUntil([&] { return sink.calls[1] == 1; }, kWait));

    // A hidden server whose close the user refuses (port open) shows itself: nobody could close it.
    EXPECT_FALSE(IsWindowVisible(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
    HWND question = WaitForThreadDialog(thread, nullptr, kWait);
    ASSERT_TRUE(question);
    ClickDialogButton(question, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, kWait));

    // The settings dialog saves the type library the program carries where the user chooses.
    PostMessageW(window, WM_COMMAND, IDM_SETTINGS, 0);
    HWND settings = WaitForThreadDialog(thread, L"アプリケーションの設定", kWait);
    ASSERT_TRUE(settings);
    for (int i = 0; i < 2; ++i) PostMessageW(settings, WM_KEYDOWN, VK_NEXT, 0);
    HWND page = GetDlgItem(settings, IDC_SETTINGS_PAGE_FIRST + 2);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(page); }, kWait));
    PostMessageW(GetDlgItem(page, IDC_EXPORT_TYPELIB), BM_CLICK, 0, 0);
    HWND chooser = WaitForThreadDialog(thread, L"エクスポートファイルの選択", kWait);
    ASSERT_TRUE(chooser);
    const std::wstring file = SjisToWide(g_folder->File("exported.tlb"));
    LPARAM name = reinterpret_cast<LPARAM>(file.c_str());
    if (!SendDlgItemMessageW(chooser, 0x47C, WM_SETTEXT, 0, name))  // the file name box: cmb13, else edt1
        SendDlgItemMessageW(chooser, 0x480, WM_SETTEXT, 0, name);
    PostMessageW(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !ReadWholeFile(WideToSjis(file)).empty(); }, kWait)) << "no file written";
    ITypeLib* exported = nullptr;
    ASSERT_EQ(LoadTypeLibEx(file.c_str(), REGKIND_NONE, &exported), S_OK);
    exported->Release();
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(settings); }, kWait));

    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT)) << GetLastError();
    ASSERT_TRUE(peer.Write(std::string("\x00\x41\xFF", 3)));
    EXPECT_TRUE(PumpUntil([&] { return sink.received == L"0041FF"; }, kWait)) << WideToSjis(sink.received);

    // Hex pairs after mapping to half-width upper case; an odd last digit is not sent.
    ASSERT_TRUE(Send(port, L"abc"));
    EXPECT_EQ(peer.Read(SIZE_MAX, 500), "\xAB");
    ASSERT_TRUE(Send(port, L"41 42"));
    EXPECT_EQ(peer.Read(SIZE_MAX, 500), std::string("\x41\x04"));
    ASSERT_TRUE(Send(port, L"４１", false));
    EXPECT_EQ(peer.Read(1, 2000), "\x41");
    ASSERT_TRUE(Send(port, nullptr));  // a null text sends nothing
    // A synchronous send has been written when it returns: all of it is there at once.
    ASSERT_TRUE(Send(port, std::wstring(4000, L'5').c_str()));
    EXPECT_EQ(peer.Read(2000, 50).size(), 2000u);

    // Lines reach the far end (RTS -> CTS, DTR -> DSR) and read back.
    auto peerSees = [&](DWORD bit, bool on) {
        return WaitUntil([&] { return ((peer.ModemStatus() & bit) != 0) == on; }, 3000);
    };
    EXPECT_EQ(Put(port, L"RTS", Bool(false)), 0);
    EXPECT_TRUE(peerSees(MS_CTS_ON, false));
    EXPECT_EQ(GetLong(port, L"RTS"), 0);
    EXPECT_EQ(Put(port, L"DTR", Bool(false)), 0);
    EXPECT_TRUE(peerSees(MS_DSR_ON, false));

    // GET_BAUD_RATE answers in bytes; bad input is refused before use, a refused request is its Win32 error.
    LONG outputSize = 0;
    EXPECT_EQ(EscapeWith(port, 0x1B0050, ArrayOf({}), &outputSize), 0);
    EXPECT_EQ(outputSize, 4);
    EXPECT_EQ(EscapeWith(port, 0x1B0050, ArrayOf({1, 2}, 2)), 4001);
    EXPECT_EQ(EscapeWith(port, 0x1B0050, ArrayOf({1, 256})), 4011);
    EXPECT_EQ(EscapeWith(port, 0x1B0050, ArrayOf({-1})), 4011);
    EXPECT_EQ(EscapeWith(port, 0x1B0050, Long(5)), 4001);
    EXPECT_EQ(static_cast<uint32_t>(EscapeWith(port, 0x12345, ArrayOf({}))) & 0xFFFF0000u, 0x80070000u);

    // Under handshake the lines are the driver's.
    EXPECT_EQ(Method(port, L"Disconnect"), 0);
    EXPECT_TRUE(PumpUntil([&] { return sink.calls[2] == 1; }, kWait));
    EXPECT_EQ(Failure(port, L"DTR", DISPATCH_PROPERTYPUT, {Bool(true)}), L"4112 Vorlin2.Port");
    IDispatch* dcb = GetObject(port, L"DCB");
    ASSERT_TRUE(dcb);
    EXPECT_EQ(Put(dcb, L"fDtrControl", Long(2)), 0);
    EXPECT_EQ(Put(dcb, L"fRtsControl", Long(2)), 0);
    dcb->Release();
    EXPECT_EQ(Method(port, L"Connect"), 0);
    EXPECT_EQ(Put(port, L"DTR", Bool(true)), 4117);
    EXPECT_EQ(Put(port, L"RTS", Bool(true)), 4118);
    EXPECT_EQ(Method(port, L"Disconnect"), 0);

    // The lock stops another Port and the user's F5, outlives its Port; a held DCB keeps the server.
    IDispatch* other = Create(CLSID_Port);
    ASSERT_TRUE(other);
    EXPECT_EQ(Method(port, L"Lock"), 0);
    Call connect;
    Invoke(connect, other, L"Connect", DISPATCH_METHOD);
    EXPECT_EQ(Outcome(connect), 2022);
    EXPECT_STREQ(connect.error.bstrSource, L"Vorlin2.DeviceControlBlock");
    PostMessageW(window, WM_KEYDOWN, VK_F5, 0);
    HWND box = WaitForThreadDialog(thread, nullptr, kWait);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), std::wstring(connect.error.bstrDescription));
    ClickDialogButton(box, IDOK);
    dcb = GetObject(port, L"DCB");
    ASSERT_TRUE(dcb);
    port->Release();
    EXPECT_EQ(Method(other, L"Connect"), 2022);
    other->Release();
    EXPECT_FALSE(Ends(process, 1500));
    EXPECT_NE(GetLong(dcb, L"ByteSize"), -9999) << "the object still answers";
    dcb->Release();
    EXPECT_TRUE(Ends(process));
}

// Instances of the program running in this prefix.
int ServerProcesses()
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += _wcsicmp(entry.szExeFile, L"Vorlin2.exe") == 0;
    CloseHandle(snapshot);
    return count;
}

// The README's two examples, exactly as they stand there, and a JScript, through the system's
// script host; the server started for each ends with its script.
TEST(Scripts, TheReadmeExamplesRunAsTheyStand)
{
    std::string path = VORLIN_README;
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::string readme = ReadWholeFile(path);
    auto example = [&](const char* start) {
        size_t begin = readme.find(start);
        if (begin == std::string::npos) return std::string();
        begin += strlen("```vbscript\n");
        return readme.substr(begin, readme.find("```", begin) - begin);
    };
    std::string printed;
    EXPECT_EQ(RunScript(g_folder->Path(), "caption.vbs", example("```vbscript\nSet app"), &printed), 0u);
    EXPECT_NE(printed.find(WideToSjis(L"Caption: Vorlin2 - 装置テスト")), std::string::npos) << printed;
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT)) << GetLastError();
    EXPECT_EQ(RunScript(g_folder->Path(), "port.vbs", example("```vbscript\n' port.vbs"), &printed, VORLIN_PORT), 0u);
    EXPECT_EQ(peer.Read(7, 5000), "Hello\r\n");
    EXPECT_NE(printed.find("Sent on " VORLIN_PORT), std::string::npos) << printed;
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
    // JScript sees the server's error as an exception with its number. (Wine's script host quits
    // without releasing what a script holds: the script lets go first.)
    EXPECT_EQ(RunScript(g_folder->Path(), "client.js",
                        "var app = new ActiveXObject(\"Vorlin2.Application\"), code = 3;\r\n"
                        "try { app.KillAppTimer(7); } catch (e) { code = (e.number >>> 0) == 0x80041005 ? 0 : 4; }\r\n"
                        "app = null; CollectGarbage(); WScript.Quit(code);\r\n"),
              0u);
    EXPECT_TRUE(WaitUntil([] { return ServerProcesses() == 0; }, kWait)) << "the server ends with its script";
}

} // namespace
