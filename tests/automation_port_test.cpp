// The Port object and its device-setting objects. The tables and checks run
// in this process over a window that stands in for the main window; the
// port itself is driven in the real program, registered under Wine, on a
// virtual null-modem cable, from this process and from the README's script.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation/automation.h"
#include "automation/server.h"
#include "base/text.h"
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

// A call's outcome: 0 for S_OK, the message number of an automation error,
// else the HRESULT (also when the dispatch layer reported it as an exception).
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

// --- In this process, over a stand-in main window. ------------------------

bool g_open = false;
COMMPROP g_properties{};

LRESULT CALLBACK StandInMain(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == 0x7442) return g_open ? -1 : 0;
    if (msg == 0x7443) reinterpret_cast<DeviceSettings*>(lParam)->properties = g_properties;
    return msg == 0x7443 ? 0 : DefWindowProcW(hwnd, msg, wParam, lParam);
}

class DeviceSettingObjects : public testing::Test {
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

    HWND window_ = nullptr;
    AppSettings app_{};
};

TEST_F(DeviceSettingObjects, CollectionsFollowTheirTablesAndCountFromOne)
{
    g_properties = {};
    g_properties.dwSettableBaud = 0x30000;
    g_properties.dwSettableParams = 0x7F;
    g_properties.dwMaxBaud = 0x10000000;  // no rate has this bit
    g_properties.wSettableStopParity = 0x0505;
    IDispatch* port = NewPort();
    IDispatch* prop = GetObject(port, L"Property");
    ASSERT_TRUE(prop);
    EXPECT_EQ(GetLong(prop, L"MaxBaud"), 9600);
    EXPECT_EQ(Items(prop, L"SettableBaud"), (std::vector<LONG>{115200, 128000}));  // 0x20000 before 0x10000
    EXPECT_EQ(Items(prop, L"SettableParams"), (std::vector<LONG>{2, 4, 16, 1, 32, 64, 8}));
    EXPECT_EQ(Items(prop, L"SettableStopBits"), (std::vector<LONG>{0, 2}));
    EXPECT_EQ(Items(prop, L"SettableParity"), (std::vector<LONG>{0, 2}));

    IDispatch* baud = GetObject(prop, L"SettableBaud");
    ASSERT_TRUE(baud);
    EXPECT_EQ(Do(baud, L"Item", DISPATCH_PROPERTYGET, {Long(0)}), DISP_E_BADINDEX);
    EXPECT_EQ(Do(baud, L"Item", DISPATCH_PROPERTYGET, {Long(3)}), DISP_E_BADINDEX);
    EXPECT_EQ(Do(baud, L"Item", DISPATCH_PROPERTYGET, {Text(L"two")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(GetLong(baud, L"Item", {Text(L"2")}), 128000);
    // The enumerator yields the same items, in order, as long values.
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
    for (IUnknown* object : std::initializer_list<IUnknown*>{items, baud, prop, port}) object->Release();
}

TEST_F(DeviceSettingObjects, WritesAreCheckedForLockPortStateAndRange)
{
    IDispatch* port = NewPort();
    IDispatch* other = NewPort();
    IDispatch* dcb = GetObject(port, L"DCB");
    IDispatch* timeouts = GetObject(port, L"Timeouts");
    IDispatch* queue = GetObject(port, L"DeviceQueue");
    ASSERT_TRUE(dcb && timeouts && queue);
    struct Range {
        const wchar_t* name;
        LONG lowest, highest;
        long message;
    } ranges[] = {
        {L"fDtrControl", 0, 2, 4104}, {L"fRtsControl", 0, 3, 4105}, {L"XonLim", 0, 32767, 4106},
        {L"XoffLim", 0, 32767, 4107}, {L"ByteSize", 4, 8, 4108},    {L"Parity", 0, 4, 4109},
        {L"StopBits", 0, 2, 4110},    {L"XonChar", 0, 255, 4114},   {L"EvtChar", 0, 255, 4114},
    };
    for (const Range& r : ranges) {
        EXPECT_EQ(Put(dcb, r.name, Long(r.lowest)), 0) << r.name;
        EXPECT_EQ(Put(dcb, r.name, Long(r.highest)), 0) << r.name;
        EXPECT_EQ(Put(dcb, r.name, Long(r.lowest - 1)), r.message) << r.name;
        if (r.highest < 32767) {
            EXPECT_EQ(Put(dcb, r.name, Long(r.highest + 1)), r.message) << r.name;
        }
        EXPECT_EQ(GetLong(dcb, r.name), r.highest) << r.name << " unchanged by a refused write";
    }
    // A flag or a two-bit field changes only its own bits.
    EXPECT_EQ(Put(dcb, L"fOutX", Bool(true)), 0);
    EXPECT_EQ(Put(dcb, L"fDtrControl", Long(1)), 0);
    EXPECT_EQ(GetLong(dcb, L"fOutX"), -1);
    EXPECT_EQ(GetLong(dcb, L"fRtsControl"), 3);
    EXPECT_EQ(GetLong(dcb, L"fInX"), 0);
    EXPECT_EQ(Put(timeouts, L"ReadIntervalTimeout", Long(-1)), 4115);
    EXPECT_EQ(Put(queue, L"InQueue", Long(-1)), 4116);

    // Another Port holds the lock: DCB writes fail with 2022; timeouts do not look at the lock.
    EXPECT_EQ(Method(other, L"Lock"), 0);
    Call locked;
    Invoke(locked, dcb, L"BaudRate", DISPATCH_PROPERTYPUT, {Long(19200)});
    EXPECT_EQ(Outcome(locked), 2022);
    EXPECT_STREQ(locked.error.bstrSource, L"Vorlin2.DeviceControlBlock");
    EXPECT_EQ(Put(timeouts, L"ReadTotalTimeoutConstant", Long(5)), 0);
    EXPECT_EQ(Method(other, L"Unlock"), 0);

    g_open = true;
    EXPECT_EQ(Put(dcb, L"BaudRate", Long(19200)), 4113);
    EXPECT_EQ(Put(timeouts, L"ReadTotalTimeoutConstant", Long(5)), 4113);
    EXPECT_EQ(Put(queue, L"InQueue", Long(5)), 4113);
    g_open = false;

    // Two objects over one Port see one block; another Port has its own.
    IDispatch* again = GetObject(port, L"DCB");
    IDispatch* otherDcb = GetObject(other, L"DCB");
    EXPECT_EQ(Put(dcb, L"XonChar", Long(200)), 0);
    EXPECT_EQ(GetLong(again, L"XonChar"), 200);
    EXPECT_NE(GetLong(otherDcb, L"XonChar"), 200);
    for (IDispatch* d : {again, otherDcb, dcb, timeouts, queue, other, port}) d->Release();
}

// --- The real program on the cable. ---------------------------------------

// A sink of IPortEvents: counts connects and disconnects, keeps the received texts.
class PortSink : public PortEventSink {
public:
    int connects = 0, disconnects = 0;
    std::wstring received;

private:
    void Event(DISPID id, const DISPPARAMS& params) override
    {
        connects += id == 1;
        disconnects += id == 2;
        if (id == 4 && params.cArgs == 1 && V_VT(&params.rgvarg[0]) == VT_BSTR) received += V_BSTR(&params.rgvarg[0]);
    }
};

class PortOnCable : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    static IDispatch* NewPort()
    {
        IDispatch* port = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_Port, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&port)), S_OK);
        return port;
    }
    static HANDLE ServerProcess(IDispatch* port, HWND* window = nullptr)
    {
        IDispatch* app = GetObject(port, L"Application");
        HWND main = app ? reinterpret_cast<HWND>(static_cast<LONG_PTR>(GetLong(app, L"hwnd"))) : nullptr;
        if (app) app->Release();
        if (window) *window = main;
        DWORD pid = 0;
        GetWindowThreadProcessId(main, &pid);
        return OpenProcess(SYNCHRONIZE, FALSE, pid);
    }
    // Pumping: an ending server releases our sink, a call into this apartment.
    static bool Ends(HANDLE process, DWORD timeoutMs = kWait)
    {
        bool ended = PumpUntil([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeoutMs);
        if (ended) CloseHandle(process);
        return ended;
    }
    static bool Send(IDispatch* port, const wchar_t* text, bool sync = true)
    {
        return Do(port, L"Send", DISPATCH_METHOD, {Text(text), Bool(sync)}) == 0;
    }
};

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

