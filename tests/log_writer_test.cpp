// The log file's text, byte for byte, for every layout and conversion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "logging/log_writer.h"
#include "settings/settings_store.h"

namespace {

DWORD AppendToString(void* context, const void* data, DWORD size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
    return size;
}

// Writes a record at a fixed time into a string; checks the count returned.
std::string Write(const LogSettings& s, uint32_t kind, uint32_t number, const std::string& data)
{
    std::unique_ptr<LogRecord, decltype(&free)> record(
        MakeLogRecord(kind, number, data.data(), static_cast<uint32_t>(data.size())), &free);
    record->time = SYSTEMTIME{2007, 3, 0, 4, 5, 6, 7, 89};
    std::string text;
    LogOutput output(AppendToString, &text);
    uint64_t written = WriteLogRecord(output, s, *record);
    EXPECT_EQ(written, text.size());
    return text;
}

LogSettings Defaults() { LogSettings s; return LoadLogSettings(s), s; }  // header, hex, 26 a line, blank between

void TextOnly(LogSettings& s) { s.header = s.hex = 0, s.ascii = 1; }
template <uint32_t kKanji, uint32_t kBytesPerLine = 26>  // text only, control codes as '_'
void Kanji(LogSettings& s)
{
    TextOnly(s), s.replaceCtrlCode = 1, s.replaceChar = '_', s.kanji = kKanji, s.asciiBytesPerLine = kBytesPerLine;
}

const std::string kHead = " 2007/03/04 05:06:07.089 データサイズ = ";
const std::string kAtoZ = "abcdefghijklmnopqrstuvwxyz";
const std::string kAtoZHex = "61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 71 72 73 74 75 76 77 78 79 7a\r\n";

} // namespace

