// The log view as a window: following, Scroll Lock, scrolling by keys,
// wheel and thumb, resizing, settings, and what lands in the back buffer.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "logging/traffic_record.h"
#include "logview/log_view.h"
#include "logview/view_store.h"
#include "resources/resource.h"
#include "shell/key_state.h"
#include "shell/messages.h"

namespace {

SHORT g_scrollLock = 0;
SHORT FakeKeys(int key) { return key == VK_SCROLL ? g_scrollLock : 0; }

struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top-down
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Image& o) const { return width == o.width && height == o.height && pixels == o.pixels; }
};

uint32_t Pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

TEXTMETRICA FontMetrics(int height)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_STRING_PRECIS, CLIP_STROKE_PRECIS,
                          DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, "Terminal");
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(f);
    DeleteDC(dc);
    return tm;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

bool WriteBmp(const char* path, const Image& img)
{
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = img.width;
    ih.biHeight = -img.height;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    DWORD bytes = static_cast<DWORD>(img.pixels.size() * 4);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + bytes;
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    fwrite(&fh, sizeof fh, 1, f);
    fwrite(&ih, sizeof ih, 1, f);
    fwrite(img.pixels.data(), 1, bytes, f);
    fclose(f);
    return true;
}

Image Capture(HDC source, int x, int y, int w, int h, HWND printFrom = nullptr)
{
    Image img;
    img.width = w;
    img.height = h;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    if (printFrom)
        SendMessageA(printFrom, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    else
        BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
    GdiFlush();
    img.pixels.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + static_cast<size_t>(w) * h);
    for (auto& p : img.pixels) p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    return img;
}

class LogViewTest : public ::testing::Test {
protected:
    HWND parent = nullptr;
    HWND view = nullptr;
    int lineHeight = 0;
    int charWidth = 0;

    void SetUp() override
    {
        g_scrollLock = 0;
        SetKeyStateHook(FakeKeys);
        ASSERT_TRUE(InitLogView(GetModuleHandleA(nullptr)));
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "LogViewTestParent";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, "LogViewTestParent", "log view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 760,
                                 560, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent);
        view = CreateLogView(parent);
        ASSERT_TRUE(view);
        EXPECT_EQ(GetDlgCtrlID(view), 998);
        TEXTMETRICA tm = FontMetrics(-19);
        lineHeight = tm.tmHeight;
        charWidth = tm.tmAveCharWidth;
        SizeView(700, 10);
    }

    void TearDown() override
    {
        DestroyWindow(parent);
        ShutdownLogView();
        SetKeyStateHook(nullptr);
        SetStoreAllocator(nullptr);
        Pump();
    }

    // The view `width` pixels wide with room for exactly `lines` lines.
    void SizeView(int width, int lines)
    {
        RECT r{0, 0, 0, 0};
        AdjustWindowRectEx(&r, WS_CHILD, FALSE, WS_EX_CLIENTEDGE);
        MoveWindow(view, 0, 0, width, lines * lineHeight + (r.bottom - r.top) + lineHeight / 2, TRUE);
        Pump();
    }

    int Page()
    {
        RECT rc;
        GetClientRect(view, &rc);
        return rc.bottom / lineHeight;
    }

    ViewSettings Settings()
    {
        ViewSettings s{};
        EXPECT_EQ(GetViewSettings(view, &s), 1);
        return s;
    }

    // Known layout: header and hex, 16 bytes per hex line.
    ViewSettings Plain()
    {
        ViewSettings s = Settings();
        s.header = s.hex = 1;
        s.ascii = s.string = s.alternate = s.unicode = 0;
        s.hexWrap = WrapSetting{0, 16};
        s.fontSize = FONT_L;
        return s;
    }

    void Apply(const ViewSettings& s) { ASSERT_EQ(SetViewSettings(view, &s), 1); }

    void Add(uint32_t kind, uint32_t number, const std::string& bytes)
    {
        TrafficRecord* r = MakeTrafficRecord(kind, number, bytes.data(), static_cast<uint32_t>(bytes.size()));
        r->time = SYSTEMTIME{2026, 12, 0, 6, 9, 30, 15, 123};
        SendMessageA(view, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(r));
    }

    // n records of 20 bytes: 3 lines each under Plain().
    void AddMany(int n, int first = 1)
    {
        for (int i = 0; i < n; ++i) Add((first + i) % 3, first + i, std::string(20, static_cast<char>('a' + i % 26)));
    }

    SCROLLINFO Scroll()
    {
        UpdateWindow(view);
        Pump();
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(view, SB_VERT, &si);
        return si;
    }

    Image Print()
    {
        RECT rc;
        GetClientRect(view, &rc);
        return Capture(nullptr, 0, 0, rc.right, rc.bottom, view);
    }

    void Key(WPARAM key) { SendMessageA(view, WM_KEYDOWN, key, 0); }
    void Wheel(UINT msg, int delta, WORD keys = 0) { SendMessageA(view, msg, MAKEWPARAM(keys, delta), 0); }

    int CountInRow(const Image& img, int row, uint32_t pixel)
    {
        int n = 0;
        for (int y = row * lineHeight; y < (row + 1) * lineHeight && y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) n += img.At(x, y) == pixel;
        return n;
    }
};

} // namespace

