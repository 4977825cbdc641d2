#include "logging/log_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "logging/kanji_convert.h"

namespace {

// Text waits here until the record is done (or the next line might not fit),
// so one record costs one file write instead of one per line.
constexpr size_t kOutputBufferSize = 1 << 20;
constexpr size_t kLineRoom = kLogLineBufferSize + 2;  // a line and its CR LF
static_assert(kOutputBufferSize >= 2 * kLineRoom);

const char* const kKindNames[] = {"<ログ>", "<エラー>", "<送信>", "<受信>", "<送信エラー>", "<廃棄>"};
constexpr uint32_t kKindCount = sizeof kKindNames / sizeof kKindNames[0];

uint64_t Flush(LogOutput& output)
{
    if (output.used == 0) return 0;
    DWORD written = output.write(output.context, output.buffer, static_cast<DWORD>(output.used));
    output.used = 0;
    return written;
}

// Room for one more line of any kind; returns where it starts.
uint8_t* LineStart(LogOutput& output, uint64_t* written)
{
    if (kOutputBufferSize - output.used < kLineRoom) *written += Flush(output);
    return output.buffer + output.used;
}

void EndLine(LogOutput& output, uint8_t* line, size_t length)
{
    line[length] = '\r';
    line[length + 1] = '\n';
    output.used += length + 2;
}

void AppendEmptyLine(LogOutput& output, uint64_t* written)
{
    EndLine(output, LineStart(output, written), 0);
}

void AppendHexLine(LogOutput& output, const uint8_t* bytes, size_t count, char separator, uint64_t* written)
{
    if (count == 0) return;
    if (output.hexSeparator != separator || output.hexPairs[0] == 0) {
        static const char kDigits[] = "0123456789abcdef";
        for (unsigned b = 0; b < 256; ++b) {
            uint8_t pair[4] = {static_cast<uint8_t>(kDigits[b >> 4]), static_cast<uint8_t>(kDigits[b & 15]),
                               static_cast<uint8_t>(separator), 0};
            memcpy(&output.hexPairs[b], pair, 4);
        }
        output.hexSeparator = separator;
    }
    uint8_t* line = LineStart(output, written);
    uint8_t* p = line;
    // Four bytes per store, three kept: the next pair overwrites the fourth.
    for (size_t i = 0; i < count; ++i, p += 3) memcpy(p, &output.hexPairs[bytes[i]], 4);
    EndLine(output, line, 3 * count - 1);
}

// Set up once per record: a branch-free lookup for every character byte.
void BuildCtrlMap(LogOutput& output, const LogSettings& settings)
{
    for (unsigned b = 0; b < 256; ++b)
        output.ctrlMap[b] = settings.ctrlCode.code[b] ? static_cast<uint8_t>(settings.replaceChar) : static_cast<uint8_t>(b);
}

void ReplaceCtrlCodes(const LogOutput& output, uint8_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) text[i] = output.ctrlMap[text[i]];
}

size_t UnicodeText(LogOutput& output, const LogSettings& settings, const uint8_t* chunk, size_t count, uint8_t* text)
{
    size_t units = count / 2;
    size_t length = 0;
    if (units) {
        memcpy(output.wideBuffer, chunk, units * 2);
        // Shift_JIS like the rest of the file, whatever the system's code page.
        length = WideToSjis(output.wideBuffer, units, reinterpret_cast<char*>(text), kLogLineTextMax - 1,
                            settings.defaultChar);
    }
    if (count & 1) text[length++] = static_cast<uint8_t>(settings.defaultChar);  // the lone last byte
    if (settings.replaceCtrlCode) ReplaceCtrlCodes(output, text, length);
    return length;
}

void AppendCharLine(LogOutput& output, const LogSettings& settings, const uint8_t* chunk, size_t count,
                    uint32_t* jisState, uint64_t* written)
{
    uint8_t* text = LineStart(output, written);
    const uint8_t replacement = settings.replaceCtrlCode ? static_cast<uint8_t>(settings.replaceChar) : 0;
    size_t length = 0;
    if (settings.unicode) {
        length = UnicodeText(output, settings, chunk, count, text);
    } else {
        switch (settings.kanji) {
        case KANJI_EUC:
            length = ConvertEucToSjis(chunk, count, text, kLogLineTextMax, settings.ctrlCode, replacement);
            break;
        case KANJI_JIS:
            length = ConvertJisToSjis(chunk, count, text, kLogLineTextMax, settings.ctrlCode, replacement, jisState);
            break;
        case KANJI_UTF8:
            length = ConvertUtf8ToSjis(chunk, count, text, kLogLineTextMax, static_cast<uint8_t>(settings.defaultChar));
            if (settings.replaceCtrlCode) ReplaceCtrlCodes(output, text, length);
            break;
        default:  // SJIS: the bytes as they are
            length = std::min(count, kLogLineTextMax);
            if (settings.replaceCtrlCode) {
                for (size_t i = 0; i < length; ++i) text[i] = output.ctrlMap[chunk[i]];
            } else {
                memcpy(text, chunk, length);
            }
            break;
        }
    }
    EndLine(output, text, length);
}

