// Button and form files: parsing, conversions, the bytes of a form, and the data folder's lists.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sending/send_forms.h"
#include "tests/support/temp_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Reports = std::vector<std::pair<unsigned, int>>;  // message numbers with their lines

struct Parsed {
    std::unique_ptr<MultiEditForm> form = std::make_unique<MultiEditForm>();
    std::vector<FormMessage> messages;
    bool ok = false;
    // A field as "kind style conversion length lines attributes|title|data".
    std::string operator[](int i) const
    {
        const FormField& f = form->fields[i];
        char head[80];
        snprintf(head, sizeof head, "%u %u %u %u %u %x|", f.kind, f.style, f.conversion, f.length, f.lines, f.attributes);
        return head + std::string(f.title) + "|" + f.data;
    }
    Reports Numbers() const
    {
        Reports out;
        for (const FormMessage& m : messages) out.emplace_back(m.number, m.line);
        return out;
    }
};

Parsed Parse(const std::string& text, int section = 0)
{
    Parsed p;
    p.ok = ParseFormSection(SplitTextLines(text), section, *p.form, p.messages);
    return p;
}

} // namespace

TEST(SendForms, EachFaultDrawsItsMessageWithTheFileLineNumber)
{
    const std::string head = "# forms\n\n[s]\n   \n# field\n";  // comments and blanks count as lines
    const std::string name255(255, 'N'), long1019(1019, 'd');
    const struct { std::string line; Reports reports; const char* insert; } cases[] = {
        // Kinds and values may be lower case, attribute names may not.
        {"edit style=text TITLE=x CONVERT=hex LENGTH=2", {{2008, 6}, {2006, 6}}, "style"},
        {"EDIT " + name255 + "=1", {{2008, 6}, {2006, 6}}, name255.c_str()},
        {"EDIT " + name255 + "N=1", {{2006, 6}}, nullptr},  // a name of 256 is no pair at all
        {"BUTTON STYLE=TEXT", {{2005, 6}}, "BUTTON"},
        {std::string(1024, 'E') + " STYLE=TEXT", {{2004, 6}}, nullptr},  // a token too long ends the line
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH", {{2006, 6}}, "LENGTH"},
        {"EDIT STYLE=TEXT STYLE=STATIC", {{2007, 6}}, "STYLE=STATIC"},
        {"EDIT STYLE=DROPDOWN", {{2009, 6}, {2006, 6}}, nullptr},
        {"EDIT CONVERT=UTF8", {{2010, 6}, {2006, 6}}, nullptr},
        {"EDIT LENGTH=x4", {{2012, 6}, {2006, 6}}, nullptr},
        {"EDIT LINES=", {{2013, 6}, {2006, 6}}, nullptr},
        // The first missing one of STYLE, TITLE, CONVERT, LENGTH, in that order.
        {"EDIT LENGTH=2 CONVERT=HEX", {{2014, 6}}, "STYLE"},
        {"EDIT STYLE=TEXT DATA=" + long1019 + " TITLE=t CONVERT=HEX LENGTH=2", {{2014, 6}}, "TITLE"},
        {"EDIT STYLE=TEXT TITLE=t", {{2014, 6}}, "CONVERT"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX", {{2014, 6}}, "LENGTH"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=8192", {{2110, 6}}, nullptr},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=99999999999", {{2110, 6}}, nullptr},
        // "[" name "]" of 128 characters or more is no header: a definition line of the section before.
        {"[" + std::string(126, 'n') + "]", {{2005, 6}}, nullptr},
        // An error on a later line leaves no earlier field behind.
        {"EDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=2\nEDIT STYLE=BAD", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        Parsed p = Parse(head + c.line + "\n");
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.form->fieldCount, 0u);
        if (!c.reports.empty()) { EXPECT_EQ(p.Numbers(), c.reports); }
        if (c.insert && !p.messages.empty()) { EXPECT_EQ(p.messages[0].text, c.insert); }
    }
}

