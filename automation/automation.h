// The automation server as the rest of the program sees it.
#pragma once
#include <windows.h>
#include <cstdint>

#include "settings/settings_types.h"

// Registers the class factories when the type library is registered (else
// the program runs without automation); false when registration failed and
// was reported: the program then ends.
bool InitAutomationServer(HWND mainWindow, AppSettings& app);
void ShutdownAutomationServer();
// The command line's "RegServer" and "UnregServer".
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
