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
    TrafficRecord* generated = MakeTrafficRecord(RECORD_SEND, 900001, "\x01\x02", 2, 4);  // four zero bytes
    LogRecord* log = MakeLogRecord(LOGREC_SEND_ERROR, 9, "xyz", 3);
    LogRecord* emptyLog = MakeLogRecord(LOGREC_TEXT, 3, nullptr, 0);
    ASSERT_TRUE(odd && empty && generated && log && emptyLog);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(odd->data)), L"AB");
    EXPECT_EQ(empty->length, 0u);
    EXPECT_EQ(memcmp(empty->data, "\0\0\0", 3), 0);
    EXPECT_EQ(memcmp(generated->data, "\x01\x02\0\0\0\0", 6), 0);
    EXPECT_EQ(memcmp(log->data, "xyz", 4), 0);
    EXPECT_EQ(emptyLog->data[0], 0);
    for (void* block : {static_cast<void*>(odd), static_cast<void*>(empty), static_cast<void*>(generated),
                        static_cast<void*>(log), static_cast<void*>(emptyLog)})
        free(block);
}

TEST(TrafficRecord, PostingWithoutReceiversLosesOnlyThatRecord)
{
    // No log thread and no main window in this process: both posts return
    // quietly (the display form is freed, the log form never allocated) and
    // nothing lands in this thread's own queue.
    PostLogRecord(LOGREC_RECEIVE, 1, "abc", 3);
    PostTrafficRecord(RECORD_RECEIVE, 1, 3, "abc");
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}
