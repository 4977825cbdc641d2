#include "logging/kanji_convert.h"

namespace {

struct SjisPair {
    uint16_t unicode;
    uint16_t sjis;
};

// Generated from the system's code page 932 conversion (tools/gen_sjis_table.cpp).
constexpr SjisPair kSjisPairs[] = {
#include "logging/unicode_to_sjis.inc"
};

struct UnicodeTable {
    uint16_t entry[65536];
};

// Built by the compiler, so the table sits in read-only data with no start-up cost.
constexpr UnicodeTable BuildUnicodeTable()
{
    UnicodeTable table{};
    for (const SjisPair& pair : kSjisPairs) table.entry[pair.unicode] = pair.sjis;
    return table;
}

constexpr UnicodeTable kTable = BuildUnicodeTable();

constexpr uint16_t JisArithmetic(unsigned j1, unsigned j2)
{
    unsigned lead = ((j1 - 0x21u) >> 1) + 0x81;
    if (lead > 0x9F) lead += 0x40;
    unsigned trail = (j1 & 1) ? (j2 <= 0x5F ? j2 + 0x1Fu : j2 + 0x20u) : j2 + 0x7Eu;
    return static_cast<uint16_t>(lead << 8 | trail);
}

// The 94 x 94 JIS X 0208 codes, worked out once: the EUC and JIS converters
// spend most of their time on pairs.
struct PairTable {
    uint16_t code[94 * 94];
};

constexpr PairTable BuildPairTable()
{
    PairTable table{};
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1)
        for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) table.code[(j1 - 0x21) * 94 + (j2 - 0x21)] = JisArithmetic(j1, j2);
    return table;
}

constexpr PairTable kPairs = BuildPairTable();

inline uint16_t PairCode(unsigned j1, unsigned j2)
{
    unsigned row = j1 - 0x21u, cell = j2 - 0x21u;
    return (row < 94 && cell < 94) ? kPairs.code[row * 94 + cell] : 0;
}

// What a byte of 0x80 or above becomes when it is not part of a character:
// itself when nothing is replaced or it counts as a control code.
inline uint8_t StrayByte(uint8_t byte, const CtrlCodeSet& ctrlCodes, uint8_t replacement)
{
    return (replacement == 0 || ctrlCodes.code[byte]) ? byte : replacement;
}

constexpr uint8_t kSingleShift2 = 0x8E;

inline bool IsHalfWidthKatakana(uint8_t byte) { return byte >= 0xA1 && byte <= 0xDF; }

inline uint8_t SingleByte(uint8_t byte, const CtrlCodeSet& ctrlCodes, uint8_t replacement)
{
    return byte < 0x80 ? byte : StrayByte(byte, ctrlCodes, replacement);
}

// Writes a kanji pair (always two bytes; the caller has checked the room).
inline uint8_t* WritePair(uint8_t* out, uint8_t a, uint8_t b, const CtrlCodeSet& ctrlCodes, uint8_t replacement)
{
    uint16_t code = PairCode(a & 0x7F, b & 0x7F);
    if (code) {
        out[0] = static_cast<uint8_t>(code >> 8);
        out[1] = static_cast<uint8_t>(code);
    } else {
        // An invalid pair keeps its bytes, each replaced like a stray byte
        // (here also below 0x80, as the pair rule says).
        out[0] = StrayByte(a, ctrlCodes, replacement);
        out[1] = StrayByte(b, ctrlCodes, replacement);
    }
    return out + 2;
}

} // namespace

const uint16_t (&kUnicodeToSjis)[65536] = kTable.entry;

uint16_t JisToSjis(uint8_t j1, uint8_t j2)
{
    return PairCode(j1, j2);
}

