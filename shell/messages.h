// The custom messages through which the parts of the program reach each
// other. Each line says who receives it.
#pragma once
#include <windows.h>

// Main window (and where noted, the log view or engine threads)
constexpr UINT WM_VORLIN_WHEEL = 0x7400;          // main window, log view: like WM_MOUSEWHEEL
constexpr UINT WM_VORLIN_STOP = 0x7410;           // engine and tunnel threads, settings loop: stop
constexpr UINT WM_VORLIN_CANCEL_WRITE = 0x7411;   // main window -> writer thread
constexpr UINT WM_VORLIN_FLUSH_PORT = 0x7412;     // main window: FlushFileBuffers on the port
constexpr UINT WM_VORLIN_SEND = 0x7422;           // main window -> writer: lParam SendRequest*
constexpr UINT WM_VORLIN_MODEM_STATUS = 0x7423;   // engine -> main window: wParam modem bits
constexpr UINT WM_VORLIN_IO_ERROR = 0x7424;       // engine -> main window: wParam error, lParam thread
constexpr UINT WM_VORLIN_RECORD = 0x7425;         // main window, log view: lParam TrafficRecord*
constexpr UINT WM_VORLIN_ESCAPE_REQUEST = 0x7426; // main window -> event thread: EscapeRequest*
constexpr UINT WM_VORLIN_LINE_FUNCTION = 0x7427;  // main window -> event thread: EscapeCommFunction code
constexpr UINT WM_VORLIN_THREAD_READY = 0x7430;   // engine -> main window: lParam thread index
constexpr UINT WM_VORLIN_SET_MODELESS = 0x7431;   // main window: wParam dialog, lParam filter
constexpr UINT WM_VORLIN_CONNECT = 0x7440;        // main window: lParam DeviceSettings*
constexpr UINT WM_VORLIN_DISCONNECT = 0x7441;
constexpr UINT WM_VORLIN_IS_CONNECTED = 0x7442;   // result -1 when a port is open
constexpr UINT WM_VORLIN_GET_DEVICE = 0x7443;     // lParam DeviceSettings* to fill
constexpr UINT WM_VORLIN_QUERY_PORT = 0x7444;     // wParam port name, lParam COMMPROP*

// Log view
constexpr UINT WM_LOGVIEW_CLEAR = 0x6300;
constexpr UINT WM_LOGVIEW_GET_SETTINGS = 0x6301;
constexpr UINT WM_LOGVIEW_SET_SETTINGS = 0x6302;

// Log thread window
constexpr UINT WM_LOG_RECORD = 0x8140;
constexpr UINT WM_LOG_STOP = 0x8141;
constexpr UINT WM_LOG_SET_FILE = 0x8142;
constexpr UINT WM_LOG_FLUSH = 0x8143;
constexpr UINT WM_LOG_GET_SETTINGS = 0x8144;
constexpr UINT WM_LOG_SET_SETTINGS = 0x8145;

// Modem panel
constexpr UINT WM_PANEL_PLACE = 0xD441;
constexpr UINT WM_PANEL_SETUP = 0xD442;
constexpr UINT WM_PANEL_LAMPS = 0xD444;

// Keyboard filter of the one active modeless dialog: nonzero when consumed.
using ModelessFilter = BOOL (*)(MSG* msg);
