// Threads and ownership:
// - The log thread alone touches LogThreadState (file, size, name, settings,
//   rotation counter, writer buffers); it lives on the thread's stack.
// - g_logWindow is written by the log thread (once its window exists) and
//   read by every thread that posts records; g_thread and g_threadId belong
//   to the user-interface thread that starts and stops the log thread.
// - A LogRecord posted with 0x8140 belongs to the log thread, which frees it
//   written or not. The name copy sent with 0x8142 belongs to the log thread
//   once it has answered 0; otherwise the sender keeps (and frees) it.
// - g_openSerial counts OpenLogFile calls (user-interface thread only; the
//   log thread reads it while that thread waits in its send).
//
// Why closes carry a serial: CloseLogFile posts, OpenLogFile sends, and a
// thread serves sent messages before posted ones. A close still queued behind
// records when the user opens a file again would otherwise close the new file
// and leave logging off while the menus say it runs. So a posted close names
// the opening it means, and the thread ignores it once a later file is open.
// For the same reason an open first handles what was posted ahead of it (up
// to a mark OpenLogFile posts before it sends): records that came while
// logging was stopped belong to no file, not to the one a restart opens.
#include "logging/log_thread.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "logging/log_rotation.h"
#include "logging/log_writer.h"
#include "logging/traffic_record.h"
#include "base/catalogue.h"
#include "base/text.h"
#include "base/worker_thread.h"
#include "settings/settings_store.h"

namespace {

constexpr wchar_t kLogWindowClass[] = L"VORLIN2_LOG_WND_CLASS";
// Posted by OpenLogFile just before it sends the new file: what was posted
// before this mark belongs to the file that was open then (see OnOpenFile).
constexpr UINT WM_LOG_OPEN_MARK = 0x814F;  // beside 0x8140-0x8145, none of them
constexpr DWORD kWindowWaitMs = 3000;
constexpr DWORD kStopStepMs = 200;
// Posts that fail this many steps in a row mean nothing can reach the thread.
constexpr int kStopFailedPosts = 10;

struct LogThreadState {
    HANDLE file = INVALID_HANDLE_VALUE;
    uint64_t fileSize = 0;
    char fileName[kPathSize] = {};
    LogSettings settings{};
    uint32_t rotationCounter = 1;
    uint32_t fileSerial = 0;  // the OpenLogFile call that gave the current file
    bool windowGone = false;  // set by WM_DESTROY; later messages for it are not dispatched
    LogOutput output{WriteToLogFile, nullptr};
};

HANDLE g_thread;
DWORD g_threadId;
std::atomic<HWND> g_logWindow{nullptr};
std::atomic<bool> g_failWindowForTest{false};
std::atomic<uint32_t> g_openSerial{0};

void CloseCurrentFile(LogThreadState& state)
{
    if (state.file != INVALID_HANDLE_VALUE) CloseHandle(state.file);
    state.file = INVALID_HANDLE_VALUE;
    state.fileSize = 0;
}

void CheckRotation(LogThreadState& state)
{
    CheckLogRotation(&state.file, state.settings, &state.fileSize, state.fileName, &state.rotationCounter);
}

void OnRecord(LogThreadState& state, LogRecord* record)
{
    if (record) {
        if (state.file != INVALID_HANDLE_VALUE) {
            state.output.context = state.file;
            state.fileSize += WriteLogRecord(state.output, state.settings, *record);
        }
        free(record);
    }
    CheckRotation(state);
}

LRESULT OnSetFile(LogThreadState& state, HANDLE file, LPARAM lParam)
{
    if (file == INVALID_HANDLE_VALUE) {
        // lParam 0 closes whatever is open; a serial closes only that opening's file.
        uint32_t serial = static_cast<uint32_t>(lParam);
        if (serial == 0 || serial == state.fileSerial) CloseCurrentFile(state);
        return 0;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        DWORD error = GetLastError();
        return error ? error : ERROR_INVALID_HANDLE;  // the sender keeps the handle and the name
    }
    char* name = reinterpret_cast<char*>(lParam);
    CloseCurrentFile(state);
    state.file = file;
    state.fileSize = static_cast<uint64_t>(size.QuadPart);
    state.fileSerial = g_openSerial;
    if (name) {
        strncpy(state.fileName, name, sizeof state.fileName - 1);
        state.fileName[sizeof state.fileName - 1] = '\0';
        free(name);
    }
    return 0;
}

// An open is sent, and a thread serves sent messages before posted ones: the
// records and the close still queued ahead of the open's mark were posted
// while the earlier file (or none) was in use, so they are handled first, in
// their order; otherwise what arrived while logging was stopped would land
// in the file opened by the restart. A stop met on the way is kept for later.
LRESULT OnOpenFile(HWND hwnd, LogThreadState& state, HANDLE file, LPARAM name)
{
    MSG msg;
    bool stop = false;
    while (PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_LOG_OPEN_MARK) break;
        if (msg.message == WM_LOG_RECORD)
            OnRecord(state, reinterpret_cast<LogRecord*>(msg.lParam));
        else if (msg.message == WM_LOG_SET_FILE)
            OnSetFile(state, reinterpret_cast<HANDLE>(msg.wParam), msg.lParam);  // posted: a close
        else if (msg.message == WM_LOG_FLUSH && state.file != INVALID_HANDLE_VALUE)
            FlushFileBuffers(state.file);
        else if (msg.message == WM_LOG_STOP)
            stop = true;
    }
    if (stop) PostMessageW(hwnd, WM_LOG_STOP, 0, 0);
    return OnSetFile(state, file, name);
}

