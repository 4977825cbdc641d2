// The process tunnel: a manager thread and a writer thread that join this
// instance to up to 16 peers (a child it started, instances it attached to
// or that attached to it, its parent) through pairs of anonymous pipes.
//
// Ownership and threads:
// - The manager owns the peer table: each peer's process handle and read
//   end. It is the only thread that reads pipes or changes the table, and it
//   sends what peers send out of the port (SubmitSend, asynchronous).
// - The writer owns the write ends: the manager hands each one over with
//   WM_TUNNEL_ADD_END and from then on only the writer writes or closes it
//   (WM_TUNNEL_REMOVE_END, or at its end). A handle the post could not hand
//   over stays the manager's.
// - A relayed block (WM_TUNNEL_LINES) is a heap copy that belongs to the
//   writer once posted; a failed post frees it at the sender.
// - Count, child and attach requests carry an event and an answer slot on the
//   sender's stack. The sender waits for the event or for the manager's end,
//   never after a failed post; the manager answers whatever is still queued
//   when it ends, so no sender is left waiting.
// - Waits of the main thread serve sent messages: the manager may be inside
//   SubmitSend, which is a SendMessage to the main window.
#include "tunnel/tunnel.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/catalogue.h"
#include "base/owners.h"
#include "base/worker_thread.h"
#include "serial/engine.h"
#include "tunnel/tunnel_lines.h"

namespace {

// Thread messages of the tunnel (WM_VORLIN_STOP ends both threads).
constexpr UINT WM_TUNNEL_COUNT = 0x7445;       // manager: wParam event, lParam uint32_t* count
constexpr UINT WM_TUNNEL_LINES = 0x7447;       // writer: wParam byte count, lParam heap copy
constexpr UINT WM_TUNNEL_RELAY = 0x744A;       // manager: wParam relay flag
constexpr UINT WM_TUNNEL_START_CHILD = 0x744F; // manager: wParam event, lParam DWORD* result
constexpr UINT WM_TUNNEL_ADD_PEER = 0x7450;    // manager: wParam event, lParam AddPeerRequest*
constexpr UINT WM_TUNNEL_ADD_END = 0x7459;     // writer: lParam write end
constexpr UINT WM_TUNNEL_REMOVE_END = 0x745A;  // writer: lParam write end

constexpr DWORD kPipeBytes = 8192;
constexpr DWORD kReadyWaitMs = 2000;
constexpr DWORD kStopPollMs = 200;
constexpr DWORD kWriterEndWaitMs = 1000;
// Pipes cannot be waited on: a pass polls them. While lines keep coming the
// next pass follows at once; when they stop, the pause doubles up to this.
constexpr DWORD kIdlePassMs = 400;
// How long a child waits for its parent's "PID," line.
constexpr DWORD kParentLineWaitMs = 5000;
constexpr DWORD kParentLinePollMs = 50;
constexpr DWORD kProcessAccess = SYNCHRONIZE | PROCESS_DUP_HANDLE;
constexpr DWORD kAttachAnswerMs = 30000;

struct Peer {
    DWORD processId;
    HANDLE process;
    HANDLE readEnd;
    HANDLE writeEnd;
};

struct AddPeerRequest {
    Peer peer;
    bool added;
};

void ClosePeer(const Peer& peer)
{
    for (HANDLE h : {peer.process, peer.readEnd, peer.writeEnd})
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// Set and cleared by the main thread; read by the engine's reader thread too.
// The second handle to the manager is what senders on other threads wait on:
// it stays open until the next StartTunnel, so a sender that read it just
// before StopTunnel never waits on a closed (or reused) handle.
struct TunnelThreads {
    HANDLE manager = nullptr;
    HANDLE writer = nullptr;
    std::atomic<DWORD> managerId{0};
    std::atomic<DWORD> writerId{0};
    std::atomic<HANDLE> managerEnd{nullptr};
};

TunnelThreads g_threads;

// --- writer thread ----------------------------------------------------------

struct Writer {
    HANDLE ends[kMaxTunnelPeers];
    DWORD count;
    char line[kTunnelMaxLine];
};

bool WriteAll(HANDLE pipe, const char* bytes, size_t count)
{
    while (count) {
        DWORD written = 0;
        if (!WriteFile(pipe, bytes, static_cast<DWORD>(count), &written, nullptr) || !written) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

// Every peer gets every piece, in list order; a peer whose pipe broke is
// skipped (the manager removes it when its process ends).
void WriteLines(Writer& w, const uint8_t* bytes, size_t count)
{
    for (size_t done = 0, piece = 0; done < count; done += piece) {
        size_t length = FormatDataLine(bytes + done, count - done, &piece, w.line);
        for (DWORD i = 0; i < w.count; ++i) WriteAll(w.ends[i], w.line, length);
    }
}

void AddEnd(Writer& w, HANDLE end)
{
    if (w.count < kMaxTunnelPeers)
        w.ends[w.count++] = end;
    else
        CloseHandle(end);  // handed over all the same: it is ours to close
}

void RemoveEnd(Writer& w, HANDLE end)
{
    for (DWORD i = 0; i < w.count; ++i) {
        if (w.ends[i] != end) continue;
        CloseHandle(end);
        memmove(&w.ends[i], &w.ends[i + 1], (w.count - i - 1) * sizeof(HANDLE));
        --w.count;
        return;
    }
}

// Whatever was handed over and not yet taken is still ours to free.
void DropQueuedWriterMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_TUNNEL_LINES) free(reinterpret_cast<void*>(msg.lParam));
        if (msg.message == WM_TUNNEL_ADD_END) CloseHandle(reinterpret_cast<HANDLE>(msg.lParam));
    }
}

DWORD WINAPI WriterThread(void*)
{
    MakeMessageQueue();
    auto* w = static_cast<Writer*>(calloc(1, sizeof(Writer)));
    SignalWorkerReady();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_VORLIN_STOP) {
        switch (msg.message) {
        case WM_TUNNEL_LINES: {
            HeapBlock<uint8_t> copy(reinterpret_cast<uint8_t*>(msg.lParam));
            if (w && copy) WriteLines(*w, copy.get(), msg.wParam);
            break;
        }
        case WM_TUNNEL_ADD_END:
            if (w) AddEnd(*w, reinterpret_cast<HANDLE>(msg.lParam));
            else CloseHandle(reinterpret_cast<HANDLE>(msg.lParam));
            break;
        case WM_TUNNEL_REMOVE_END:
            if (w) RemoveEnd(*w, reinterpret_cast<HANDLE>(msg.lParam));
            break;
        default: break;
        }
    }
    if (w)
        for (DWORD i = 0; i < w->count; ++i) CloseHandle(w->ends[i]);
    free(w);
    DropQueuedWriterMessages();
    return 0;
}

