#include "logging/log_rotation.h"

#include "base/text.h"

#include <cstdio>
#include <cstring>

namespace {

// A directory full of rotated files is not worth more tries than this.
constexpr uint32_t kMaxNameTries = 100000;

} // namespace

uint64_t EffectiveLogSizeLimit(int64_t configured)
{
    return configured < kMinLogSizeLimit ? kMinLogSizeLimit : static_cast<uint64_t>(configured);
}

bool MakeRotatedLogName(const char* fileName, uint32_t number, char* out, size_t size)
{
    // Scan as Shift_JIS: a trail byte 0x5C (as in ソ or 表) is no backslash.
    size_t length = strlen(fileName);
    size_t cut = length;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(fileName[i]);
        if (IsSjisLeadByte(c) && fileName[i + 1]) {
            ++i;
        } else if (c == '\\') {
            cut = length;  // a dot before the last backslash belongs to a folder
        } else if (c == '.') {
            cut = i;
        }
    }
    int n = snprintf(out, size, "%.*s_%u.log", static_cast<int>(cut), fileName, number);
    return n > 0 && static_cast<size_t>(n) < size;
}

void CheckLogRotation(HANDLE* file, const LogSettings& settings, uint64_t* fileSize, const char* fileName,
                      uint32_t* rotationCounter)
{
    if (*file == INVALID_HANDLE_VALUE) return;
    if (*fileSize < EffectiveLogSizeLimit(settings.maxFileSize)) return;

    switch (settings.logType) {
    case LOGTYPE_CYCLIC: {
        // Not truncated: new records overwrite the old ones from the start.
        FlushFileBuffers(*file);
        LARGE_INTEGER start{};
        SetFilePointerEx(*file, start, nullptr, FILE_BEGIN);
        *fileSize = 0;
        break;
    }
    case LOGTYPE_AUTO: {
        CloseHandle(*file);
        *file = INVALID_HANDLE_VALUE;
        *fileSize = 0;
        char name[kPathSize];
        for (uint32_t tries = 0; tries < kMaxNameTries; ++tries) {
            ++*rotationCounter;
            // A name that does not fit is a file that cannot be made: logging stops.
            if (!MakeRotatedLogName(fileName, *rotationCounter, name, sizeof name)) return;
            HANDLE next = CreateFileSjis(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (next != INVALID_HANDLE_VALUE) {
                *file = next;
                return;
            }
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return;
        }
        break;
    }
    default:  // APPEND: the file grows without bound
        break;
    }
}
