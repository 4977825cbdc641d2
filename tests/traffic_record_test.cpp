// The two record forms byte for byte: they are read by other threads and
// by code that treats the data as strings, so the layout is a contract.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "logging/traffic_record.h"

namespace {

uint32_t U32At(const void* block, size_t offset)
{
    uint32_t v;
    memcpy(&v, static_cast<const uint8_t*>(block) + offset, 4);
    return v;
}

} // namespace

TEST(TrafficRecord, DisplayFormFieldOrderAndThreeZeroBytes)
{
    const uint8_t data[5] = {0x41, 0x42, 0x00, 0xFF, 0x43};
    TrafficRecord* r = MakeTrafficRecord(RECORD_RECEIVE, 77, data, 5);
    ASSERT_TRUE(r);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(r);
    EXPECT_EQ(U32At(raw, 0), 1u);   // kind
    EXPECT_EQ(U32At(raw, 4), 77u);  // number
    SYSTEMTIME now;
    GetLocalTime(&now);
    SYSTEMTIME t;
    memcpy(&t, raw + 8, sizeof t);  // time follows the number
    EXPECT_EQ(t.wYear, now.wYear);
    EXPECT_GE(t.wMonth, 1);
    EXPECT_EQ(U32At(raw, 24), 5u);  // length
    EXPECT_EQ(memcmp(raw + 28, data, 5), 0);
    EXPECT_EQ(raw[33], 0);
    EXPECT_EQ(raw[34], 0);
    EXPECT_EQ(raw[35], 0);
    free(r);
}

TEST(TrafficRecord, TerminatorsOfOddEmptyAndGeneratedRecords)
{
    // An odd length still reads as a wide string: the terminator completes
    // the last unit and adds a wide NUL.
    TrafficRecord* odd = MakeTrafficRecord(RECORD_SEND, 1, "A\0B", 3);
    ASSERT_TRUE(odd);
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(odd->data);
    EXPECT_EQ(wide[0], L'A');
    EXPECT_EQ(wide[1], L'B');
    EXPECT_EQ(wide[2], 0);
    free(odd);

    TrafficRecord* empty = MakeTrafficRecord(RECORD_DISCARD, 2, nullptr, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->length, 0u);
    EXPECT_EQ(memcmp(empty->data, "\0\0\0", 3), 0);
    free(empty);
    LogRecord* emptyLog = MakeLogRecord(LOGREC_TEXT, 3, nullptr, 0);
    ASSERT_TRUE(emptyLog);
    EXPECT_EQ(emptyLog->data[0], 0);
    free(emptyLog);

    // Generated records carry four zero bytes.
    TrafficRecord* generated = MakeTrafficRecord(RECORD_SEND, 900001, "\x01\x02", 2, 4);
    ASSERT_TRUE(generated);
    EXPECT_EQ(memcmp(generated->data + 2, "\0\0\0\0", 4), 0);
    free(generated);
}

TEST(TrafficRecord, LogFormFieldOrderAndOneZeroByte)
{
    LogRecord* r = MakeLogRecord(LOGREC_SEND_ERROR, 9, "xyz", 3);
    ASSERT_TRUE(r);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(r);
    SYSTEMTIME t;
    memcpy(&t, raw, sizeof t);  // time comes first in the log form
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(t.wYear, now.wYear);
    EXPECT_EQ(U32At(raw, 16), 4u);  // kind
    EXPECT_EQ(U32At(raw, 20), 9u);  // number
    EXPECT_EQ(U32At(raw, 24), 3u);  // length
    EXPECT_EQ(memcmp(raw + 28, "xyz", 4), 0);  // with its zero byte
    free(r);
}

TEST(TrafficRecord, PostingWithoutReceiversLosesOnlyThatRecord)
{
    // No log thread and no main window in this process: both posts return
    // quietly (the display form is freed, the log form never allocated) and
    // nothing lands in this thread's own queue.
    PostLogRecord(LOGREC_RECEIVE, 1, "abc", 3);
    PostTrafficRecord(nullptr, RECORD_RECEIVE, 1, 3, "abc");
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}