// IOCTL_SERIAL_GET_BAUD_RATE with `input`: 0 or the error; the output's size in `outputSize`.
long EscapeWith(IDispatch* port, VARIANT input, LONG* outputSize = nullptr)
{
    VARIANT out;
    VariantInit(&out);
    VARIANT byRef;
    V_VT(&byRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&byRef) = &out;
    long result = Do(port, L"Escape", DISPATCH_METHOD, {Long(0x1B0050), input, Long(4), byRef});
    LONG upper = -1;
    if (outputSize && V_VT(&out) == (VT_ARRAY | VT_UI1)) SafeArrayGetUBound(V_ARRAY(&out), 1, &upper);
    if (outputSize) *outputSize = upper + 1;
    VariantClear(&out);
    return result;
}

TEST_F(PortOnCable, ConnectSendReceiveLinesAndRequests)
{
    IDispatch* port = NewPort();
    ASSERT_TRUE(port);
    HANDLE process = ServerProcess(port);
    static PortSink sink;  // outlives the apartment, whatever the server does
    ASSERT_NE(AdvisePortEvents(port, &sink), 0u);

    EXPECT_EQ(Put(port, L"Name", Text(L"" VORLIN_PORT)), 0);
    ASSERT_EQ(Method(port, L"Connect"), 0);
    EXPECT_EQ(GetLong(port, L"IsConnect"), -1);
    EXPECT_TRUE(PumpUntil([&] { return sink.connects == 1; }, kWait));
    EXPECT_EQ(Method(port, L"Connect"), 4111);

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
    EXPECT_EQ(Put(port, L"RTS", Bool(true)), 0);
    EXPECT_TRUE(peerSees(MS_CTS_ON, true));
    EXPECT_EQ(Put(port, L"DTR", Bool(false)), 0);
    EXPECT_TRUE(peerSees(MS_DSR_ON, false));
    EXPECT_EQ(Put(port, L"Break", Bool(true)), 0);
    EXPECT_EQ(GetLong(port, L"Break"), -1);
    EXPECT_EQ(Put(port, L"Break", Bool(false)), 0);
    for (const wchar_t* method : {L"SetXoff", L"SetXon", L"CancelIO", L"FlushIO"})
        EXPECT_EQ(Method(port, method), 0) << WideToSjis(method);

    // Device requests: the output comes back as bytes; bad input is refused before use.
    LONG outputSize = 0;
    EXPECT_EQ(EscapeWith(port, ArrayOf({}), &outputSize), 0);
    EXPECT_EQ(outputSize, 4);
    EXPECT_EQ(EscapeWith(port, ArrayOf({1, 2}, 2)), 4001);
    EXPECT_EQ(EscapeWith(port, ArrayOf({1, 256})), 4011);
    EXPECT_EQ(EscapeWith(port, ArrayOf({-1})), 4011);
    EXPECT_EQ(EscapeWith(port, Long(5)), 4001);

    // Under DTR handshake the line is the driver's.
    IDispatch* dcb = GetObject(port, L"DCB");
    ASSERT_TRUE(dcb);
    EXPECT_EQ(Put(dcb, L"fDtrControl", Long(2)), 4113);
    EXPECT_EQ(Method(port, L"Disconnect"), 0);
    EXPECT_TRUE(PumpUntil([&] { return sink.disconnects == 1; }, kWait));
    EXPECT_EQ(Put(port, L"DTR", Bool(true)), 4112);
    EXPECT_EQ(Put(dcb, L"fDtrControl", Long(2)), 0);
    dcb->Release();
    EXPECT_EQ(Method(port, L"Connect"), 0);
    EXPECT_EQ(Put(port, L"DTR", Bool(true)), 4117);
    EXPECT_EQ(Method(port, L"Disconnect"), 0);
    EXPECT_EQ(Method(port, L"Disconnect"), 4112);
    port->Release();
    EXPECT_TRUE(Ends(process));
}

