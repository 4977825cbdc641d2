// The log view as a window: following, Scroll Lock, scrolling by keys,
// wheel and thumb, resizing, settings, and what lands in the back buffer.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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
    bool operator==(const Image&) const = default;
};

uint32_t Pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A 32-bit top-down picture.
BITMAPINFOHEADER Header32(int w, int h) { return {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; }

// The pixels of `source`, or of what `printFrom` paints for WM_PRINTCLIENT.
Image Capture(HDC source, int x, int y, int w, int h, HWND printFrom = nullptr)
{
    BITMAPINFO bi{Header32(w, h), {}};
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    if (printFrom)
        SendMessageA(printFrom, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    else
        BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<uint32_t*>(bits);
    Image img{w, h, std::vector<uint32_t>(p, p + static_cast<size_t>(w) * h)};
    for (auto& px : img.pixels) px &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    return img;
}

bool WriteBmp(const char* path, const Image& img)
{
    BITMAPINFOHEADER ih = Header32(img.width, img.height);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof ih;
    BITMAPFILEHEADER fh{0x4D42, offset + static_cast<DWORD>(img.pixels.size() * 4), 0, 0, offset};
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&ih, sizeof ih, 1, f) == 1 &&
              fwrite(img.pixels.data(), 4, img.pixels.size(), f) == img.pixels.size();
    return fclose(f) == 0 && ok;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

class LogViewTest : public ::testing::Test {
protected:
    HWND parent = nullptr, view = nullptr;
    int lineHeight = 0, charWidth = 0, page = 0;

    void SetUp() override
    {
        g_scrollLock = 0;
        SetKeyStateHook(FakeKeys);
        ASSERT_TRUE(InitLogView(GetModuleHandleA(nullptr)));
        parent = CreateWindowExA(0, "STATIC", "log view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 760, 560, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_TRUE(parent);
        view = CreateLogView(parent);
        ASSERT_TRUE(view);
        EXPECT_EQ(GetDlgCtrlID(view), 998);
        // The metrics of the view's font (size L), measured on our own.
        HDC dc = CreateCompatibleDC(nullptr);
        HFONT font = CreateFontA(-19, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_STRING_PRECIS,
                                 CLIP_STROKE_PRECIS, DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, "Terminal");
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        DeleteObject(SelectObject(dc, old));
        DeleteDC(dc);
        lineHeight = tm.tmHeight;
        charWidth = tm.tmAveCharWidth;
        SizeView(700, 10);
        // A known layout: header and hex, 16 bytes per hex line.
        ViewSettings s = Settings();
        s.header = s.hex = 1;
        s.ascii = s.string = s.alternate = s.unicode = 0;
        s.hexWrap = WrapSetting{0, 16};
        s.fontSize = FONT_L;
        Apply(s);
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
        page = lines;
        RECT r{0, 0, 0, 0};
        AdjustWindowRectEx(&r, WS_CHILD, FALSE, WS_EX_CLIENTEDGE);
        MoveWindow(view, 0, 0, width, lines * lineHeight + (r.bottom - r.top) + lineHeight / 2, TRUE);
        Pump();
    }

    ViewSettings Settings()
    {
        ViewSettings s{};
        EXPECT_EQ(GetViewSettings(view, &s), 1);
        return s;
    }

    void Apply(const ViewSettings& s) { ASSERT_EQ(SetViewSettings(view, &s), 1); }

    void Add(uint32_t kind, uint32_t number, const std::string& bytes)
    {
        TrafficRecord* r = MakeTrafficRecord(kind, number, bytes.data(), static_cast<uint32_t>(bytes.size()));
        r->time = SYSTEMTIME{2026, 12, 0, 6, 9, 30, 15, 123};
        SendMessageA(view, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(r));
    }

    // n records of 20 bytes: 3 lines each.
    void AddMany(int n, int first = 1)
    {
        for (int i = 0; i < n; ++i) Add((first + i) % 3, first + i, std::string(20, static_cast<char>('a' + i % 26)));
    }

    SCROLLINFO Scroll()
    {
        UpdateWindow(view);
        Pump();
        SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(view, SB_VERT, &si);
        return si;
    }

    // The thumb let go (or dragged) at `pos`: the bar holds all 32 bits, the message 16.
    void Thumb(int pos, int code = SB_THUMBPOSITION)
    {
        SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
        SetScrollInfo(view, SB_VERT, &set, FALSE);
        SendMessageA(view, WM_VSCROLL, MAKEWPARAM(code, pos & 0xFFFF), 0);
    }

    Image Print()
    {
        RECT rc;
        GetClientRect(view, &rc);
        return Capture(nullptr, 0, 0, rc.right, rc.bottom, view);
    }

    void Keys(std::initializer_list<WPARAM> keys)
    {
        for (WPARAM k : keys) SendMessageA(view, WM_KEYDOWN, k, 0);
    }
    void Wheel(UINT msg, int delta, WORD keys = 0) { SendMessageA(view, msg, MAKEWPARAM(keys, delta), 0); }

    int CountInRow(const Image& img, int row, COLORREF colour)
    {
        int n = 0;
        for (int y = row * lineHeight; y < (row + 1) * lineHeight && y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) n += img.At(x, y) == Pixel(colour);
        return n;
    }
};

} // namespace

TEST_F(LogViewTest, FollowsTheNewestAndOtherwiseKeepsItsPlace)
{
    AddMany(50);
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, 149);
    EXPECT_EQ(static_cast<int>(si.nPage), page);
    EXPECT_EQ(si.nPos, 150 - page);

    Image before = Print();
    g_scrollLock = 1;
    AddMany(10, 51);
    si = Scroll();
    EXPECT_EQ(si.nMax, 179) << "the new records are counted";
    EXPECT_EQ(si.nPos, 150 - page);
    EXPECT_TRUE(Print() == before) << "nothing on the screen moved";

    g_scrollLock = 0;  // off again: the view is no longer at the bottom, so it stays
    AddMany(1, 61);
    EXPECT_EQ(Scroll().nPos, 150 - page);
    Keys({VK_END});
    EXPECT_EQ(Scroll().nPos, 183 - page);
    Image bottom = Print();
    AddMany(1, 62);
    EXPECT_EQ(Scroll().nPos, 186 - page) << "at the bottom it follows again";
    EXPECT_FALSE(Print() == bottom);

    SizeView(700, 8);
    EXPECT_EQ(Scroll().nPos, 186 - 8) << "resized at the bottom: it stays at the bottom";
    Keys({VK_HOME, VK_DOWN, VK_DOWN});
    SizeView(700, 14);
    EXPECT_EQ(Scroll().nPos, 2) << "resized scrolled up: the top line stays";

    // Scrolled up while the oldest records go: the same lines stay in view.
    ViewSettings s = Settings();
    s.maxDataCount = 62;  // full: each new record drops the oldest
    Apply(s);
    Thumb(30);
    ASSERT_EQ(Scroll().nPos, 30);
    Image shown = Print();
    AddMany(5, 63);  // the five oldest (15 lines) go
    si = Scroll();
    EXPECT_EQ(si.nMax, 185);
    EXPECT_EQ(si.nPos, 15) << "the same lines, now numbered 15 lower";
    EXPECT_TRUE(Print() == shown);
    Keys({VK_DOWN});
    EXPECT_EQ(Scroll().nPos, 16);
    Image stepped = Print();
    Thumb(16);
    EXPECT_TRUE(Print() == stepped) << "a line step draws the line that really follows, as a redraw does";
}

TEST_F(LogViewTest, KeysAndWheelScrollOnlyAFullViewAndStepsDrawWhatARedrawDraws)
{
    AddMany(2);
    Image small = Print();
    Keys({VK_HOME, VK_DOWN});
    Wheel(WM_MOUSEWHEEL, 240);
    EXPECT_EQ(Scroll().nPos, 0);
    EXPECT_TRUE(Print() == small) << "not full: keys and wheel do nothing";

    AddMany(98, 3);  // 300 lines: the last page starts at 290
    struct { UINT msg; WPARAM key; int delta, pos; } steps[] = {
        {WM_KEYDOWN, VK_HOME, 0, 0},      {WM_KEYDOWN, VK_UP, 0, 0},    {WM_KEYDOWN, VK_DOWN, 0, 1},
        {WM_KEYDOWN, VK_NEXT, 0, 10},     {WM_KEYDOWN, VK_PRIOR, 0, 1}, {WM_KEYDOWN, VK_END, 0, 290},
        {WM_KEYDOWN, VK_NEXT, 0, 290},    {WM_KEYDOWN, VK_DOWN, 0, 290}, {WM_KEYDOWN, 'A', 0, 290},
        {WM_MOUSEWHEEL, 0, 240, 284},     // two notches of the multiplier 3
        {WM_VORLIN_WHEEL, 0, -120, 287},  {WM_MOUSEWHEEL, 0, 100, 287},  // less than a notch
        {WM_MOUSEWHEEL, MK_MBUTTON, 120, 260},                           // middle button: pages
    };
    for (const auto& st : steps) {
        SCOPED_TRACE(testing::Message() << "message " << st.msg << " key " << st.key << " delta " << st.delta);
        SendMessageA(view, st.msg, st.msg == WM_KEYDOWN ? st.key : MAKEWPARAM(st.key, st.delta), 0);
        EXPECT_EQ(Scroll().nPos, st.pos);
    }

    Keys({VK_HOME, VK_DOWN, VK_DOWN, VK_DOWN});
    Image stepped = Print();
    Keys({VK_NEXT, VK_PRIOR});
    EXPECT_TRUE(Print() == stepped) << "page steps land on the same picture";
    Thumb(3);
    EXPECT_TRUE(Print() == stepped) << "and so does a page redraw";

    // A huge multiplier ends at the top at once instead of looping on.
    ViewSettings s = Settings();
    s.wheelMultiplier = 0xFFFFFFF0u;
    Apply(s);
    ULONGLONG start = GetTickCount64();
    Wheel(WM_MOUSEWHEEL, 120 * 200);
    EXPECT_EQ(Scroll().nPos, 0);
    Wheel(WM_MOUSEWHEEL, 120 * 200);
    Wheel(WM_MOUSEWHEEL, -120 * 200);
    EXPECT_EQ(Scroll().nPos, 290);
    EXPECT_LT(GetTickCount64() - start, 2000u);

    for (UINT msg : {WM_RBUTTONUP, WM_MBUTTONUP}) {
        SetFocus(parent);
        SendMessageA(view, msg, 0, 0);
        EXPECT_EQ(GetFocus(), view) << "a button's release takes the focus";
    }
}

TEST_F(LogViewTest, ThumbPositionsPast65535)
{
    ViewSettings s = Settings();
    s.hexWrap = WrapSetting{0, 1};  // one byte per line: 256 lines per record
    Apply(s);
    for (int i = 0; i < 300; ++i) Add(i % 3, i, std::string(255, 'z'));
    ASSERT_EQ(Scroll().nMax, 300 * 256 - 1);
    // Line 70000 is in record 273 (kind 0); 16 bits would say 4464, record 17 (kind 2).
    Thumb(70000);
    EXPECT_EQ(Scroll().nPos, 70000);
    Image img = Print();
    EXPECT_GT(CountInRow(img, 0, s.colourSend), 10);
    EXPECT_EQ(CountInRow(img, 0, s.colourError), 0);
    // Tracking draws from the thumb but leaves the scroll bar alone.
    Thumb(4464, SB_THUMBTRACK);
    EXPECT_GT(CountInRow(Print(), 0, s.colourError), 10);
}

TEST_F(LogViewTest, ColoursBackgroundAndControlCodePictures)
{
    ViewSettings s = Settings();
    s.ascii = 1;
    s.colourBackground = RGB(0xFF, 0xFF, 0xE0);
    Apply(s);
    // Three lines each; kind 7 (any other kind) takes the error colour.
    const uint32_t kinds[] = {RECORD_SEND, RECORD_RECEIVE, RECORD_DISCARD, RECORD_SEND_ERROR, 7};
    const COLORREF colours[] = {s.colourSend, s.colourRecv, s.colourDiscard, s.colourError, s.colourError};
    for (uint32_t k : kinds) Add(k, k + 1, std::string("A\x01" "B\x0d", 4));
    SizeView(700, 16);
    Image img = Print();
    const uint32_t bg = Pixel(s.colourBackground);
    for (int row = 0; row < 15; ++row) {
        SCOPED_TRACE(row);
        COLORREF ink = colours[row / 3];
        EXPECT_GT(CountInRow(img, row, ink), 10);
        for (COLORREF other : colours) {
            if (other != ink) {
                EXPECT_EQ(CountInRow(img, row, other), 0);
            }
        }
    }
    for (int x = 0; x < img.width; x += 7) EXPECT_EQ(img.At(x, 15 * lineHeight + 2), bg) << "empty row";

    // The picture of a byte (strip 502, 8 x 18 each) stands in its character cell.
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_CTRL_CODES_L), IMAGE_BITMAP, 0, 0, LR_MONOCHROME));
    ASSERT_TRUE(strip);
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(src, strip);
    Image pictures = Capture(src, 0, 0, 2048, 18);
    DeleteObject(SelectObject(src, old));
    DeleteDC(src);
    ASSERT_GE(charWidth, 8);
    ASSERT_GE(lineHeight, 18);
    auto cellMatches = [&](int row, int index, int byte, COLORREF ink) {
        int x0 = 3 * index * charWidth + (charWidth - 8) / 2;
        int y0 = row * lineHeight + (lineHeight - 18) / 2;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 8; ++x)
                if (img.At(x0 + x, y0 + y) != (pictures.At(byte * 8 + x, y) == 0 ? Pixel(ink) : bg)) return false;
        return true;
    };
    EXPECT_TRUE(cellMatches(2, 1, 0x01, s.colourSend)) << "picture of SOH where the byte is";
    EXPECT_TRUE(cellMatches(5, 3, 0x0d, s.colourRecv)) << "picture of CR in the receive colour";
    EXPECT_FALSE(cellMatches(2, 0, 0x41, s.colourSend)) << "'A' is not a control code: drawn as a letter";
    EXPECT_GT(CountInRow(img, 2, s.colourSend), 20);

    s.fontSize = FONT_M;  // sizes without a bitmap draw control codes as characters
    Apply(s);
    img = Print();
    EXPECT_FALSE(cellMatches(2, 1, 0x01, s.colourSend));
}

