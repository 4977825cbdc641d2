#include "settings/value_forms.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/text.h"

const char* const kLogTypeNames[3] = {"APPEND", "CYCLIC", "AUTO"};
const char* const kKanjiNames[4] = {"SJIS", "EUC", "JIS", "UTF-8"};
const char* const kFontSizeNames[kFontSizeCount] = {"SS", "S", "M", "L", "LL"};
const char* const kNewlineNames[5] = {"NONE", "CR", "CRLF", "LF", "CRCRLF"};

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Up to two hexadecimal digits after optional blanks, as "%02X" reads them.
bool ParseHexPair(const char*& p, uint8_t& value)
{
    while (IsBlank(*p)) ++p;
    int high = HexDigit(*p);
    if (high < 0) return false;
    ++p;
    int low = HexDigit(*p);
    if (low < 0) {
        value = static_cast<uint8_t>(high);
        return true;
    }
    ++p;
    value = static_cast<uint8_t>(high * 16 + low);
    return true;
}

} // namespace

void MapUpperHalfWidth(const char* text, char* out, size_t size)
{
    if (!size) return;
    out[0] = 0;
    if (!text || !*text) return;
    // Half-width mapping never lengthens a Shift_JIS text (a voiced
    // katakana becomes two one-byte characters), so a buffer of the text's
    // length suffices; a text too long for `out` is cut first. The mapping
    // is the Japanese one, whatever the user's locale.
    size_t length = strnlen(text, size - 1);
    std::wstring wide = SjisToWide(std::string_view(text, length));
    std::wstring mapped(wide.size() * 2, L'\0');
    int n = wide.empty() ? 0
                         : LCMapStringW(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT),
                                        LCMAP_UPPERCASE | LCMAP_HALFWIDTH, wide.data(), static_cast<int>(wide.size()),
                                        mapped.data(), static_cast<int>(mapped.size()));
    size_t written = n > 0 ? WideToSjis(mapped.data(), static_cast<size_t>(n), out, size - 1) : 0;
    if (!written) {
        memcpy(out, text, length);
        written = length;
    }
    out[written] = 0;
}

std::optional<int64_t> ParseInteger64(const char* text)
{
    if (!text) return std::nullopt;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return std::nullopt;
    // Saturates near the 64-bit limits and keeps reading digits.
    constexpr int64_t kLimit = INT64_MAX / 10 - 1;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value < kLimit ? value * 10 + (*p - '0') : kLimit;
    return negative ? -value : value;
}

std::optional<int32_t> ParseInteger(const char* text)
{
    std::optional<int64_t> value = ParseInteger64(text);
    if (!value) return std::nullopt;
    if (*value > INT32_MAX) return INT32_MAX;
    if (*value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(*value);
}

int ParseName(const char* text, const char* const* names, int count, bool mapped, int fallback)
{
    if (!text) return fallback;
    char buffer[512];
    if (mapped) {
        MapUpperHalfWidth(text, buffer, sizeof buffer);
        text = buffer;
    }
    for (int i = 0; i < count; ++i)
        if (strcmp(text, names[i]) == 0) return i;
    return fallback;
}

char ParseCharValue(const char* text, char fallback)
{
    if (!text || !*text) return fallback;
    char mapped[8];
    MapUpperHalfWidth(text, mapped, sizeof mapped);
    if (strlen(mapped) == 2 && HexDigit(mapped[0]) >= 0 && HexDigit(mapped[1]) >= 0)
        return static_cast<char>(HexDigit(mapped[0]) * 16 + HexDigit(mapped[1]));
    return text[0];
}

void FormatCharValue(char c, char out[3])
{
    auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
        out[0] = c;
        out[1] = 0;
    } else {
        // Bytes above 0x7F would be half a double-byte character in the
        // file, so they are written as digits like the control codes.
        snprintf(out, 3, "%02X", byte);
    }
}

COLORREF ParseColourValue(const char* text, COLORREF fallback)
{
    if (!text) return fallback;
    char mapped[32];
    MapUpperHalfWidth(text, mapped, sizeof mapped);
    const char* p = mapped;
    while (IsBlank(*p)) ++p;
    if (*p++ != '#') return fallback;
    uint8_t red, green, blue;
    if (!ParseHexPair(p, red) || !ParseHexPair(p, green) || !ParseHexPair(p, blue)) return fallback;
    return RGB(red, green, blue);
}

void FormatColourValue(COLORREF colour, char out[8])
{
    snprintf(out, 8, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

bool ParseCtrlCodeSet(const char* text, CtrlCodeSet& set)
{
    if (!text || !*text) return false;
    size_t length = strnlen(text, 257);
    bool hexForm = length == 64;
    for (size_t i = 0; hexForm && i < 64; ++i) hexForm = HexDigit(text[i]) >= 0;
    memset(set.code, 0, sizeof set.code);
    if (hexForm) {
        // Eight groups of 32 codes, most significant bit first.
        for (int code = 0; code < 256; ++code) {
            int digit = HexDigit(text[code / 4]);
            set.code[code] = (digit >> (3 - code % 4)) & 1;
        }
        return true;
    }
    for (size_t i = 0; i < length && i < 256; ++i) set.code[i] = text[i] != '0';
    return true;
}

void FormatCtrlCodeSet(const CtrlCodeSet& set, char out[kCtrlCodeTextSize])
{
    size_t length = 0;
    for (int code = 0; code < 256; ++code) {
        out[code] = set.code[code] ? '1' : '0';
        if (set.code[code]) length = code + 1;
    }
    if (length == 0) length = 1;
    // 64 characters would read back as the hexadecimal form.
    if (length == 64) out[length++] = '0';
    out[length] = 0;
}

WrapSetting ParseWrapSetting(const char* text)
{
    WrapSetting wrap{1, 0};
    if (!text) return wrap;
    char mapped[512];
    MapUpperHalfWidth(text, mapped, sizeof mapped);
    if (strcmp(mapped, "AUTO") == 0) return wrap;
    std::optional<int32_t> count = ParseInteger(mapped);
    if (count && *count > 0) wrap = WrapSetting{0, static_cast<uint32_t>(*count)};
    return wrap;
}

void FormatWrapSetting(const WrapSetting& wrap, char out[12])
{
    if (!wrap.automatic && wrap.count)
        snprintf(out, 12, "%d", static_cast<int>(wrap.count));
    else
        strcpy(out, "AUTO");
}

namespace {

// Compares `length` bytes of two Shift_JIS texts, ignoring the case of
// single-byte letters only: a trail byte that looks like a letter is part
// of a double-byte character and must match exactly.
bool SamePathPrefix(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && AsciiUpper(x) == AsciiUpper(y))) return false;
        if (IsSjisLeadByte(x) && i + 1 < length) {
            ++i;
            if (a[i] != b[i]) return false;
        }
    }
    return true;
}

} // namespace

const char* LogFolderForSaving(const char* directory, const char* programFolder)
{
    size_t length = strlen(programFolder);
    if (length && strlen(directory) > length && SamePathPrefix(directory, programFolder, length) &&
        directory[length] == '\\')
        return directory + length + 1;
    return directory;
}