TEST_F(PortOnCable, TheLockStopsOtherPortsAndTheUser)
{
    IDispatch* a = NewPort();
    IDispatch* b = NewPort();
    ASSERT_TRUE(a && b);
    HWND window = nullptr;
    HANDLE process = ServerProcess(a, &window);
    EXPECT_EQ(Method(a, L"Lock"), 0);
    Call connect;
    Invoke(connect, b, L"Connect", DISPATCH_METHOD);
    EXPECT_EQ(Outcome(connect), 2022);
    EXPECT_STREQ(connect.error.bstrSource, L"Vorlin2.DeviceControlBlock");

    // The user's F5 is refused with the same message.
    ShowWindow(window, SW_SHOWNORMAL);
    PostMessageW(window, WM_KEYDOWN, VK_F5, 0);
    HWND box = WaitForThreadDialog(GetWindowThreadProcessId(window, nullptr), nullptr, kWait);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), std::wstring(connect.error.bstrDescription));
    ClickDialogButton(box, IDOK);

    // A client's device-setting object keeps the server; a released Port keeps its lock.
    IDispatch* dcb = GetObject(a, L"DCB");
    ASSERT_TRUE(dcb);
    a->Release();
    EXPECT_EQ(Method(b, L"Connect"), 2022);
    b->Release();
    EXPECT_FALSE(Ends(process, 1500));
    EXPECT_NE(GetLong(dcb, L"ByteSize"), -9999) << "the object still answers";
    dcb->Release();
    EXPECT_TRUE(Ends(process));
}

