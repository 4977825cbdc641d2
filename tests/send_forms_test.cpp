#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "sending/send_forms.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Reports = std::vector<std::pair<unsigned, int>>;  // message numbers with their lines

struct Parsed {
    std::unique_ptr<MultiEditForm> form = std::make_unique<MultiEditForm>();
    std::vector<FormMessage> messages;
    bool ok = false;
    const FormField& operator[](int i) const { return form->fields[i]; }
    Reports Numbers() const
    {
        Reports out;
        for (const FormMessage& m : messages) out.emplace_back(m.number, m.line);
        return out;
    }
};

Parsed Parse(const std::vector<std::string>& lines, int section = 0)
{
    Parsed p;
    memset(p.form.get(), 0, sizeof(MultiEditForm));
    p.ok = ParseFormSection(lines, section, *p.form, p.messages);
    return p;
}
Parsed Parse(const std::string& text, int section = 0) { return Parse(SplitTextLines(text), section); }

HWND Popup(const char* className, const char* text, DWORD style = 0)
{
    return CreateWindowExA(0, className, text, WS_POPUP | style, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
}

// Counts the write requests that reach the main window.
int g_sendRequests = 0;
WNDPROC g_mainProc = nullptr;
LRESULT CALLBACK CountingMainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_SEND) ++g_sendRequests;
    return CallWindowProcA(g_mainProc, hwnd, msg, wParam, lParam);
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && strchr(" \t\r\n", s.back())) s.pop_back();
    return s;
}

std::string StatusText(HWND main)
{
    char text[512] = "";
    SendMessageA(GetDlgItem(main, IDC_STATUS_BAR), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return Trimmed(text);
}

} // namespace

TEST(SendForms, ExampleFormParsesAndBuildsSixtyEightBytes)
{
    Parsed p = Parse(
        "[Set mode]\n"
        "EDIT STYLE=TEXT TITLE=Address CONVERT=HEX LENGTH=4 DATA=0A1B\n"
        "COMBO STYLE=DROPDOWNLIST TITLE=Mode CONVERT=SJIS LENGTH=2 DATA=01,02,03\n"
        "EDIT STYLE=MULTILINETEXT TITLE=Note CONVERT=SJIS LENGTH=64 LINES=3\n");
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.messages.empty());
    ASSERT_EQ(p.form->fieldCount, 3u);
    EXPECT_EQ(p[0].kind, FIELD_EDIT);
    EXPECT_EQ(p[0].style, EDIT_TEXT);
    EXPECT_STREQ(p[0].title, "Address");
    EXPECT_EQ(p[0].conversion, CONVERT_HEX);
    EXPECT_STREQ(p[0].data, "0A1B");
    EXPECT_EQ(p[0].attributes, ATTR_STYLE | ATTR_TITLE | ATTR_CONVERT | ATTR_LENGTH | ATTR_DATA);
    EXPECT_EQ(p[1].kind, FIELD_COMBO);
    EXPECT_EQ(p[1].style, COMBO_DROPDOWNLIST);
    EXPECT_STREQ(p[1].data, "01,02,03");
    EXPECT_EQ(p[2].style, EDIT_MULTILINETEXT);
    EXPECT_EQ(p[2].lines, 3u);
    EXPECT_TRUE(p[2].attributes & ATTR_LINES);
    EXPECT_EQ(p[2].controlId, 20002u);

    ASSERT_EQ(MultiEditFormByteCount(*p.form), 68u);
    Bytes bytes(68, 0xEE), expected(68, 0);
    ASSERT_TRUE(BuildFormBytesFromTexts(*p.form, {"0A1B", "02", "memo"}, bytes.data(), bytes.size()));
    memcpy(expected.data(), "\x0A\x1B" "02memo", 8);
    EXPECT_EQ(bytes, expected);
}

