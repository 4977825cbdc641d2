// The text forms of settings values, without a file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/value_forms.h"

namespace {

std::string FormatChar(char c)
{
    char text[3];
    FormatCharValue(c, text);
    return text;
}

CtrlCodeSet Marked(std::initializer_list<int> codes)
{
    CtrlCodeSet set{};
    for (int c : codes) set.code[c] = 1;
    return set;
}

} // namespace

TEST(SettingsValues, UpperHalfWidthMappingTakesFullWidthInput)
{
    char out[64];
    MapUpperHalfWidth("ｓｊｉｓ", out, sizeof out);
    EXPECT_STREQ(out, "SJIS");
    MapUpperHalfWidth("utf-8", out, sizeof out);
    EXPECT_STREQ(out, "UTF-8");
    MapUpperHalfWidth("＃００７ｆ００", out, sizeof out);
    EXPECT_STREQ(out, "#007F00");
    // A text longer than the buffer is cut, never overrun.
    char small[5];
    memset(small, 'Z', sizeof small);
    MapUpperHalfWidth("abcdefghij", small, 4);
    EXPECT_STREQ(small, "ABC");
    EXPECT_EQ(small[4], 'Z');
}

TEST(SettingsValues, IntegersNeedDigitsAndSaturate)
{
    EXPECT_EQ(ParseInteger("  42"), 42);
    EXPECT_EQ(ParseInteger("-1"), -1);
    EXPECT_EQ(ParseInteger("+7xyz"), 7);
    EXPECT_FALSE(ParseInteger(""));
    EXPECT_FALSE(ParseInteger("abc"));
    EXPECT_FALSE(ParseInteger("-"));
    EXPECT_FALSE(ParseInteger("１２"));  // full-width digits are no integer
    EXPECT_EQ(ParseInteger(std::string(10000, '9').c_str()), INT32_MAX);
    EXPECT_EQ(ParseInteger(("-" + std::string(50, '9')).c_str()), INT32_MIN);
    EXPECT_EQ(ParseInteger64("-5"), -5);
    EXPECT_EQ(ParseInteger64("8589934592"), 8589934592LL);
    EXPECT_GT(*ParseInteger64(std::string(400, '9').c_str()), INT64_MAX / 20);
}

TEST(SettingsValues, NamesExactOrMapped)
{
    EXPECT_EQ(ParseName("CYCLIC", kLogTypeNames, 3, false, 0), 1);
    EXPECT_EQ(ParseName("cyclic", kLogTypeNames, 3, false, 0), 0);
    EXPECT_EQ(ParseName("AUTO", kLogTypeNames, 3, false, 0), 2);
    EXPECT_EQ(ParseName("euc", kKanjiNames, 4, true, 0), 1);
    EXPECT_EQ(ParseName("ＪＩＳ", kKanjiNames, 4, true, 0), 2);
    EXPECT_EQ(ParseName("ｕｔｆ－８", kKanjiNames, 4, true, 0), 3);
    EXPECT_EQ(ParseName("crlf", kNewlineNames, 5, true, 0), 2);
    EXPECT_EQ(ParseName("ll", kFontSizeNames, 5, true, 3), 4);
    EXPECT_EQ(ParseName("XL", kFontSizeNames, 5, true, 3), 3);
    EXPECT_EQ(ParseName("", kFontSizeNames, 5, true, 3), 3);
}

TEST(SettingsValues, CharValueReadsDigitsOrTheFirstCharacter)
{
    EXPECT_EQ(ParseCharValue("2C", ' '), ',');
    EXPECT_EQ(ParseCharValue("2c", ' '), ',');
    EXPECT_EQ(ParseCharValue("２Ｃ", ' '), ',');
    EXPECT_EQ(ParseCharValue(",", ' '), ',');
    EXPECT_EQ(ParseCharValue("ABC", ' '), 'A');
    EXPECT_EQ(ParseCharValue("2G", ' '), '2');
    EXPECT_EQ(ParseCharValue("", '?'), '?');
    EXPECT_EQ(ParseCharValue("\xA5", '?'), '\xA5');
    EXPECT_EQ(ParseCharValue("FF", '?'), '\xFF');
    EXPECT_EQ(ParseCharValue(std::string(10000, 'q').c_str(), '?'), 'q');
}

TEST(SettingsValues, CharValueWritesPrintablesAsThemselvesAndOthersAsDigits)
{
    EXPECT_EQ(FormatChar(','), ",");
    EXPECT_EQ(FormatChar('A'), "A");
    EXPECT_EQ(FormatChar('\t'), "09");
    EXPECT_EQ(FormatChar(' '), "20");
    EXPECT_EQ(FormatChar('\x7F'), "7F");
    EXPECT_EQ(FormatChar(0), "00");
    // High bytes as digits: a lone lead byte in the file would swallow the
    // line's end when the file is read as Shift_JIS.
    EXPECT_EQ(FormatChar('\x81'), "81");
    EXPECT_EQ(FormatChar('\xFF'), "FF");
    for (int c = 0; c < 256; ++c) {
        char text[3];
        FormatCharValue(static_cast<char>(c), text);
        EXPECT_EQ(static_cast<unsigned char>(ParseCharValue(text, '?')), c) << "code " << c;
    }
}

