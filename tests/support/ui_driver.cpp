#include "tests/support/ui_driver.h"

#include "tests/support/temp_files.h"

HWND FindThreadDialog(DWORD threadId, const wchar_t* title, HWND except)
{
    struct Search { const wchar_t* title; HWND except, found; } search{title, except, nullptr};
    EnumThreadWindows(
        threadId,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            wchar_t cls[32];
            if (hwnd == s->except || !IsWindowVisible(hwnd) || !GetClassNameW(hwnd, cls, 32) || wcscmp(cls, L"#32770"))
                return TRUE;
            if (s->title && WindowTextW(hwnd) != s->title) return TRUE;
            return s->found = hwnd, FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool SaveScreenshot(HWND hwnd, const std::string& name)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r) || r.right <= r.left || r.bottom <= r.top) return false;
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const DWORD size = static_cast<DWORD>((w * 3 + 3) & ~3) * h;
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, size, 0, 0, 0, 0};  // bottom-up, as a .bmp holds it
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER head{0x4D42, offset + size, 0, 0, offset};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // Wine's PrintWindow leaves the controls out. The window's own DC reads what the window
    // drew, even where windows of tests running beside this one lie over it.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC window = GetWindowDC(hwnd);
    BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    GdiFlush();
    std::string bytes(reinterpret_cast<const char*>(&head), sizeof head);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    if (bits) bytes.append(static_cast<const char*>(bits), size);
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    return bits && WriteWholeFile(BuildFolderFile(name + ".bmp"), bytes);
}