size_t ConvertEucToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement)
{
    const uint8_t* in = source;
    const uint8_t* inEnd = source + length;
    uint8_t* out = destination;
    uint8_t* outEnd = destination + capacity;
    while (in < inEnd && out < outEnd) {
        uint8_t c = *in;
        if (c < 0x80) {
            *out++ = c;
            ++in;
        } else if (c >= 0xA1 && c <= 0xFE && inEnd - in >= 2 && in[1] >= 0xA1 && in[1] <= 0xFE &&
                   outEnd - out >= 2) {
            out = WritePair(out, c, in[1], ctrlCodes, replacement);
            in += 2;
        } else if (c == kSingleShift2 && inEnd - in >= 2 && IsHalfWidthKatakana(in[1])) {
            *out++ = in[1];  // EUC's half-width katakana byte is Shift_JIS's own
            in += 2;
        } else {
            *out++ = StrayByte(c, ctrlCodes, replacement);
            ++in;
        }
    }
    return static_cast<size_t>(out - destination);
}

size_t ConvertJisToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement, uint32_t* shiftState)
{
    // In katakana mode 0x21-0x5F are the half-width katakana 0xA1-0xDF;
    // every other byte follows the single-byte rule there.
    uint32_t state = *shiftState;
    const uint8_t* in = source;
    const uint8_t* inEnd = source + length;
    uint8_t* out = destination;
    uint8_t* outEnd = destination + capacity;
    while (in < inEnd && out < outEnd) {
        if (*in == 0x1B && inEnd - in >= 3) {
            if (in[1] == '(' && (in[2] == 'B' || in[2] == 'H' || in[2] == 'J')) {
                state = kJisSingleByte;
                in += 3;
                continue;
            }
            if (in[1] == '(' && in[2] == 'I') {
                state = kJisKatakana;
                in += 3;
                continue;
            }
            if (in[1] == '$' && (in[2] == '@' || in[2] == 'B')) {
                state = kJisKanji;
                in += 3;
                continue;
            }
        }
        if (state == kJisKatakana && *in >= 0x21 && *in <= 0x5F) {
            *out++ = static_cast<uint8_t>(*in | 0x80);
            ++in;
        } else if (state != kJisKanji || inEnd - in < 2) {
            *out++ = SingleByte(*in, ctrlCodes, replacement);
            ++in;
        } else {
            if (outEnd - out < 2) break;  // no room for the pair: the conversion ends here
            out = WritePair(out, in[0], in[1], ctrlCodes, replacement);
            in += 2;
        }
    }
    *shiftState = state;
    return static_cast<size_t>(out - destination);
}

size_t ConvertUtf8ToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                         uint8_t defaultChar)
{
    const uint8_t* in = source;
    const uint8_t* inEnd = source + length;
    uint8_t* out = destination;
    uint8_t* outEnd = destination + capacity;
    while (in < inEnd && out < outEnd) {
        uint8_t c = *in;
        if (c < 0x80) {
            *out++ = c;
            ++in;
            continue;
        }
        unsigned codePoint;
        if (c < 0xE0 && inEnd - in >= 2 && outEnd - out >= 2) {
            codePoint = (c & 0x1Fu) << 6 | (in[1] & 0x3Fu);
            in += 2;
        } else if (c >= 0xE0 && c < 0xF0 && inEnd - in >= 3 && outEnd - out >= 2) {
            codePoint = (c & 0x0Fu) << 12 | (in[1] & 0x3Fu) << 6 | (in[2] & 0x3Fu);
            in += 3;
        } else {
            *out++ = defaultChar;
            ++in;
            continue;
        }
        uint16_t code = kTable.entry[codePoint];
        if (code == 0) {
            *out++ = defaultChar;
        } else if (code < 0x100) {
            // Half-width katakana and ASCII reached through an overlong form are one byte.
            *out++ = static_cast<uint8_t>(code);
        } else {
            out[0] = static_cast<uint8_t>(code >> 8);
            out[1] = static_cast<uint8_t>(code);
            out += 2;
        }
    }
    return static_cast<size_t>(out - destination);
}
