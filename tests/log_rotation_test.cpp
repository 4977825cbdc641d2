#include <gtest/gtest.h>

#include <string>

#include "logging/log_rotation.h"
#include "tests/support/log_files.h"

namespace {

std::string Rotated(const std::string& name, uint32_t number, size_t size = 260)
{
    char out[600];
    if (!MakeRotatedLogName(name.c_str(), number, out, size)) return "<too long>";
    return out;
}

} // namespace

TEST(LogRotation, RotatedNames)
{
    EXPECT_EQ(Rotated("D:\\log\\Vorlin2_COM1.log", 2), "D:\\log\\Vorlin2_COM1_2.log");
    EXPECT_EQ(Rotated("D:\\log\\Vorlin2_COM1.log", 13), "D:\\log\\Vorlin2_COM1_13.log");
    EXPECT_EQ(Rotated("D:\\log\\a.b.txt", 2), "D:\\log\\a.b_2.log");
    EXPECT_EQ(Rotated("D:\\log\\plain", 2), "D:\\log\\plain_2.log");
    // A dot in a folder name is no extension.
    EXPECT_EQ(Rotated("D:\\log.d\\plain", 3), "D:\\log.d\\plain_3.log");
    EXPECT_EQ(Rotated("name.log", 4294967295u), "name_4294967295.log");
    // Read as Shift_JIS: the 0x5C inside ソ is no backslash, so the dot before it counts.
    EXPECT_EQ(Rotated("D:\\log\\a.ソ", 2), "D:\\log\\a_2.log");
    EXPECT_EQ(Rotated("D:\\表.d\\ソ", 2), "D:\\表.d\\ソ_2.log");
}

TEST(LogRotation, RotatedNameMustFit)
{
    std::string name(250, 'n');
    EXPECT_EQ(Rotated(name + ".log", 2, 260), name + "_2.log");
    EXPECT_EQ(Rotated(name + ".log", 1000, 260), name + "_1000.log");  // 259 bytes and the zero
    EXPECT_EQ(Rotated(name + ".log", 10000, 260), "<too long>");
    EXPECT_EQ(Rotated("x.log", 2, 7), "<too long>");
    EXPECT_EQ(Rotated("x.log", 2, 8), "x_2.log");
}

TEST(LogRotation, LimitBelowTheMinimumCountsAsTheMinimum)
{
    EXPECT_EQ(EffectiveLogSizeLimit(-5), 65536u);
    EXPECT_EQ(EffectiveLogSizeLimit(0), 65536u);
    EXPECT_EQ(EffectiveLogSizeLimit(65535), 65536u);
    EXPECT_EQ(EffectiveLogSizeLimit(65537), 65537u);
    EXPECT_EQ(EffectiveLogSizeLimit(0xFFFFFFFFLL), 0xFFFFFFFFu);
}

TEST(LogRotation, CheckOnAHandle)
{
    TempFolder dir;
    std::string name = dir.File("r.log");
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LogSettings s{};
    s.maxFileSize = 100;  // acts as 65536
    uint64_t size = 65535;
    uint32_t counter = 1;
    for (uint32_t type : {LOGTYPE_APPEND, LOGTYPE_CYCLIC, LOGTYPE_AUTO}) {
        s.logType = type;
        CheckLogRotation(&file, s, &size, name.c_str(), &counter);
        EXPECT_EQ(size, 65535u);
    }
    s.logType = LOGTYPE_APPEND;
    size = 65536;
    CheckLogRotation(&file, s, &size, name.c_str(), &counter);
    EXPECT_EQ(size, 65536u);
    s.logType = 7;  // unknown types grow like APPEND
    CheckLogRotation(&file, s, &size, name.c_str(), &counter);
    EXPECT_EQ(size, 65536u);

    DWORD n;
    WriteFile(file, "0123456789", 10, &n, nullptr);
    s.logType = LOGTYPE_CYCLIC;
    CheckLogRotation(&file, s, &size, name.c_str(), &counter);
    EXPECT_EQ(size, 0u);
    WriteFile(file, "ab", 2, &n, nullptr);
    EXPECT_EQ(ReadWholeFile(name), "ab23456789");

    s.logType = LOGTYPE_AUTO;
    size = 70000;
    WriteWholeFile(dir.File("r_2.log"), "exists");
    CheckLogRotation(&file, s, &size, name.c_str(), &counter);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(counter, 3u);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(FileIsClosedByOthers(name));
    WriteFile(file, "new", 3, &n, nullptr);
    EXPECT_EQ(ReadWholeFile(dir.File("r_3.log")), "new");
    EXPECT_EQ(ReadWholeFile(dir.File("r_2.log")), "exists");
    CloseHandle(file);

    // A file that cannot be made (its folder is gone) stops logging.
    file = CreateFileA((dir.File("r_3.log")).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    size = 70000;
    std::string gone = dir.File("missing\\r.log");
    CheckLogRotation(&file, s, &size, gone.c_str(), &counter);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(counter, 4u);
    CheckLogRotation(&file, s, &size, gone.c_str(), &counter);  // no file: nothing happens
    EXPECT_EQ(counter, 4u);
}
