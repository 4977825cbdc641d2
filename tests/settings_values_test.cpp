// The text forms of settings values, without a file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/value_forms.h"

using Values = std::vector<int64_t>;

static CtrlCodeSet Codes(const std::function<bool(int)>& marked)
{
    CtrlCodeSet set{};
    for (int c = 0; c < 256; ++c) set.code[c] = marked(c);
    return set;
}

TEST(SettingsValues, CharValuesReadDigitsOrTheFirstByteAndWriteHighBytesAsDigits)
{
    const struct { std::string text; char value; } reads[] = {
        {"2c", ','}, {"２Ｃ", ','}, {",", ','}, {"ABC", 'A'}, {"2G", '2'}, {"", '?'}, {std::string(10000, 'q'), 'q'}};
    for (const auto& c : reads) EXPECT_EQ(ParseCharValue(c.text.c_str(), '?'), c.value) << c.text.substr(0, 4);
    // High bytes as digits: a lone lead byte would swallow the line's end when the file is read as Shift_JIS.
    std::string written;
    char text[3];
    for (int c = 0; c < 256; ++c) {
        FormatCharValue(static_cast<char>(c), text);
        EXPECT_EQ(static_cast<unsigned char>(ParseCharValue(text, '?')), c) << "code " << c;
        if (c && strchr("\t !,A~\x7F\x81", c)) written += std::string(text) + " ";
    }
    EXPECT_EQ(written, "09 20 ! , A ~ 7F 81 ");
}

TEST(SettingsValues, CtrlCodeSetForms)
{
    // 64 hex digits read as bit groups, else one character per code; written shortest, never as 64 hex digits.
    const std::string ones(256, '1');
    const struct { std::string text; CtrlCodeSet set; std::string written; } cases[] = {
        {"FFFFFFFF" + std::string(56, '0'), Codes([](int c) { return c < 0x20; }), ones.substr(0, 32)},
        {"8" + std::string(62, '0') + "1", Codes([](int c) { return c == 0 || c == 0xFF; }),
         "1" + std::string(254, '0') + "1"},
        {"101x", Codes([](int c) { return c == 0 || c == 2 || c == 3; }), "1011"},
        {"0", Codes([](int) { return false; }), "0"},
        {"1" + std::string(62, '0') + "10", Codes([](int c) { return c == 0 || c == 63; }),
         "1" + std::string(62, '0') + "10"},
        {std::string(10000, '1'), Codes([](int) { return true; }), ones}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 8));
        CtrlCodeSet set = Codes([](int code) { return code == 0x40; });
        ASSERT_TRUE(ParseCtrlCodeSet(c.text.c_str(), set));
        EXPECT_EQ(memcmp(&set, &c.set, sizeof set), 0);
        char text[kCtrlCodeTextSize];
        FormatCtrlCodeSet(c.set, text);
        EXPECT_EQ(text, c.written);
    }
    CtrlCodeSet untouched = Codes([](int c) { return c == 7; });
    EXPECT_TRUE(!ParseCtrlCodeSet("", untouched) && untouched.code[7] == 1) << "an empty value leaves the set alone";
}

TEST(SettingsValues, LogFolderIsSavedRelativeOnlyInsideTheProgramFolder)
{
    // カ is 0x83 0x4A: its trail byte looks like "J" but must not match "j".
    const struct { const char *directory, *program, *saved; } cases[] = {
        {"c:\\TOOLS\\LOG", "C:\\Tools", "LOG"}, {"C:\\ToolsExtra\\log", "C:\\Tools", "C:\\ToolsExtra\\log"},
        {"C:\\Tools", "C:\\Tools", "C:\\Tools"}, {"C:\\\x83j\\log", "C:\\カ", "C:\\\x83j\\log"},
        {"C:\\カ\\log", "C:\\カ", "log"}};
    for (const auto& c : cases) EXPECT_STREQ(LogFolderForSaving(c.directory, c.program), c.saved) << c.directory;
}