TEST(LogWriter, RecordsByteForByte)
{
    struct { const char* what; void (*layout)(LogSettings&); uint32_t kind, number; std::string data, expected; }
    cases[] = {
        {"default layout, lower-case digits", [](LogSettings&) {}, LOGREC_SEND_ERROR, 123456,
         "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF" + std::string("\0\1\2\3\4\5\6\7\x8\x9\xA", 11),
         "123456 <送信エラー>" + kHead + "27\r\n"
         "f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff 00 01 02 03 04 05 06 07 08 09\r\n0a\r\n\r\n"},
        {"separator", [](LogSettings& s) { s.header = 0, s.separator = '-'; }, LOGREC_SEND, 2, "\xAB\x7F", "ab-7f\r\n\r\n"},
        {"empty record", [](LogSettings& s) { s.ascii = 1; }, LOGREC_RECEIVE, 7, "",
         "00007 <受信>      " + kHead + "0\r\n\r\n"},
        {"exactly one line", [](LogSettings& s) { s.header = 0, s.ascii = 1; }, LOGREC_RECEIVE, 7, kAtoZ,
         kAtoZHex + kAtoZ + "\r\n\r\n"},
        {"hex and text chunk apart, 0 counts as 26",
         [](LogSettings& s) { s.ascii = 1, s.hexBytesPerLine = 0, s.asciiBytesPerLine = 4; }, LOGREC_SEND, 7,
         kAtoZ + "{", "00007 <送信>      " + kHead + "27\r\n" + kAtoZHex + "7b\r\n"
         "abcd\r\nefgh\r\nijkl\r\nmnop\r\nqrst\r\nuvwx\r\nyz{\r\n\r\n"},
        {"text lines, 0 counts as 26", [](LogSettings& s) { TextOnly(s), s.asciiBytesPerLine = 0; }, LOGREC_SEND, 7,
         kAtoZ + "{", kAtoZ + "\r\n{\r\n\r\n"},
        {"discard", [](LogSettings&) {}, LOGREC_DISCARD, 99999, "\x01", "99999 <廃棄>      " + kHead + "1\r\n01\r\n\r\n"},
        {"alternate with hex and text off",
         [](LogSettings& s) { s.header = s.hex = s.ascii = 0, s.alternate = 1, s.hexBytesPerLine = 4, s.asciiBytesPerLine = 2; },
         LOGREC_SEND, 1, "abcdef", "61 62 63 64\r\nabcd\r\n65 66\r\nef\r\n\r\n"},
        {"control codes kept", [](LogSettings& s) { TextOnly(s); }, LOGREC_RECEIVE, 1, "a\tb\x7f", "a\tb\x7f\r\n\r\n"},
        {"control codes replaced", [](LogSettings& s) { TextOnly(s), s.replaceCtrlCode = 1, s.replaceChar = '.'; },
         LOGREC_RECEIVE, 1, std::string("a\tb\x7f\0c", 6), "a.b..c\r\n\r\n"},
        // A B C あ U+0001; odd chunks put the units out of step (U+4200, U+0130).
        {"unicode, odd chunk", [](LogSettings& s) { TextOnly(s), s.unicode = 1, s.asciiBytesPerLine = 5; },
         LOGREC_RECEIVE, 1, std::string("A\0B\0C\0\x42\x30\x01\0", 10), "AB?\r\n???\r\n\r\n"},
        // Thai ก (no mapping), あ, U+0001 (replaced), ¥ (best fit only: stays "\").
        {"unicode, unmapped",
         [](LogSettings& s) { TextOnly(s), s.unicode = s.replaceCtrlCode = 1, s.defaultChar = '#', s.replaceChar = ' '; },
         LOGREC_RECEIVE, 1, std::string("\x01\x0E\x42\x30\x01\0\xA5\0", 8), "#あ \\\r\n\r\n"},
        {"EUC", Kanji<KANJI_EUC>, LOGREC_RECEIVE, 1, "\xA4\xA2\xB0\xA1\r\n\x8E\xB1\x8F", "あ亜\r\nｱ_\r\n\r\n"},
        {"EUC pair cut by the line end", Kanji<KANJI_EUC, 3>, LOGREC_RECEIVE, 1, "ab\xA4\xA2\xA4\xA4",
         "ab_\r\n\x81\xA2_\r\n\r\n"},
        // ESC $ B, あ, い: the shift carries from line to line, but not into the next record.
        {"JIS across lines", Kanji<KANJI_JIS, 5>, LOGREC_RECEIVE, 1, "\x1B$B$\"$$", "\x82\xA0\r\n\x82\xA2\r\n\r\n"},
        {"JIS next record", Kanji<KANJI_JIS>, LOGREC_RECEIVE, 1, "$\"", "$\"\r\n\r\n"},
        {"UTF-8", Kanji<KANJI_UTF8>, LOGREC_RECEIVE, 1, "\xE3\x81\x82\xEF\xBD\xB1\t\xF0", "あｱ_?\r\n\r\n"},
        {"text kind", [](LogSettings&) {}, LOGREC_TEXT, 3, "ポート開始", "00003 <ログ>      " + kHead + "10\r\nポート開始\r\n\r\n"},
        // A zero byte ends the text; the field keeps the record's length.
        {"error text with zero", [](LogSettings& s) { s.header = 0; }, LOGREC_ERROR_TEXT, 3, std::string("ab\0cd", 5),
         "   ab\r\n\r\n"},
        {"invalid kind", [](LogSettings& s) { s.ascii = 1; }, 6, 8, "abc", "00008 <エラー>    " + kHead + "3\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogSettings s = Defaults();
        c.layout(s);
        EXPECT_EQ(Write(s, c.kind, c.number, c.data), c.expected);
    }
}

TEST(LogWriter, LongestLinesAndTextsStayInsideTheBuffers)
{
    LogSettings s = Defaults();
    s.header = 0;
    EXPECT_EQ(Write(s, LOGREC_TEXT, 3, std::string(300000, 'x')), std::string(kLogLineTextMax, 'x') + "\r\n\r\n");

    s.ascii = 1;
    s.hexBytesPerLine = s.asciiBytesPerLine = 65535;
    std::string data(3 * 65535 + 7, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::string out = Write(s, LOGREC_SEND, 1, data);  // 3 full hex lines and one of 7, then the same in text
    EXPECT_EQ(out.size(), 3 * (3 * 65535 + 1) + (3 * 7 + 1) + data.size() + 4 * 2 + 2);
    EXPECT_EQ(out.substr(3 * 65535 - 3, 7), "f2\r\nf9 ") << "a full line is 65535 bytes";
}
