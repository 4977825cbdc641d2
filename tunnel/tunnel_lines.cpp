#include "tunnel/tunnel_lines.h"

#include <cstring>
#include <cwchar>

#include "logview/text_utils.h"

namespace {

constexpr char kDataWord[] = "DATA";
constexpr size_t kDataPrefix = 5;  // "DATA,"

// The digits of a line: what follows "DATA," without the trailing CR and LF.
size_t DigitCount(const char* line, size_t length)
{
    while (length && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
    return length > kDataPrefix ? length - kDataPrefix : 0;
}

bool IsDataLine(const char* line, size_t length)
{
    return length >= 4 && memcmp(line, kDataWord, 4) == 0;
}

} // namespace

size_t FormatDataLine(const uint8_t* bytes, size_t count, size_t* taken, char* line)
{
    static const char kDigits[] = "0123456789ABCDEF";
    if (count > kTunnelPieceBytes) count = kTunnelPieceBytes;
    *taken = count;
    memcpy(line, "DATA,", kDataPrefix);
    char* out = line + kDataPrefix;
    for (size_t i = 0; i < count; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 15];
    }
    *out++ = '\r';
    *out++ = '\n';
    return static_cast<size_t>(out - line);
}

size_t DataLineByteCount(const char* line, size_t length)
{
    if (!IsDataLine(line, length)) return 0;
    return (DigitCount(line, length) + 1) / 2;
}

size_t DecodeDataLine(const char* line, size_t length, uint8_t* out)
{
    size_t count = DataLineByteCount(line, length);
    if (!count) return 0;
    // HexTextToBytes reads a terminated text; the digits never exceed one line.
    char digits[kTunnelBufferBytes + 1];
    size_t n = DigitCount(line, length);
    if (n > kTunnelBufferBytes) n = kTunnelBufferBytes;
    memcpy(digits, line + kDataPrefix, n);
    digits[n] = '\0';
    // A NUL from a peer is no digit like any other byte; left in, it would end
    // the text early and the line would send fewer bytes than it counts.
    for (size_t i = 0; i < n; ++i)
        if (digits[i] == '\0') digits[i] = ' ';
    return HexTextToBytes(digits, out, false, 0);
}

bool ParsePidLine(const char* line, size_t length, DWORD* processId)
{
    if (length < 12 || memcmp(line, "PID,", 4) != 0) return false;
    DWORD value = 0;
    for (size_t i = 4; i < 12; ++i) {
        char c = line[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<DWORD>(digit);
    }
    *processId = value;
    return true;
}

bool HasTunnelArgument(const wchar_t* commandLine)
{
    if (!commandLine) return false;
    const wchar_t* p = commandLine;
    // The program's name: quoted up to the closing quote, or up to a blank.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return wcsstr(p, L"/tunnel") != nullptr;
}

size_t CompleteLinesLength(const char* bytes, size_t count, bool firstOnly)
{
    const void* feed = firstOnly ? memchr(bytes, '\n', count) : nullptr;
    if (!firstOnly)
        for (size_t i = count; i > 0; --i)
            if (bytes[i - 1] == '\n') return i;
    return feed ? static_cast<size_t>(static_cast<const char*>(feed) - bytes) + 1 : 0;
}
