// The zero bytes behind a record's data, which other threads read as a narrow or
// wide string (the fields themselves are checked where they are declared and by
// every test that reads records).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/traffic_record.h"

TEST(TrafficRecord, DataEndsInZeroBytesEvenAtAnOddOrEmptyLength)
{
    TrafficRecord* odd = MakeTrafficRecord(RECORD_SEND, 1, "A\0B", 3);  // the last unit is completed, then a wide NUL
    TrafficRecord* empty = MakeTrafficRecord(RECORD_DISCARD, 2, nullptr, 0);
    LogRecord* log = MakeLogRecord(LOGREC_SEND_ERROR, 9, "xyz", 3);
    ASSERT_TRUE(odd && empty && log);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(odd->data)), L"AB");
    EXPECT_EQ(memcmp(empty->data, "\0\0\0", 3), 0);
    EXPECT_EQ(memcmp(log->data, "xyz", 4), 0);
    free(odd), free(empty), free(log);
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
