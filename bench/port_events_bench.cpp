// Received bytes delivered to an automation client: the far end of a cable
// writes a known stream as fast as it can, the program (started by COM as a
// server) has the other end open through a Port object, and this client's
// OnReceive sink decodes every event's hex text and checks it against the
// stream. Beside it, in the same run, the serial engine alone on another
// cable gives the rate the events sit on.
//
//   port_events_bench [megabytes] [port] [its far end] [engine port] [its far end]
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_stream.h"
#include "bench/engine_run.h"
#include "tests/support/automation_client.h"
#include "vorlin2_h.h"

using namespace bench;
using testing_support::Call;
using testing_support::Invoke;

namespace {

int HexDigit(wchar_t c) { return c <= L'9' ? c - L'0' : c - L'A' + 10; }

// Decodes each OnReceive text into bytes and hands them to the checker.
class ReceiveSink : public testing_support::PortEventSink {
public:
    explicit ReceiveSink(Checker& checker) : checker_(checker) {}
    uint64_t events = 0;
    uint64_t malformed = 0;

private:
    void Event(DISPID id, const DISPPARAMS& params) override
    {
        if (id != 4 || params.cArgs != 1 || V_VT(&params.rgvarg[0]) != VT_BSTR) return;
        BSTR text = V_BSTR(&params.rgvarg[0]);
        UINT length = SysStringLen(text);
        if (length % 2) ++malformed;
        bytes_.resize(length / 2);
        for (UINT i = 0; i + 1 < length; i += 2)
            bytes_[i / 2] = static_cast<uint8_t>(HexDigit(text[i]) << 4 | HexDigit(text[i + 1]));
        checker_.Take(bytes_.data(), bytes_.size());
        ++events;
        ++checker_.records;
    }

    Checker& checker_;
    std::basic_string<uint8_t> bytes_;
};

bool Succeeded(const Call& call, const char* what)
{
    if (call.hr == S_OK) return true;
    fprintf(stderr, "%s failed: 0x%08lx\n", what,
            static_cast<unsigned long>(call.hr == DISP_E_EXCEPTION ? call.error.scode : call.hr));
    return false;
}

bool Put(IDispatch* object, const wchar_t* name, VARIANT value)
{
    Call call;
    Invoke(call, object, name, DISPATCH_PROPERTYPUT, {value});
    return call.hr == S_OK;
}

bool RunEvents(const char* port, const char* farPort, uint64_t total, RunResult& result, ReceiveSink& sink)
{
    IDispatch* server = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Port, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&server));
    if (FAILED(hr)) {
        fprintf(stderr, "no Vorlin2.Port (registered?): 0x%08lx\n", static_cast<unsigned long>(hr));
        return false;
    }
    std::wstring name(port, port + strlen(port));
    VARIANT nameValue = testing_support::Text(name.c_str());
    Put(server, L"Name", nameValue);
    VariantClear(&nameValue);
    Call dcb;
    Invoke(dcb, server, L"DCB", DISPATCH_PROPERTYGET);
    if (V_VT(&dcb.result) == VT_DISPATCH) {
        IDispatch* block = V_DISPATCH(&dcb.result);
        Put(block, L"BaudRate", testing_support::Long(115200));
        Put(block, L"ByteSize", testing_support::Long(8));
        Put(block, L"Parity", testing_support::Long(0));
        Put(block, L"StopBits", testing_support::Long(0));
        Put(block, L"fBinary", testing_support::Bool(true));
    }
    DWORD cookie = testing_support::AdvisePortEvents(server, &sink);
    Call connect;
    Invoke(connect, server, L"Connect", DISPATCH_METHOD);
    HANDLE peer = INVALID_HANDLE_VALUE;
    bool ready = Succeeded(connect, "Connect") && cookie && OpenFarEnd(farPort, &peer);
    if (ready) {
        // Events are calls into this apartment: they arrive while messages are pumped.
        DWORD writeError = WriteAndPump(peer, total, result);
        CloseHandle(peer);
        result.ok = writeError == 0;
        Call disconnect;
        Invoke(disconnect, server, L"Disconnect", DISPATCH_METHOD);
    }
    server->Release();
    return ready;
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 5;
    const char* port = argc > 2 ? argv[2] : "COM13";
    const char* farPort = argc > 3 ? argv[3] : "COM14";
    const char* enginePort = argc > 4 ? argv[4] : "COM15";
    const char* engineFar = argc > 5 ? argv[5] : "COM16";
    uint64_t total = megabytes * 1000 * 1000;
    if (FAILED(CoInitialize(nullptr))) return 2;

    static RunResult events;
    static RunResult engine;
    static ReceiveSink sink(events.checker);
    bool ran = RunEvents(port, farPort, total, events, sink) && RunEngine(enginePort, engineFar, total, engine);
    CoUninitialize();
    if (!ran) return 2;

    Report("OnReceive", events, total);
    printf("OnReceive: %llu events, %llu of odd length\n", static_cast<unsigned long long>(sink.events),
           static_cast<unsigned long long>(sink.malformed));
    Report("engine", engine, total);
    double eventRate = events.seconds > 0 ? events.checker.received / 1e6 / events.seconds : 0;
    double engineRate = engine.seconds > 0 ? engine.checker.received / 1e6 / engine.seconds : 0;
    printf("OnReceive / engine: %.2f\n", engineRate > 0 ? eventRate / engineRate : 0.0);
    bool clean = events.ok && engine.ok && events.checker.received == total && events.checker.corrupted == 0 &&
                 sink.malformed == 0 && engine.checker.received == total && engine.checker.corrupted == 0;
    return clean ? 0 : 1;
}
