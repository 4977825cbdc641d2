// The message catalogue: the line format, lookups in memory and in the file,
// bounded formatting, and reports in the status bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "base/message_file.h"
#include "resources/resource.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"

namespace {

std::string Inserts(const char* format) { char i[32]; return FormatInserts(format, i, sizeof i) ? i : "invalid"; }

// The text must end inside `size` bytes and leave the bytes after them alone.
std::string Lookup(unsigned number, size_t size = 512)
{
    std::string buffer(size + 16, 'Z');
    LookupMessage(number, buffer.data(), size);
    EXPECT_EQ(buffer.substr(size), std::string(16, 'Z')) << "written past " << size;
    EXPECT_LT(strlen(buffer.c_str()), size);
    return buffer.c_str();
}

std::string Format(unsigned number, ...)
{
    char text[512];
    va_list args;
    va_start(args, number);
    FormatCatalogueMessageV(text, sizeof text, number, args);
    va_end(args);
    return text;
}

void UseFile(const std::string& path)
{
    SetMessageFileForTesting(path.c_str());
    LoadMessageCatalogue();
}

} // namespace

TEST(Catalogue, LinesLookupsAndBoundedFormatting)
{
    TempFolder folder;
    UseFile(folder.File("absent.msg"));  // no file: the system's text of the failed open
    char missing[512];
    SystemErrorText(ERROR_FILE_NOT_FOUND, missing, sizeof missing);
    EXPECT_EQ(Lookup(5) + "|" + Format(2021, "COM5"), std::string(missing) + "|" + missing);

    // Each line and the text its number shows. The later line wins below 1000, the first from 1000
    // on; escapes are processed at loading (below 1000).
    const struct { const char* line; unsigned number; const char* text; } lines[] = {
        {"12\tHello\\nWorld\r", 12, "Hello\nWorld"}, {"7  two  words \t\r", 7, " two  words"},
        {"no number", 0, "no number"}, {"99999999999 big", 4294967295u, "big"}, {"123", 123, ""}, {"1077", 1077, ""},
        {"999 A", 999, "B"}, {"999 B", 999, "B"}, {"1000 A", 1000, "A"}, {"1000 B", 1000, "A"},
        {"13 a\\\\nb", 13, "a\\nb"}, {"1013 a\\\\nb", 1013, "a\\\\nb"}, {"78 end\\", 78, "end\\"},
        {"1078 end\\", 1078, "end\\"}, {"53 cut\\0here", 53, "cut"}, {"54 \\q\\r", 54, "q\r"},
        // 表 and ソ end in 0x5C: no escape. A last lead byte is cut off; a double-byte separator skipped whole.
        {"55 表n", 55, "表n"}, {"56 ソ\\n", 56, "ソ\n"}, {"57 a\x83", 57, "a"}, {"58　全角", 58, "全角"},
        {"1010 表表表表", 1010, "表表表表"}, {"1502 %n%s%s%s", 1502, "%n%s%s%s"},
        {"2021 port %d %s", 2021, "port %d %s"}};
    std::string file = "#20 comment\n1700 " + std::string(2043, 'x') + "1701 tail\n50 " + std::string(300, 'y') + "\n";
    for (const auto& l : lines) file += l.line + std::string("\n");
    const std::string path = folder.Write("test.msg", file);
    UseFile(path);
    for (const auto& l : lines) EXPECT_EQ(Lookup(l.number), l.text) << l.line;
    EXPECT_EQ(Format(13) + "|" + Format(1013) + "|" + Format(1078), "a\nb|a\\nb|end\\");  // and again when shown
    std::string fallback = Lookup(20);
    EXPECT_TRUE(fallback.find("(20)") != fallback.npos && fallback.find(path) != fallback.npos) << fallback;
    // A line is read up to 2048 bytes and the rest of it is no line; catalogue texts keep 256 bytes.
    EXPECT_EQ(Lookup(1700, 4096), std::string(2048 - 5, 'x'));
    EXPECT_NE(Lookup(1701).find("(1701)"), std::string::npos);
    EXPECT_EQ(Lookup(50, 1024), std::string(256, 'y'));
    for (size_t size : {4u, 1u}) Lookup(1234, size);  // the fallback cut: Lookup checks nothing is written past it
    EXPECT_EQ(Lookup(1010, 6), "表表");  // five bytes would split the third
    // Conversions that would read or write what was never passed are shown as they stand.
    EXPECT_EQ(Format(1502, "a") + "|" + Format(2021, "COM5"), "%n%s%s%s|port %d %s");
    const struct { const char *format, *inserts; } formats[] = {
        {"%d 行目: 「%s」", "ds"}, {"100%% %5.2s %-3d %x %c %u", "sdddd"}, {"表%d", "d"}, {"%n", "invalid"},
        {"%*d", "invalid"}, {"%f", "invalid"}, {"ends in %", "invalid"}};
    for (const auto& f : formats) EXPECT_EQ(Inserts(f.format), f.inserts) << f.format;

    // Reports in the status bar are cut at 511 bytes. A code the system cannot describe shows its
    // number; a report without an owner goes to the main window.
    testing_support::MainWindowHost host;
    UseFile(folder.Write("long.msg", "2026 " + std::string(480, 'p') + " %s\n"));
    auto status = [&] {
        char text[1024] = {};
        SendDlgItemMessageA(host.Window(), IDC_STATUS_BAR, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
        return std::string(text);
    };
    EXPECT_EQ(ShowMessage(host.Window(), kAppTitle, 2026, MB_OK, std::string(100, 'q').c_str()), IDOK);
    EXPECT_EQ(status(), std::string(480, 'p') + " " + std::string(30, 'q'));
    EXPECT_EQ(ShowSystemError(nullptr, kAppTitle, 0xDEADBEEF), IDOK);
    EXPECT_NE(status().find("3735928559"), std::string::npos) << status();
    // A fallback that names a file with a conversion in its name is shown as it stands.
    UseFile(folder.Write("odd%s.msg", "1 x\n"));
    std::string text = Format(2021, "COM5");
    EXPECT_TRUE(text.find("odd%s.msg") != text.npos && text.find("COM5") == text.npos) << text;
}

TEST(Catalogue, ShippedFileHoldsEveryNumberWithTheInsertsItsCallersPass)
{
    std::string shipped = ShippedFile("Vorlin2.msg"), bytes = ReadWholeFile(shipped);
    ASSERT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0), 0)
        << "missing or not Shift_JIS";
    UseFile(shipped);
    for (uint32_t number : UsedMessageNumbers()) {
        std::string text = Lookup(number, 4096);  // the fallback would name the number
        EXPECT_TRUE(!text.empty() && text.find("(" + std::to_string(number) + ")") == text.npos) << number << text;
        EXPECT_EQ(Inserts(text.c_str()), ExpectedInserts(number)) << number;
    }
}