TEST(SendForms, EveryKindStyleAndConversionWithTheValueLimits)
{
    // Kinds and values in any case; quoted values keep their blanks, doubled quotes stand for one.
    // A DATA token of exactly 1023 characters stands; a value is read from its first 511 characters.
    const std::string title31(31, 'T'), data(1018, 'd');
    Parsed p = Parse("[s]\nedit STYLE=static TITLE=\"say \"\"hi\"\" now\" CONVERT=sjis LENGTH=8191\n"
                     "EDIT STYLE=TEXT TITLE=" + title31 + " CONVERT=BIN DATA=" + data +
                     " LENGTH=" + std::string(510, '0') + "7\n"
                     "EDIT STYLE=MULTILINETEXT TITLE=m CONVERT=OCT LENGTH=" + std::string(511, '0') + "7 LINES=3\n"
                     "combo STYLE=dropdown TITLE=c CONVERT=HEX LENGTH=2 DATA=\"a b\"\n"
                     "COMBO STYLE=DROPDOWNLIST TITLE=l CONVERT=Hex LENGTH=2\n");
    ASSERT_TRUE(p.ok && p.messages.empty());
    ASSERT_EQ(p.form->fieldCount, 5u);
    EXPECT_EQ(p[0], "0 0 0 8191 0 f|say \"hi\" now|");  // 8191: the largest length
    EXPECT_EQ(p[1], "0 1 1 7 0 1f|" + title31 + "|" + data);
    EXPECT_EQ(p[2], "0 2 2 0 3 1000f|m|");
    EXPECT_EQ(p[3], "1 0 3 2 0 1f|c|a b");
    EXPECT_EQ(p[4], "1 1 3 2 0 f|l|");

    const std::string start = "[s]\nEDIT STYLE=TEXT CONVERT=SJIS ";
    p = Parse(start + "TITLE=t LENGTH=5 LINES=3\n");  // LINES on a one-line field: reported, ignored
    EXPECT_TRUE(p.ok && p.Numbers() == Reports({{2015, 2}}));
    EXPECT_EQ(p[0], "0 1 0 5 0 f|t|");
    p = Parse(start + "LENGTH=5 TITLE=" + std::string(32, 'T') + "\n");  // cut to 31, reported with 32
    ASSERT_TRUE(p.ok && p.Numbers() == Reports({{2011, 2}}));
    EXPECT_EQ(p.messages[0].value, 32);
    EXPECT_EQ(std::string(p.form->fields[0].title), title31);
    p = Parse(start + "TITLE=t LENGTH=4 DATA=" + std::string(2000, 'd') + "\n");
    EXPECT_TRUE(p.ok && strlen(p.form->fields[0].data) == 1023u - 5u);  // the last token is cut to 1023
    // The 33rd field stops the section and keeps nothing.
    std::string text = "[many]\n";
    for (int i = 0; i < 32; ++i) text += "EDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n";
    EXPECT_EQ(Parse(text + "[next]\n").form->fieldCount, 32u);
    p = Parse(text + "# still fine\nEDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n");
    EXPECT_FALSE(p.ok);
    ASSERT_EQ(p.Numbers(), (Reports{{2017, 35}}));
    EXPECT_EQ(p.messages[0].value, 32);
}

