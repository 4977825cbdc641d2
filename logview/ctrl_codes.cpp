#include "logview/ctrl_codes.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/text.h"
#include "resources/resource.h"

void DefaultViewCtrlCodes(CtrlCodeSet& set)
{
    memset(&set, 0, sizeof set);
    for (int b = 0; b <= 0x20; ++b) set.code[b] = 1;
    set.code[0x7F] = 1;
}

void DefaultLogCtrlCodes(CtrlCodeSet& set)
{
    memset(&set, 0, sizeof set);
    for (int b = 0; b < 0x20; ++b) set.code[b] = 1;
    set.code[0x7F] = 1;
}

bool LoadCtrlCodeName(int byte, wchar_t* buffer, int size)
{
    if (size <= 0) return false;
    buffer[0] = 0;
    if (byte < 0 || byte > 255) return false;
    return LoadStringW(GetModuleHandleW(nullptr), IDS_CTRL_NAME_BASE + byte, buffer, size) > 0;
}

void FormatCtrlCodeStatus(int byte, wchar_t* buffer, int size)
{
    if (size <= 0) return;
    int n = swprintf(buffer, size, L"%d(%02X) ", byte, byte);
    if (n < 0 || n >= size) {
        buffer[size - 1] = 0;
        return;
    }
    if (LoadCtrlCodeName(byte, buffer + n, size - n)) return;
    // No name: the byte as a character of the program's code page.
    char c = static_cast<char>(byte);
    if (size - n >= 2 && SjisToWide(&c, 1, buffer + n, 1) == 1)
        buffer[n + 1] = 0;
    else
        buffer[n] = 0;
}

int CtrlCodeGridHitTest(int x, int y)
{
    if (x < 10 || y < 10) return -1;  // left of or above the header bands
    int column = (x - 10) / 19 - 1;
    int row = (y - 10) / 19 - 1;
    if (column < 0 || column > 15 || row < 0 || row > 15) return -1;
    return row * 16 + column;
}
