#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "logging/kanji_convert.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(std::initializer_list<int> values)
{
    Bytes bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

Bytes S(const char* text) { return Bytes(text, text + strlen(text)); }

CtrlCodeSet LogDefaultCtrlCodes()
{
    CtrlCodeSet set{};
    for (int c = 0; c < 0x20; ++c) set.code[c] = 1;
    set.code[0x7F] = 1;
    return set;
}

Bytes Euc(const Bytes& in, uint8_t replacement, size_t capacity = 1024, const CtrlCodeSet& set = LogDefaultCtrlCodes())
{
    Bytes out(capacity);
    out.resize(ConvertEucToSjis(in.data(), in.size(), out.data(), capacity, set, replacement));
    return out;
}

Bytes Jis(const Bytes& in, uint8_t replacement, uint32_t* state, size_t capacity = 1024,
          const CtrlCodeSet& set = LogDefaultCtrlCodes())
{
    Bytes out(capacity);
    out.resize(ConvertJisToSjis(in.data(), in.size(), out.data(), capacity, set, replacement, state));
    return out;
}

Bytes Utf8(const Bytes& in, size_t capacity = 1024, uint8_t defaultChar = '?')
{
    Bytes out(capacity);
    out.resize(ConvertUtf8ToSjis(in.data(), in.size(), out.data(), capacity, defaultChar));
    return out;
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

const unsigned kDepartures[] = {0x00A7, 0x00A8, 0x00B0, 0x00B1, 0x00B4, 0x00B6, 0x00D7, 0x00F7,
                                0x3094, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3};

bool IsDeparture(unsigned cp)
{
    for (unsigned d : kDepartures)
        if (d == cp) return true;
    return false;
}

} // namespace

TEST(UnicodeTable, KnownEntries)
{
    EXPECT_EQ(kUnicodeToSjis[0x0000], 0);
    EXPECT_EQ(kUnicodeToSjis[0x0041], 0x41);
    EXPECT_EQ(kUnicodeToSjis[0x007E], 0x7E);
    EXPECT_EQ(kUnicodeToSjis[0x3000], 0x8140);
    EXPECT_EQ(kUnicodeToSjis[0x3042], 0x82A0);
    EXPECT_EQ(kUnicodeToSjis[0x30A2], 0x8341);
    EXPECT_EQ(kUnicodeToSjis[0x4E9C], 0x889F);  // 亜, first of level 1
    EXPECT_EQ(kUnicodeToSjis[0x8155], 0x9872);  // 腕, last of level 1
    EXPECT_EQ(kUnicodeToSjis[0x7199], 0xEAA4);  // 熙, last of level 2
    EXPECT_EQ(kUnicodeToSjis[0xFF5E], 0x8160);  // full-width tilde is 932's wave dash
    EXPECT_EQ(kUnicodeToSjis[0x2225], 0x8161);
    EXPECT_EQ(kUnicodeToSjis[0x2015], 0x815C);
    EXPECT_EQ(kUnicodeToSjis[0xFF0D], 0x817C);
    EXPECT_EQ(kUnicodeToSjis[0xFF61], 0xA1);    // half-width katakana: one byte
    EXPECT_EQ(kUnicodeToSjis[0xFF9F], 0xDF);
    EXPECT_EQ(kUnicodeToSjis[0xE000], 0xF040);  // user-defined area
    EXPECT_EQ(kUnicodeToSjis[0xE757], 0xF9FC);
    // Best-fit only in 932: no mapping without best fit.
    EXPECT_EQ(kUnicodeToSjis[0x00A5], 0);
    EXPECT_EQ(kUnicodeToSjis[0x203E], 0);
    EXPECT_EQ(kUnicodeToSjis[0x301C], 0);
    EXPECT_EQ(kUnicodeToSjis[0x2014], 0);
    EXPECT_EQ(kUnicodeToSjis[0x2212], 0);
    EXPECT_EQ(kUnicodeToSjis[0x00E9], 0);
    for (unsigned cp = 0xD800; cp <= 0xDFFF; ++cp) ASSERT_EQ(kUnicodeToSjis[cp], 0) << std::hex << cp;
    for (unsigned cp = 0xFF61; cp <= 0xFF9F; ++cp) EXPECT_EQ(kUnicodeToSjis[cp], cp - 0xFF61 + 0xA1);
}

TEST(UnicodeTable, Departures)
{
    for (unsigned cp : {0x00A7u, 0x00A8u, 0x00B0u, 0x00B1u, 0x00B4u, 0x00B6u, 0x00D7u, 0x00F7u})
        EXPECT_EQ(kUnicodeToSjis[cp], 0) << std::hex << cp;
    EXPECT_EQ(kUnicodeToSjis[0x3094], 0x8394);
    EXPECT_EQ(kUnicodeToSjis[0xF8F0], 0xA0);
    EXPECT_EQ(kUnicodeToSjis[0xF8F1], 0xFD);
    EXPECT_EQ(kUnicodeToSjis[0xF8F2], 0xFE);
    EXPECT_EQ(kUnicodeToSjis[0xF8F3], 0xFF);
}

TEST(UnicodeTable, PreferenceAmongDuplicateCodes)
{
    // Hand-picked: JIS X 0208 over NEC row 13 over IBM 0xFA.. over NEC-selected 0xED..
    EXPECT_EQ(kUnicodeToSjis[0x2252], 0x81E0);  // also 0x8790
    EXPECT_EQ(kUnicodeToSjis[0x2235], 0x81E6);  // also 0x879A, 0xFA5B
    EXPECT_EQ(kUnicodeToSjis[0xFFE2], 0x81CA);  // also 0xEEF9, 0xFA54
    EXPECT_EQ(kUnicodeToSjis[0x2160], 0x8754);  // also 0xFA4A
    EXPECT_EQ(kUnicodeToSjis[0x2116], 0x8782);  // also 0xFA59
    EXPECT_EQ(kUnicodeToSjis[0x3231], 0x878A);  // also 0xFA58
    EXPECT_EQ(kUnicodeToSjis[0x2170], 0xFA40);  // also 0xEEEF
    EXPECT_EQ(kUnicodeToSjis[0xFFE4], 0xFA55);  // also 0xEEFA
    EXPECT_EQ(kUnicodeToSjis[0x7E8A], 0xFA5C);  // also 0xED40

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
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByteEx(932, static_cast<BYTE>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) offer(lead << 8 | trail);
    }
    EXPECT_GT(duplicates, 390);  // NEC row 13 and the two IBM blocks overlap this much
    int mismatches = 0;
    for (unsigned cp = 1; cp < 65536; ++cp) {
        if (IsDeparture(cp)) continue;
        if (kUnicodeToSjis[cp] != best[cp] && ++mismatches < 10)
            ADD_FAILURE() << std::hex << "U+" << cp << " table " << kUnicodeToSjis[cp] << " preferred " << best[cp];
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(JisArithmetic, MapsEveryRowAndCellOntoDistinctShiftJis)
{
    EXPECT_EQ(JisToSjis(0x24, 0x22), 0x82A0);
    EXPECT_EQ(JisToSjis(0x21, 0x21), 0x8140);
    EXPECT_EQ(JisToSjis(0x30, 0x21), 0x889F);
    EXPECT_EQ(JisToSjis(0x21, 0x60), 0x8180);  // odd row, cell above 0x5F skips 0x7F
    EXPECT_EQ(JisToSjis(0x5E, 0x7E), 0x9FFC);
    EXPECT_EQ(JisToSjis(0x5F, 0x21), 0xE040);
    EXPECT_EQ(JisToSjis(0x60, 0x7E), 0xE0FC);  // lead past 0x9F moves up by 0x40
    EXPECT_EQ(JisToSjis(0x74, 0x26), 0xEAA4);
    EXPECT_EQ(JisToSjis(0x20, 0x21), 0);
    EXPECT_EQ(JisToSjis(0x21, 0x7F), 0);
    EXPECT_EQ(JisToSjis(0x7F, 0x21), 0);
    std::set<unsigned> seen;
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1)
        for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
            unsigned code = JisToSjis(static_cast<uint8_t>(j1), static_cast<uint8_t>(j2));
            ASSERT_TRUE(IsDBCSLeadByteEx(932, static_cast<BYTE>(code >> 8))) << std::hex << code;
            unsigned trail = code & 0xFF;
            ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << std::hex << code;
            seen.insert(code);
        }
    EXPECT_EQ(seen.size(), 94u * 94u);
}

