#include <gtest/gtest.h>

#include <string>

#include "logging/log_rotation.h"

TEST(LogRotation, RotatedNamesAreCutAtTheExtensionAndMustFit)
{
    const std::string n250(250, 'n');
    const struct {
        std::string name;
        uint32_t number;
        std::string expected;  // "" when it does not fit in 260 bytes
    } cases[] = {
        {"D:\\log\\Vorlin2_COM1.log", 2, "D:\\log\\Vorlin2_COM1_2.log"},
        {"D:\\log\\a.b.txt", 13, "D:\\log\\a.b_13.log"},
        {"D:\\log.d\\plain", 3, "D:\\log.d\\plain_3.log"},  // a dot in a folder name is no extension
        {"name.log", 4294967295u, "name_4294967295.log"},
        {"D:\\log\\a.ソ", 2, "D:\\log\\a_2.log"},  // the 0x5C inside ソ is no backslash
        {n250 + ".log", 1000, n250 + "_1000.log"},  // 259 bytes and the zero
        {n250 + ".log", 10000, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.number));
        char out[600];
        bool fits = MakeRotatedLogName(c.name.c_str(), c.number, out, 260);
        EXPECT_EQ(fits, !c.expected.empty());
        EXPECT_EQ(fits ? std::string(out) : "", c.expected);
    }
}
