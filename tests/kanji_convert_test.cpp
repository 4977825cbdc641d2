#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "logging/kanji_convert.h"

namespace {

CtrlCodeSet LogDefaultCtrlCodes()
{
    CtrlCodeSet set{};
    for (int c = 0; c < 0x20; ++c) set.code[c] = 1;
    set.code[0x7F] = 1;
    return set;
}

enum Converter { EUC, JIS, UTF8 };

// Runs one converter into `capacity` bytes. `replacement` is the default
// character for UTF-8; `state` is the JIS shift state, before and after.
std::string Convert(Converter which, const std::string& in, uint8_t replacement, size_t capacity = 1024,
                    uint32_t* state = nullptr, const CtrlCodeSet& set = LogDefaultCtrlCodes())
{
    std::vector<uint8_t> out(capacity + 1);
    auto data = reinterpret_cast<const uint8_t*>(in.data());
    size_t n = which == EUC  ? ConvertEucToSjis(data, in.size(), out.data(), capacity, set, replacement)
               : which == JIS ? ConvertJisToSjis(data, in.size(), out.data(), capacity, set, replacement, state)
                              : ConvertUtf8ToSjis(data, in.size(), out.data(), capacity, replacement);
    return std::string(out.begin(), out.begin() + static_cast<ptrdiff_t>(n));
}

// The code point that code page 932 gives a Shift_JIS code, or -1.
int Decode932(unsigned code)
{
    char in[2];
    int length = 0;
    if (code > 0xFF) in[length++] = static_cast<char>(code >> 8);
    in[length++] = static_cast<char>(code);
    wchar_t out[2] = {};
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, length, out, 2) != 1) return -1;
    if (out[0] == 0x30FB && code != 0x8145) return -1;  // the default character of 932
    return out[0];
}

int Rank(unsigned code)
{
    if (code >= 0x8740 && code <= 0x879C) return 1;  // NEC row 13
    if (code >= 0xFA40 && code <= 0xFC4B) return 2;  // IBM extension
    if (code >= 0xED40 && code <= 0xEEFC) return 3;  // NEC-selected IBM extension
    return 0;
}

// Where the table departs from code page 932 (kept apart by the other tests).
bool IsDeparture(unsigned cp)
{
    for (unsigned d : {0x00A7, 0x00A8, 0x00B0, 0x00B1, 0x00B4, 0x00B6, 0x00D7, 0x00F7, 0x3094, 0xF8F0, 0xF8F1,
                       0xF8F2, 0xF8F3})
        if (d == cp) return true;
    return false;
}

} // namespace

TEST(UnicodeTable, KnownEntriesDeparturesAndPreferences)
{
    const std::pair<unsigned, unsigned> entries[] = {
        {0x0000, 0}, {0x0041, 0x41}, {0x007E, 0x7E}, {0x3000, 0x8140}, {0x3042, 0x82A0}, {0x30A2, 0x8341},
        {0x4E9C, 0x889F}, {0x8155, 0x9872}, {0x7199, 0xEAA4},  // 亜, 腕, 熙: ends of levels 1 and 2
        {0xFF5E, 0x8160}, {0x2225, 0x8161}, {0x2015, 0x815C}, {0xFF0D, 0x817C},
        {0xFF61, 0xA1}, {0xFF9F, 0xDF}, {0xE000, 0xF040}, {0xE757, 0xF9FC},  // half-width, user area
        // Best fit only in 932: no mapping.
        {0x00A5, 0}, {0x203E, 0}, {0x301C, 0}, {0x2014, 0}, {0x2212, 0}, {0x00E9, 0},
        // The departures.
        {0x00A7, 0}, {0x00A8, 0}, {0x00B0, 0}, {0x00B1, 0}, {0x00B4, 0}, {0x00B6, 0}, {0x00D7, 0}, {0x00F7, 0},
        {0x3094, 0x8394}, {0xF8F0, 0xA0}, {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF},
        // JIS X 0208 over NEC row 13 over IBM 0xFA.. over NEC-selected 0xED..
        {0x2252, 0x81E0}, {0x2235, 0x81E6}, {0xFFE2, 0x81CA}, {0x2160, 0x8754}, {0x2116, 0x8782},
        {0x3231, 0x878A}, {0x2170, 0xFA40}, {0xFFE4, 0xFA55}, {0x7E8A, 0xFA5C},
    };
    for (auto [cp, code] : entries) EXPECT_EQ(kUnicodeToSjis[cp], code) << std::hex << "U+" << cp;
    for (unsigned cp = 0xD800; cp <= 0xDFFF; ++cp) ASSERT_EQ(kUnicodeToSjis[cp], 0) << std::hex << cp;

    // Every code of 932, decoded: the table holds the preferred code of each
    // character, and every entry decodes back to its own code point.
    std::vector<unsigned> best(65536, 0);
    int duplicates = 0;
    auto offer = [&](unsigned code) {
        int u = Decode932(code);
        if (u <= 0) return;
        if (best[u]) ++duplicates;
        if (!best[u] || Rank(code) < Rank(best[u])) best[u] = code;
    };
    for (unsigned b = 1; b < 0x100; ++b)
        if (!IsDBCSLeadByteEx(932, static_cast<BYTE>(b))) offer(b);
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead)
        for (unsigned trail = 0x40; IsDBCSLeadByteEx(932, static_cast<BYTE>(lead)) && trail <= 0xFC; ++trail)
            if (trail != 0x7F) offer(lead << 8 | trail);
    EXPECT_GT(duplicates, 390);  // NEC row 13 and the two IBM blocks overlap this much
    int mismatches = 0;
    for (unsigned cp = 1; cp < 65536; ++cp)
        if (!IsDeparture(cp) && kUnicodeToSjis[cp] != best[cp] && ++mismatches < 10)
            ADD_FAILURE() << std::hex << "U+" << cp << " table " << kUnicodeToSjis[cp] << " preferred " << best[cp];
    EXPECT_EQ(mismatches, 0);
}

