// The panel of modem-line lamps and switches under the toolbar. It never
// touches the port: output lines are switched through the main window
// (0x7427), and input lines arrive from it (0x7423 passed on as 0xD444).
#pragma once
#include <windows.h>
#include <cstdint>

// Lamp lines, numbered as the panel messages and automation number them.
enum PanelLine { LINE_RTS = 1, LINE_CTS = 2, LINE_DTR = 3, LINE_DSR = 4, LINE_RLSD = 5, LINE_BREAK = 6, LINE_XONXOFF = 7 };

// Lamp state word bits and the values that occur.
enum LampState : uint32_t {
    LAMP_ON = 0x1,
    LAMP_OFF = 0x2,
    LAMP_DRIVER = 0x4,
    LAMP_INPUT = 0x10,   // input line, or one the driver controls
    LAMP_OUTPUT = 0x20,  // output line switched by the user
    LAMP_INPUT_ON = LAMP_INPUT | LAMP_ON,           // 17
    LAMP_INPUT_OFF = LAMP_INPUT | LAMP_OFF,         // 18
    LAMP_HANDSHAKE = LAMP_INPUT | LAMP_DRIVER,      // 20
    LAMP_OUTPUT_ON = LAMP_OUTPUT | LAMP_ON,         // 33
    LAMP_OUTPUT_OFF = LAMP_OUTPUT | LAMP_OFF,       // 34
};

// Panel messages (wParam, lParam):
constexpr UINT WM_PANEL_PLACE = 0xD441;
constexpr UINT WM_PANEL_SETUP = 0xD442;     // lParam const DCB*
constexpr UINT WM_PANEL_LAMPS = 0xD444;     // wParam modem status bits
constexpr UINT WM_PANEL_GET_LINE = 0xD445;  // 0, line -> the line's lamp word
constexpr UINT WM_PANEL_SET_LINE = 0xD446;  // 1 on / 2 off, line -> result of the 0x7427 request

// The colour of a lamp word (COLOR_BTNFACE for the states without one).
COLORREF LampColour(uint32_t state);

// Creates the panel as child 997 of the main window, disabled.
HWND CreateModemPanel(HWND parent);
