// The state of a key as the user sees it, even while another program's
// window is in front (keyboard tracking flag of the application settings).
#pragma once
#include <windows.h>

SHORT GetTrackedKeyState(int virtualKey);
// The keyboard tracking flag of the application settings (the shell sets it).
void SetKeyboardTracking(bool on);

// Tests replace the keyboard: while a hook is set, GetTrackedKeyState asks
// it instead of the system. Null restores the real keyboard.
using KeyStateHook = SHORT (*)(int virtualKey);
void SetKeyStateHook(KeyStateHook hook);
