// Small text utilities shared by the dialogs: digit filters for edit
// controls, digit text to bytes, bytes to hex text, sanitising, trimming,
// and the face of an owner-drawn colour button.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "base/text.h"

enum EditFilterMode { FILTER_BINARY = 0, FILTER_OCTAL = 1, FILTER_HEX = 2 };

// Lets only the mode's digits (and control characters) into an edit control,
// refuses paste and the context menu, and shuts out input methods. Any number
// of controls may be filtered in one mode; disabling gives each control back
// the procedure it had.
void SetEditInputFilter(HWND edit, int mode, bool enable);
// Each returns the number of bytes written to `output`, which must hold
// ceil(L/8), ceil(L/4) or ceil(L/2) bytes for a text of length L.
size_t BitTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
size_t OctalTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
size_t HexTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
// Replaces what would not show as Shift_JIS text (control codes other than
// TAB, CR and LF; illegal double-byte pairs; a lead byte in the last place).
void SanitizeBytes(uint8_t* bytes, size_t count, char replacement);
char* BytesToHexText(const uint8_t* bytes, char* output);
void DrawColourButton(const DRAWITEMSTRUCT* item, HBRUSH brush);
