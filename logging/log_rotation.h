// What happens when the log file reaches its size limit: nothing (APPEND),
// back to its start (CYCLIC), or on to a new numbered file (AUTO).
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "settings/settings_types.h"

constexpr int64_t kMinLogSizeLimit = 65536;

// The limit in force: anything below 65,536 (or negative) counts as 65,536.
uint64_t EffectiveLogSizeLimit(int64_t configured);

// `fileName` cut at its last "." after the last backslash, plus "_<number>.log".
// False when the result does not fit in `size` bytes.
bool MakeRotatedLogName(const char* fileName, uint32_t number, char* out, size_t size);

// Run after every record and every settings change. May rewind, replace or
// close `*file` (INVALID_HANDLE_VALUE when logging stopped) and resets
// `*fileSize`; `*rotationCounter` is the last number given to a file.
void CheckLogRotation(HANDLE* file, const LogSettings& settings, uint64_t* fileSize, const char* fileName,
                      uint32_t* rotationCounter);
