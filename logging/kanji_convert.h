// Japanese encodings to Shift_JIS. Plain functions over buffers: they
// allocate nothing, never write past `capacity`, return the bytes written
// and do not terminate the output.
#pragma once
#include <cstddef>
#include <cstdint>

#include "settings/settings_types.h"

size_t ConvertEucToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement);
size_t ConvertJisToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                        const CtrlCodeSet& ctrlCodes, uint8_t replacement, uint32_t* shiftState);
size_t ConvertUtf8ToSjis(const uint8_t* source, size_t length, uint8_t* destination, size_t capacity,
                         uint8_t defaultChar);
// The Unicode-to-Shift_JIS table: 65,536 entries, 0 where there is no mapping.
extern const uint16_t kUnicodeToSjis[65536];
