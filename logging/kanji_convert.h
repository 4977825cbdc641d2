// Japanese encodings to Shift_JIS. Plain functions over buffers: they
// allocate nothing, never write past `capacity`, return the bytes written
// and do not terminate the output.
#pragma once
#include <cstddef>
#include <cstdint>

#include "settings/settings_types.h"

// EUC-JP. 0x8E and a byte of 0xA1-0xDF is a half-width katakana (that one
// byte out). Bytes of 0x80 and above that are no character are replaced by
// `replacement` unless it is 0 or the byte is in `ctrlCodes`.
size_t ConvertEucToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement);
// ISO-2022-JP. `shiftState` (a JisShift: the designation in force) carries
// from call to call; a caller starts it at kJisSingleByte.
enum JisShift : uint32_t {
    kJisSingleByte = 0,  // ESC ( B, ESC ( J, ESC ( H
    kJisKanji = 1,       // ESC $ B, ESC $ @
    kJisKatakana = 2,    // ESC ( I: half-width katakana
};
size_t ConvertJisToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement, uint32_t* shiftState);
// UTF-8 (one- to three-byte forms); what has no Shift_JIS code becomes `defaultChar`.
size_t ConvertUtf8ToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                         uint8_t defaultChar);

// The Unicode-to-Shift_JIS table: one entry per UCS-2 code point, 0 where
// there is no mapping. An entry below 0x100 is a one-byte code, any other
// entry a lead byte (high) and a trail byte (low).
extern const uint16_t (&kUnicodeToSjis)[65536];

// JIS X 0208 row and cell bytes (0x21-0x7E each) to a Shift_JIS code;
// 0 when either byte is out of range.
uint16_t JisToSjis(uint8_t j1, uint8_t j2);