LRESULT CALLBACK LogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        if (g_failWindowForTest) return FALSE;
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* state = reinterpret_cast<LogThreadState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!state) return DefWindowProcW(hwnd, message, wParam, lParam);

    switch (message) {
    case WM_LOG_RECORD:
        OnRecord(*state, reinterpret_cast<LogRecord*>(lParam));
        return 0;
    case WM_LOG_STOP:
        DestroyWindow(hwnd);
        return 0;
    case WM_LOG_SET_FILE:
        if (reinterpret_cast<HANDLE>(wParam) != INVALID_HANDLE_VALUE)  // opens are always sent
            return OnOpenFile(hwnd, *state, reinterpret_cast<HANDLE>(wParam), lParam);
        return OnSetFile(*state, reinterpret_cast<HANDLE>(wParam), lParam);
    case WM_LOG_FLUSH:
        if (state->file != INVALID_HANDLE_VALUE) FlushFileBuffers(state->file);
        return 0;
    case WM_LOG_GET_SETTINGS:
        if (lParam) *reinterpret_cast<LogSettings*>(lParam) = state->settings;
        return 1;
    case WM_LOG_SET_SETTINGS:
        if (lParam) state->settings = *reinterpret_cast<const LogSettings*>(lParam);
        CheckRotation(*state);
        return 1;
    case WM_DESTROY:
        state->windowGone = true;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Records still queued for a window that is gone are freed, not leaked.
void FreeOrphanRecord(const MSG& msg)
{
    if (msg.message == WM_LOG_RECORD && msg.lParam) free(reinterpret_cast<LogRecord*>(msg.lParam));
}

DWORD WINAPI LogThreadMain(void*)
{
    LogThreadState state;
    LoadLogSettings(state.settings);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = LogWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kLogWindowClass;
    RegisterClassW(&wc);  // already registered by an earlier thread of this process is fine
    HWND window = CreateWindowExW(0, kLogWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, &state);
    if (!window) {
        // Nothing can address a thread without its window: end now, so that
        // shutdown does not wait for it.
        return 0;
    }
    g_logWindow = window;
    SignalWorkerReady();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd != window || state.windowGone)
            FreeOrphanRecord(msg);
        else
            DispatchMessageW(&msg);
    }
    while (PeekMessageW(&msg, nullptr, WM_LOG_RECORD, WM_LOG_RECORD, PM_REMOVE)) FreeOrphanRecord(msg);

    CloseCurrentFile(state);
    return 0;
}

// A send that tells a window that is gone (or a thread that died on it)
// from a real answer of 0.
bool SendToLogWindow(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    HWND window = g_logWindow;
    if (!window) return false;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, INFINITE, &answer)) return false;
    if (result) *result = static_cast<LRESULT>(answer);
    return true;
}