// --- manager thread ---------------------------------------------------------

struct Manager {
    Peer peers[kMaxTunnelPeers];
    HANDLE processes[kMaxTunnelPeers];  // the peers' process handles, in table order
    DWORD count;
    bool relay;
    char buffer[kTunnelBufferBytes];
    uint8_t bytes[kTunnelBufferBytes / 2];
};

void RebuildHandles(Manager& m)
{
    for (DWORD i = 0; i < m.count; ++i) m.processes[i] = m.peers[i].process;
}

// Adds the peer and hands its write end to the writer; a full table closes
// the peer's handles instead.
bool AddPeer(Manager& m, Peer peer)
{
    if (m.count >= kMaxTunnelPeers) {
        ClosePeer(peer);
        return false;
    }
    if (!PostThreadMessageW(g_threads.writerId, WM_TUNNEL_ADD_END, 0, reinterpret_cast<LPARAM>(peer.writeEnd))) {
        CloseHandle(peer.writeEnd);  // not handed over: lines to this peer cannot be written
        peer.writeEnd = nullptr;
    }
    m.peers[m.count++] = peer;
    RebuildHandles(m);
    return true;
}

// The write end is the writer's: it is only named in the removal.
void RemovePeer(Manager& m, DWORD index)
{
    Peer& peer = m.peers[index];
    if (peer.writeEnd)
        PostThreadMessageW(g_threads.writerId, WM_TUNNEL_REMOVE_END, 0, reinterpret_cast<LPARAM>(peer.writeEnd));
    CloseHandle(peer.readEnd);
    CloseHandle(peer.process);
    memmove(&m.peers[index], &m.peers[index + 1], (m.count - index - 1) * sizeof(Peer));
    --m.count;
    RebuildHandles(m);
}

