#include "automation/port_lock.h"

namespace {

constexpr uint32_t kNoOwner = 0xFFFFFFFF;
uint32_t g_locked = 0;
uint32_t g_owner = kNoOwner;

} // namespace

namespace PortLock {

bool Lock(uint32_t owner)
{
    if (!g_locked) {
        g_locked = 1;
        g_owner = owner;
        return true;
    }
    return g_owner == owner;
}

bool Unlock(uint32_t owner)
{
    if (!LockedByMe(owner)) return false;
    g_locked = 0;
    g_owner = kNoOwner;
    return true;
}

bool LockedByMe(uint32_t owner)
{
    return g_locked && g_owner == owner;
}

bool LockedByOther(uint32_t owner)
{
    return g_locked && g_owner != owner;
}

} // namespace PortLock
