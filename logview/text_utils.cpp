#include "logview/text_utils.h"

#include <commctrl.h>

#include <cstring>

// The filters keep nothing of their own: comctl32's subclass chain holds,
// per control, the procedure that was there before, so any number of
// controls can be filtered in the same mode and each gets its own back.

namespace {

constexpr UINT_PTR kFilterId = 0x5646;  // one filter per control; the mode rides as reference data

bool IsAccepted(WPARAM c, DWORD_PTR mode)
{
    if (c < 0x20 || c == 0x7F) return true;  // editing keys: backspace, Ctrl+A, ...
    switch (mode) {
    case FILTER_BINARY: return c == '0' || c == '1';
    case FILTER_OCTAL: return c >= '0' && c <= '7';
    case FILTER_HEX: return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    default: return true;
    }
}

bool IsImeMessage(UINT message)
{
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
    case WM_IME_CONTROL:
    case WM_IME_COMPOSITIONFULL:
    case WM_IME_SELECT:
    case WM_IME_CHAR:
    case WM_IME_KEYDOWN:
    case WM_IME_KEYUP:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK FilterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR mode)
{
    switch (message) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONUP:
    case WM_PASTE:
        MessageBeep(static_cast<UINT>(-1));
        return 0;
    case WM_CHAR:
        if (!IsAccepted(wParam, mode)) {
            MessageBeep(static_cast<UINT>(-1));
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, FilterProc, id);
        break;
    default:
        if (IsImeMessage(message)) return 0;  // no text through an input method
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool IsPrintableSingle(uint8_t b)
{
    return (b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF) || b == '\t' || b == '\r' || b == '\n';
}

int DigitValue(char c, int base)
{
    int value;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else
        return -1;
    return value < base ? value : -1;
}

// Groups of `width` characters, each read as a number in `base` up to its
// first character that is no digit, kept modulo 256.
size_t GroupsToBytes(const char* text, uint8_t* output, size_t width, int base, bool sanitize, char replacement)
{
    size_t length = strlen(text);
    size_t count = (length + width - 1) / width;
    for (size_t i = 0; i < count; ++i) {
        unsigned value = 0;
        for (size_t j = i * width; j < (i + 1) * width && j < length; ++j) {
            int digit = DigitValue(text[j], base);
            if (digit < 0) break;
            value = (value * base + digit) & 0xFFFF;
        }
        output[i] = static_cast<uint8_t>(value);
    }
    if (sanitize) SanitizeBytes(output, count, replacement);
    return count;
}

} // namespace

void SetEditInputFilter(HWND edit, int mode, bool enable)
{
    if (!edit) return;
    if (enable)
        SetWindowSubclass(edit, FilterProc, kFilterId, static_cast<DWORD_PTR>(mode));
    else
        RemoveWindowSubclass(edit, FilterProc, kFilterId);
}

size_t BitTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement)
{
    return GroupsToBytes(text, output, 8, 2, sanitize, replacement);
}

size_t OctalTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement)
{
    return GroupsToBytes(text, output, 4, 8, sanitize, replacement);
}

size_t HexTextToBytes(const char* text, uint8_t* output, bool sanitize, char replacement)
{
    return GroupsToBytes(text, output, 2, 16, sanitize, replacement);
}

void SanitizeBytes(uint8_t* bytes, size_t count, char replacement)
{
    auto replace = static_cast<uint8_t>(replacement);
    for (size_t i = 0; i < count;) {
        if (IsSjisLeadByte(bytes[i])) {
            // A lead byte in the last place has no partner to check: it is
            // replaced on its own, and nothing past the count is touched.
            if (i + 1 == count) {
                bytes[i] = replace;
                break;
            }
            if (!IsSjisPair(bytes[i], bytes[i + 1])) bytes[i] = bytes[i + 1] = replace;
            i += 2;
            continue;
        }
        if (!IsPrintableSingle(bytes[i])) bytes[i] = replace;
        ++i;
    }
}

char* BytesToHexText(const uint8_t* bytes, char* output)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (; *bytes; ++bytes) {
        *output++ = kDigits[*bytes >> 4];
        *output++ = kDigits[*bytes & 15];
    }
    *output = 0;
    return output;
}


void DrawColourButton(const DRAWITEMSTRUCT* item, HBRUSH brush)
{
    RECT frame = item->rcItem;
    bool selected = item->itemState & ODS_SELECTED;
    UINT state = DFCS_BUTTONPUSH;
    if (item->itemAction != ODA_DRAWENTIRE && selected) state |= DFCS_PUSHED;
    DrawFrameControl(item->hDC, &frame, DFC_BUTTON, state);

    const RECT& r = item->rcItem;
    if (!selected) {
        RECT face{r.left + 1, r.top + 1, r.right - 2, r.bottom - 2};
        FillRect(item->hDC, &face, brush);
        return;
    }
    // Pushed: the face moves one pixel down and right, and two single
    // pixels complete its corners against the sunken frame.
    RECT face{r.left + 2, r.top + 2, r.right - 1, r.bottom - 1};
    RECT topRight{r.right - 2, r.top + 1, r.right - 1, r.top + 2};
    RECT bottomLeft{r.left + 1, r.bottom - 2, r.left + 2, r.bottom - 1};
    FillRect(item->hDC, &face, brush);
    FillRect(item->hDC, &topRight, brush);
    FillRect(item->hDC, &bottomLeft, brush);
}