void RemoveEndedPeers(Manager& m)
{
    for (DWORD i = m.count; i-- > 0;)
        if (WaitForSingleObject(m.peers[i].process, 0) == WAIT_OBJECT_0) RemovePeer(m, i);
}

// Takes the complete lines waiting in the pipe (firstOnly: just the first)
// into `buffer`; the result is their length. An incomplete line stays in the
// pipe, unless it fills the whole buffer: it can never end in one, so it is
// read and dropped.
DWORD ReadLines(HANDLE pipe, char* buffer, DWORD size, bool firstOnly)
{
    DWORD peeked = 0;
    if (!PeekNamedPipe(pipe, buffer, size, &peeked, nullptr, nullptr) || !peeked) return 0;
    size_t take = CompleteLinesLength(buffer, peeked, firstOnly);
    bool drop = take == 0;
    if (drop) {
        if (peeked < size) return 0;
        take = peeked;
    }
    DWORD done = 0;
    while (done < take) {
        DWORD got = 0;
        if (!ReadFile(pipe, buffer + done, static_cast<DWORD>(take - done), &got, nullptr) || !got) return 0;
        done += got;
    }
    return drop ? 0 : done;
}

DWORD NextPause(bool linesCame, DWORD pauseMs)
{
    if (linesCame) return 0;
    if (!pauseMs) return 1;
    return pauseMs * 2 < kIdlePassMs ? pauseMs * 2 : kIdlePassMs;
}

void SendLine(Manager& m, const char* line, size_t length)
{
    size_t count = DecodeDataLine(line, length, m.bytes);
    if (count) SubmitSend(m.bytes, static_cast<uint32_t>(count), true);
}

// One pass over the peers in table order; true when any line came. Lines
// that come while the port is closed are read and dropped.
bool ReadPeers(Manager& m)
{
    bool any = false;
    for (DWORD i = 0; i < m.count; ++i) {
        DWORD length = ReadLines(m.peers[i].readEnd, m.buffer, sizeof m.buffer, false);
        if (!length) continue;
        any = true;
        if (!m.relay) continue;
        for (DWORD start = 0; start < length;) {
            const char* feed = static_cast<const char*>(memchr(m.buffer + start, '\n', length - start));
            DWORD end = static_cast<DWORD>(feed - m.buffer) + 1;
            SendLine(m, m.buffer + start, end - start);
            start = end;
        }
    }
    return any;
}

// A child: start this program again with "/tunnel" on the ends of two
// pipes; the child's ends are inherited, ours are not. 0 or the Win32 error.
DWORD StartChild(Manager& m)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (!length) return GetLastError();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring commandLine = L"\"" + path + L"\" /tunnel";

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE ours = nullptr, childOut = nullptr, childIn = nullptr, theirs = nullptr;
    if (!CreatePipe(&ours, &childOut, &inherit, kPipeBytes)) return GetLastError();
    UniqueHandle readEnd(ours), childWrite(childOut);
    if (!CreatePipe(&childIn, &theirs, &inherit, kPipeBytes)) return GetLastError();
    UniqueHandle childRead(childIn), writeEnd(theirs);
    if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(writeEnd.get(), HANDLE_FLAG_INHERIT, 0))
        return GetLastError();

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    si.hStdInput = childRead.get();
    si.hStdOutput = childWrite.get();
    si.hStdError = childWrite.get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    CloseHandle(pi.hThread);
    UniqueHandle process(pi.hProcess);

    char line[16];
    wsprintfA(line, "PID,%08x\r\n", GetCurrentProcessId());
    if (!WriteAll(writeEnd.get(), line, strlen(line))) return GetLastError();
    AddPeer(m, Peer{pi.dwProcessId, process.release(), readEnd.release(), writeEnd.release()});
    return 0;
}

bool StopIsQueued()
{
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_VORLIN_STOP, WM_VORLIN_STOP, PM_NOREMOVE) != 0;
}