TEST(EucToSjis, PairsAndStrayBytes)
{
    EXPECT_EQ(Euc(B({0xA4, 0xA2}), 0), B({0x82, 0xA0}));
    EXPECT_EQ(Euc(B({'A', 0xB0, 0xA1, 'z'}), ' '), B({'A', 0x88, 0x9F, 'z'}));
    // A lone lead byte at the end: replaced, or copied when nothing is replaced.
    EXPECT_EQ(Euc(B({'a', 0xA4}), '_'), B({'a', '_'}));
    EXPECT_EQ(Euc(B({'a', 0xA4}), 0), B({'a', 0xA4}));
    // Single shifts have no meaning: half-width katakana comes out as stray bytes.
    EXPECT_EQ(Euc(B({0x8E, 0xB1}), '_'), B({'_', '_'}));
    // A stray byte in the control-code set passes; control codes below 0x80 always pass.
    CtrlCodeSet set = LogDefaultCtrlCodes();
    set.code[0x8E] = 1;
    EXPECT_EQ(Euc(B({0x8E, 0xB1, 0x0D, 0x0A}), '_', 64, set), B({0x8E, '_', 0x0D, 0x0A}));
    EXPECT_EQ(Euc(B({0xA4, 0x41}), '_'), B({'_', 0x41}));  // second byte not a kanji byte
    EXPECT_TRUE(Euc(B({}), '_').empty());
}

