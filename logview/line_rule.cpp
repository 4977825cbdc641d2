#include "logview/line_rule.h"

#include <algorithm>

#include "logging/kanji_convert.h"

LineOptions MakeLineOptions(const ViewSettings& s, uint32_t hexPerLine, uint32_t columnsPerLine)
{
    LineOptions o;
    o.header = s.header != 0;
    o.hex = s.hex != 0;
    o.ascii = s.ascii != 0;
    o.string = s.string != 0;
    o.alternate = s.alternate != 0;
    o.unicode = s.unicode != 0;
    o.kanji = s.kanji;
    o.defaultChar = static_cast<uint8_t>(s.defaultChar);
    o.newline = s.newline;
    o.hexPerLine = std::max<uint32_t>(hexPerLine, 1);
    o.columnsPerLine = std::max<uint32_t>(columnsPerLine, 1);
    o.ctrlCodes = &s.ctrlCode;
    return o;
}

uint32_t DefaultUnitColumns(void*, uint16_t unit)
{
    if (unit < 0x1100) return 1;
    if (unit >= 0xFF61 && unit <= 0xFF9F) return 1;  // half-width katakana
    return 2;
}

size_t NewlineSequence(uint32_t mode, uint8_t sequence[3])
{
    switch (mode) {
    case NEWLINE_CR: sequence[0] = '\r'; return 1;
    case NEWLINE_CRLF: sequence[0] = '\r'; sequence[1] = '\n'; return 2;
    case NEWLINE_LF: sequence[0] = '\n'; return 1;
    case NEWLINE_CRCRLF: sequence[0] = '\r'; sequence[1] = '\r'; sequence[2] = '\n'; return 3;
    default: return 0;
    }
}

TextSpan DecodeForView(const LineOptions& o, const uint8_t* data, size_t length, uint32_t* jisState)
{
    if (o.kanji == KANJI_SJIS || !o.decodeBuffer || o.decodeSize == 0 || !o.ctrlCodes) return {data, length};
    size_t n = 0;
    switch (o.kanji) {
    case KANJI_EUC:
        n = ConvertEucToSjis(data, length, o.decodeBuffer, o.decodeSize, *o.ctrlCodes, o.defaultChar);
        break;
    case KANJI_JIS:
        n = ConvertJisToSjis(data, length, o.decodeBuffer, o.decodeSize, *o.ctrlCodes, o.defaultChar, jisState);
        break;
    case KANJI_UTF8: n = ConvertUtf8ToSjis(data, length, o.decodeBuffer, o.decodeSize, o.defaultChar); break;
    default: return {data, length};
    }
    return {o.decodeBuffer, std::min(n, o.decodeSize)};
}

bool UsesShiftState(const LineOptions& o)
{
    return o.ascii && o.string && !o.unicode && o.kanji == KANJI_JIS && o.decodeBuffer && o.decodeSize;
}