TEST_F(LogViewTest, FollowsTheNewestAndKeepsTheSettings)
{
    ViewSettings s = Plain();
    s.wheelMultiplier = 7;
    Apply(s);
    ViewSettings back = Settings();
    EXPECT_EQ(memcmp(&back, &s, sizeof s), 0);
    EXPECT_EQ(SendMessageA(view, WM_LOGVIEW_GET_SETTINGS, 0, reinterpret_cast<LPARAM>(&back)),
              static_cast<LRESULT>(sizeof(ViewSettings)));

    AddMany(50);
    SCROLLINFO si = Scroll();
    const int page = Page();
    EXPECT_EQ(si.nMax, 149);
    EXPECT_EQ(static_cast<int>(si.nPage), page);
    EXPECT_EQ(si.nPos, 150 - page);
}

TEST_F(LogViewTest, ScrollLockCountsButNothingMoves)
{
    Apply(Plain());
    AddMany(50);
    Scroll();  // the scroll bar has appeared
    const int page = Page();
    Image before = Print();
    g_scrollLock = 1;
    AddMany(10, 51);
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, 179) << "the new records are counted";
    EXPECT_EQ(si.nPos, 150 - page);
    EXPECT_TRUE(Print() == before) << "nothing on the screen moved";

    // Lock off again: the view is no longer at the bottom, so it stays.
    g_scrollLock = 0;
    AddMany(1, 61);
    EXPECT_EQ(Scroll().nPos, 150 - page);
    Key(VK_END);
    EXPECT_EQ(Scroll().nPos, 183 - page);
    Image bottom = Print();
    AddMany(1, 62);
    EXPECT_EQ(Scroll().nPos, 186 - page) << "at the bottom it follows again";
    EXPECT_FALSE(Print() == bottom);
}

TEST_F(LogViewTest, ScrollLockStopsARecordPartWayIntoAnEmptyView)
{
    Apply(Plain());
    const int page = Page();
    g_scrollLock = 1;
    // One record longer than the page: lines past the page are counted only.
    Add(RECORD_RECEIVE, 1, std::string(16 * (page + 5), 'x'));
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, page + 5);
    EXPECT_EQ(si.nPos, 0) << "the scroll bar says what the screen shows: the record's first lines";
    Image img = Print();
    EXPECT_GT(CountInRow(img, 0, Pixel(RGB(0, 0, 0xFF))), 20) << "header in the first row";
}

TEST_F(LogViewTest, ScrolledUpViewStaysOnItsLinesWhileTheOldestGo)
{
    ViewSettings s = Plain();
    s.maxDataCount = 30;  // 90 lines
    Apply(s);
    AddMany(30);
    Scroll();
    SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 30, 0};
    SetScrollInfo(view, SB_VERT, &set, FALSE);
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 30), 0);
    ASSERT_EQ(Scroll().nPos, 30);
    Image shown = Print();
    AddMany(5, 31);  // five oldest records (15 lines) go
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, 89);
    EXPECT_EQ(si.nPos, 15) << "the same lines, now numbered 15 lower";
    EXPECT_TRUE(Print() == shown);
    // One line down draws the line that really follows.
    Key(VK_DOWN);
    Image stepped = Print();
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);  // the bar says 16 now
    EXPECT_EQ(Scroll().nPos, 16);
    EXPECT_TRUE(Print() == stepped);
}

