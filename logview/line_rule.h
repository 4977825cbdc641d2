// How many display lines a record takes and what each line holds: the
// header line, hex lines, character lines under the hex columns, string
// lines (decoded text wrapped by width and newline) and the alternate
// hex/character layout. Plain functions over buffers; the view supplies
// the widths of UTF-16 units through a callback.
#pragma once
#include <cstddef>
#include <cstdint>

#include "settings/settings_types.h"

// Columns one UTF-16 unit takes in unicode string mode.
using UnitColumnsFn = uint32_t (*)(void* context, uint16_t unit);

struct LineOptions {
    bool header = true;
    bool hex = true;
    bool ascii = false;
    bool string = false;
    bool alternate = false;
    bool unicode = false;
    uint8_t kanji = KANJI_SJIS;
    uint8_t defaultChar = '?';
    uint32_t newline = NEWLINE_NONE;
    uint32_t hexPerLine = 16;      // N, at least 1
    uint32_t columnsPerLine = 80;  // M, at least 1
    const CtrlCodeSet* ctrlCodes = nullptr;
    uint8_t* decodeBuffer = nullptr;  // null: string mode shows the raw bytes
    size_t decodeSize = 0;
    UnitColumnsFn unitColumns = nullptr;  // null: DefaultUnitColumns
    void* widthContext = nullptr;
};

// The options of `settings` with the given wrap counts; a count of 0 (a
// window narrower than one character) becomes 1 so the wrap always moves on.
LineOptions MakeLineOptions(const ViewSettings& settings, uint32_t hexPerLine, uint32_t columnsPerLine);

// Full-width forms take two columns, everything else one.
uint32_t DefaultUnitColumns(void* context, uint16_t unit);

// The byte sequence that ends a string-mode line (0 to 3 bytes).
size_t NewlineSequence(uint32_t mode, uint8_t sequence[3]);

struct TextSpan {
    const uint8_t* bytes;
    size_t length;
};

// The text string mode shows for `length` bytes: decoded by the kanji code
// into the decoding buffer (cut at its size), or the bytes themselves. The
// JIS shift state is read and advanced.
TextSpan DecodeForView(const LineOptions& options, const uint8_t* data, size_t length, uint32_t* jisState);

enum class LineKind : uint8_t {
    Header,   // the record's header line
    Hex,      // bytes [begin, end) as hex
    Chars,    // bytes [begin, end) one cell each under the hex columns
    Text,     // string mode: units [begin, end) of the record's text
    AltText,  // alternate string mode: the chunk [begin, end), decoded alone
};

struct LineRef {
    LineKind kind;
    uint32_t begin;
    uint32_t end;
};

// The lines of one record in order. In string mode the walker decodes into
// the options' decoding buffer, so one walker at a time uses it.
class RecordLineWalker {
public:
    RecordLineWalker(const LineOptions& options, const uint8_t* data, uint32_t length, uint32_t jisState);
    bool Next(LineRef& line);
    // The text that Text lines index (decoded bytes, or for unicode the raw
    // data read as units), and for an AltText line its chunk's decoded text.
    TextSpan Text() const { return text_; }
    // The JIS shift state after the lines walked so far.
    uint32_t State() const { return state_; }

private:
    enum class Phase : uint8_t { Header, Hex, Chars, Text, Alternate, Done };
    void DecodeWhole();
    bool NextWrapped(LineRef& line);

    const LineOptions& options_;
    const uint8_t* data_;
    uint32_t length_;
    uint32_t state_;
    Phase phase_;
    uint32_t chunk_ = 0;        // next chunk offset
    bool altCharsNext_ = false; // alternate: the chunk's character line is due
    size_t textPos_ = 0;
    size_t textUnits_ = 0;
    TextSpan text_{nullptr, 0};
    uint8_t newline_[3] = {};
    size_t newlineLength_ = 0;
};

// Display lines of one record (line rule); the JIS state is read and
// advanced as drawing the record would.
uint32_t CountRecordLines(const LineOptions& options, const uint8_t* data, uint32_t length, uint32_t* jisState);

// Does drawing this record decode anything whose result depends on the
// JIS state carried from earlier records?
bool UsesShiftState(const LineOptions& options);
