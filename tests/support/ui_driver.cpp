#include "tests/support/ui_driver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::wstring Widen(const std::string& text)
{
    int n = MultiByteToWideChar(932, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(932, 0, text.c_str(), -1, out.data(), n);
    return out;
}

} // namespace


bool WriteTextFile(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

bool WriteLongPathFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW((L"\\\\?\\" + Widen(path)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

bool DeleteLongPathFile(const std::string& path)
{
    return DeleteFileW((L"\\\\?\\" + Widen(path)).c_str()) != FALSE;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool WaitWithoutPumping(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

namespace {

struct DialogSearch {
    const wchar_t* title;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    wchar_t cls[32];
    if (hwnd == search->except || !IsWindowVisible(hwnd)) return TRUE;
    if (!GetClassNameW(hwnd, cls, 32) || wcscmp(cls, L"#32770") != 0) return TRUE;
    if (search->title && WindowTextW(hwnd) != search->title) return TRUE;
    search->found = hwnd;
    return FALSE;
}

} // namespace

HWND FindThreadDialog(DWORD threadId, const wchar_t* title, HWND except)
{
    DialogSearch search{title, except, nullptr};
    EnumThreadWindows(threadId, MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForThreadDialog(DWORD threadId, const wchar_t* title, DWORD timeoutMs, HWND except)
{
    HWND found = nullptr;
    WaitWithoutPumping([&] { return (found = FindThreadDialog(threadId, title, except)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring WindowTextW(HWND hwnd)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(hwnd, text, 1024);
    return text;
}

std::wstring MessageBoxText(HWND box) { return WindowTextW(GetDlgItem(box, 0xFFFF)); }

UserThread::UserThread(std::function<void()> script) : thread_(std::move(script)) {}
UserThread::~UserThread() { join(); }
void UserThread::join()
{
    if (thread_.joinable()) thread_.join();
}

void ClickDialogButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ChooseComboItem(HWND dialog, int id, int index)
{
    HWND combo = GetDlgItem(dialog, id);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void TypeText(HWND control, const char* text)
{
    for (const char* p = text; *p; ++p) SendMessageW(control, WM_CHAR, static_cast<unsigned char>(*p), 1);
}

std::string BuildFolderFile(const char* name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string exe(path, n);
    size_t slash = exe.find_last_of('\\');
    std::string folder = exe.substr(0, slash);  // <build>\tests
    slash = folder.find_last_of('\\');
    return folder.substr(0, slash) + "\\" + name;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBig(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    PutBig(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig(out, Crc32(body.data(), body.size()));
}

// A PNG of stored (uncompressed) deflate blocks: plain, and needs no library.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + static_cast<ptrdiff_t>(y) * width * 3,
                   rgb.begin() + static_cast<ptrdiff_t>(y + 1) * width * 3);
    }
    std::vector<uint8_t> z{0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig(z, (b << 16) | a);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBig(header, static_cast<uint32_t>(width));
    PutBig(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

} // namespace

WindowPicture CaptureWindow(HWND hwnd)
{
    WindowPicture picture;
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return picture;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return picture;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // Wine's PrintWindow leaves the controls out. The window's own DC reads
    // what the window drew, even where other windows (of tests running
    // beside this one on the same display) lie over it.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    HDC window = GetWindowDC(hwnd);
    BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    GdiFlush();
    int stride = (w * 3 + 3) & ~3;
    picture.width = w;
    picture.height = h;
    picture.rgb.resize(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = static_cast<uint8_t*>(bits) + y * stride + x * 3;
            uint8_t* q = &picture.rgb[(static_cast<size_t>(y) * w + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

bool SavePicturePng(const WindowPicture& picture, const std::string& path)
{
    if (picture.rgb.empty()) return false;
    std::vector<uint8_t> png = EncodePng(picture.width, picture.height, picture.rgb);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

bool SaveWindowPng(HWND hwnd, const std::string& path) { return SavePicturePng(CaptureWindow(hwnd), path); }

#include "logview/log_view.h"
#include "shell/app.h"
#include "shell/main_window.h"
#include "shell/shell.h"

HWND CreateTestMainWindow(bool messageBoxes)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    InitShellState(instance, false);
    if (messageBoxes) GetAppSettings().flags |= APP_MESSAGE_BOXES;
    else GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
    static bool registered = false;
    if (!registered) {
        InitLogView(instance);
        RegisterMainWindowClass(instance);
        registered = true;
    }
    HWND hwnd = CreateMainWindow(instance);
    if (!hwnd) return nullptr;
    SetMainWindow(hwnd);
    SetWindowPos(hwnd, nullptr, 40, 40, 800, 600, SWP_NOZORDER);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    return hwnd;
}

void DestroyTestMainWindow(HWND hwnd)
{
    SetMainWindow(nullptr);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        DispatchMessageA(&msg);
    }
}

RECT ChildRect(HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}