TEST_F(LogViewTest, KeysScrollOnlyAFullViewAndLineStepsDrawWhatAPageRedrawDraws)
{
    Apply(Plain());
    AddMany(2);
    Image small = Print();
    Key(VK_HOME);
    Key(VK_DOWN);
    EXPECT_EQ(Scroll().nPos, 0);
    EXPECT_TRUE(Print() == small);

    AddMany(48, 3);
    const int page = Page();
    const int bottom = 150 - page;
    Key(VK_HOME);
    EXPECT_EQ(Scroll().nPos, 0);
    Key(VK_UP);
    EXPECT_EQ(Scroll().nPos, 0) << "line up on the first line does nothing";
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(Scroll().nPos, 3);
    Image stepped = Print();
    Key(VK_NEXT);
    EXPECT_EQ(Scroll().nPos, 3 + page - 1);
    Key(VK_PRIOR);
    EXPECT_EQ(Scroll().nPos, 3);
    EXPECT_TRUE(Print() == stepped) << "page steps land on the same picture";
    // The same position reached by a page redraw draws the same picture.
    SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 3, 0};
    SetScrollInfo(view, SB_VERT, &set, FALSE);
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 3), 0);
    EXPECT_TRUE(Print() == stepped);

    Key(VK_END);
    EXPECT_EQ(Scroll().nPos, bottom);
    Key(VK_NEXT);
    Key(VK_DOWN);
    EXPECT_EQ(Scroll().nPos, bottom) << "page down on the last page does nothing";
    Key('A');
    EXPECT_EQ(Scroll().nPos, bottom);
}

TEST_F(LogViewTest, WheelScrollsByTheMultiplierAndStopsAtTheEnds)
{
    Apply(Plain());
    AddMany(2);
    Wheel(WM_MOUSEWHEEL, 240);
    EXPECT_EQ(Scroll().nPos, 0) << "not full: the wheel does nothing";

    AddMany(98, 3);
    const int page = Page();
    const int bottom = 300 - page;
    Wheel(WM_MOUSEWHEEL, 240);
    EXPECT_EQ(Scroll().nPos, bottom - 6);
    Wheel(WM_VORLIN_WHEEL, -120);
    EXPECT_EQ(Scroll().nPos, bottom - 3);
    Wheel(WM_MOUSEWHEEL, 100);
    EXPECT_EQ(Scroll().nPos, bottom - 3) << "less than a notch";
    Wheel(WM_MOUSEWHEEL, 120, MK_MBUTTON);
    EXPECT_EQ(Scroll().nPos, bottom - 3 - 3 * (page - 1)) << "middle button: pages";

    // A huge multiplier ends at the top at once instead of looping on.
    ViewSettings s = Plain();
    s.wheelMultiplier = 0xFFFFFFF0u;
    Apply(s);
    ULONGLONG start = GetTickCount64();
    Wheel(WM_MOUSEWHEEL, 120 * 200);
    EXPECT_EQ(Scroll().nPos, 0);
    Wheel(WM_MOUSEWHEEL, 120 * 200);
    Wheel(WM_MOUSEWHEEL, -120 * 200);
    EXPECT_EQ(Scroll().nPos, bottom);
    EXPECT_LT(GetTickCount64() - start, 2000u);
}

TEST_F(LogViewTest, ResizeKeepsTheBottomOrTheTopLine)
{
    Apply(Plain());
    AddMany(50);
    SizeView(700, 8);
    EXPECT_EQ(Scroll().nPos, 150 - 8) << "at the bottom it stays at the bottom";
    SizeView(700, 14);
    EXPECT_EQ(Scroll().nPos, 150 - 14);

    Key(VK_HOME);
    Key(VK_DOWN);
    Key(VK_DOWN);
    SizeView(700, 9);
    EXPECT_EQ(Scroll().nPos, 2) << "scrolled up: the top line stays";

    SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, 150 - 9 - 1, 0};
    SetScrollInfo(view, SB_VERT, &set, FALSE);
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 150 - 10), 0);
    ASSERT_EQ(Scroll().nPos, 150 - 10);
    SizeView(700, 20);
    EXPECT_EQ(Scroll().nPos, 150 - 20) << "a top line below the last page gives the bottom";
}

