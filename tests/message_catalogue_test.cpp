// The message catalogue: the line format, lookups in memory and in the file,
// bounded formatting, and reports in the status bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>

#include "resources/resource.h"
#include "settings/settings_types.h"
#include "base/catalogue.h"
#include "base/message_file.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"

namespace {

// "number:text" of a line, or "comment".
std::string Parse(std::string line)
{
    line.resize(line.size() + 4, '\0');  // room past the end must stay unread
    uint32_t number = 0;
    char* text = nullptr;
    if (!ParseMessageLine(line.data(), number, text)) return "comment";
    UnescapeMessageText(text);
    return std::to_string(number) + ":" + text;
}

std::string Inserts(const char* format) { char i[32]; return FormatInserts(format, i, sizeof i) ? i : "invalid"; }

// Fills a buffer with guard bytes after `size`: the text must end inside and the guard stay untouched.
std::string Guarded(size_t size, const std::function<void(char*)>& fill)
{
    std::string buffer(size + 16, 'Z');
    fill(buffer.data());
    EXPECT_EQ(buffer.substr(size), std::string(16, 'Z')) << "written past " << size;
    EXPECT_LT(strlen(buffer.c_str()), size);
    return buffer.c_str();
}

std::string Format(unsigned number, ...)
{
    va_list args;
    va_start(args, number);
    std::string text = Guarded(512, [&](char* buffer) { FormatCatalogueMessageV(buffer, 512, number, args); });
    va_end(args);
    return text;
}

std::string Lookup(unsigned n, size_t size = 512) { return Guarded(size, [&](char* b) { LookupMessage(n, b, size); }); }

std::string StatusText(HWND window)
{
    char text[1024] = {};
    SendDlgItemMessageA(window, IDC_STATUS_BAR, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

class Catalogue : public ::testing::Test {
protected:
    void TearDown() override
    {
        FreeMessageCatalogue();
        SetMessageFileForTesting(nullptr);
        GetAppSettings().flags = savedFlags;
    }
    void UseFile(const std::string& bytes, const char* name = "test.msg")
    {
        SetMessageFileForTesting((path = folder.Write(name, bytes)).c_str());
        LoadMessageCatalogue();
    }
    TempFolder folder;
    std::string path;
    uint32_t savedFlags = GetAppSettings().flags;
};

} // namespace

TEST(MessageLines, FormatAndInserts)
{
    const struct { const char *line, *parsed; } lines[] = {
        {"12\tHello\\nWorld\r\n", "12:Hello\nWorld"}, {"7  two  words \t\r", "7: two  words"},
        {"no number", "0:no number"}, {"99999999999 big", "4294967295:big"}, {"#100 no message", "comment"},
        // A number alone, or a backslash at the end, never reads past the line.
        {"123", "123:"}, {"5 abc\\", "5:abc\\"}, {"5 \\", "5:\\"}, {"5 cut\\0here", "5:cut"}, {"5 \\q\\r", "5:q\r"},
        // 表 and ソ end in 0x5C: no escape. A last lead byte is copied alone; a double-byte separator skipped whole.
        {"5 表n", "5:表n"}, {"5 ソ\\n", "5:ソ\n"}, {"5 a\x83", "5:a\x83"}, {"5　全角", "5:全角"}};
    for (const auto& l : lines) EXPECT_EQ(Parse(l.line), l.parsed) << l.line;

    const struct { const char *format, *inserts; } formats[] = {
        {"%d 行目: 「%s」", "ds"}, {"100%% %5.2s %-3d %x %c %u", "sdddd"}, {"表%d", "d"}, {"%n", "invalid"},
        {"%*d", "invalid"}, {"%f", "invalid"}, {"ends in %", "invalid"}};
    for (const auto& f : formats) EXPECT_EQ(Inserts(f.format), f.inserts) << f.format;
}

TEST_F(Catalogue, LookupRulesAndBoundedFormatting)
{
    UseFile("999 A\r\n999 B\r\n1000 A\r\n1000 B\r\n#20 comment\r\n12 a\\\\nb\n1012 a\\\\nb\n13 x\\ty\n"
            "77\n1077\n78 end\\\n1078 end\\\n1700 " + std::string(2100, 'x') + "1701 tail\n50 " +
            std::string(300, 'y') + "\n9 " + std::string(250, 'a') + "\n1009 " + std::string(600, 'b') +
            "\n1010 表表表表\n1501 line %d of %s\n1502 %n%s%s%s\n"
            "2021 port %d %s\n");
    // The later line wins below 1000, the first from 1000 on. Escapes are processed at loading (below 1000) and
    // when shown.
    const struct { unsigned number; const char* text; } texts[] = {
        {999, "B"}, {1000, "A"}, {12, "a\\nb"}, {1012, "a\\\\nb"}, {13, "xty"}, {77, ""}, {1077, ""}, {78, "end\\"}};
    for (const auto& t : texts) EXPECT_EQ(Lookup(t.number), t.text) << t.number;
    EXPECT_EQ(Format(12) + "|" + Format(1012) + "|" + Format(1078), "a\nb|a\\nb|end\\");
    std::string fallback = Lookup(20);
    EXPECT_TRUE(fallback.find("(20)") != fallback.npos && fallback.find(path) != fallback.npos) << fallback;
    // A line is read up to 2048 bytes and the rest of it is no line; catalogue texts keep 256 bytes.
    EXPECT_EQ(Lookup(1700, 4096), std::string(2048 - 5, 'x'));
    EXPECT_NE(Lookup(1701).find("(1701)"), std::string::npos);
    EXPECT_EQ(Lookup(50, 1024), std::string(256, 'y'));

    for (unsigned number : {9u, 1009u, 1234u})  // Lookup checks that nothing is written past the size
        for (size_t size : {256u, 4u, 1u}) Lookup(number, size);
    EXPECT_EQ(Lookup(1010, 6), "表表");  // five bytes would split the third
    EXPECT_EQ(Format(1501, 7, "x"), "line 7 of x");
    // Conversions that would read or write what was never passed are shown as they stand.
    EXPECT_EQ(Format(1502, "a"), "%n%s%s%s");
    EXPECT_EQ(Format(2021, "COM5"), "port %d %s");
}

TEST_F(Catalogue, FallbackAndSystemTextsAreNeverFormatted)
{
    SetMessageFileForTesting(folder.File("absent.msg").c_str());
    LoadMessageCatalogue();
    char missing[512];
    SystemErrorText(ERROR_FILE_NOT_FOUND, missing, sizeof missing);
    EXPECT_EQ(Lookup(5), missing);
    EXPECT_EQ(Format(2021, "COM5"), missing);
    // A file name with the conversion 2021 takes: the fallback names it literally.
    UseFile("1 x\n", "odd%s.msg");
    std::string text = Format(2021, "COM5");
    EXPECT_TRUE(text.find("odd%s.msg") != text.npos && text.find("(2021)") != text.npos) << text;
    EXPECT_EQ(text.find("COM5"), std::string::npos) << text;
}

TEST_F(Catalogue, ReportsInTheStatusBarAreCutAt511Bytes)
{
    testing_support::MainWindowHost host;  // reports in its status bar; TearDown restores the flags
    UseFile("2026 " + std::string(480, 'p') + " %s\n");
    EXPECT_EQ(ShowMessage(host.Window(), kAppTitle, 2026, MB_OK, std::string(100, 'q').c_str()), IDOK);
    EXPECT_EQ(StatusText(host.Window()), std::string(480, 'p') + " " + std::string(30, 'q'));
    // A code the system cannot describe shows its number; a report without an owner goes to the main window.
    EXPECT_EQ(ShowSystemError(nullptr, kAppTitle, 0xDEADBEEF), IDOK);
    EXPECT_NE(StatusText(host.Window()).find("3735928559"), std::string::npos) << StatusText(host.Window());
}

TEST_F(Catalogue, ShippedFileHoldsEveryNumberWithTheInsertsItsCallersPass)
{
    std::string shipped = ShippedFile("Vorlin2.msg"), bytes = ReadWholeFile(shipped);
    ASSERT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0), 0)
        << "missing or not Shift_JIS";
    SetMessageFileForTesting(shipped.c_str());
    LoadMessageCatalogue();
    for (uint32_t number : UsedMessageNumbers()) {
        std::string text = Lookup(number, 4096);  // the fallback would name the number
        EXPECT_TRUE(!text.empty() && text.find("(" + std::to_string(number) + ")") == text.npos) << number << text;
        EXPECT_EQ(Inserts(text.c_str()), ExpectedInserts(number)) << number;
    }
}
