#include "tests/support/ui_driver.h"

#include "tests/support/temp_files.h"

#include <algorithm>

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

WindowPicture CaptureWindow(HWND hwnd)
{
    WindowPicture picture;
    RECT r;
    if (!GetWindowRect(hwnd, &r) || r.right <= r.left || r.bottom <= r.top) return picture;
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};  // top-down
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // Wine's PrintWindow leaves the controls out. The window's own DC reads what the window
    // drew, even where windows of tests running beside this one lie over it.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC window = GetWindowDC(hwnd);
    BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    GdiFlush();
    if (bits) {
        const size_t stride = static_cast<size_t>((w * 3 + 3) & ~3);
        picture.width = w;
        picture.height = h;
        picture.rgb.resize(static_cast<size_t>(w) * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = static_cast<uint8_t*>(bits) + y * stride + x * 3;
                uint8_t* q = &picture.rgb[(static_cast<size_t>(y) * w + x) * 3];
                q[0] = p[2], q[1] = p[1], q[2] = p[0];
            }
    }
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    return picture;
}

size_t DistinctColours(const WindowPicture& picture)
{
    std::vector<uint32_t> colours;
    for (size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
        colours.push_back(picture.rgb[i] << 16 | picture.rgb[i + 1] << 8 | picture.rgb[i + 2]);
    std::sort(colours.begin(), colours.end());
    return static_cast<size_t>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

bool SavePicture(const WindowPicture& picture, const std::string& name)
{
    const LONG w = picture.width, h = picture.height;
    if (w <= 0 || h <= 0) return false;
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3), size = stride * h;
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, size, 0, 0, 0, 0};  // bottom-up, as a .bmp holds it
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER head{0x4D42, offset + size, 0, 0, offset};
    std::string bytes(reinterpret_cast<const char*>(&head), sizeof head);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (LONG y = h - 1; y >= 0; --y) {
        std::string row(stride, '\0');
        for (LONG x = 0; x < w; ++x) {
            const uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * w + x) * 3];
            row[x * 3] = static_cast<char>(p[2]), row[x * 3 + 1] = static_cast<char>(p[1]), row[x * 3 + 2] = static_cast<char>(p[0]);
        }
        bytes += row;
    }
    return WriteWholeFile(BuildFolderFile(name + ".bmp"), bytes);
}

bool SaveScreenshot(HWND hwnd, const std::string& name)
{
    WindowPicture picture = CaptureWindow(hwnd);
    return SavePicture(picture, name) && DistinctColours(picture) >= 8;
}
