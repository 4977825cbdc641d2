// Small text utilities shared by the dialogs: digit filters for edit
// controls, digit text to bytes, bytes to hex text, sanitising, trimming,
// and the face of an owner-drawn colour button.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

enum EditFilterMode { FILTER_BINARY = 0, FILTER_OCTAL = 1, FILTER_HEX = 2 };

void SetEditInputFilter(HWND edit, int mode, bool enable);
// Each returns the number of bytes written to `output` (ceil(L/8), ceil(L/4), ceil(L/2)).
size_t BitTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
size_t OctalTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
size_t HexTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement);
void SanitizeBytes(uint8_t* bytes, size_t count, char replacement);
char* BytesToHexText(const uint8_t* bytes, char* output);
char* TrimTrailingSpace(char* text);
void DrawColourButton(const DRAWITEMSTRUCT* item, HBRUSH brush);
