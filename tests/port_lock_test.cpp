#include <gtest/gtest.h>

#include "automation/port_lock.h"

TEST(PortLock, OneOwnerAtATimeAndNotCounted)
{
    EXPECT_FALSE(PortLock::LockedByMe(0));
    EXPECT_TRUE(PortLock::Lock(7));
    EXPECT_TRUE(PortLock::Lock(7));          // again by the holder
    EXPECT_FALSE(PortLock::Lock(0));         // the user's commands are refused
    EXPECT_FALSE(PortLock::Unlock(0));       // and cannot release it
    EXPECT_TRUE(PortLock::LockedByMe(7));
    EXPECT_FALSE(PortLock::LockedByMe(0));
    EXPECT_TRUE(PortLock::Unlock(7));        // one unlock releases both locks
    EXPECT_FALSE(PortLock::LockedByMe(7));
    EXPECT_FALSE(PortLock::Unlock(7));
    EXPECT_TRUE(PortLock::Lock(0));
    EXPECT_TRUE(PortLock::Unlock(0));
}
