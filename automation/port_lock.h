// The advisory lock on the port, shared by scripts (each Port object has its
// own identifier) and the user's connect and disconnect commands (owner 0).
// Not counted: one Unlock releases any number of Lock calls. Main thread only.
#pragma once
#include <cstdint>

namespace PortLock {

constexpr uint32_t kUserInterface = 0;

// Locks for `owner` when free or already its own; false when another holds it.
bool Lock(uint32_t owner);
// Unlocks when `owner` holds it; false otherwise.
bool Unlock(uint32_t owner);
bool LockedByMe(uint32_t owner);
// True when the port is locked by anyone but `owner`.
bool LockedByOther(uint32_t owner);

} // namespace PortLock