// Every folder on the path that does not exist yet, outermost first.
void CreateMissingFolders(const char* fileName)
{
    std::string path(fileName);
    // "C:\..." skips its root backslash; "\..." its first character.
    bool skipFirstBackslash = path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]));
    size_t start = (!path.empty() && path[0] == '\\') ? 1 : 0;
    for (size_t i = start; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        // A trail byte 0x5C (as in ソ or 表) is no separator.
        if (IsSjisLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c != '\\') continue;
        if (skipFirstBackslash) {
            skipFirstBackslash = false;
            continue;
        }
        std::wstring folder = SjisToWide(path.substr(0, i));
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!CreateDirectoryW(folder.c_str(), nullptr)) return;
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return;
        }
    }
}

} // namespace

bool StartLogThread(HWND owner)
{
    if (g_thread) {
        ShowSystemError(owner, kAppTitle, ERROR_ALREADY_INITIALIZED);
        return true;
    }
    g_logWindow = nullptr;  // a window of an earlier run is gone
    // Ready once its window exists; a thread that could not make one ends.
    g_thread = StartWorkerThread(LogThreadMain, nullptr, kWindowWaitMs, &g_threadId);
    if (!g_thread) ShowSystemError(owner, kAppTitle, GetLastError());
    return true;
}

void StopLogThread()
{
    if (!g_thread) return;
    int failedPosts = 0;
    for (;;) {
        // Without a window (never made, or not yet) the thread is asked to
        // quit directly; posting to window 0 would post to this thread.
        HWND window = g_logWindow;
        BOOL posted = window ? PostMessageW(window, WM_LOG_STOP, 0, 0) : PostThreadMessageW(g_threadId, WM_QUIT, 0, 0);
        failedPosts = posted ? 0 : failedPosts + 1;
        if (WaitForSingleObject(g_thread, kStopStepMs) != WAIT_TIMEOUT) break;
        if (failedPosts >= kStopFailedPosts) break;
    }
    CloseHandle(g_thread);
    g_thread = nullptr;
    g_threadId = 0;
}

HWND GetLogWindow() { return g_logWindow; }

BOOL OpenLogFile(HWND owner, const char* fileName)
{
    if (!g_logWindow) return FALSE;
    HANDLE file = INVALID_HANDLE_VALUE;
    char* nameCopy = fileName ? _strdup(fileName) : nullptr;
    if (nameCopy) {
        CreateMissingFolders(fileName);
        file = CreateFileSjis(fileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER zero{};
        SetFilePointerEx(file, zero, nullptr, FILE_END);
        // The serial the thread gives this file if it takes it; kept only then.
        const uint32_t previousSerial = g_openSerial;
        g_openSerial = previousSerial + 1 ? previousSerial + 1 : 1;  // 0 stays "any file"
        PostMessageW(g_logWindow, WM_LOG_OPEN_MARK, 0, 0);
        LRESULT result = -1;
        if (SendToLogWindow(WM_LOG_SET_FILE, reinterpret_cast<WPARAM>(file), reinterpret_cast<LPARAM>(nameCopy),
                            &result) &&
            result == 0)
            return TRUE;  // the thread owns the handle and the name now
        g_openSerial = previousSerial;
    }
    ShowMessage(owner, kAppTitle, MSG_LOG_FILE_FAILED, MB_OK, fileName ? fileName : "");
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    free(nameCopy);
    return FALSE;
}

void CloseLogFile()
{
    HWND window = g_logWindow;
    if (window)
        PostMessageW(window, WM_LOG_SET_FILE, reinterpret_cast<WPARAM>(INVALID_HANDLE_VALUE),
                     static_cast<LPARAM>(g_openSerial.load()));
}

void FlushLogFile()
{
    HWND window = g_logWindow;
    if (window) PostMessageW(window, WM_LOG_FLUSH, 0, 0);
}

BOOL GetLogSettings(LogSettings* settings)
{
    LRESULT result = 0;
    return SendToLogWindow(WM_LOG_GET_SETTINGS, 0, reinterpret_cast<LPARAM>(settings), &result) ? TRUE : FALSE;
}

BOOL SetLogSettings(const LogSettings* settings)
{
    LRESULT result = 0;
    return SendToLogWindow(WM_LOG_SET_SETTINGS, 0, reinterpret_cast<LPARAM>(settings), &result) ? TRUE : FALSE;
}

void SetLogWindowFailureForTest(bool fail) { g_failWindowForTest = fail; }