// Started with "/tunnel" by another instance: the parent is the first peer,
// on our standard input and output, once its "PID," line has told who it is.
void JoinParent(Manager& m)
{
    if (!HasTunnelArgument(GetCommandLineW())) return;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    HANDLE input = si.hStdInput, output = si.hStdOutput;
    if (!(si.dwFlags & STARTF_USESTDHANDLES) || GetFileType(input) != FILE_TYPE_PIPE ||
        GetFileType(output) != FILE_TYPE_PIPE)
        return;
    char line[512];
    DWORD length = 0;
    for (DWORD waited = 0; waited < kParentLineWaitMs && !StopIsQueued(); waited += kParentLinePollMs) {
        if ((length = ReadLines(input, line, sizeof line, true)) != 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kParentLinePollMs, QS_POSTMESSAGE);
    }
    DWORD parentId = 0;
    if (!length || !ParsePidLine(line, length, &parentId)) return;
    HANDLE parent = OpenProcess(kProcessAccess, FALSE, parentId);
    if (!parent) return;
    // A child this instance starts must not inherit its own parent's pipes.
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    AddPeer(m, Peer{parentId, parent, input, output});
}

void SetDone(WPARAM event) { SetEvent(reinterpret_cast<HANDLE>(event)); }

// False when the thread is to end.
bool ServeMessages(Manager& m)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        switch (msg.message) {
        case WM_VORLIN_STOP: return false;
        case WM_TUNNEL_COUNT:
            *reinterpret_cast<uint32_t*>(msg.lParam) = m.count;
            SetDone(msg.wParam);
            break;
        case WM_TUNNEL_RELAY: m.relay = msg.wParam != 0; break;
        case WM_TUNNEL_START_CHILD:
            *reinterpret_cast<DWORD*>(msg.lParam) = m.count >= kMaxTunnelPeers ? ERROR_NO_MORE_FILES : StartChild(m);
            SetDone(msg.wParam);
            break;
        case WM_TUNNEL_ADD_PEER: {
            auto* request = reinterpret_cast<AddPeerRequest*>(msg.lParam);
            request->added = AddPeer(m, request->peer);
            SetDone(msg.wParam);
            break;
        }
        default: break;
        }
    }
    return true;
}

// Requests still queued when the manager ends are answered as refused, so
// that their senders (the engine's reader among them) stop waiting.
void RefuseQueuedRequests()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        switch (msg.message) {
        case WM_TUNNEL_COUNT: *reinterpret_cast<uint32_t*>(msg.lParam) = 0; break;
        case WM_TUNNEL_START_CHILD: *reinterpret_cast<DWORD*>(msg.lParam) = ERROR_OPERATION_ABORTED; break;
        case WM_TUNNEL_ADD_PEER: {
            auto* request = reinterpret_cast<AddPeerRequest*>(msg.lParam);
            ClosePeer(request->peer);
            request->added = false;
            break;
        }
        default: continue;
        }
        SetDone(msg.wParam);
    }
}

DWORD WINAPI ManagerThread(void*)
{
    MakeMessageQueue();
    auto* m = static_cast<Manager*>(calloc(1, sizeof(Manager)));
    SignalWorkerReady();
    if (!m) {
        while (!StopIsQueued()) WaitMessage();
        RefuseQueuedRequests();
        return 0;
    }
    JoinParent(*m);
    DWORD pauseMs = kIdlePassMs;
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjectsEx(m->count, m->processes, m->count ? pauseMs : INFINITE, QS_ALLINPUT,
                                                 MWMO_INPUTAVAILABLE);
        if (wait < WAIT_OBJECT_0 + m->count) RemoveEndedPeers(*m);
        if (m->count) pauseMs = NextPause(ReadPeers(*m), pauseMs);
        if (!ServeMessages(*m)) break;
    }
    for (DWORD i = 0; i < m->count; ++i) {
        CloseHandle(m->peers[i].readEnd);
        CloseHandle(m->peers[i].process);
    }
    free(m);
    RefuseQueuedRequests();
    return 0;
}

// --- requests from other threads ---------------------------------------------

