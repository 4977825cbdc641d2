// Button and form files: parsing, conversions, the bytes of a form, and the
// lists of the data folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sending/send_forms.h"
#include "shell/messages.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
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

int g_sendRequests = 0;  // write requests that reached the main window
WNDPROC g_mainProc = nullptr;
LRESULT CALLBACK CountingMainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    g_sendRequests += msg == WM_VORLIN_SEND;
    return CallWindowProcA(g_mainProc, hwnd, msg, wParam, lParam);
}

} // namespace

TEST(SendForms, EachFaultDrawsItsMessageWithTheFileLineNumber)
{
    const std::string head = "# forms\n\n[s]\n   \n# field\n";  // comments and blanks count as lines
    const struct { std::string line; Reports reports; const char* insert; } cases[] = {
        // Kinds and values may be lower case, attribute names may not.
        {"edit style=text TITLE=x CONVERT=hex LENGTH=2", {{2008, 6}, {2006, 6}}, "style"},
        {"BUTTON STYLE=TEXT", {{2005, 6}}, "BUTTON"},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH", {{2006, 6}}, "LENGTH"},
        {"EDIT STYLE=TEXT STYLE=STATIC", {{2007, 6}}, "STYLE=STATIC"},
        {"EDIT STYLE=DROPDOWN", {{2009, 6}, {2006, 6}}, nullptr},
        {"EDIT CONVERT=UTF8", {{2010, 6}, {2006, 6}}, nullptr},
        {"EDIT LENGTH=x4", {{2012, 6}, {2006, 6}}, nullptr},
        {"EDIT LINES=", {{2013, 6}, {2006, 6}}, nullptr},
        {"EDIT STYLE=TEXT TITLE=t", {{2014, 6}}, "CONVERT"},  // CONVERT and LENGTH missing
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=8192", {{2110, 6}}, nullptr},
        {"EDIT STYLE=TEXT TITLE=t CONVERT=HEX LENGTH=99999999999", {{2110, 6}}, nullptr},
        // 127 characters in brackets make no header: a definition line of the section before.
        {"[" + std::string(127, 'n') + "]", {{2005, 6}}, nullptr},
        // An error on a later line leaves no earlier field behind.
        {"EDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=2\nEDIT STYLE=BAD", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Parsed p = Parse(head + c.line + "\n");
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.form->fieldCount, 0u);
        if (!c.reports.empty()) { EXPECT_EQ(p.Numbers(), c.reports); }
        if (c.insert && !p.messages.empty()) { EXPECT_EQ(p.messages[0].text, c.insert); }
    }
}

TEST(SendForms, AcceptedLinesWithWarningsAndTheFieldLimits)
{
    // Kinds and values in lower case; quoted values keep their blanks, doubled quotes stand for one.
    Parsed p = Parse("[s]\ncombo STYLE=dropdown TITLE=\"say \"\"hi\"\" now\" CONVERT=oct LENGTH=8191 DATA=\"a b\"\n");
    ASSERT_TRUE(p.ok && p.messages.empty());
    EXPECT_EQ(p[0], "1 0 2 8191 0 1f|say \"hi\" now|a b");  // 8191: the largest length
    const std::string start = "[s]\nEDIT STYLE=TEXT CONVERT=SJIS ";
    p = Parse(start + "TITLE=t LENGTH=5 LINES=3\n");  // LINES on a one-line field: reported, ignored
    EXPECT_TRUE(p.ok && p.Numbers() == Reports({{2015, 2}}));
    EXPECT_EQ(p[0], "0 1 0 5 0 f|t|");
    p = Parse(start + "LENGTH=5 TITLE=" + std::string(32, 'T') + "\n");  // cut to 31, reported with 32
    ASSERT_TRUE(p.ok && p.Numbers() == Reports({{2011, 2}}));
    EXPECT_EQ(p.messages[0].value, 32);
    EXPECT_EQ(std::string(p.form->fields[0].title), std::string(31, 'T'));
    p = Parse(start + "TITLE=t LENGTH=4 DATA=" + std::string(2000, 'd') + "\n");
    EXPECT_TRUE(p.ok && strlen(p.form->fields[0].data) == 1023u - 5u);  // the token is cut to 1023
    // The 33rd field stops the section and keeps nothing.
    std::string text = "[many]\n";
    for (int i = 0; i < 32; ++i) text += "EDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n";
    EXPECT_EQ(Parse(text + "[next]\n").form->fieldCount, 32u);
    p = Parse(text + "# still fine\nEDIT STYLE=TEXT TITLE=f CONVERT=HEX LENGTH=2\n");
    EXPECT_FALSE(p.ok);
    ASSERT_EQ(p.Numbers(), (Reports{{2017, 35}}));
    EXPECT_EQ(p.messages[0].value, 32);
    EXPECT_EQ(p.form->fieldCount, 0u);
}