TEST(SendForms, EachConversionFillsExactlyItsShare)
{
    const struct {
        uint32_t conversion, length;
        const char* text;
        Bytes expected;
    } cases[] = {
        {CONVERT_HEX, 3, "ABC", {0xAB, 0x0C}},
        {CONVERT_HEX, 4, "ab", {0xAB, 0x00}},
        {CONVERT_HEX, 2, "ABCDEF", {0xAB}},  // only LENGTH characters count
        {CONVERT_BIN, 10, "1111111101", {0xFF, 0x01}},
        {CONVERT_BIN, 8, "101", {0x05}},
        {CONVERT_BIN, 16, "1021111100000001", {0x02, 0x01}},  // stops at the 2
        {CONVERT_OCT, 8, "03770101", {0xFF, 0x41}},
        {CONVERT_OCT, 5, "07770", {0xFF, 0x00}},  // 0777 keeps its low 8 bits
        {CONVERT_SJIS, 4, "日本語", {0x93, 0xFA, 0x96, 0x7B}},
        {CONVERT_SJIS, 3, "A", {'A', 0, 0}},
        {CONVERT_SJIS, 0, "ignored", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FormField field{};
        field.conversion = c.conversion;
        field.length = c.length;
        Bytes out(FieldShare(field), 0xEE);
        FieldTextToBytes(field, c.text, out.data());
        EXPECT_EQ(out, c.expected);
    }
    EXPECT_EQ(ButtonDataToBytes("1B40"), (Bytes{0x1B, 0x40}));
    EXPECT_EQ(ButtonDataToBytes("123"), (Bytes{0x12, 0x03}));
    EXPECT_TRUE(ButtonDataToBytes("").empty());
}

TEST(SendForms, EachFaultDrawsItsMessageWithTheFileLineNumber)
{
    // Comments, blank lines and the header count as lines of the file.
    const std::string head = "# forms\n\n[s]\n   \n# field\n";
    const struct {
        std::string line;
        Reports reports;      // not checked when empty
        const char* insert;   // text insert of the first report
    } cases[] = {
        // Kinds and values may be lower case, attribute names may not.
        {"edit style=text TITLE=x CONVERT=hex LENGTH=2", {{2008, 6}, {2006, 6}}, "style"},
        {"BUTTON STYLE=TEXT", {{2005, 6}}, "BUTTON"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH", {{2006, 6}}, "LENGTH"},
        {"EDIT STYLE=TEXT STYLE=STATIC", {{2007, 6}}, "STYLE=STATIC"},
        {"EDIT STYLE=DROPDOWN", {{2009, 6}, {2006, 6}}, ""},
        {"COMBO STYLE=TEXT", {{2009, 6}, {2006, 6}}, ""},
        {"EDIT CONVERT=UTF8", {{2010, 6}, {2006, 6}}, ""},
        {"EDIT LENGTH=x4", {{2012, 6}, {2006, 6}}, ""},
        {"EDIT LINES=", {{2013, 6}, {2006, 6}}, ""},
        {"EDIT STYLE=TEXT TITLE=t", {{2014, 6}}, "CONVERT"},  // CONVERT and LENGTH missing
        {"EDIT TITLE=t CONVERT=HEX LENGTH=2", {{2014, 6}}, "STYLE"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=8192", {{2006, 6}}, "LENGTH=8192"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=99999999999", {{2006, 6}}, "LENGTH=99999999999"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=2 =x", {{2008, 6}, {2006, 6}}, ""},
        // 127 characters in brackets make no header: a definition line of the section before.
        {"[" + std::string(127, 'n') + "]", {{2005, 6}}, nullptr},
        // An error on a later line leaves no earlier field behind.
        {"EDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=2\nEDIT STYLE=BAD", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Parsed p = Parse(head + c.line + "\n");
        EXPECT_FALSE(p.ok);
        if (!c.reports.empty()) {
            EXPECT_EQ(p.Numbers(), c.reports);
        }
        if (c.insert && !p.messages.empty()) {
            EXPECT_EQ(p.messages[0].text, c.insert);
        }
        EXPECT_EQ(p.form->fieldCount, 0u);
    }
}

TEST(SendForms, AcceptedLinesWithWarnings)
{
    Parsed p = Parse("[s]\ncombo STYLE=dropdown TITLE=x CONVERT=oct LENGTH=2\nedit STYLE=Static TITLE=y CONVERT=Bin LENGTH=1\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p[0].kind, FIELD_COMBO);
    EXPECT_EQ(p[0].style, COMBO_DROPDOWN);
    EXPECT_EQ(p[0].conversion, CONVERT_OCT);
    EXPECT_EQ(p[1].style, EDIT_STATIC);
    EXPECT_EQ(p[1].conversion, CONVERT_BIN);

    const std::string start = "[s]\nEDIT STYLE=TEXT CONVERT=SJIS ";
    // LINES on a one-line field: reported, ignored, the line stands.
    p = Parse(start + "TITLE=t LENGTH=5 LINES=3\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.Numbers(), (Reports{{2015, 2}}));
    EXPECT_EQ(p[0].lines, 0u);
    EXPECT_FALSE(p[0].attributes & ATTR_LINES);
    // A title of 32 characters is cut to 31 and reported with 32; a Japanese
    // title is cut on a character boundary.
    p = Parse(start + "LENGTH=5 TITLE=" + std::string(32, 'T') + "\n");
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.Numbers(), (Reports{{2011, 2}}));
    EXPECT_EQ(p.messages[0].value, 32);
    EXPECT_EQ(std::string(p[0].title), std::string(31, 'T'));
    p = Parse(start + "LENGTH=5 TITLE=あいうえおかきくけこさしすせそた\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(strlen(p[0].title), 30u);
    // Quoted values keep their blanks; doubled quotes stand for one.
    p = Parse(start + "TITLE=\"say \"\"hi\"\" now\" LENGTH=8 DATA=\"a b\"\n");
    ASSERT_TRUE(p.ok);
    EXPECT_STREQ(p[0].title, "say \"hi\" now");
    EXPECT_STREQ(p[0].data, "a b");
    // The largest length is accepted.
    p = Parse(start + "TITLE=t LENGTH=8191\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(MultiEditFormByteCount(*p.form), 8191u);
}

TEST(SendForms, ThirtyThirdFieldStopsTheSectionAndKeepsNothing)
{
    std::string text = "[many]\n";
    for (int i = 0; i < 32; ++i) text += "EDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n";
    Parsed p = Parse(text + "[next]\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.form->fieldCount, 32u);

    p = Parse(text + "# still fine\nEDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n");
    EXPECT_FALSE(p.ok);
    ASSERT_EQ(p.Numbers(), (Reports{{2017, 35}}));
    EXPECT_EQ(p.messages[0].value, 32);
    EXPECT_EQ(p.form->fieldCount, 0u);
    EXPECT_EQ(MultiEditFormByteCount(*p.form), 0u);
}

TEST(SendForms, SectionsTokensAndLines)
{
    const std::string text =
        "EDIT before any section is ignored\n"
        "[A]\nEDIT STYLE=TEXT TITLE=one CONVERT=HEX LENGTH=2\n"
        "[Alpha]\n"
        "[a]\nEDIT STYLE=TEXT TITLE=three CONVERT=HEX LENGTH=2\n"
        "[A] trailing text\n"
        "[ゾ\n"  // the second byte of this character is "]": no header
        "[表]\n"
        "[x]y]\n";
    EXPECT_EQ(ListSectionNames(SplitTextLines(text)),
              (std::vector<std::string>{"A", "Alpha", "a[3]", "A[4]", "表", "x]y"}));
    Parsed p = Parse(text, 2);
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.form->fieldCount, 1u);
    EXPECT_STREQ(p[0].title, "three");
    EXPECT_FALSE(Parse(text, 9).ok);
    // 125 characters make a header, 126 do not.
    EXPECT_EQ(ListSectionNames({"[" + std::string(125, 'n') + "]", "[" + std::string(126, 'n') + "]"}).size(), 1u);

    EXPECT_EQ(TokenizeDefinitionLine("  EDIT\tTITLE=\"a  b\" DATA=\"x\"\"y z\"  "),
              (std::vector<std::string>{"EDIT", "TITLE=\"a  b\"", "DATA=\"x\"\"y z\""}));
    // ソ and 表 end in the byte of a backslash, ゾ in that of "]".
    EXPECT_EQ(TokenizeDefinitionLine("EDIT TITLE=ソ表ゾ DATA=1"),
              (std::vector<std::string>{"EDIT", "TITLE=ソ表ゾ", "DATA=1"}));
    // The last token of a line is cut to 1023 characters.
    const std::string base = "[s]\nEDIT STYLE=TEXT TITLE=t ";
    p = Parse(base + "CONVERT=SJIS LENGTH=4 DATA=" + std::string(2000, 'd') + "\n");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(strlen(p[0].data), 1023u - 5u);
    // A token too long in the middle ends the line there.
    p = Parse(base + "DATA=" + std::string(2000, 'd') + " CONVERT=SJIS LENGTH=4\n");
    EXPECT_EQ(p.Numbers(), (Reports{{2014, 2}}));
    EXPECT_EQ(p.messages[0].text, "CONVERT");
    // A too-long first token followed by more gives no token.
    EXPECT_EQ(Parse("[s]\n" + std::string(1100, 'E') + " STYLE=TEXT\n").Numbers(), (Reports{{2004, 2}}));

    // Long physical lines are read in pieces that count as lines.
    std::vector<std::string> lines = SplitTextLines("a\n" + std::string(9000, 'x') + "\nb");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].size(), 8191u);
    EXPECT_EQ(lines[2].size(), 9000u - 8191u + 1u);
    EXPECT_EQ(lines[3], "b");
}

TEST(SendForms, ButtonEntriesSkipCommentsAndLinesWithoutComma)
{
    std::string text = "Reset,1B40\r\n# comment,00\nno comma here\nStatus query,05 \t\r\nA,B,C\n";
    for (int i = 0; i < 25; ++i) text += "b" + std::to_string(i) + ",0" + std::to_string(i % 10) + "\n";
    std::vector<ButtonEntry> entries = ParseButtonEntries(SplitTextLines(text));
    ASSERT_EQ(entries.size(), 18u);
    const char* expected[][2] = {{"Reset", "1B40"}, {"Status query", "05"}, {"A", "B,C"}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].caption, expected[i][0]);
        EXPECT_EQ(entries[i].data, expected[i][1]);
    }
    EXPECT_EQ(entries[17].caption, "b14");
}

TEST(SendForms, OnlyBuiltFormsAreSentAndAnUnallocatableOneIsError14)
{
    HWND main = CreateTestMainWindow();  // reports go to its status bar
    ASSERT_NE(main, nullptr);
    g_mainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingMainProc)));
    g_sendRequests = 0;
    auto form = std::make_unique<MultiEditForm>();
    memset(form.get(), 0, sizeof *form);
    form->owner = main;
    form->fieldCount = 32;
    for (FormField& f : form->fields) f.length = 0x08000000;  // 32 × 2^27: a 32-bit sum would be 0
    EXPECT_EQ(MultiEditFormByteCount(*form), 0x100000000ull);
    Bytes bytes{1};
    EXPECT_EQ(MakeMultiEditFormBlock(*form, bytes), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(bytes.empty());
    SendMessageA(GetDlgItem(main, IDC_STATUS_BAR), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(""));
    EXPECT_EQ(SendMultiEditForm(main, *form, true), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    char expected[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_NOT_ENOUGH_MEMORY,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected, nullptr);
    EXPECT_FALSE(StatusText(main).empty());
    EXPECT_EQ(StatusText(main), Trimmed(expected));
    // A form of zero bytes sends nothing.
    form->fieldCount = 1;
    form->fields[0].length = 0;
    EXPECT_EQ(SendMultiEditForm(main, *form, false), 0u);

    // A form whose controls are not all built (or are gone again) gives no
    // bytes and sends nothing, without a report.
    Parsed p = Parse("[s]\nEDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=4\n"
                     "COMBO STYLE=DROPDOWN TITLE=b CONVERT=BIN LENGTH=8 DATA=00000001,11111111\n");
    ASSERT_TRUE(p.ok);
    p.form->owner = main;
    HWND edit = Popup("EDIT", "12AB"), combo = Popup("COMBOBOX", "", CBS_DROPDOWN);
    ASSERT_TRUE(edit && combo);
    SetWindowTextA(combo, "101");
    SendMessageA(GetDlgItem(main, IDC_STATUS_BAR), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(""));
    for (int built = 0; built < 2; ++built) {
        EXPECT_EQ(MakeMultiEditFormBlock(*p.form, bytes), 0u);
        EXPECT_TRUE(bytes.empty());
        EXPECT_EQ(SendMultiEditForm(main, *p.form, false), 0u);
        p.form->fields[built].inputWindow = built ? combo : edit;
    }
    EXPECT_EQ(g_sendRequests, 0);
    EXPECT_EQ(StatusText(main), "");
    // Built, the form gives its bytes and is handed to the main window.
    EXPECT_EQ(MakeMultiEditFormBlock(*p.form, bytes), 0u);
    EXPECT_EQ(bytes, (Bytes{0x12, 0xAB, 0x05}));
    EXPECT_EQ(SendMultiEditForm(main, *p.form, false), 0u);
    EXPECT_EQ(g_sendRequests, 1);
    DestroyWindow(edit);
    EXPECT_EQ(MakeMultiEditFormBlock(*p.form, bytes), 0u);
    EXPECT_TRUE(bytes.empty()) << "a destroyed control is not read";
    DestroyWindow(combo);
    DestroyTestMainWindow(main);
}

TEST(SendForms, PathsJoinOnlyWhenTheyFitAndSeeDoubleByteBackslashes)
{
    const char* cases[][3] = {
        {"C:\\data", "*.txt", "C:\\data\\*.txt"},
        {"C:\\data\\", "a.dat", "C:\\data\\a.dat"},
        {"C:\\ソ", "a.txt", "C:\\ソ\\a.txt"},  // ソ ends in the byte 0x5C but is no backslash
    };
    char buffer[MAX_PATH];
    for (auto& c : cases) {
        ASSERT_TRUE(JoinPath(c[0], c[1], buffer, sizeof buffer)) << c[2];
        EXPECT_STREQ(buffer, c[2]);
    }
    EXPECT_FALSE(EndsWithBackslash("C:\\ソ"));
    EXPECT_TRUE(EndsWithBackslash("C:\\ソ\\"));
    EXPECT_FALSE(JoinPath("C:\\data", "long.txt", buffer, 12));
    EXPECT_STREQ(buffer, "");
}

TEST(SendForms, DataFolderListsKeepTheCurrentFileAndSkipOverlongNamesAndExtraFiles)
{
    GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
    TempFolder folder;
    // A folder deep enough that a long name no longer fits in a path.
    std::string deep = folder.Path() + "\\" + std::string(150, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    WriteTextFile(deep + "\\Alpha.txt", "Reset,1B40\nStatus query,05\n");
    WriteTextFile(deep + "\\beta.txt", "A,B,C\n");
    WriteTextFile(deep + "\\modes.dat", "[Set mode]\nEDIT STYLE=TEXT TITLE=Address CONVERT=HEX LENGTH=4\n[Set mode]\n");
    std::string longName = deep + "\\" + std::string(100, 'L') + ".txt";
    ASSERT_TRUE(WriteLongPathFile(longName, "X,00\n"));
    SetDataDirectory(deep.c_str());

    ASSERT_EQ(ListButtonFiles(), 2);
    int beta = lstrcmpiA(GetButtonFileName(0), "beta.txt") == 0 ? 0 : 1;
    EXPECT_STREQ(GetButtonFileName(beta), "beta.txt");
    EXPECT_EQ(GetCurrentButtonFile(), 0);
    ASSERT_TRUE(SetCurrentButtonFile(beta));
    EXPECT_FALSE(SetCurrentButtonFile(2));
    EXPECT_FALSE(SetCurrentButtonFile(-1));
    ButtonEntry entry;
    ASSERT_TRUE(ReadButtonEntry(beta, 0, entry));
    EXPECT_EQ(entry.caption + "|" + entry.data, "A|B,C");
    EXPECT_FALSE(ReadButtonEntry(beta, 1, entry));
    // Rebuilding finds the current file again by name, whatever its case.
    ASSERT_TRUE(MoveFileA((deep + "\\beta.txt").c_str(), (deep + "\\BETA.txt").c_str()));
    ASSERT_EQ(ListButtonFiles(), 2);
    EXPECT_EQ(lstrcmpiA(GetButtonFileName(GetCurrentButtonFile()), "beta.txt"), 0);

    HWND files = Popup("COMBOBOX", "", CBS_DROPDOWNLIST), sections = Popup("COMBOBOX", "", CBS_DROPDOWNLIST);
    ASSERT_EQ(ListFormFiles(files), 1);
    EXPECT_EQ(SendMessageA(files, CB_GETCURSEL, 0, 0), 0);
    ASSERT_EQ(ListFormSections(files, sections), 2);
    char text[64];
    SendMessageA(sections, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Set mode[2]");
    auto form = std::make_unique<MultiEditForm>();
    memset(form.get(), 0, sizeof *form);
    EXPECT_TRUE(LoadMultiEditForm("modes.dat", 0, *form));
    EXPECT_EQ(form->fieldCount, 1u);
    EXPECT_FALSE(LoadMultiEditForm("missing.dat", 0, *form));
    EXPECT_EQ(form->fieldCount, 0u);
    DestroyWindow(files);
    DestroyWindow(sections);

    // At most 256 files are listed.
    for (int i = 0; i < 260; ++i) ASSERT_TRUE(WriteTextFile(deep + "\\b" + std::to_string(1000 + i) + ".txt", "x,00\n"));
    EXPECT_EQ(ListButtonFiles(), 256);
    EXPECT_NE(GetButtonFileName(255), nullptr);
    EXPECT_EQ(GetButtonFileName(256), nullptr);

    SetDataDirectory("");
    EXPECT_EQ(ListButtonFiles(), 0);
    EXPECT_EQ(GetCurrentButtonFile(), -1);
    EXPECT_TRUE(DeleteLongPathFile(longName));
}

TEST(SendForms, ShippedSamplesParseWithoutAnyReport)
{
    SetDataDirectory(BuildFolderFile("bin\\data").c_str());
    std::vector<std::string> forms = FindDataFiles("dat", 100);
    EXPECT_GE(forms.size(), 3u);
    char path[MAX_PATH];
    for (const std::string& name : forms) {
        SCOPED_TRACE(name);
        std::vector<std::string> lines;
        ASSERT_TRUE(JoinPath(GetDataDirectory(), name.c_str(), path, sizeof path));
        ASSERT_TRUE(ReadTextLines(path, lines));
        std::vector<std::string> sections = ListSectionNames(lines);
        EXPECT_FALSE(sections.empty());
        for (size_t s = 0; s < sections.size(); ++s) {
            Parsed p = Parse(lines, static_cast<int>(s));
            EXPECT_TRUE(p.ok && p.messages.empty()) << sections[s];
            EXPECT_GT(p.form->fieldCount, 0u);
            if (name == "sample.dat") {
                EXPECT_EQ(MultiEditFormByteCount(*p.form), 68u);
            }
        }
        if (name == "fields.dat") {
            EXPECT_EQ(sections.back(), "入力欄の見本[2]");
        }
    }
    ASSERT_GE(ListButtonFiles(), 2);
    for (int i = 0; i < ListButtonFiles(); ++i) {
        ButtonEntry entry;
        EXPECT_TRUE(ReadButtonEntry(i, 0, entry)) << GetButtonFileName(i);
        EXPECT_FALSE(ButtonDataToBytes(entry.data).empty());
    }
    SetDataDirectory("");
}