// Posts a request that the manager answers by setting `event`, and waits for
// the answer or the manager's end. True when it was answered.
bool AskManager(UINT message, HANDLE event, void* answer)
{
    DWORD manager = g_threads.managerId;
    HANDLE managerEnd = g_threads.managerEnd;
    if (!manager || !PostThreadMessageW(manager, message, reinterpret_cast<WPARAM>(event),
                                        reinterpret_cast<LPARAM>(answer)))
        return false;
    const HANDLE handles[2] = {event, managerEnd};
    WaitServingSentMessages(handles, managerEnd ? 2 : 1, INFINITE);
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Hands a prepared peer to the manager. On any refusal the peer's handles
// are closed: by the manager when it answered, here when it could not.
bool HandPeerToManager(const Peer& peer)
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    AddPeerRequest request{peer, false};
    if (event && AskManager(WM_TUNNEL_ADD_PEER, event.get(), &request)) return request.added;
    ClosePeer(peer);
    return false;
}

bool TableIsFull(HWND owner)
{
    uint32_t count = 0;
    QueryTunnelPeerCount(&count);
    if (count < kMaxTunnelPeers) return false;
    ShowMessage(owner, kAppTitle, MSG_TUNNEL_FULL, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

bool IsInstanceWindow(HWND hwnd)
{
    wchar_t name[64] = L"";
    return hwnd && GetClassNameW(hwnd, name, 64) && wcscmp(name, kInstanceWindowClass) == 0;
}

bool IsPipe(HANDLE handle) { return handle && GetFileType(handle) == FILE_TYPE_PIPE; }

void ReportFailure(HWND owner, DWORD error)
{
    if (error) ShowSystemError(owner, kAppTitle, error);
}

} // namespace

void StartTunnel(void*)
{
    if (g_threads.manager || g_threads.writer) return;
    if (HANDLE previous = g_threads.managerEnd.exchange(nullptr)) CloseHandle(previous);
    DWORD id = 0;
    g_threads.writer = StartWorkerThread(WriterThread, nullptr, kReadyWaitMs, &id);
    if (!g_threads.writer) return;
    g_threads.writerId = id;
    g_threads.manager = StartWorkerThread(ManagerThread, nullptr, kReadyWaitMs, &id);
    if (!g_threads.manager) return;
    HANDLE end = nullptr;
    DuplicateHandle(GetCurrentProcess(), g_threads.manager, GetCurrentProcess(), &end, SYNCHRONIZE, FALSE, 0);
    g_threads.managerEnd = end;
    g_threads.managerId = id;
}

void StopTunnel()
{
    if (g_threads.manager) {
        do {
            PostThreadMessageW(g_threads.managerId, WM_VORLIN_STOP, 0, 0);
        } while (WaitServingSentMessages(&g_threads.manager, 1, kStopPollMs) != 0);
        g_threads.managerId = 0;
        CloseHandle(g_threads.manager);
        g_threads.manager = nullptr;
    }
    if (g_threads.writer) {
        // A writer blocked on the full pipe of a peer that no longer reads is
        // left to the end of the process rather than waited for.
        PostThreadMessageW(g_threads.writerId, WM_VORLIN_STOP, 0, 0);
        WaitServingSentMessages(&g_threads.writer, 1, kWriterEndWaitMs);
        g_threads.writerId = 0;
        CloseHandle(g_threads.writer);
        g_threads.writer = nullptr;
    }
}

void SetTunnelRelay(BOOL relay)
{
    if (DWORD manager = g_threads.managerId) PostThreadMessageW(manager, WM_TUNNEL_RELAY, relay ? 1 : 0, 0);
}

DWORD QueryTunnelPeerCount(uint32_t* count)
{
    *count = 0;
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return GetLastError();
    uint32_t answer = 0;
    if (AskManager(WM_TUNNEL_COUNT, event.get(), &answer)) *count = answer;
    return 0;
}

void RelayReceivedBytes(const void* bytes, uint32_t count)
{
    DWORD writer = g_threads.writerId;
    if (!writer || !g_threads.managerId || !count) return;
    uint32_t peers = 0;
    if (QueryTunnelPeerCount(&peers) != 0 || !peers) return;
    void* copy = malloc(count);
    if (!copy) return;  // the block is dropped for the peers only
    memcpy(copy, bytes, count);
    // From here the copy is the writer's.
    if (!PostThreadMessageW(writer, WM_TUNNEL_LINES, count, reinterpret_cast<LPARAM>(copy))) free(copy);
}

bool StartChildPeer(HWND owner)
{
    if (TableIsFull(owner)) return false;
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        ReportFailure(owner, GetLastError());
        return false;
    }
    DWORD result = ERROR_OPERATION_ABORTED;
    if (!AskManager(WM_TUNNEL_START_CHILD, event.get(), &result)) result = ERROR_OPERATION_ABORTED;
    if (result == ERROR_NO_MORE_FILES)
        ShowMessage(owner, kAppTitle, MSG_TUNNEL_FULL, MB_OK | MB_ICONEXCLAMATION);
    else
        ReportFailure(owner, result);
    return result == 0;
}

