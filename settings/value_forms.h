// The text forms of Vorlin2.ini values, as plain functions over strings:
// the store reads a value's text from the file and hands it to these, so
// every form can be checked without a file.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "settings/settings_types.h"

// Upper case and half-width (LCMapStringA in the user's default locale), so
// that full-width input such as "ＳＪＩＳ" or "＃００７Ｆ００" is accepted.
// Always terminates `out`; a text that cannot be mapped is copied as it is.
void MapUpperHalfWidth(const char* text, char* out, size_t size);

// A decimal integer with an optional sign after leading blanks; nothing when
// the text holds no digit there. Values beyond 32 bits saturate.
std::optional<int32_t> ParseInteger(const char* text);
std::optional<int64_t> ParseInteger64(const char* text);

// Index of `text` in `names`, or `fallback`. `mapped` compares after
// MapUpperHalfWidth; otherwise the comparison is exact and case-sensitive.
int ParseName(const char* text, const char* const* names, int count, bool mapped, int fallback);

// Empty: the default; two hexadecimal digits (after mapping): that code;
// anything else: its first byte as written.
char ParseCharValue(const char* text, char fallback);
// Printable characters other than space as themselves, anything else
// (controls, space, 0x7F and 0x80-0xFF) as two upper-case hex digits.
void FormatCharValue(char c, char out[3]);

// "#RRGGBB" (after mapping); the default unless all three components parse.
COLORREF ParseColourValue(const char* text, COLORREF fallback);
void FormatColourValue(COLORREF colour, char out[8]);

// Returns false (set untouched) for an empty text.
bool ParseCtrlCodeSet(const char* text, CtrlCodeSet& set);
// At most 257 characters and the terminator.
constexpr size_t kCtrlCodeTextSize = 258;
void FormatCtrlCodeSet(const CtrlCodeSet& set, char out[kCtrlCodeTextSize]);

// "AUTO", or a positive number of bytes per line.
WrapSetting ParseWrapSetting(const char* text);
void FormatWrapSetting(const WrapSetting& wrap, char out[12]);

// Names of the Name-form keys, in the order of their codes.
extern const char* const kLogTypeNames[3];
extern const char* const kKanjiNames[4];
extern const char* const kFontSizeNames[kFontSizeCount];
extern const char* const kNewlineNames[5];

// The log folder as saved: relative to the program's folder when it lies
// inside it (compared without regard to case), else the full path.
const char* LogFolderForSaving(const char* directory, const char* programFolder);
