// The main window's own messages; with the messages of the parts it hands
// work to (engine, records, log view, modem panel), its complete table.
#pragma once
#include <windows.h>

#include "logging/log_thread.h"
#include "logging/traffic_record.h"
#include "logview/log_view.h"
#include "serial/engine.h"
#include "serial/modem_panel.h"
#include "sending/tool_window.h"

constexpr UINT WM_VORLIN_CONNECT = 0x7440;        // lParam DeviceSettings*
constexpr UINT WM_VORLIN_DISCONNECT = 0x7441;
constexpr UINT WM_VORLIN_IS_CONNECTED = 0x7442;   // result -1 when a port is open
constexpr UINT WM_VORLIN_GET_DEVICE = 0x7443;     // lParam DeviceSettings* to fill
constexpr UINT WM_VORLIN_QUERY_PORT = 0x7444;     // wParam port name, lParam COMMPROP*
