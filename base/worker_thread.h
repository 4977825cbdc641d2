// Starting a thread that serves a message queue, and knowing when it can
// be posted to.
#pragma once
#include <windows.h>

// Gives the calling thread its message queue (a thread gets one at its first
// message call). A worker calls it before it says it is ready, so posts to
// it never fail for want of a queue.
void MakeMessageQueue();

// Starts `proc(param)` and waits until the thread calls SignalWorkerReady,
// ends, or `timeoutMs` passes; messages sent to the waiting thread are served
// meanwhile. The thread is started even when it never says it is ready (its
// handle is returned all the same); null with the last error set when it
// could not be created. `threadId` may be null.
HANDLE StartWorkerThread(DWORD(WINAPI* proc)(void*), void* param, DWORD timeoutMs, DWORD* threadId);
// Called by the worker started with StartWorkerThread, from its own thread,
// once it has made its queue (and whatever else must exist before anyone
// talks to it).
void SignalWorkerReady();

// Waits for one of the handles, up to timeoutMs, while serving the messages
// other threads send to this one (so a thread blocked in SendMessage to this
// thread cannot deadlock the wait). The index of the signalled handle, or -1
// on timeout or failure.
int WaitServingSentMessages(const HANDLE* handles, DWORD count, DWORD timeoutMs);