// The README's example, as it stands, sends its line out of the port.
TEST_F(PortOnCable, TheReadmePortScriptSendsALine)
{
    std::string readmePath = VORLIN_README;
    std::replace(readmePath.begin(), readmePath.end(), '/', '\\');
    std::string readme = ReadWholeFile(readmePath);
    size_t begin = readme.find("```vbscript\n' port.vbs");
    ASSERT_NE(begin, std::string::npos);
    begin += 12;
    std::string script = readme.substr(begin, readme.find("```", begin) - begin);
    FarEnd peer;
    ASSERT_TRUE(peer.Open(VORLIN_FAR_PORT)) << GetLastError();
    std::string printed;
    EXPECT_EQ(RunScript(g_folder->Path(), "port.vbs", script, &printed, VORLIN_PORT), 0u);
    EXPECT_EQ(peer.Read(7, 5000), "Hello\r\n");
    EXPECT_NE(printed.find("Sent on " VORLIN_PORT), std::string::npos) << printed;
}

// Registered once for the whole program, and unregistered at its end.
class Registration : public testing::Environment {
public:
    void SetUp() override
    {
        g_folder = new TempFolder;
        ASSERT_TRUE(InstallProgram(g_folder->Path()));
        ASSERT_TRUE(RunProgramToEnd(g_folder->Path(), "/RegServer"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(RunProgramToEnd(g_folder->Path(), "/UnregServer"));
        delete g_folder;
        g_folder = nullptr;
    }
};
const testing::Environment* const g_registration = testing::AddGlobalTestEnvironment(new Registration);

} // namespace
