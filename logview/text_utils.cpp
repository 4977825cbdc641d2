#include "logview/text_utils.h"

// Placeholder until the utilities are built.
void SetEditInputFilter(HWND, int, bool) {}
size_t BitTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
size_t OctalTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
size_t HexTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
void SanitizeBytes(uint8_t*, size_t, char) {}
char* BytesToHexText(const uint8_t*, char* output) { *output = 0; return output; }
char* TrimTrailingSpace(char* text) { return text; }
void DrawColourButton(const DRAWITEMSTRUCT*, HBRUSH) {}