TEST(SendForms, SectionsTokensPathsAndButtonEntries)
{
    const std::string text = "EDIT before any section is ignored\n"
                             "[A]\n[Alpha]\n[a]\nEDIT STYLE=TEXT TITLE=three CONVERT=HEX LENGTH=2\n"
                             "[A] trailing text\n[ゾ\n[表]\n[x]y]\n";  // the second byte of ゾ is "]": no header
    EXPECT_EQ(ListSectionNames(SplitTextLines(text)), (std::vector<std::string>{"A", "Alpha", "a[3]", "A[4]", "表", "x]y"}));
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

    std::string buttons = "Reset,1B40\r\n# comment,00\nno comma here\nStatus query,05 \t\r\nA,B,C\n";
    for (int i = 0; i < 25; ++i) buttons += "b" + std::to_string(i) + ",0" + std::to_string(i % 10) + "\n";
    std::vector<ButtonEntry> entries = ParseButtonEntries(SplitTextLines(buttons));
    ASSERT_EQ(entries.size(), 18u);
    EXPECT_EQ(entries[0].caption + "|" + entries[0].data + "|" + entries[1].caption + "|" + entries[1].data + "|" +
                  entries[2].caption + "|" + entries[2].data,
              "Reset|1B40|Status query|05|A|B,C");
}

TEST(SendForms, OnlyBuiltFormsAreSentAndAnUnallocatableOneIsError14)
{
    testing_support::MainWindowHost host;
    HWND main = host.Window();
    g_mainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingMainProc)));
    auto form = std::make_unique<MultiEditForm>();
    form->owner = main;
    form->fieldCount = 32;
    for (FormField& f : form->fields) f.length = 0x08000000;  // 32 × 2^27: a 32-bit sum would be 0
    EXPECT_EQ(MultiEditFormByteCount(*form), 0x100000000ull);
    Bytes bytes{1};
    EXPECT_TRUE(MakeMultiEditFormBlock(*form, bytes) == ERROR_OUTOFMEMORY && bytes.empty());
    EXPECT_EQ(SendMultiEditForm(main, *form, true), static_cast<DWORD>(ERROR_OUTOFMEMORY));
    // A form whose controls are not all built gives no bytes and sends nothing.
    Parsed p = Parse("[s]\nEDIT STYLE=TEXT TITLE=a CONVERT=HEX LENGTH=4\n"
                     "COMBO STYLE=DROPDOWN TITLE=b CONVERT=BIN LENGTH=8 DATA=00000001,11111111\n");
    p.form->owner = main;
    HWND edit = CreateWindowExA(0, "EDIT", "12AB", WS_POPUP, 0, 0, 99, 99, nullptr, nullptr, nullptr, nullptr);
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_POPUP | CBS_DROPDOWN, 0, 0, 99, 99, nullptr, nullptr, nullptr, nullptr);
    SetWindowTextA(combo, "101");
    for (int built = 0; built < 2; ++built) {
        EXPECT_TRUE(MakeMultiEditFormBlock(*p.form, bytes) == 0 && bytes.empty());
        EXPECT_EQ(SendMultiEditForm(main, *p.form, false), 0u);
        p.form->fields[built].inputWindow = built ? combo : edit;
    }
    EXPECT_EQ(g_sendRequests, 0);
    EXPECT_EQ(MakeMultiEditFormBlock(*p.form, bytes), 0u);
    EXPECT_EQ(bytes, (Bytes{0x12, 0xAB, 0x05}));
    EXPECT_TRUE(SendMultiEditForm(main, *p.form, false) == 0 && g_sendRequests == 1);
    DestroyWindow(edit), DestroyWindow(combo);
}

TEST(SendForms, DataFolderListsKeepTheCurrentFileAndSkipOverlongNamesAndExtraFiles)
{
    GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
    TempFolder folder;
    const std::string deep = folder.File(std::string(150, 'd'));  // a long name here no longer fits in a path
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    WriteWholeFile(deep + "\\Alpha.txt", "Reset,1B40\n");
    WriteWholeFile(deep + "\\beta.txt", "A,B,C\n");
    WriteWholeFile(deep + "\\modes.dat", "[Set mode]\n[Set mode]\nEDIT STYLE=TEXT TITLE=Address CONVERT=HEX LENGTH=4\n");
    ASSERT_TRUE(WriteWholeFile(deep + "\\" + std::string(100, 'L') + ".txt", "X,00\n"));
    SetDataDirectory(deep.c_str());

    ASSERT_EQ(ListButtonFiles(), 2);
    int beta = lstrcmpiA(GetButtonFileName(0), "beta.txt") == 0 ? 0 : 1;
    ASSERT_TRUE(SetCurrentButtonFile(beta));
    ButtonEntry entry, none;
    ASSERT_TRUE(ReadButtonEntry(beta, 0, entry) && !ReadButtonEntry(beta, 1, none));
    EXPECT_EQ(entry.caption + "|" + entry.data, "A|B,C");
    // Rebuilding finds the current file again by name, whatever its case.
    ASSERT_TRUE(MoveFileA((deep + "\\beta.txt").c_str(), (deep + "\\BETA.txt").c_str()));
    ASSERT_EQ(ListButtonFiles(), 2);
    EXPECT_EQ(lstrcmpiA(GetButtonFileName(GetCurrentButtonFile()), "beta.txt"), 0);

    auto form = std::make_unique<MultiEditForm>();
    EXPECT_TRUE(LoadMultiEditForm("modes.dat", 1, *form));
    EXPECT_STREQ(form->fields[0].title, "Address");

    for (int i = 0; i < 260; ++i) ASSERT_TRUE(WriteWholeFile(deep + "\\b" + std::to_string(1000 + i) + ".txt", "x,00\n"));
    EXPECT_EQ(ListButtonFiles(), 256);
    EXPECT_EQ(GetButtonFileName(256), nullptr);
    SetDataDirectory("");
}
