// The settings file read and written as Shift_JIS bytes, as the system's
// profile functions treat a file on a Japanese system.
#include <gtest/gtest.h>

#include <string>

#include "settings/ini_file.h"

namespace {

std::string Find(std::string_view text, const char* section, const char* key)
{
    std::optional<std::string_view> value = FindIniValue(text, section, key);
    return value ? std::string(*value) : "<none>";
}

} // namespace

TEST(IniFile, NamesValuesCommentsAndDoubleByteNames)
{
    const std::string text =
        "; [LOG] in a comment\r\n  [ log ]  \r\n;HEX=9\r\n  Hex  =  \"1 2\"  \r\nhex=3\r\nNOEQUALS\r\n"
        "[LOG]\r\nASCII=4\r\n[表ゾ]\r\nア=5\r\n[PREVIEW]\nKANJI='EUC'";
    EXPECT_EQ(Find(text, "LOG", "HEX"), "1 2");       // blanks and one pair of quotes go
    EXPECT_EQ(Find(text, " Log ", "hEX"), "1 2");
    EXPECT_EQ(Find(text, "LOG", ";HEX"), "<none>");   // a comment is no key
    EXPECT_EQ(Find(text, "LOG", "NOEQUALS"), "<none>");
    EXPECT_EQ(Find(text, "LOG", "ASCII"), "<none>");  // only the first section of a name counts
    EXPECT_EQ(Find(text, "表ゾ", "ア"), "5");          // trail bytes 0x5C and 0x5D end no name
    EXPECT_EQ(Find(text, "表ゾ", "ヂ"), "<none>");     // 0x83 0x61 is not 0x83 0x41 in another case
    EXPECT_EQ(Find(text, "preview", "KANJI"), "EUC");  // LF line ends, no last line break
    EXPECT_EQ(Find("", "LOG", "HEX"), "<none>");
    // An all-blank value is empty and, as every value, lies in the text (found by fuzzing).
    const std::string blank = "[LOG]\r\nHEX=   \r\n";
    std::optional<std::string_view> value = FindIniValue(blank, "LOG", "HEX");
    ASSERT_TRUE(value && value->empty());
    EXPECT_TRUE(value->data() >= blank.data() && value->data() <= blank.data() + blank.size());
}

TEST(IniFile, WritesChangeOnlyTheirLine)
{
    std::string text = "; 設定\r\n[LOG]\r\n  HEX =  1\r\nASCII=0\r\n; end of LOG\r\n\r\n[表示]\r\nX=1";
    SetIniValue(text, "log", "hex", "0");
    SetIniValue(text, "LOG", "KANJI", "ＳＪＩＳ");  // after the last key of its section
    SetIniValue(text, "表示", "Y", "2\r\n[EVIL]");  // a value ends at a line break
    SetIniValue(text, "NEW", "Z", "");
    SetIniValue(text, "", "Z", "lost");
    EXPECT_EQ(text, "; 設定\r\n[LOG]\r\n  HEX =0\r\nASCII=0\r\nKANJI=ＳＪＩＳ\r\n; end of LOG\r\n\r\n[表示]\r\nX=1\r\nY=2\r\n"
                    "[NEW]\r\nZ=\r\n");
}