namespace {

bool AlternateLayout(const LineOptions& o) { return o.alternate && o.hex && o.ascii; }

uint16_t UnitAt(const uint8_t* bytes, size_t i)
{
    // Records carry zero bytes behind the data, so the high byte of a last
    // odd unit reads as 0.
    return static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

} // namespace

RecordLineWalker::RecordLineWalker(const LineOptions& options, const uint8_t* data, uint32_t length,
                                   uint32_t jisState)
    : options_(options), data_(data), length_(length), state_(jisState)
{
    newlineLength_ = NewlineSequence(options.newline, newline_);
    phase_ = Phase::Header;
}

void RecordLineWalker::DecodeWhole()
{
    if (options_.unicode) {
        text_ = {data_, length_};
        textUnits_ = (static_cast<size_t>(length_) + 1) / 2;
    } else {
        text_ = DecodeForView(options_, data_, length_, &state_);
        textUnits_ = text_.length;
    }
    textPos_ = 0;
}

bool RecordLineWalker::NextWrapped(LineRef& line)
{
    if (textPos_ >= textUnits_) return false;
    const uint32_t m = std::max<uint32_t>(options_.columnsPerLine, 1);
    UnitColumnsFn width = options_.unitColumns ? options_.unitColumns : DefaultUnitColumns;
    const size_t begin = textPos_;
    uint64_t column = 0;
    size_t i = begin;
    for (;;) {
        if (i >= textUnits_) {
            textPos_ = textUnits_;
            break;
        }
        if (newlineLength_ && i + newlineLength_ <= textUnits_) {
            bool match = true;
            for (size_t k = 0; k < newlineLength_ && match; ++k) {
                uint32_t u = options_.unicode ? UnitAt(text_.bytes, i + k) : text_.bytes[i + k];
                match = u == newline_[k];
            }
            if (match) {
                textPos_ = i + newlineLength_;
                break;
            }
        }
        if (column >= m) {
            textPos_ = i;
            break;
        }
        column += options_.unicode ? width(options_.widthContext, UnitAt(text_.bytes, i)) : 1;
        ++i;
    }
    line = {LineKind::Text, static_cast<uint32_t>(begin), static_cast<uint32_t>(i)};
    return true;
}

bool RecordLineWalker::Next(LineRef& line)
{
    const uint32_t n = std::max<uint32_t>(options_.hexPerLine, 1);
    for (;;) {
        switch (phase_) {
        case Phase::Header:
            phase_ = AlternateLayout(options_) ? Phase::Alternate : Phase::Hex;
            if (options_.header) {
                line = {LineKind::Header, 0, 0};
                return true;
            }
            break;
        case Phase::Hex:
            if (options_.hex && chunk_ < length_) {
                uint32_t end = chunk_ + std::min(n, length_ - chunk_);
                line = {LineKind::Hex, chunk_, end};
                chunk_ = end;
                return true;
            }
            chunk_ = 0;
            if (!options_.ascii) {
                phase_ = Phase::Done;
            } else if (options_.string) {
                DecodeWhole();
                phase_ = Phase::Text;
            } else {
                phase_ = Phase::Chars;
            }
            break;
        case Phase::Chars:
            if (chunk_ < length_) {
                uint32_t end = chunk_ + std::min(n, length_ - chunk_);
                line = {LineKind::Chars, chunk_, end};
                chunk_ = end;
                return true;
            }
            phase_ = Phase::Done;
            break;
        case Phase::Text:
            if (NextWrapped(line)) return true;
            phase_ = Phase::Done;
            break;
        case Phase::Alternate:
            if (chunk_ >= length_) {
                phase_ = Phase::Done;
                break;
            }
            {
                uint32_t end = chunk_ + std::min(n, length_ - chunk_);
                if (!altCharsNext_) {
                    line = {LineKind::Hex, chunk_, end};
                    altCharsNext_ = true;
                    return true;
                }
                altCharsNext_ = false;
                if (options_.string) {
                    if (options_.unicode)
                        text_ = {data_ + chunk_, end - chunk_};
                    else
                        text_ = DecodeForView(options_, data_ + chunk_, end - chunk_, &state_);
                    line = {LineKind::AltText, chunk_, end};
                } else {
                    line = {LineKind::Chars, chunk_, end};
                }
                chunk_ = end;
                return true;
            }
        case Phase::Done:
            return false;
        }
    }
}

uint32_t CountRecordLines(const LineOptions& o, const uint8_t* data, uint32_t length, uint32_t* jisState)
{
    const uint64_t n = std::max<uint32_t>(o.hexPerLine, 1);
    const uint64_t chunks = (static_cast<uint64_t>(length) + n - 1) / n;
    const bool decodesAlone = AlternateLayout(o) && UsesShiftState(o);
    if (!(o.ascii && o.string && !AlternateLayout(o)) && !decodesAlone) {
        uint64_t lines = o.header ? 1 : 0;
        if (AlternateLayout(o))
            lines += 2 * chunks;
        else
            lines += (o.hex ? chunks : 0) + (o.ascii ? chunks : 0);
        return static_cast<uint32_t>(std::min<uint64_t>(lines, UINT32_MAX));
    }
    // String text must be wrapped, or the chunks decoded to carry the state.
    RecordLineWalker walker(o, data, length, jisState ? *jisState : 0);
    uint32_t lines = 0;
    LineRef line;
    while (walker.Next(line) && lines < UINT32_MAX) ++lines;
    if (jisState) *jisState = walker.State();
    return lines;
}