TEST_F(LogViewTest, ThumbPositionsPast65535)
{
    ViewSettings s = Plain();
    s.hexWrap = WrapSetting{0, 1};  // one byte per line: 256 lines per record
    Apply(s);
    for (int i = 0; i < 300; ++i) Add(i % 3, i, std::string(255, 'z'));
    ASSERT_EQ(Scroll().nMax, 300 * 256 - 1);
    const int target = 70000;  // record 273 (kind 0); 16 bits would say 4464, record 17 (kind 2)
    SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, target, 0};
    SetScrollInfo(view, SB_VERT, &set, FALSE);
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, target & 0xFFFF), 0);
    EXPECT_EQ(Scroll().nPos, target);
    Image img = Print();
    ViewSettings d = Settings();
    EXPECT_GT(CountInRow(img, 0, Pixel(d.colourSend)), 10);
    EXPECT_EQ(CountInRow(img, 0, Pixel(d.colourError)), 0);

    // Tracking draws from the thumb but leaves the scroll bar alone.
    set.nPos = 4464;
    SetScrollInfo(view, SB_VERT, &set, FALSE);
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 4464), 0);
    img = Print();
    EXPECT_GT(CountInRow(img, 0, Pixel(d.colourError)), 10);
}

TEST_F(LogViewTest, ColoursBackgroundAndControlCodePictures)
{
    ViewSettings s = Plain();
    s.ascii = 1;
    s.colourBackground = RGB(0xFF, 0xFF, 0xE0);
    Apply(s);
    const std::string bytes("A\x01" "B\x0d", 4);
    Add(RECORD_SEND, 1, bytes);       // rows 0-2
    Add(RECORD_RECEIVE, 2, bytes);    // rows 3-5
    Add(RECORD_DISCARD, 3, bytes);    // rows 6-8
    Add(RECORD_SEND_ERROR, 4, bytes); // rows 9-11 (page permitting)
    Add(7, 5, bytes);                 // any other kind: the error colour
    SizeView(700, 16);
    Image img = Print();
    const uint32_t bg = Pixel(s.colourBackground);
    const COLORREF colours[] = {s.colourSend, s.colourRecv, s.colourDiscard, s.colourError, s.colourError};
    for (int r = 0; r < 5; ++r) {
        for (int line = 0; line < 3; ++line) {
            int row = 3 * r + line;
            EXPECT_GT(CountInRow(img, row, Pixel(colours[r])), 10) << "record " << r << " line " << line;
            for (int other = 0; other < 4; ++other)
                if (colours[other] != colours[r]) {
                    EXPECT_EQ(CountInRow(img, row, Pixel(colours[other])), 0);
                }
        }
    }
    for (int x = 0; x < img.width; x += 7) EXPECT_EQ(img.At(x, 15 * lineHeight + 2), bg) << "empty row";

    // The picture of 0x01 (bitmap 502) stands in the character cell of byte 1.
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_CTRL_CODES_L), IMAGE_BITMAP, 0, 0, LR_MONOCHROME));
    ASSERT_TRUE(strip);
    HDC screen = GetDC(nullptr);
    HDC src = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(src, strip);
    Image pictures = Capture(src, 0, 0, 2048, 18);
    SelectObject(src, old);
    DeleteDC(src);
    ReleaseDC(nullptr, screen);
    DeleteObject(strip);
    ASSERT_GE(charWidth, 8);
    ASSERT_GE(lineHeight, 18);
    auto cellMatches = [&](int row, int index, int byte, COLORREF ink) {
        int x0 = 3 * index * charWidth + (charWidth - 8) / 2;
        int y0 = row * lineHeight + (lineHeight - 18) / 2;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 8; ++x) {
                bool inked = pictures.At(byte * 8 + x, y) == 0;
                if (img.At(x0 + x, y0 + y) != (inked ? Pixel(ink) : bg)) return false;
            }
        return true;
    };
    EXPECT_TRUE(cellMatches(2, 1, 0x01, s.colourSend)) << "picture of SOH where the byte is";
    EXPECT_TRUE(cellMatches(5, 3, 0x0d, s.colourRecv)) << "picture of CR in the receive colour";
    EXPECT_FALSE(cellMatches(2, 0, 0x41, s.colourSend)) << "'A' is not a control code: drawn as a letter";
    EXPECT_GT(CountInRow(img, 2, Pixel(s.colourSend)), 20);

    // Sizes without a bitmap draw control codes as characters.
    s.fontSize = FONT_M;
    Apply(s);
    img = Print();
    EXPECT_FALSE(cellMatches(2, 1, 0x01, s.colourSend));
}

