// The automation server as the rest of the program sees it.
#pragma once
#include <windows.h>
#include <cstdint>

bool InitAutomationServer(HWND mainWindow);
void ShutdownAutomationServer();
void RegisterServer();
void UnregisterServer();

// Events raised to connected clients; nothing happens while none is connected.
void FireOnConnect();
void FireOnDisconnect();
void FireOnReceive(const uint8_t* bytes, uint32_t count);
// Main window WM_TIMER: the automation timers.
void FireOnAppTimer(UINT_PTR timerId);

// Tests observe the receive event through this sink (null: none).
using ReceiveSink = void (*)(const uint8_t* bytes, uint32_t count);
void SetReceiveSinkForTest(ReceiveSink sink);
