#include <gtest/gtest.h>

#include <string>

#include "logging/log_rotation.h"
#include "tests/support/log_files.h"

TEST(LogRotation, RotatedNamesAreCutAtTheExtensionAndMustFit)
{
    const std::string n250(250, 'n');
    struct Case {
        std::string name;
        uint32_t number;
        size_t size;
        std::string expected;  // "" when it does not fit
    } cases[] = {
        {"D:\\log\\Vorlin2_COM1.log", 2, 260, "D:\\log\\Vorlin2_COM1_2.log"},
        {"D:\\log\\a.b.txt", 13, 260, "D:\\log\\a.b_13.log"},
        {"D:\\log\\plain", 2, 260, "D:\\log\\plain_2.log"},
        {"D:\\log.d\\plain", 3, 260, "D:\\log.d\\plain_3.log"},  // a dot in a folder name is no extension
        {"name.log", 4294967295u, 260, "name_4294967295.log"},
        // Read as Shift_JIS: the 0x5C inside ソ and 表 is no backslash.
        {"D:\\log\\a.ソ", 2, 260, "D:\\log\\a_2.log"},
        {"D:\\表.d\\ソ", 2, 260, "D:\\表.d\\ソ_2.log"},
        {n250 + ".log", 1000, 260, n250 + "_1000.log"},  // 259 bytes and the zero
        {n250 + ".log", 10000, 260, ""},
        {"x.log", 2, 7, ""},
        {"x.log", 2, 8, "x_2.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.number));
        char out[600];
        bool fits = MakeRotatedLogName(c.name.c_str(), c.number, out, c.size);
        EXPECT_EQ(fits, !c.expected.empty());
        if (fits) {
            EXPECT_EQ(out, c.expected);
        }
    }
    for (auto [configured, effective] : {std::pair<int64_t, uint64_t>{-5, 65536}, {0, 65536}, {65535, 65536},
                                         {65537, 65537}, {0xFFFFFFFFLL, 0xFFFFFFFFu}})
        EXPECT_EQ(EffectiveLogSizeLimit(configured), effective) << configured;
}

// The log thread's tests follow each type through real records; these are
// the edges: the exact limit, an unknown type, a failure without a file.
TEST(LogRotation, CheckOnAHandle)
{
    TempFolder dir;
    std::string name = dir.File("r.log");
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LogSettings s{};
    s.maxFileSize = 100;  // acts as 65536
    uint32_t counter = 1;
    auto check = [&](uint32_t type, uint64_t size, const std::string& fileName) {
        s.logType = type;
        CheckLogRotation(&file, s, &size, fileName.c_str(), &counter);
        return size;
    };
    for (uint32_t type : {LOGTYPE_APPEND, LOGTYPE_CYCLIC, LOGTYPE_AUTO}) EXPECT_EQ(check(type, 65535, name), 65535u);
    EXPECT_EQ(check(7, 65536, name), 65536u);  // an unknown type grows like APPEND
    EXPECT_EQ(check(LOGTYPE_CYCLIC, 65536, name), 0u);

    // A file that cannot be made (its folder is missing) stops logging; the old one is closed.
    EXPECT_EQ(check(LOGTYPE_AUTO, 70000, dir.File("missing\\r.log")), 0u);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(counter, 2u);
    EXPECT_TRUE(FileIsClosedByOthers(name));
    check(LOGTYPE_AUTO, 70000, dir.File("missing\\r.log"));  // no file: nothing happens
    EXPECT_EQ(counter, 2u);
}