TEST_F(LogViewTest, ScreenshotWithMixedKindsHexCharactersAndPictures)
{
    ViewSettings s = Plain();
    s.ascii = 1;
    s.hexWrap = WrapSetting{1, 0};
    Apply(s);
    SizeView(740, 20);
    Add(RECORD_SEND, 12, std::string("AT+GMR\r\n", 8));
    Add(RECORD_RECEIVE, 13, std::string("\x02OK 1.0\x03\r\nready\x1b[0m\x7f", 20));
    Add(RECORD_SEND_ERROR, 14, std::string("\x00\x01\x02\x10\x11\x13 tail", 11));
    Add(RECORD_DISCARD, 15, std::string("discarded bytes", 15));
    Add(9, 16, std::string("\xff\xfe", 2));
    Image img = Print();
    ASSERT_TRUE(WriteBmp("log_view_client.bmp", img));
    // The whole parent as the screen shows it.
    RECT wr;
    GetWindowRect(parent, &wr);
    SetForegroundWindow(parent);
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Pump();
    Sleep(200);
    Pump();
    HDC screen = GetDC(nullptr);
    Image shot = Capture(screen, wr.left, wr.top, wr.right - wr.left, wr.bottom - wr.top);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(WriteBmp("log_view_screenshot.bmp", shot));
    // The header row is written in the kind colour from the left edge on.
    EXPECT_GT(CountInRow(img, 0, Pixel(s.colourSend)), 100);
}

TEST_F(LogViewTest, StringUnicodeAndAlternateLayouts)
{
    ViewSettings s = Plain();
    s.ascii = s.string = 1;
    s.newline = NEWLINE_CRLF;
    s.hexWrap = WrapSetting{1, 0};
    s.asciiWrap = WrapSetting{0, 24};
    Apply(s);
    SizeView(740, 20);
    const std::string text("first line\r\nsecond\x01line\r\n\x82\xa0\x82\xa2 kana and a long third line", 52);
    Add(RECORD_RECEIVE, 1, text);
    SCROLLINFO si = Scroll();
    // Header, 3 hex lines of 24 bytes (auto: 740 wide), then "first line",
    // "second.line", and the last 32 bytes wrapped at 24 columns.
    EXPECT_EQ(si.nMax + 1, 1 + 3 + 2 + 2);

    Image img = Print();
    ASSERT_TRUE(WriteBmp("log_view_string.bmp", img));

    s.unicode = 1;
    Apply(s);
    ClearLogView(view);
    Add(RECORD_SEND, 2, std::string("A\0B\0\r\0\n\0B\x30\x44\x30\x01\0", 14));  // "AB", CRLF, "あい", SOH
    EXPECT_EQ(Scroll().nMax + 1, 1 + 1 + 2);
    img = Print();
    ASSERT_TRUE(WriteBmp("log_view_unicode.bmp", img));

    s.unicode = 0;
    s.alternate = 1;
    s.string = 0;
    Apply(s);
    ClearLogView(view);
    Add(RECORD_DISCARD, 3, "alternate hex and characters, chunk by chunk");
    img = Print();
    ASSERT_TRUE(WriteBmp("log_view_alternate.bmp", img));
}

TEST_F(LogViewTest, SplashUntilTheFirstRecordAndClearEmptiesTheView)
{
    Image splash = Print();
    const uint32_t bg = Pixel(Settings().colourBackground);
    int marked = 0;
    for (uint32_t p : splash.pixels) marked += p != bg;
    EXPECT_GT(marked, 1000) << "the splash bitmap and address line";

    Apply(Plain());
    AddMany(40);
    ClearLogView(view);
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, 0);
    EXPECT_EQ(si.nPos, 0);
    Image empty = Print();
    for (uint32_t p : empty.pixels) ASSERT_EQ(p, bg);
    // After a clear the splash never comes back, not even on a resize.
    SizeView(600, 12);
    Image still = Print();
    for (uint32_t p : still.pixels) ASSERT_EQ(p, bg);
    AddMany(1);
    EXPECT_EQ(Scroll().nMax, 2);
}

