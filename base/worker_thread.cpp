#include "base/worker_thread.h"

#include <new>

namespace {

// What the new thread gets: its procedure and a handle of its own to the
// ready event, which it closes when it ends (the starter may have stopped
// waiting and closed its own handle long before).
struct Launch {
    DWORD(WINAPI* proc)(void*);
    void* param;
    HANDLE ready;
};

thread_local HANDLE t_readyEvent = nullptr;

DWORD WINAPI Trampoline(void* raw)
{
    Launch launch = *static_cast<Launch*>(raw);
    delete static_cast<Launch*>(raw);
    t_readyEvent = launch.ready;
    DWORD result = launch.proc(launch.param);
    if (t_readyEvent) CloseHandle(t_readyEvent);
    t_readyEvent = nullptr;
    return result;
}

} // namespace

void MakeMessageQueue()
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

void SignalWorkerReady()
{
    if (t_readyEvent) SetEvent(t_readyEvent);
}

int WaitServingSentMessages(const HANDLE* handles, DWORD count, DWORD timeoutMs)
{
    DWORD startTick = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - startTick;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD wait = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_SENDMESSAGE);
        if (wait < WAIT_OBJECT_0 + count) return static_cast<int>(wait - WAIT_OBJECT_0);
        if (wait != WAIT_OBJECT_0 + count) return -1;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // serves sent messages only
    }
}

HANDLE StartWorkerThread(DWORD(WINAPI* proc)(void*), void* param, DWORD timeoutMs, DWORD* threadId)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ready) return nullptr;
    HANDLE theirs = nullptr;
    auto* launch = new (std::nothrow) Launch{proc, param, nullptr};
    if (!launch || !DuplicateHandle(GetCurrentProcess(), ready, GetCurrentProcess(), &theirs, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS)) {
        DWORD error = launch ? GetLastError() : ERROR_OUTOFMEMORY;
        delete launch;
        CloseHandle(ready);
        SetLastError(error);
        return nullptr;
    }
    launch->ready = theirs;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Trampoline, launch, 0, &id);
    if (!thread) {
        DWORD error = GetLastError();
        delete launch;
        CloseHandle(theirs);
        CloseHandle(ready);
        SetLastError(error);
        return nullptr;
    }
    if (threadId) *threadId = id;
    const HANDLE handles[2] = {ready, thread};
    WaitServingSentMessages(handles, 2, timeoutMs);
    CloseHandle(ready);
    return thread;
}