TEST(SendForms, FieldTextsBecomeExactlyTheirShareOfBytes)
{
    const struct { uint32_t conversion, length; const char* text; Bytes bytes; } cases[] = {
        {CONVERT_HEX, 3, "ABCD", {0xAB, 0x0C}},  // at most LENGTH characters; a last digit alone
        {CONVERT_HEX, 4, "1G2", {0x01, 0x02}},   // a group stops at its first non-digit
        {CONVERT_BIN, 10, "1111111101", {0xFF, 0x01}},
        {CONVERT_BIN, 9, "12", {0x01, 0x00}},    // the share nothing reaches stays zero
        {CONVERT_OCT, 5, "03770", {0xFF, 0x00}},
        {CONVERT_OCT, 4, "0777", {0xFF}},        // the low eight bits of 0x1FF
        {CONVERT_SJIS, 4, "ab", {'a', 'b', 0, 0}},
        {CONVERT_SJIS, 2, "abc", {'a', 'b'}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto field = std::make_unique<FormField>();
        field->conversion = c.conversion;
        field->length = c.length;
        Bytes share(FieldShare(*field) + 1, 0xEE);  // one byte more, which must stay as it was
        FieldTextToBytes(*field, c.text, share.data());
        EXPECT_EQ(share.back(), 0xEE);
        share.pop_back();
        EXPECT_EQ(share, c.bytes);
    }
}

TEST(SendForms, SectionsTokensAndPaths)
{
    const std::string text = "EDIT before any section is ignored\n"
                             "[A]\n[Alpha]\n[a]\nEDIT STYLE=TEXT TITLE=three CONVERT=HEX LENGTH=2\n"
                             "[A] trailing text\n[ゾ\n[表]\n[x]y]\n[" + std::string(125, 'n') + "]\n";
    // The second byte of ゾ is "]": no header. 127 characters make the longest header.
    EXPECT_EQ(ListSectionNames(SplitTextLines(text)),
              (std::vector<std::string>{"A", "Alpha", "a[3]", "A[4]", "表", "x]y", std::string(125, 'n')}));
    EXPECT_STREQ(Parse(text, 2).form->fields[0].title, "three");
    // ソ and 表 end in the byte of a backslash, ゾ in that of "]".
    EXPECT_EQ(TokenizeDefinitionLine(" EDIT\tTITLE=\"a  b\" DATA=ソ表ゾ  "),
              (std::vector<std::string>{"EDIT", "TITLE=\"a  b\"", "DATA=ソ表ゾ"}));
    char buffer[MAX_PATH];
    ASSERT_TRUE(JoinPath("C:\\ソ", "a.txt", buffer, sizeof buffer));  // ソ ends in 0x5C but is no backslash
    EXPECT_STREQ(buffer, "C:\\ソ\\a.txt");
    EXPECT_TRUE(EndsWithBackslash("C:\\ソ\\"));
    EXPECT_FALSE(JoinPath("C:\\data", "long.txt", buffer, 12));  // does not fit: nothing is joined
    EXPECT_STREQ(buffer, "");
}

TEST(SendForms, OnlyBuiltFormsGiveBytesAndATooLargeOneIsError14)
{
    auto form = std::make_unique<MultiEditForm>();
    form->fieldCount = 32;
    for (FormField& f : form->fields) f.length = 0x08000000;  // 32 × 2^27: a 32-bit sum would be 0
    EXPECT_EQ(MultiEditFormByteCount(*form), 0x100000000ull);
    Bytes bytes{1};
    EXPECT_TRUE(MakeMultiEditFormBlock(*form, bytes) == ERROR_OUTOFMEMORY && bytes.empty());
    // A form whose input controls do not exist gives nothing to send.
    Parsed p = Parse("[s]\nEDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=4\n");
    EXPECT_TRUE(MakeMultiEditFormBlock(*p.form, bytes) == 0 && bytes.empty());
}

TEST(SendForms, ButtonFileListKeepsTheCurrentFileAndSkipsOverlongNamesAndExtraFiles)
{
    TempFolder folder;
    const std::string deep = folder.File(std::string(150, 'd'));  // a long name here no longer fits in a path
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    WriteWholeFile(deep + "\\Alpha.txt", "Reset,1B40\n");
    // A line is read in pieces of 8191 bytes, each a line of its own; the first 18 used lines count.
    std::string buttons = "Reset,1B40\r\n# comment,00\nno comma here\nStatus query,05 \t\r\r\nA,B,C\nX," +
                          std::string(8189, 'F') + "Y,01\n";
    for (int i = 0; i < 25; ++i) buttons += "b" + std::to_string(i) + ",0" + std::to_string(i % 10) + "\n";
    WriteWholeFile(deep + "\\beta.txt", buttons);
    WriteWholeFile(deep + "\\modes.dat", "");
    ASSERT_TRUE(WriteWholeFile(deep + "\\" + std::string(100, 'L') + ".txt", "X,00\n"));
    SetDataDirectory(deep.c_str());

    ASSERT_EQ(ListButtonFiles(), 2);
    int beta = lstrcmpiA(GetButtonFileName(0), "beta.txt") == 0 ? 0 : 1;
    ASSERT_TRUE(SetCurrentButtonFile(beta));
    std::string shown;
    ButtonEntry entry;
    for (int i = 0; ReadButtonEntry(beta, i, entry); ++i) shown += entry.caption + "|" + entry.data.substr(0, 3) + "|";
    EXPECT_EQ(shown, "Reset|1B4|Status query|05|A|B,C|X|FFF|Y|01|b0|00|b1|01|b2|02|b3|03|b4|04|b5|05|b6|06|b7|07|"
                     "b8|08|b9|09|b10|00|b11|01|b12|02|");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines((deep + "\\beta.txt").c_str(), lines));
    EXPECT_EQ(ParseButtonEntries(lines).size(), 18u);
    // Rebuilding finds the current file again by name, whatever its case.
    ASSERT_TRUE(MoveFileA((deep + "\\beta.txt").c_str(), (deep + "\\BETA.txt").c_str()));
    ASSERT_EQ(ListButtonFiles(), 2);
    EXPECT_EQ(lstrcmpiA(GetButtonFileName(GetCurrentButtonFile()), "beta.txt"), 0);

    for (int i = 0; i < 260; ++i) ASSERT_TRUE(WriteWholeFile(deep + "\\b" + std::to_string(1000 + i) + ".txt", "x,00\n"));
    EXPECT_EQ(ListButtonFiles(), 256);
    EXPECT_EQ(GetButtonFileName(256), nullptr);
    SetDataDirectory("");
}