LRESULT AcceptAttachRequest(HWND, WPARAM wParam, LPARAM lParam)
{
    auto sender = reinterpret_cast<HWND>(wParam);
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!IsInstanceWindow(sender) || !data || data->cbData != sizeof(TunnelPeer) || !data->lpData) return 0;
    TunnelPeer payload;
    memcpy(&payload, data->lpData, sizeof payload);
    // Only the sender's own process may hand us handles, and only pipe ends
    // are taken: a forged request names nothing we would use or close.
    DWORD senderId = 0;
    GetWindowThreadProcessId(sender, &senderId);
    if (payload.processId != senderId || senderId == GetCurrentProcessId()) return 0;
    Peer peer{payload.processId, nullptr, ULongToHandle(payload.readEnd), ULongToHandle(payload.writeEnd)};
    if (!IsPipe(peer.readEnd) || !IsPipe(peer.writeEnd) || peer.readEnd == peer.writeEnd) return 0;

    uint32_t count = kMaxTunnelPeers;
    if (QueryTunnelPeerCount(&count) == 0 && count < kMaxTunnelPeers) {
        peer.process = OpenProcess(kProcessAccess, FALSE, peer.processId);
        if (peer.process) return HandPeerToManager(peer) ? 1 : 0;
    }
    ClosePeer(peer);
    return 0;
}

bool AttachToInstance(HWND owner, HWND target)
{
    // The window chosen may have closed, and its handle gone to another
    // program's window, while the dialog was open.
    if (!IsInstanceWindow(target)) return false;
    if (TableIsFull(owner)) return false;
    DWORD targetId = 0;
    GetWindowThreadProcessId(target, &targetId);
    UniqueHandle process(OpenProcess(kProcessAccess, FALSE, targetId));
    if (!process) {
        ReportFailure(owner, GetLastError());
        return false;
    }
    // Pipe A carries the target's lines to us, pipe B ours to the target.
    HANDLE aRead = nullptr, aWrite = nullptr, bRead = nullptr, bWrite = nullptr;
    if (!CreatePipe(&aRead, &aWrite, nullptr, kPipeBytes)) {
        ReportFailure(owner, GetLastError());
        return false;
    }
    UniqueHandle readEnd(aRead);
    if (!CreatePipe(&bRead, &bWrite, nullptr, kPipeBytes)) {
        DWORD error = GetLastError();
        CloseHandle(aWrite);
        ReportFailure(owner, error);
        return false;
    }
    UniqueHandle writeEnd(bWrite);
    HANDLE theirWrite = nullptr, theirRead = nullptr;
    constexpr DWORD kMove = DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE;
    BOOL moved = DuplicateHandle(GetCurrentProcess(), aWrite, process.get(), &theirWrite, 0, FALSE, kMove);
    moved = DuplicateHandle(GetCurrentProcess(), bRead, process.get(), &theirRead, 0, FALSE, kMove) && moved;
    if (!moved) {
        ReportFailure(owner, GetLastError());
        return false;
    }
    TunnelPeer payload{GetCurrentProcessId(), 0, HandleToULong(theirRead), HandleToULong(theirWrite)};
    COPYDATASTRUCT data{0, sizeof payload, &payload};
    DWORD_PTR accepted = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(owner), reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, kAttachAnswerMs, &accepted) ||
        !accepted) {
        // A refusing instance has closed the ends it was given.
        ReportFailure(owner, GetLastError());
        return false;
    }
    if (HandPeerToManager(Peer{targetId, process.release(), readEnd.release(), writeEnd.release()})) return true;
    ShowMessage(owner, kAppTitle, MSG_TUNNEL_FULL, MB_OK | MB_ICONEXCLAMATION);
    return false;
}
