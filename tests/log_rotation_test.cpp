#include <gtest/gtest.h>

#include <string>

#include "logging/log_rotation.h"
#include "tests/support/temp_files.h"

TEST(LogRotation, RotatedNamesAreCutAtTheExtensionAndMustFit)
{
    const std::string n250(250, 'n');
    const struct {
        std::string name;
        uint32_t number;
        std::string expected;  // "" when it does not fit in 260 bytes
    } cases[] = {
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

TEST(LogRotation, CyclicRewindsAtExactlyTheLimitAndLimitsBelow65536CountAs65536)
{
    TempFolder dir;
    const std::string path = dir.Write("c.log", "0123456789");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const struct { int64_t limit; uint64_t size; bool rewinds; } cases[] = {
        {65536, 65535, false}, {65536, 65536, true}, {1000, 65535, false}, {-1, 65536, true},
        {65537, 65536, false}, {65537, 65537, true},
    };
    for (const auto& c : cases) {
        LogSettings s{};
        s.logType = LOGTYPE_CYCLIC, s.maxFileSize = c.limit;
        LARGE_INTEGER end{}, at{};
        SetFilePointerEx(file, end, nullptr, FILE_END);
        uint64_t size = c.size;
        uint32_t counter = 1;
        CheckLogRotation(&file, s, &size, path.c_str(), &counter);
        SetFilePointerEx(file, end, &at, FILE_CURRENT);
        EXPECT_EQ(size, c.rewinds ? 0 : c.size) << c.limit << " " << c.size;
        EXPECT_EQ(at.QuadPart, c.rewinds ? 0 : 10) << c.limit << " " << c.size;
    }
    CloseHandle(file);
    EXPECT_EQ(ReadWholeFile(path), "0123456789") << "a rewound file is not cut";
}