void AppendHeader(LogOutput& output, const LogRecord& record, uint64_t* written)
{
    uint8_t* line = LineStart(output, written);
    const SYSTEMTIME& t = record.time;
    int n = snprintf(reinterpret_cast<char*>(line), kLogLineBufferSize,
                     "%05u %-12s %04u/%02u/%02u %02u:%02u:%02u.%03u データサイズ = %u\r\n", record.number,
                     LogKindName(record.kind), t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                     t.wMilliseconds, record.length);
    if (n > 0) output.used += std::min(static_cast<size_t>(n), kLogLineBufferSize - 1);
}

// A text record: the text right-aligned in a field of the record's length
// (a zero byte inside the data leaves spaces on the left), cut to one line.
void AppendTextLine(LogOutput& output, const LogRecord& record, uint64_t* written)
{
    uint8_t* line = LineStart(output, written);
    size_t width = std::min<size_t>(record.length, kLogLineTextMax);
    size_t textLength = strnlen(reinterpret_cast<const char*>(record.data), record.length);
    size_t pad = record.length - textLength;
    if (pad >= width) {
        memset(line, ' ', width);
    } else {
        memset(line, ' ', pad);
        memcpy(line + pad, record.data, width - pad);
    }
    EndLine(output, line, width);
}

} // namespace

LogOutput::LogOutput(LogWriteFunction writeFunction, void* writeContext)
    : write(writeFunction), context(writeContext),
      buffer(static_cast<uint8_t*>(malloc(kOutputBufferSize))),
      wideBuffer(static_cast<wchar_t*>(malloc(65536 * sizeof(wchar_t)))), hexPairs{}
{
}

LogOutput::~LogOutput()
{
    free(buffer);
    free(wideBuffer);
}

DWORD WriteToLogFile(void* fileHandle, const void* data, DWORD size)
{
    // A failed write reports what it managed (usually 0); it is not reported further.
    DWORD written = 0;
    WriteFile(static_cast<HANDLE>(fileHandle), data, size, &written, nullptr);
    return written;
}

const char* LogKindName(uint32_t kind)
{
    return kind < kKindCount ? kKindNames[kind] : kKindNames[LOGREC_ERROR_TEXT];
}

uint64_t WriteHexLine(LogOutput& output, const uint8_t* bytes, size_t count, char separator)
{
    if (!output.buffer || count == 0) return 0;
    uint64_t written = 0;
    AppendHexLine(output, bytes, std::min<size_t>(count, 65535), separator, &written);
    return written + Flush(output);
}

uint64_t WriteLogRecord(LogOutput& output, const LogSettings& settings, const LogRecord& record)
{
    if (!output.buffer || !output.wideBuffer) return 0;
    uint64_t written = 0;
    if (settings.header) AppendHeader(output, record, &written);

    if (record.kind > LOGREC_DISCARD) {
        AppendEmptyLine(output, &written);
    } else if (record.kind == LOGREC_TEXT || record.kind == LOGREC_ERROR_TEXT) {
        AppendTextLine(output, record, &written);
        AppendEmptyLine(output, &written);
    } else {
        const size_t hexPerLine = settings.hexBytesPerLine ? settings.hexBytesPerLine : 26;
        const size_t textPerLine = settings.asciiBytesPerLine ? settings.asciiBytesPerLine : 26;
        const uint8_t* data = record.data;
        const size_t length = record.length;
        uint32_t jisState = 0;  // one shift state per record, carried over its lines
        if (settings.replaceCtrlCode && (settings.alternate || settings.ascii)) BuildCtrlMap(output, settings);
        if (settings.alternate) {
            for (size_t at = 0; at < length; at += hexPerLine) {
                size_t n = std::min(hexPerLine, length - at);
                AppendHexLine(output, data + at, n, settings.separator, &written);
                AppendCharLine(output, settings, data + at, n, &jisState, &written);
            }
        } else {
            if (settings.hex)
                for (size_t at = 0; at < length; at += hexPerLine)
                    AppendHexLine(output, data + at, std::min(hexPerLine, length - at), settings.separator, &written);
            if (settings.ascii)
                for (size_t at = 0; at < length; at += textPerLine)
                    AppendCharLine(output, settings, data + at, std::min(textPerLine, length - at), &jisState,
                                   &written);
        }
        AppendEmptyLine(output, &written);
    }
    return written + Flush(output);
}