TEST(EucToSjis, PairThatDoesNotFitGoesOutAsSingleByte)
{
    EXPECT_EQ(Euc(B({'a', 0xA4, 0xA2}), '_', 2), B({'a', '_'}));
    EXPECT_EQ(Euc(B({'a', 0xA4, 0xA2}), 0, 2), B({'a', 0xA4}));
    EXPECT_EQ(Euc(B({0xA4, 0xA2}), 0, 0), B({}));
}

TEST(JisToSjis, EscapesSwitchTheState)
{
    uint32_t state = 0;
    EXPECT_EQ(Jis(B({0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B', 0x41}), ' ', &state), B({0x82, 0xA0, 0x41}));
    EXPECT_EQ(state, 0u);
    state = 0;
    EXPECT_EQ(Jis(B({0x1B, '$', '@', 0x30, 0x21, 0x1B, '(', 'J', 'x', 0x1B, '(', 'H', 'y'}), ' ', &state),
              B({0x88, 0x9F, 'x', 'y'}));
    // Unknown designations are data (here: half-width katakana, JIS X 0212).
    state = 0;
    EXPECT_EQ(Jis(B({0x1B, '(', 'I', 'a'}), ' ', &state), B({0x1B, '(', 'I', 'a'}));
    EXPECT_EQ(state, 0u);
    state = 0;
    EXPECT_EQ(Jis(B({0x1B, '$', '(', 'D'}), ' ', &state), B({0x1B, '$', '(', 'D'}));
    // An ESC with fewer than two bytes behind it is data.
    state = 0;
    EXPECT_EQ(Jis(B({'a', 0x1B, '$'}), ' ', &state), B({'a', 0x1B, '$'}));
    EXPECT_EQ(state, 0u);
}

TEST(JisToSjis, StateCarriesAcrossCalls)
{
    uint32_t state = 0;
    EXPECT_EQ(Jis(B({'a', 0x1B, '$', 'B'}), ' ', &state), B({'a'}));
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(Jis(B({0x24, 0x22, 0x24, 0x24}), ' ', &state), B({0x82, 0xA0, 0x82, 0xA2}));
    EXPECT_EQ(state, 1u);
    // A pair cut by the end of a call goes out as single bytes; the state stays.
    EXPECT_EQ(Jis(B({0x24, 0x22, 0x24}), ' ', &state), B({0x82, 0xA0, 0x24}));
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(Jis(B({0x1B, '(', 'B', 'q'}), ' ', &state), B({'q'}));
    EXPECT_EQ(state, 0u);
}

TEST(JisToSjis, InvalidPairsAndRoom)
{
    uint32_t state = 1;
    // CR LF in kanji mode: an invalid pair, control codes kept.
    EXPECT_EQ(Jis(B({0x0D, 0x0A}), '_', &state), B({0x0D, 0x0A}));
    // A pair with a byte outside the rows: each byte replaced unless a control code.
    state = 1;
    EXPECT_EQ(Jis(B({0x20, 0x0A}), '_', &state), B({'_', 0x0A}));
    state = 1;
    EXPECT_EQ(Jis(B({0x20, 0x0A}), 0, &state), B({0x20, 0x0A}));
    // Top bits are cleared before the arithmetic.
    state = 1;
    EXPECT_EQ(Jis(B({0xA4, 0xA2}), '_', &state), B({0x82, 0xA0}));
    // In single-byte mode bytes of 0x80 and above are stray bytes.
    state = 0;
    EXPECT_EQ(Jis(B({0xA4, 'b'}), '_', &state), B({'_', 'b'}));
    // In kanji mode a pair that does not fit ends the conversion.
    state = 1;
    EXPECT_EQ(Jis(B({0x24, 0x22, 0x24, 0x22}), '_', &state, 3), B({0x82, 0xA0}));
}

TEST(Utf8ToSjis, Sequences)
{
    EXPECT_EQ(Utf8(B({0xE3, 0x81, 0x82})), B({0x82, 0xA0}));
    EXPECT_EQ(Utf8(S("ab\r\n")), S("ab\r\n"));
    EXPECT_EQ(Utf8(B({0xF0, 0x9F, 0x98, 0x80})), S("???"));
    EXPECT_EQ(Utf8(B({0xE4, 0xBA, 0x9C, 'x'})), B({0x88, 0x9F, 'x'}));  // 亜
    EXPECT_EQ(Utf8(B({0xC2, 0xA5})), S("?"));  // ¥ has no mapping
    EXPECT_EQ(Utf8(B({0xC2, 0xA7}), 1024, '#'), S("#"));  // § is a departure
    EXPECT_EQ(Utf8(B({0xE3, 0x82, 0x94})), B({0x83, 0x94}));  // ゔ as ヴ
    // A lone continuation byte starts a two-byte form; a cut sequence gives defaults.
    EXPECT_EQ(Utf8(B({0x80, 'A'})), B({0x01}));  // (0x00 << 6) | (0x41 & 0x3F) is U+0001
    EXPECT_EQ(Utf8(B({'a', 0xE3, 0x81})), S("a??"));
    EXPECT_EQ(Utf8(B({0xE3})), S("?"));
}

TEST(Utf8ToSjis, OneByteEntriesWriteOneByte)
{
    // Half-width katakana ｱ (U+FF71) and ﾟ (U+FF9F) through three-byte forms.
    EXPECT_EQ(Utf8(B({0xEF, 0xBD, 0xB1, 0xEF, 0xBE, 0x9F, 'z'})), B({0xB1, 0xDF, 'z'}));
    // Overlong ASCII: C1 81 is U+0041.
    EXPECT_EQ(Utf8(B({0xC1, 0x81, 0xE0, 0x81, 0x82})), S("AB"));
    // U+F8F0 to the single byte 0xA0.
    EXPECT_EQ(Utf8(B({0xEF, 0xA3, 0xB0})), B({0xA0}));
    // An overlong NUL has no mapping.
    EXPECT_EQ(Utf8(B({0xC0, 0x80})), S("?"));
}

TEST(Utf8ToSjis, SequenceWithOneByteOfRoomGivesOneDefault)
{
    EXPECT_EQ(Utf8(B({'a', 0xE3, 0x81, 0x82}), 2), S("a?"));
    EXPECT_EQ(Utf8(B({0xE3, 0x81, 0x82}), 0), B({}));
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
        size_t length = random() % 200;
        Bytes in(length);
        // Mix plain random bytes with escape-rich input for the JIS states.
        for (auto& b : in) {
            unsigned r = random();
            b = (r & 0x700) == 0 ? 0x1B : static_cast<uint8_t>(r);
        }
        for (size_t capacity : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, length / 2, length, length + 1,
                                2 * length + 2, static_cast<size_t>(random() % 64)}) {
            for (int which = 0; which < 3; ++which) {
                Bytes out(capacity + kGuard, 0xCD);
                size_t written = 0;
                uint32_t state = random() & 1;
                uint8_t replacement = (random() & 1) ? '_' : 0;
                if (which == 0) written = ConvertEucToSjis(in.data(), in.size(), out.data(), capacity, set, replacement);
                if (which == 1) written = ConvertJisToSjis(in.data(), in.size(), out.data(), capacity, set, replacement, &state);
                if (which == 2) written = ConvertUtf8ToSjis(in.data(), in.size(), out.data(), capacity, '?');
                ASSERT_LE(written, capacity) << "converter " << which;
                for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCD) << "converter " << which;
                ASSERT_LE(state, 1u);
                // EUC gives one output byte per input byte, whatever it holds.
                if (which == 0) {
                    ASSERT_EQ(written, std::min(length, capacity));
                }
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 50000);
}

// Everything the table maps (bar the departures) survives UTF-8 -> Shift_JIS -> system decoding.
TEST(Utf8ToSjis, RoundTripsThroughTheSystemDecoding)
{
    std::wstring wide;
    for (unsigned cp = 1; cp < 0x10000; ++cp)
        if (kUnicodeToSjis[cp] && !IsDeparture(cp)) wide.push_back(static_cast<wchar_t>(cp));
    ASSERT_GT(wide.size(), 9000u);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    Bytes out(text.size());
    out.resize(ConvertUtf8ToSjis(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out.data(), out.size(), '?'));
    std::wstring back(out.size(), L'\0');
    back.resize(MultiByteToWideChar(932, 0, reinterpret_cast<const char*>(out.data()), static_cast<int>(out.size()),
                                    back.data(), static_cast<int>(back.size())));
    EXPECT_TRUE(back == wide);
}
