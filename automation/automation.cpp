// The port events, raised from the main window on the sinks of every Port.
#include "automation/automation.h"

#include <string>

#include "automation/server.h"

namespace {

constexpr DISPID kOnConnect = 1;
constexpr DISPID kOnDisconnect = 2;
constexpr DISPID kOnReceive = 4;

ReceiveSink g_testSink = nullptr;

void RaiseOnEveryPortSink(DISPID event, VARIANTARG* arguments = nullptr, UINT count = 0)
{
    for (const ComPtr<IDispatch>& sink : PortSinks().Sinks()) RaiseEvent(sink.get(), event, arguments, count);
}

} // namespace

void FireOnConnect() { RaiseOnEveryPortSink(kOnConnect); }
void FireOnDisconnect() { RaiseOnEveryPortSink(kOnDisconnect); }

// The bytes as one text of two upper-case hex digits each, no separators.
void FireOnReceive(const uint8_t* bytes, uint32_t count)
{
    if (g_testSink) g_testSink(bytes, count);
    std::vector<ComPtr<IDispatch>> sinks = PortSinks().Sinks();
    if (sinks.empty()) return;
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    BSTR text = SysAllocStringLen(nullptr, count * 2);
    if (!text) return;
    for (uint32_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    VARIANTARG argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = text;
    for (const ComPtr<IDispatch>& sink : sinks) RaiseEvent(sink.get(), kOnReceive, &argument, 1);
    SysFreeString(text);
}

void SetReceiveSinkForTest(ReceiveSink sink) { g_testSink = sink; }
