#include "logview/key_state.h"

namespace {
KeyStateHook g_keyStateHook = nullptr;
bool g_trackKeyboard = false;
}

void SetKeyStateHook(KeyStateHook hook) { g_keyStateHook = hook; }
void SetKeyboardTracking(bool on) { g_trackKeyboard = on; }

SHORT GetTrackedKeyState(int virtualKey)
{
    if (g_keyStateHook) return g_keyStateHook(virtualKey);
    // GetKeyState answers from this thread's input state, which misses
    // toggles made while another thread's window had the focus. Sharing
    // that thread's input state for one read gives what the user sees.
    if (g_trackKeyboard) {
        HWND front = GetForegroundWindow();
        DWORD frontThread = front ? GetWindowThreadProcessId(front, nullptr) : 0;
        DWORD self = GetCurrentThreadId();
        if (frontThread && frontThread != self && AttachThreadInput(self, frontThread, TRUE)) {
            SHORT state = GetKeyState(virtualKey);
            AttachThreadInput(self, frontThread, FALSE);
            return state;
        }
    }
    return GetKeyState(virtualKey);
}
