#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
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

struct RecordDeleter {
    void operator()(LogRecord* r) const { free(r); }
};
using RecordPtr = std::unique_ptr<LogRecord, RecordDeleter>;

RecordPtr Record(uint32_t kind, uint32_t number, const std::string& data)
{
    RecordPtr r(MakeLogRecord(kind, number, data.data(), static_cast<uint32_t>(data.size())));
    r->time = SYSTEMTIME{2007, 3, 0, 4, 5, 6, 7, 89};
    return r;
}

LogSettings Defaults()
{
    LogSettings s;
    LoadLogSettings(s);
    return s;
}

class Writer {
public:
    std::string text;
    LogOutput output{AppendToString, &text};
    std::string Write(const LogSettings& s, const LogRecord& r)
    {
        text.clear();
        uint64_t n = WriteLogRecord(output, s, r);
        EXPECT_EQ(n, text.size());
        return text;
    }
};

const std::string kHeader20 = "00012 <受信>       2007/03/04 05:06:07.089 データサイズ = 20\r\n";

} // namespace

TEST(LogWriter, ExampleRecordByteForByte)
{
    LogSettings s = Defaults();
    s.header = s.hex = s.ascii = 1;
    s.hexBytesPerLine = s.asciiBytesPerLine = 16;
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 12, "ABCDEFGHIJKLMNOPQRST")),
              kHeader20 +
                  "41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50\r\n"
                  "51 52 53 54\r\n"
                  "ABCDEFGHIJKLMNOP\r\n"
                  "QRST\r\n"
                  "\r\n");
}

TEST(LogWriter, DefaultLayoutHeaderNamesAndHexDigits)
{
    LogSettings s = Defaults();  // header and hex, 26 per line, space separator
    Writer w;
    std::string bytes;
    for (int i = 0; i < 27; ++i) bytes.push_back(static_cast<char>(0xF0 + i));
    std::string out = w.Write(s, *Record(LOGREC_SEND_ERROR, 123456, bytes));
    EXPECT_EQ(out,
              "123456 <送信エラー> 2007/03/04 05:06:07.089 データサイズ = 27\r\n"
              "f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff 00 01 02 03 04 05 06 07 08 09\r\n"
              "0a\r\n\r\n");
    EXPECT_EQ(w.Write(s, *Record(LOGREC_SEND, 1, "x")).substr(0, 30), "00001 <送信>       2007/03/04 ");
    EXPECT_EQ(w.Write(s, *Record(LOGREC_DISCARD, 1, "x")).substr(0, 19), "00001 <廃棄>       ");
    s.separator = ',';
    EXPECT_EQ(w.Write(s, *Record(LOGREC_SEND, 2, "ab")).substr(kHeader20.size() - 1), "61,62\r\n\r\n");
}

TEST(LogWriter, EmptyAndExactlyOneLineRecords)
{
    LogSettings s = Defaults();
    s.ascii = 1;
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 7, "")),
              "00007 <受信>       2007/03/04 05:06:07.089 データサイズ = 0\r\n\r\n");
    s.header = 0;
    std::string line26 = "abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 7, line26)),
              "61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 71 72 73 74 75 76 77 78 79 7a\r\n" + line26 +
                  "\r\n\r\n");
    // hex and text lines chunk independently
    s.hexBytesPerLine = 4;
    s.asciiBytesPerLine = 0;  // 0 counts as 26
    EXPECT_EQ(w.Write(s, *Record(LOGREC_SEND, 7, "abcdef")), "61 62 63 64\r\n65 66\r\nabcdef\r\n\r\n");
    s.hex = s.ascii = 0;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_SEND, 7, "abcdef")), "\r\n");
}

TEST(LogWriter, AlternateModeWritesBothLinesWhateverTheFlags)
{
    LogSettings s = Defaults();
    s.header = s.hex = s.ascii = 0;
    s.alternate = 1;
    s.hexBytesPerLine = 4;
    s.asciiBytesPerLine = 2;  // not used in this mode
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_SEND, 1, "abcdef")), "61 62 63 64\r\nabcd\r\n65 66\r\nef\r\n\r\n");
}

TEST(LogWriter, ControlCodesInCharacterLines)
{
    LogSettings s = Defaults();
    s.header = s.hex = 0;
    s.ascii = 1;
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "a\tb\x7f")), "a\tb\x7f\r\n\r\n");
    s.replaceCtrlCode = 1;
    s.replaceChar = '.';
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, std::string("a\tb\x7f\0c", 6))), "a.b..c\r\n\r\n");
}

TEST(LogWriter, UnicodeLines)
{
    LogSettings s = Defaults();
    s.header = s.hex = 0;
    s.ascii = 1;
    s.unicode = 1;
    s.asciiBytesPerLine = 5;  // odd chunks: the lone byte becomes the default character
    Writer w;
    std::string data("A\0B\0C\0\x42\x30\x01\0", 10);  // A B C あ U+0001
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, data)), "AB?\r\n???\r\n\r\n");  // units out of step: U+4200, U+0130
    s.asciiBytesPerLine = 4;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, data)), "AB\r\nCあ\r\n\x01\r\n\r\n");
    s.asciiBytesPerLine = 10;
    s.replaceCtrlCode = 1;
    s.defaultChar = '#';
    std::string unmapped("\x01\x0E\x42\x30\x01\0\xA5\0", 8);  // Thai ก (none), あ, U+0001, ¥ (best fit)
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, unmapped)), "#あ \\\r\n\r\n");
}

