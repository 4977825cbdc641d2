// Control-code sets: their defaults, the names of the byte values, and the
// dialog in which a set is edited.
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

// The view marks 0x00-0x20 (space included) and 0x7F; the log 0x00-0x1F and 0x7F.
void DefaultViewCtrlCodes(CtrlCodeSet& set);
void DefaultLogCtrlCodes(CtrlCodeSet& set);

// The name of a byte value (string 2001 + byte); false when it has none.
bool LoadCtrlCodeName(int byte, wchar_t* buffer, int size);

// The status-bar text for a byte: "%d(%02X) " then its name, or without a
// name the byte as a character.
void FormatCtrlCodeStatus(int byte, wchar_t* buffer, int size);

// The grid cell under a client point of the dialog: the byte value, or -1.
int CtrlCodeGridHitTest(int x, int y);

// Runs the control-code dialog on a working copy of `set`; OK copies it
// back, Cancel leaves `set` alone. Always 1.
int EditCtrlCodeSet(HWND owner, CtrlCodeSet& set);
