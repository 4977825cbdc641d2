#include "logging/kanji_convert.h"

// Placeholder until the converters are built: nothing is converted.
size_t ConvertEucToSjis(const uint8_t*, size_t, uint8_t*, size_t, const CtrlCodeSet&, uint8_t) { return 0; }
size_t ConvertJisToSjis(const uint8_t*, size_t, uint8_t*, size_t, const CtrlCodeSet&, uint8_t, uint32_t*) { return 0; }
size_t ConvertUtf8ToSjis(const uint8_t*, size_t, uint8_t*, size_t, uint8_t) { return 0; }
const uint16_t kUnicodeToSjis[65536] = {};
