// The Unicode table and the converters to Shift_JIS (EUC-JP, ISO-2022-JP, UTF-8).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/kanji_convert.h"

enum Converter { EUC, JIS, UTF8 };

// Where the table departs from code page 932 (best fit only, dropped or moved entries) and which
// of several codes wins; the ordinary entries are proven by the converters below.
TEST(UnicodeTable, DeparturesAndPreferences)
{
    const std::pair<unsigned, unsigned> entries[] = {
        {0x00A5, 0}, {0x203E, 0}, {0x301C, 0}, {0x2014, 0}, {0x2212, 0}, {0xD800, 0},  // best fit only: none
        {0x3094, 0x8394}, {0xF8F0, 0xA0}, {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF}, {0xE757, 0xF9FC},
        // JIS X 0208 over NEC row 13 over IBM 0xFA.. over NEC-selected 0xED..
        {0x2252, 0x81E0}, {0x2235, 0x81E6}, {0xFFE2, 0x81CA}, {0x2160, 0x8754}, {0x2116, 0x8782},
        {0x3231, 0x878A}, {0x2170, 0xFA40}, {0xFFE4, 0xFA55}, {0x7E8A, 0xFA5C},
    };
    for (auto [cp, code] : entries) EXPECT_EQ(kUnicodeToSjis[cp], code) << std::hex << "U+" << cp;
}