TEST(JisArithmetic, MapsEveryRowAndCellOntoDistinctShiftJis)
{
    const unsigned cases[][3] = {
        {0x24, 0x22, 0x82A0}, {0x21, 0x21, 0x8140}, {0x30, 0x21, 0x889F},
        {0x21, 0x60, 0x8180},  // odd row, cell above 0x5F skips 0x7F
        {0x5E, 0x7E, 0x9FFC}, {0x5F, 0x21, 0xE040},
        {0x60, 0x7E, 0xE0FC},  // lead past 0x9F moves up by 0x40
        {0x74, 0x26, 0xEAA4}, {0x20, 0x21, 0}, {0x21, 0x7F, 0}, {0x7F, 0x21, 0},
    };
    for (auto& c : cases) EXPECT_EQ(JisToSjis(uint8_t(c[0]), uint8_t(c[1])), c[2]) << std::hex << c[0] << " " << c[1];
    std::set<unsigned> seen;
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1)
        for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
            unsigned code = JisToSjis(static_cast<uint8_t>(j1), static_cast<uint8_t>(j2)), trail = code & 0xFF;
            ASSERT_TRUE(IsDBCSLeadByteEx(932, static_cast<BYTE>(code >> 8))) << std::hex << code;
            ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << std::hex << code;
            seen.insert(code);
        }
    EXPECT_EQ(seen.size(), 94u * 94u);
}