TEST(SettingsValues, ColourValues)
{
    EXPECT_EQ(ParseColourValue("#007F00", 1), RGB(0, 0x7F, 0));
    EXPECT_EQ(ParseColourValue("#ff0000", 1), RGB(0xFF, 0, 0));
    EXPECT_EQ(ParseColourValue("＃００００ＦＦ", 1), RGB(0, 0, 0xFF));
    EXPECT_EQ(ParseColourValue("#GG0000", 1), 1u);
    EXPECT_EQ(ParseColourValue("#FFF", 1), 1u);
    EXPECT_EQ(ParseColourValue("007F00", 1), 1u);
    EXPECT_EQ(ParseColourValue("", 1), 1u);
    EXPECT_EQ(ParseColourValue(("#" + std::string(10000, 'A')).c_str(), 1), RGB(0xAA, 0xAA, 0xAA));
    char text[8];
    FormatColourValue(RGB(0x12, 0xAB, 0x0F), text);
    EXPECT_STREQ(text, "#12AB0F");
    EXPECT_EQ(ParseColourValue(text, 0), RGB(0x12, 0xAB, 0x0F));
}

TEST(SettingsValues, CtrlCodeSetHexForm)
{
    CtrlCodeSet set = Marked({0x40});
    ASSERT_TRUE(ParseCtrlCodeSet("FFFFFFFF00000000000000000000000000000000000000000000000000000000", set));
    for (int c = 0; c < 256; ++c) EXPECT_EQ(set.code[c], c < 0x20 ? 1 : 0) << c;
    ASSERT_TRUE(ParseCtrlCodeSet("8000000000000000000000000000000000000000000000000000000000000001", set));
    for (int c = 0; c < 256; ++c) EXPECT_EQ(set.code[c], c == 0 || c == 0xFF ? 1 : 0) << c;
}

TEST(SettingsValues, CtrlCodeSetCharacterForm)
{
    CtrlCodeSet set{};
    ASSERT_TRUE(ParseCtrlCodeSet("101x", set));
    EXPECT_EQ(set.code[0], 1);
    EXPECT_EQ(set.code[1], 0);
    EXPECT_EQ(set.code[2], 1);
    EXPECT_EQ(set.code[3], 1);
    EXPECT_EQ(set.code[4], 0);
    // Longer than 256 characters: the rest is ignored.
    ASSERT_TRUE(ParseCtrlCodeSet(std::string(10000, '1').c_str(), set));
    for (int c = 0; c < 256; ++c) EXPECT_EQ(set.code[c], 1);
    CtrlCodeSet untouched = Marked({7});
    EXPECT_FALSE(ParseCtrlCodeSet("", untouched));
    EXPECT_EQ(untouched.code[7], 1);
}

TEST(SettingsValues, CtrlCodeSetWritesShortestTextThatReadsBack)
{
    char text[kCtrlCodeTextSize];
    FormatCtrlCodeSet(Marked({}), text);
    EXPECT_STREQ(text, "0");
    FormatCtrlCodeSet(Marked({2}), text);
    EXPECT_STREQ(text, "001");

    // Last marked code 63: 64 characters would read as the hex form.
    CtrlCodeSet set = Marked({0, 63});
    FormatCtrlCodeSet(set, text);
    EXPECT_EQ(strlen(text), 65u);
    CtrlCodeSet back{};
    ASSERT_TRUE(ParseCtrlCodeSet(text, back));
    EXPECT_EQ(memcmp(&set, &back, sizeof set), 0);

    CtrlCodeSet all;
    memset(all.code, 1, sizeof all.code);
    FormatCtrlCodeSet(all, text);
    EXPECT_EQ(strlen(text), 256u);
    ASSERT_TRUE(ParseCtrlCodeSet(text, back));
    EXPECT_EQ(memcmp(&all, &back, sizeof all), 0);
}

TEST(SettingsValues, WrapSettings)
{
    WrapSetting wrap = ParseWrapSetting("16");
    EXPECT_EQ(wrap.automatic, 0u);
    EXPECT_EQ(wrap.count, 16u);
    EXPECT_EQ(ParseWrapSetting("１６").count, 16u);
    for (const char* automatic : {"0", "AUTO", "auto", "WIDE", "", "-4"}) {
        wrap = ParseWrapSetting(automatic);
        EXPECT_EQ(wrap.automatic, 1u) << automatic;
        EXPECT_EQ(wrap.count, 0u) << automatic;
    }
    char text[12];
    FormatWrapSetting(WrapSetting{0, 16}, text);
    EXPECT_STREQ(text, "16");
    FormatWrapSetting(WrapSetting{1, 16}, text);
    EXPECT_STREQ(text, "AUTO");
    FormatWrapSetting(WrapSetting{0, 0}, text);
    EXPECT_STREQ(text, "AUTO");
}

TEST(SettingsValues, LogFolderIsSavedRelativeOnlyInsideTheProgramFolder)
{
    EXPECT_STREQ(LogFolderForSaving("C:\\Tools\\log", "C:\\Tools"), "log");
    EXPECT_STREQ(LogFolderForSaving("c:\\TOOLS\\LOG", "C:\\Tools"), "LOG");
    EXPECT_STREQ(LogFolderForSaving("C:\\ToolsExtra\\log", "C:\\Tools"), "C:\\ToolsExtra\\log");
    EXPECT_STREQ(LogFolderForSaving("C:\\Tools", "C:\\Tools"), "C:\\Tools");
    EXPECT_STREQ(LogFolderForSaving("D:\\log", "C:\\Tools"), "D:\\log");
    // カ is 0x83 0x4A: its trail byte looks like "J" but must not match "j".
    EXPECT_STREQ(LogFolderForSaving("C:\\\x83j\\log", "C:\\カ"), "C:\\\x83j\\log");
    EXPECT_STREQ(LogFolderForSaving("C:\\カ\\log", "C:\\カ"), "log");
}
