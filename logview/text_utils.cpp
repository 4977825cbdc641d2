#include "logview/text_utils.h"

#include <cstring>

// Placeholder until the utilities are built.
void SetEditInputFilter(HWND, int, bool) {}
size_t BitTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
size_t OctalTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
size_t HexTextToBytes(const char*, uint8_t*, bool, char) { return 0; }
void SanitizeBytes(uint8_t*, size_t, char) {}
char* BytesToHexText(const uint8_t*, char* output) { *output = 0; return output; }
char* TrimTrailingSpace(char* text)
{
    size_t n = strlen(text);
    while (n && strchr(" \t\r\n", text[n - 1])) text[--n] = 0;
    return text;
}
void DrawColourButton(const DRAWITEMSTRUCT*, HBRUSH) {}
