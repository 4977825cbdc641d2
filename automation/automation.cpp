#include "automation/automation.h"

// Placeholder until the automation server is built: no client ever connects.
namespace {
ReceiveSink g_testSink = nullptr;
}

bool InitAutomationServer(HWND) { return true; }
void ShutdownAutomationServer() {}
void RegisterServer() {}
void UnregisterServer() {}
void FireOnConnect() {}
void FireOnDisconnect() {}

void FireOnReceive(const uint8_t* bytes, uint32_t count)
{
    if (g_testSink) g_testSink(bytes, count);
}

void FireOnAppTimer(UINT_PTR) {}
void SetReceiveSinkForTest(ReceiveSink sink) { g_testSink = sink; }