TEST(Converters, KnownInput)
{
    CtrlCodeSet with8E = LogDefaultCtrlCodes();
    with8E.code[0x8E] = 1;
    struct Case {
        const char* what;
        Converter which;
        std::string in;
        uint8_t replacement;
        std::string expected;
        size_t capacity = 1024;
        uint32_t state = 0, stateAfter = 0;
        const CtrlCodeSet* set = nullptr;
    } cases[] = {
        {"EUC in ASCII", EUC, "A\xB0\xA1z", ' ', "A\x88\x9Fz"},
        {"EUC lone lead at the end", EUC, "a\xA4", '_', "a_"},
        {"EUC lone lead copied", EUC, "a\xA4", 0, "a\xA4"},
        {"EUC single shift is stray bytes", EUC, "\x8E\xB1", '_', "__"},
        // A stray byte in the set passes; control codes below 0x80 always pass.
        {"EUC stray in the set", EUC, "\x8E\xB1\r\n", '_', "\x8E_\r\n", 1024, 0, 0, &with8E},
        {"EUC second byte no kanji byte", EUC, "\xA4\x41", '_', "_A"},
        {"EUC empty", EUC, "", '_', ""},
        {"EUC pair without room", EUC, "a\xA4\xA2", '_', "a_", 2},
        {"EUC pair without room copied", EUC, "a\xA4\xA2", 0, "a\xA4", 2},
        {"EUC no room", EUC, "\xA4\xA2", 0, "", 0},
        {"JIS escapes", JIS, "\x1B$B\x24\x22\x1B(BA", ' ', "\x82\xA0" "A"},
        {"JIS old escapes", JIS, "\x1B$@\x30\x21\x1B(Jx\x1B(Hy", ' ', "\x88\x9Fxy"},
        {"JIS katakana designation is data", JIS, "\x1B(Ia", ' ', "\x1B(Ia"},
        {"JIS X 0212 designation is data", JIS, "\x1B$(D", ' ', "\x1B$(D"},
        {"JIS short escape is data", JIS, "a\x1B$", ' ', "a\x1B$"},
        {"JIS shift carries out", JIS, "a\x1B$B", ' ', "a", 1024, 0, 1},
        {"JIS shift carries in", JIS, "\x24\x22\x24\x24", ' ', "\x82\xA0\x82\xA2", 1024, 1, 1},
        {"JIS pair cut by the end", JIS, "\x24\x22\x24", ' ', "\x82\xA0\x24", 1024, 1, 1},
        {"JIS back to ASCII", JIS, "\x1B(Bq", ' ', "q", 1024, 1, 0},
        {"JIS CR LF in kanji mode", JIS, "\r\n", '_', "\r\n", 1024, 1, 1},
        {"JIS pair outside the rows", JIS, "\x20\n", '_', "_\n", 1024, 1, 1},
        {"JIS pair outside, no replacement", JIS, "\x20\n", 0, "\x20\n", 1024, 1, 1},
        {"JIS top bits cleared", JIS, "\xA4\xA2", '_', "\x82\xA0", 1024, 1, 1},
        {"JIS high byte in ASCII mode", JIS, "\xA4" "b", '_', "_b"},
        {"JIS pair without room ends", JIS, "\x24\x22\x24\x22", '_', "\x82\xA0", 3, 1, 1},
        {"UTF-8 ASCII", UTF8, "ab\r\n", '?', "ab\r\n"},
        {"UTF-8 four bytes", UTF8, "\xF0\x9F\x98\x80", '?', "???"},
        {"UTF-8 亜", UTF8, "\xE4\xBA\x9Cx", '?', "\x88\x9Fx"},
        {"UTF-8 no mapping", UTF8, "\xC2\xA5", '?', "?"},
        {"UTF-8 departure", UTF8, "\xC2\xA7", '#', "#"},
        {"UTF-8 U+3094 departs to 0x8394", UTF8, "\xE3\x82\x94", '?', "\x83\x94"},
        // (0x00 << 6) | (0x41 & 0x3F) is U+0001
        {"UTF-8 lone continuation starts a pair", UTF8, "\x80" "A", '?', "\x01"},
        {"UTF-8 cut sequence", UTF8, "a\xE3\x81", '?', "a??"},
        {"UTF-8 half-width is one byte", UTF8, "\xEF\xBD\xB1\xEF\xBE\x9Fz", '?', "\xB1\xDFz"},
        {"UTF-8 overlong ASCII is one byte", UTF8, "\xC1\x81\xE0\x81\x82", '?', "AB"},
        {"UTF-8 U+F8F0 is one byte", UTF8, "\xEF\xA3\xB0", '?', "\xA0"},
        {"UTF-8 overlong NUL", UTF8, std::string("\xC0\x80", 2), '?', "?"},
        {"UTF-8 one byte of room", UTF8, "a\xE3\x81\x82", '?', "a?", 2},
        {"UTF-8 no room", UTF8, "\xE3\x81\x82", '?', "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t state = c.state;
        EXPECT_EQ(Convert(c.which, c.in, c.replacement, c.capacity, &state, c.set ? *c.set : LogDefaultCtrlCodes()),
                  c.expected);
        EXPECT_EQ(state, c.stateAfter);
    }
}

// Random bytes at every capacity: the output never passes the capacity, and
// the bytes just behind it stay untouched.
TEST(Converters, NeverWritePastTheCapacity)
{
    std::mt19937 random(20261206);
    CtrlCodeSet set = LogDefaultCtrlCodes();
    constexpr size_t kGuard = 16;
    int runs = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> in(random() % 200);
        for (auto& b : in) {  // escape-rich, for the JIS states
            unsigned r = random();
            b = (r & 0x700) == 0 ? 0x1B : static_cast<uint8_t>(r);
        }
        const size_t length = in.size();
        for (size_t capacity : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, length / 2, length, length + 1,
                                2 * length + 2, static_cast<size_t>(random() % 64)}) {
            for (int which = 0; which < 3; ++which) {
                std::vector<uint8_t> out(capacity + kGuard, 0xCD);
                size_t written = 0;
                uint32_t state = random() & 1;
                uint8_t replacement = (random() & 1) ? '_' : 0;
                if (which == 0) written = ConvertEucToSjis(in.data(), length, out.data(), capacity, set, replacement);
                if (which == 1) written = ConvertJisToSjis(in.data(), length, out.data(), capacity, set, replacement, &state);
                if (which == 2) written = ConvertUtf8ToSjis(in.data(), length, out.data(), capacity, '?');
                ASSERT_LE(written, capacity) << "converter " << which;
                for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCD) << "converter " << which;
                ASSERT_LE(state, 1u);
                if (which == 0) {
                    ASSERT_EQ(written, std::min(length, capacity));  // EUC: one byte out per byte in
                }
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 50000);
}

// Everything the table maps (bar the departures) survives UTF-8 -> Shift_JIS -> system decoding.
TEST(Converters, Utf8RoundTripsThroughTheSystemDecoding)
{
    std::wstring wide;
    for (unsigned cp = 1; cp < 0x10000; ++cp)
        if (kUnicodeToSjis[cp] && !IsDeparture(cp)) wide.push_back(static_cast<wchar_t>(cp));
    ASSERT_GT(wide.size(), 9000u);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    std::string out = Convert(UTF8, text, '?', text.size());
    std::wstring back(out.size(), L'\0');
    back.resize(MultiByteToWideChar(932, 0, out.data(), static_cast<int>(out.size()), back.data(),
                                    static_cast<int>(back.size())));
    EXPECT_TRUE(back == wide);
}