TEST_F(LogViewTest, ScreenshotsOfMixedKindsAndOfStringUnicodeAndAlternateLayouts)
{
    ViewSettings s = Settings();
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
    EXPECT_GT(CountInRow(img, 0, s.colourSend), 100) << "the header in the kind colour from the left edge on";
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

    // String mode: a header, 3 hex lines of 24 bytes (auto at 740 wide), then
    // "first line", "second.line", and the last 32 bytes wrapped at 24 columns.
    s.string = 1;
    s.newline = NEWLINE_CRLF;
    s.asciiWrap = WrapSetting{0, 24};
    Apply(s);
    ClearLogView(view);
    Add(RECORD_RECEIVE, 1, std::string("first line\r\nsecond\x01line\r\n\x82\xa0\x82\xa2 kana and a long third line", 52));
    EXPECT_EQ(Scroll().nMax + 1, 1 + 3 + 2 + 2);
    ASSERT_TRUE(WriteBmp("log_view_string.bmp", Print()));

    s.unicode = 1;
    Apply(s);
    ClearLogView(view);
    Add(RECORD_SEND, 2, std::string("A\0B\0\r\0\n\0B\x30\x44\x30\x01\0", 14));  // "AB", CRLF, "あい", SOH
    EXPECT_EQ(Scroll().nMax + 1, 1 + 1 + 2);
    ASSERT_TRUE(WriteBmp("log_view_unicode.bmp", Print()));

    s.unicode = s.string = 0;
    s.alternate = 1;
    Apply(s);
    ClearLogView(view);
    Add(RECORD_DISCARD, 3, "alternate hex and characters, chunk by chunk");
    ASSERT_TRUE(WriteBmp("log_view_alternate.bmp", Print()));
}

