// The one way tests wait: poll what is expected until a deadline. No test sleeps for a fixed time
// to let something happen; to show that something does NOT happen, a test waits for a later event
// ordered after it, or says why a bounded window is the only witness.
#pragma once
#include <windows.h>

#include <functional>

// Polls `condition` until it holds (true) or `timeoutMs` has passed (false). With `pump`, this
// thread's messages are dispatched meanwhile, so its windows keep answering.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000, bool pump = false)
{
    for (const ULONGLONG start = GetTickCount64();;) {
        for (MSG msg; pump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            TranslateMessage(&msg), DispatchMessageA(&msg);
        if (condition()) return true;
        if (GetTickCount64() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, pump ? QS_ALLINPUT : 0);
    }
}

// WaitUntil on a thread that owns windows.
inline bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000)
{
    return WaitUntil(condition, timeoutMs, true);
}