TEST(LogWriter, KanjiCodesOnKnownInput)
{
    LogSettings s = Defaults();
    s.header = s.hex = 0;
    s.ascii = 1;
    s.replaceCtrlCode = 1;
    s.replaceChar = '_';
    Writer w;

    s.kanji = KANJI_EUC;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "\xA4\xA2\xB0\xA1\r\n\x8E\xB1")), "あ亜\r\n__\r\n\r\n");
    // A pair cut by the line end is two broken halves.
    s.asciiBytesPerLine = 3;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "ab\xA4\xA2\xA4\xA4")), "ab_\r\n\x81\xA2_\r\n\r\n");
    s.replaceCtrlCode = 0;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "ab\xA4\xA2\xA4\xA4")), "ab\xA4\r\n\x81\xA2\xA4\r\n\r\n");

    // JIS: the shift state carries from line to line within a record and
    // starts afresh with the next record.
    s.kanji = KANJI_JIS;
    s.asciiBytesPerLine = 5;
    std::string jis = "\x1B$B$\"$$\x1B(Bz";  // ESC $ B, あ, い, ESC ( B, z
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, jis)), "\x82\xA0\r\n\x82\xA2\r\nz\r\n\r\n");
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "$\"")), "$\"\r\n\r\n");

    s.kanji = KANJI_UTF8;
    s.asciiBytesPerLine = 26;
    s.replaceCtrlCode = 1;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "\xE3\x81\x82\xEF\xBD\xB1\t\xF0")), "あｱ_?\r\n\r\n");

    s.kanji = KANJI_SJIS;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_RECEIVE, 1, "あ\x01")), "あ_\r\n\r\n");
}

TEST(LogWriter, TextKinds)
{
    LogSettings s = Defaults();
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(LOGREC_TEXT, 3, "ポート開始")),
              "00003 <ログ>       2007/03/04 05:06:07.089 データサイズ = 10\r\nポート開始\r\n\r\n");
    s.header = 0;
    // An embedded zero byte ends the text; the field keeps the record's length.
    EXPECT_EQ(w.Write(s, *Record(LOGREC_ERROR_TEXT, 3, std::string("ab\0cd", 5))), "   ab\r\n\r\n");
    EXPECT_EQ(w.Write(s, *Record(LOGREC_ERROR_TEXT, 3, std::string("\0", 1))), " \r\n\r\n");
    // Text beyond one line buffer is cut there.
    std::string big(300000, 'x');
    std::string out = w.Write(s, *Record(LOGREC_TEXT, 3, big));
    EXPECT_EQ(out, std::string(kLogLineTextMax, 'x') + "\r\n\r\n");
}

TEST(LogWriter, InvalidKindIsAnEmptyLineUnderAnErrorHeader)
{
    LogSettings s = Defaults();
    s.ascii = 1;
    Writer w;
    EXPECT_EQ(w.Write(s, *Record(6, 8, "abc")), "00008 <エラー>     2007/03/04 05:06:07.089 データサイズ = 3\r\n\r\n");
    EXPECT_EQ(w.Write(s, *Record(0xFFFFFFFF, 8, "abc")).substr(0, 19), "00008 <エラー>     ");
    s.header = 0;
    EXPECT_EQ(w.Write(s, *Record(99, 8, "abc")), "\r\n");
}

TEST(LogWriter, WidestLinesStayInsideTheBuffers)
{
    LogSettings s = Defaults();
    s.header = 0;
    s.ascii = 1;
    s.hexBytesPerLine = s.asciiBytesPerLine = 65535;
    std::string data(3 * 65535 + 7, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    Writer w;
    std::string out = w.Write(s, *Record(LOGREC_SEND, 1, data));
    // 4 hex lines (3 full, 1 of 7 bytes) and 4 character lines
    size_t expected = 3 * (3 * 65535 + 1) + (3 * 7 + 1) + data.size() + 4 * 2 + 2;
    EXPECT_EQ(out.size(), expected);
    EXPECT_EQ(out.substr(0, 9), "00 07 0e ");
    EXPECT_EQ(out.substr(3 * 65535 - 1, 2), "\r\n");
    s.unicode = 1;
    s.alternate = 1;
    out = w.Write(s, *Record(LOGREC_SEND, 1, data));
    EXPECT_GT(out.size(), 3 * (3 * 65535 + 1));
}

TEST(LogWriter, WriteHexLineAlone)
{
    std::string text;
    LogOutput output(AppendToString, &text);
    const uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(WriteHexLine(output, bytes, 3, '-'), 10u);
    EXPECT_EQ(text, "00-ab-7f\r\n");
    EXPECT_STREQ(LogKindName(5), "<廃棄>");
    EXPECT_STREQ(LogKindName(6), "<エラー>");
}