TEST_F(LogViewTest, FailedRebuildKeepsTheRecordsAndReportsTheError)
{
    Apply(Plain());
    AddMany(20);
    static uint32_t refuse;
    refuse = 12345;
    SetStoreAllocator([](size_t count, size_t size) -> void* {
        return count == refuse ? nullptr : calloc(count, size);
    });
    ViewSettings s = Plain();
    s.maxDataCount = refuse;
    SetLastError(0);
    EXPECT_EQ(SetViewSettings(view, &s), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    uint32_t code = 0;
    EXPECT_EQ(SendMessageA(view, WM_LOGVIEW_SET_SETTINGS, reinterpret_cast<WPARAM>(&code), reinterpret_cast<LPARAM>(&s)), 0);
    EXPECT_EQ(code, static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(Settings().maxDataCount, refuse) << "the new settings are in force";
    EXPECT_EQ(Scroll().nMax, 59) << "the records are still there";
    SetStoreAllocator(nullptr);
    AddMany(10, 21);
    EXPECT_EQ(Scroll().nMax, 89);

    // Lowering the capacity keeps the newest.
    s.maxDataCount = 5;
    Apply(s);
    EXPECT_EQ(Scroll().nMax, 14);
}

TEST_F(LogViewTest, ShiftStateIsKeptPerRecordSoRedrawsMatch)
{
    ViewSettings s = Plain();
    s.header = s.hex = 0;
    s.ascii = s.string = 1;
    s.kanji = KANJI_JIS;
    s.asciiWrap = WrapSetting{1, 0};
    Apply(s);
    Add(RECORD_RECEIVE, 1, std::string("\x1b$B$\"", 5));  // kanji mode on, "あ"
    Add(RECORD_RECEIVE, 2, std::string("$\"", 2));         // still kanji mode: "あ"
    Add(RECORD_RECEIVE, 3, std::string("\x1b(BAB", 5));    // back to single bytes
    Add(RECORD_RECEIVE, 4, std::string("$\"", 2));         // now two letters
    ASSERT_EQ(Scroll().nMax, 3);
    Image first = Print();
    auto row = [&](const Image& img, int r) {
        return std::vector<uint32_t>(img.pixels.begin() + r * lineHeight * img.width,
                                     img.pixels.begin() + (r + 1) * lineHeight * img.width);
    };
    EXPECT_EQ(row(first, 0), row(first, 1)) << "record 2 continues in kanji mode";
    EXPECT_NE(row(first, 1), row(first, 3));
    // A full redraw and a recount show the same text.
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    EXPECT_TRUE(Print() == first);
    SizeView(650, 10);
    SizeView(700, 10);
    EXPECT_TRUE(Print() == first);
}

TEST_F(LogViewTest, WideFixedWrapsAndNarrowWindowsDoNotBreak)
{
    ViewSettings s = Plain();
    s.hexWrap = WrapSetting{0, 1000};
    Apply(s);
    Add(RECORD_RECEIVE, 1, std::string(3000, '\x5a'));
    EXPECT_EQ(Scroll().nMax, 3) << "header and three hex lines of 1000 bytes";
    Image img = Print();
    EXPECT_GT(CountInRow(img, 1, Pixel(s.colourRecv)), 100);

    // Narrower than one character: one byte and one column per line.
    s.hexWrap = WrapSetting{1, 0};
    s.ascii = s.string = 1;
    s.asciiWrap = WrapSetting{1, 0};
    Apply(s);
    MoveWindow(view, 0, 0, 3, 200, TRUE);
    Pump();
    Add(RECORD_RECEIVE, 2, "abc");
    EXPECT_EQ(Scroll().nMax, (1 + 3000 + 3000) + (1 + 3 + 3) - 1);
}

TEST_F(LogViewTest, ButtonReleaseTakesTheFocus)
{
    SetFocus(parent);
    SendMessageA(view, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(GetFocus(), view);
    SetFocus(parent);
    SendMessageA(view, WM_MBUTTONUP, 0, 0);
    EXPECT_EQ(GetFocus(), view);
}