TEST(Converters, KnownInput)
{
    struct Case {  // the JIS shift state before and after; a code besides those of the log's set
        const char* what;
        Converter which;
        std::string in;
        uint8_t replacement;
        std::string expected;
        size_t capacity = 1024;
        uint32_t state = 0, stateAfter = 0;
        int extraCode = -1;
    } cases[] = {
        {"EUC", EUC, "A\xB0\xA1z\xA4\x41", '_', "A\x88\x9Fz_A"},  // a second byte that is no kanji byte
        // Only 0xA1-0xFE lead a pair: 0xA0 and 0xFF are stray bytes and leave the next pair whole.
        {"EUC lead bytes", EUC, "\xA0\xA1\xA1\xFE\xFE\xFF\xA1\xA1", '_', "_\x81\x40\xEF\xFC_\x81\x40"},
        // Half-width katakana 0xA1-0xDF behind 0x8E; anything else behind it, JIS X 0212's 0x8F and a lone lead
        // are stray bytes.
        {"EUC single shifts", EUC, "\x8E\xA1\x8E\xB1\x8E\xDD\x8E\xDF" "\x8E\x41" "\x8E\xA0" "\x8E\xE0z" "\x8F" "a\xA4", '_',
         "\xA1\xB1\xDD\xDF" "_A" "__" "__z" "_" "a_"},
        {"EUC half-width katakana in the last byte of room", EUC, "a\x8E\xB1\x8E\xB2", '_', "a\xB1", 2},
        {"EUC lone lead copied", EUC, "a\xA4", 0, "a\xA4"},
        // A stray byte in the set passes; control codes below 0x80 always pass.
        {"EUC stray in the set", EUC, "\x8E\xE0\r\n", '_', "\x8E_\r\n", 1024, 0, 0, 0x8E},
        {"JIS escapes", JIS, "\x1B$B\x24\x22\x1B(BA\x1B$@\x30\x21\x1B(Jx\x1B(Hy", ' ', "\x82\xA0" "A\x88\x9Fxy"},
        {"JIS other designations are data", JIS, "\x1B$(Da\x1B(", ' ', "\x1B$(Da\x1B("},
        {"JIS half-width katakana", JIS, "\x1B(I\x31\x5D\x1B(BA", ' ', "\xB1\xDD" "A"},
        // 0x21-0x5F only; the rest keeps the single-byte rule.
        {"JIS katakana edges", JIS, "\x21\x5F\x20\x60\r\xB1", '_', "\xA1\xDF\x20\x60\r_", 1024, 2, 2},
        {"JIS katakana carries out", JIS, "\x1B(I\x31", ' ', "\xB1", 1024, 0, 2},
        {"JIS katakana carries in", JIS, "\x5D\x1B$B\x24\x22", ' ', "\xDD\x82\xA0", 1024, 2, 1},
        {"JIS shift carries out", JIS, "a\x1B$B", ' ', "a", 1024, 0, 1},
        {"JIS shift carries in, pair cut by the end", JIS, "\x24\x22\x24\x24\x24", ' ', "\x82\xA0\x82\xA2\x24", 1024, 1, 1},
        {"JIS CR LF and pairs outside the rows", JIS, "\r\n\x20\n", '_', "\r\n_\n", 1024, 1, 1},
        // Odd and even rows, cells up to 0x5F and above (which skip 0x7F), leads past 0x9F (up by 0x40), the last
        // row, top bits cleared.
        {"JIS rows and cells", JIS, "\x21\x21\x21\x5F\x21\x60\x5E\x7E\x5F\x21\x74\x26\x7E\x7E\xA4\xA2", '_',
         "\x81\x40\x81\x7E\x81\x80\x9F\xFC\xE0\x40\xEA\xA4\xEF\xFC\x82\xA0", 1024, 1, 1},
        {"JIS pair without room ends", JIS, "\x24\x22\x24\x22", '_', "\x82\xA0", 3, 1, 1},
        {"UTF-8", UTF8, "ab\r\n\xE4\xBA\x9Cx\xC2\xA5", '?', "ab\r\n\x88\x9Fx?"},  // 亜, ¥ unmapped
        // ° ± × ÷ § ¨ ´ ¶: Latin-1 signs that code page 932 has in row 1 and 2.
        {"UTF-8 signs", UTF8, "25.3\xC2\xB0" "C\xC2\xB1\xC3\x97\xC3\xB7\xC2\xA7\xC2\xA8\xC2\xB4\xC2\xB6", '?',
         "25.3\x81\x8B" "C\x81\x7D\x81\x7E\x81\x80\x81\x98\x81\x4E\x81\x4C\x81\xF7"},
        {"UTF-8 0xDF leads a pair", UTF8, "\xDF\xBF" "A", '?', "?A"},
        {"UTF-8 one-byte entry without room for two", UTF8, "a\xEF\xBD\xB1", '?', "a?", 2},
        {"UTF-8 four bytes", UTF8, "\xF0\x9F\x98\x80", '?', "???"},
        {"UTF-8 overlong NUL, cut sequence", UTF8, "\xC0\x80" "a\xE3\x81", '?', "?a??"},
        {"UTF-8 lone continuation starts a pair", UTF8, "\x80" "A", '?', "\x01"},  // (0x00 << 6) | 0x01
        // One-byte entries give one byte: half-width katakana, overlong ASCII, U+F8F0.
        {"UTF-8 one-byte entries", UTF8, "\xEF\xBD\xB1\xEF\xBE\x9F\xC1\x81\xE0\x81\x82\xEF\xA3\xB0", '?', "\xB1\xDF" "AB\xA0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CtrlCodeSet set{};  // 0x00-0x1F and 0x7F, as the log has them
        for (int b = 0; b < 256; ++b) set.code[b] = b < 0x20 || b == 0x7F || b == c.extraCode;
        uint32_t state = c.state;
        std::vector<uint8_t> out(c.capacity + 1);
        const auto* in = reinterpret_cast<const uint8_t*>(c.in.data());
        size_t n = c.which == EUC   ? ConvertEucToSjis(in, c.in.size(), out.data(), c.capacity, set, c.replacement)
                   : c.which == JIS ? ConvertJisToSjis(in, c.in.size(), out.data(), c.capacity, set, c.replacement, &state)
                                    : ConvertUtf8ToSjis(in, c.in.size(), out.data(), c.capacity, c.replacement);
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<ptrdiff_t>(n)), c.expected);
        EXPECT_EQ(state, c.stateAfter);
    }
}