TEST_F(LogViewTest, SplashUntilTheFirstRecordAndClearEmptiesTheView)
{
    const uint32_t bg = Pixel(Settings().colourBackground);
    auto marked = [&](const Image& img) { return img.pixels.size() - std::count(img.pixels.begin(), img.pixels.end(), bg); };
    EXPECT_GT(marked(Print()), 1000u) << "the splash bitmap and address line";

    AddMany(40);
    ClearLogView(view);
    SCROLLINFO si = Scroll();
    EXPECT_EQ(si.nMax, 0);
    EXPECT_EQ(si.nPos, 0);
    EXPECT_EQ(marked(Print()), 0u);
    SizeView(600, 12);
    EXPECT_EQ(marked(Print()), 0u) << "after a clear the splash never comes back, not even on a resize";
    AddMany(1);
    EXPECT_EQ(Scroll().nMax, 2);

    // Scroll Lock on: a record longer than the page, into an empty view,
    // shows its first lines, and the scroll bar says so.
    ClearLogView(view);
    g_scrollLock = 1;
    Add(RECORD_RECEIVE, 1, std::string(16 * (page + 5), 'x'));
    si = Scroll();
    EXPECT_EQ(si.nMax, page + 5);
    EXPECT_EQ(si.nPos, 0);
    EXPECT_GT(CountInRow(Print(), 0, Settings().colourRecv), 20) << "header in the first row";
}

TEST_F(LogViewTest, FailedRebuildKeepsTheRecordsAndReportsTheError)
{
    AddMany(20);
    static const uint32_t refuse = 12345;
    SetStoreAllocator([](size_t count, size_t size) -> void* { return count == refuse ? nullptr : calloc(count, size); });
    ViewSettings s = Settings();
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
}

TEST_F(LogViewTest, ShiftStateIsKeptPerRecordSoRedrawsMatch)
{
    ViewSettings s = Settings();
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
    auto row = [&](int r) {
        return std::vector<uint32_t>(first.pixels.begin() + r * lineHeight * first.width,
                                     first.pixels.begin() + (r + 1) * lineHeight * first.width);
    };
    EXPECT_EQ(row(0), row(1)) << "record 2 continues in kanji mode";
    EXPECT_NE(row(1), row(3));
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    EXPECT_TRUE(Print() == first) << "a full redraw shows the same text";
    SizeView(650, 10);
    SizeView(700, 10);
    EXPECT_TRUE(Print() == first) << "and so does a recount";
}

TEST_F(LogViewTest, WideFixedWrapsAndNarrowWindowsDoNotBreak)
{
    ViewSettings s = Settings();
    s.hexWrap = WrapSetting{0, 1000};
    Apply(s);
    Add(RECORD_RECEIVE, 1, std::string(3000, '\x5a'));
    EXPECT_EQ(Scroll().nMax, 3) << "header and three hex lines of 1000 bytes";
    EXPECT_GT(CountInRow(Print(), 1, s.colourRecv), 100);

    // Narrower than one character: one byte and one column per line.
    s.hexWrap = s.asciiWrap = WrapSetting{1, 0};
    s.ascii = s.string = 1;
    Apply(s);
    MoveWindow(view, 0, 0, 3, 200, TRUE);
    Pump();
    Add(RECORD_RECEIVE, 2, "abc");
    EXPECT_EQ(Scroll().nMax, (1 + 3000 + 3000) + (1 + 3 + 3) - 1);
}
