// The log view: line rule, store and scroll arithmetic alone, then the window and its back buffer.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logging/traffic_record.h"
#include "logview/ctrl_codes.h"
#include "logview/line_rule.h"
#include "logview/log_view.h"
#include "logview/painter.h"
#include "logview/scrolling.h"
#include "logview/view_store.h"
#include "logview/key_state.h"
#include "shell/messages.h"
#include "tests/support/ui_driver.h"

namespace {

using Lines = std::vector<std::string>;
using Numbers = std::vector<uint32_t>;
const CtrlCodeSet g_ctrl = [] { CtrlCodeSet c; DefaultViewCtrlCodes(c); return c; }();
std::vector<uint8_t> g_decode(10240);

// Flags: H header, X hex, C characters, S string, A alternate, U unicode;
// `wrap` is both the hex count and the column count.
LineOptions Make(const char* flags, uint32_t wrap, uint32_t newline = NEWLINE_NONE)
{
    auto on = [&](char f) { return strchr(flags, f) != nullptr; };
    return {.header = on('H'), .hex = on('X'), .ascii = on('C'), .string = on('S'), .alternate = on('A'),
            .unicode = on('U'), .newline = newline, .hexPerLine = wrap, .columnsPerLine = wrap, .ctrlCodes = &g_ctrl,
            .decodeBuffer = g_decode.data(), .decodeSize = g_decode.size()};
}

// Every line as its kind letter and its byte or unit range, or its text; counted as walked.
Lines Walk(const LineOptions& o, const std::string& s)
{
    std::vector<uint8_t> d(s.begin(), s.end());
    d.resize(s.size() + 3, 0);  // a record's data carries three zero bytes behind it
    uint32_t state = 0;
    const uint32_t count = CountRecordLines(o, d.data(), static_cast<uint32_t>(s.size()), &state);
    RecordLineWalker w(o, d.data(), static_cast<uint32_t>(s.size()), 0);
    Lines out;
    for (LineRef l; w.Next(l);) {
        std::string line(1, "HXCTA"[static_cast<int>(l.kind)]);
        const char* text = reinterpret_cast<const char*>(w.Text().bytes);
        if (l.kind == LineKind::AltText) line += std::string(text, w.Text().length);
        else if (l.kind == LineKind::Text && !o.unicode) line += std::string(text + l.begin, l.end - l.begin);
        else if (l.kind != LineKind::Header) line += std::to_string(l.begin) + "-" + std::to_string(l.end);
        out.push_back(line);
    }
    EXPECT_EQ(count, out.size());
    return out;
}

void Insert(ViewStore& s, uint32_t n) { InsertRecord(s, MakeTrafficRecord(RECORD_RECEIVE, n, "AAAA", 4), 1, 0); }

// The record numbers, newest first; checks that the total is the sum of the line counts.
Numbers Held(const ViewStore& s)
{
    Numbers out;
    uint64_t lines = 0;
    for (uint32_t e = 0; e < s.count; ++e) out.push_back(StoreRecord(s, e)->number), lines += StoreLines(s, e);
    EXPECT_EQ(lines, s.totalLines);
    return out;
}

int g_allocations = 0, g_failAt = -1;
void* FailingAllocator(size_t count, size_t size) { return g_allocations++ == g_failAt ? nullptr : calloc(count, size); }

} // namespace

TEST(ViewArithmetic, LinesOfEachLayoutWrapsAndScrolling)
{
    const std::string kana("\x42\x30\x44\x30" "A\0", 6);  // UTF-16 "あいA": two full-width units and one narrow
    struct { const char* flags; uint32_t wrap, newline; std::string in; Lines out; } cases[] = {
        {"HXC", 4, NEWLINE_NONE, "abcdefghij", {"H", "X0-4", "X4-8", "X8-10", "C0-4", "C4-8", "C8-10"}},
        {"HXCA", 4, NEWLINE_NONE, "abcdefghij", {"H", "X0-4", "C0-4", "X4-8", "C4-8", "X8-10", "C8-10"}},
        {"HXCSA", 4, NEWLINE_NONE, "abcdefghij", {"H", "X0-4", "Aabcd", "X4-8", "Aefgh", "X8-10", "Aij"}},
        {"CA", 4, NEWLINE_NONE, "abcdefghij", {"C0-4", "C4-8", "C8-10"}},  // alternate needs hex and characters
        {"XA", 4, NEWLINE_NONE, "abcdefghij", {"X0-4", "X4-8", "X8-10"}},
        {"HXC", 4, NEWLINE_NONE, "", {"H"}},
        {"", 4, NEWLINE_NONE, "abc", {}},
        // Each newline; a sequence at the end adds no empty line; at the wrap edge the sequence wins.
        {"CS", 80, NEWLINE_CRLF, "A\r\n\r\nB\r\n", {"TA", "T", "TB"}},
        {"CS", 80, NEWLINE_CR, "A\rB\r\nC", {"TA", "TB", "T\nC"}},
        {"CS", 80, NEWLINE_LF, "A\r\nB\n", {"TA\r", "TB"}},
        {"CS", 80, NEWLINE_CRCRLF, "A\r\r\nB\r\nC\r\r", {"TA", "TB\r\nC\r\r"}},
        {"CS", 3, NEWLINE_NONE, "ABCDEFG", {"TABC", "TDEF", "TG"}},
        {"CS", 3, NEWLINE_CRLF, "ABC\r\nDEF\r\n", {"TABC", "TDEF"}},
        // Unicode: widths in columns, ranges in units; a full-width unit is still taken at the last column.
        {"CSU", 3, NEWLINE_NONE, kana, {"T0-2", "T2-3"}},
        {"CSU", 80, NEWLINE_CRLF, std::string("A\0B\0\r\0\n\0C\0", 10), {"T0-2", "T4-5"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Walk(Make(c.flags, c.wrap, c.newline), c.in), c.out) << c.flags << " " << c.wrap << " '" << c.in << "'";
    ViewSettings s{};
    s.ascii = s.string = 1;
    const LineOptions fromView = MakeLineOptions(s, 0, 0);
    EXPECT_EQ(fromView.hexPerLine * fromView.columnsPerLine, 1u) << "a count of 0 would stall the wrap";
    LineOptions o = Make("CS", 80);
    o.kanji = KANJI_UTF8;
    o.decodeSize = 4;
    EXPECT_EQ(Walk(o, "abcdefgh"), (Lines{"Tabcd"})) << "decoded text is cut at the buffer's size";
    o.kanji = KANJI_EUC;
    o.decodeSize = g_decode.size();
    o.columnsPerLine = 4;
    EXPECT_EQ(Walk(o, "\x8E\xB1\x8E\xDD\xA1\xEB" "A\x8E\xB2"), (Lines{"Tｱﾝ°", "TAｲ"}))
        << "columns are counted on the decoded text: half-width katakana one, ° two";
    EXPECT_EQ(ScrollTarget(SB_THUMBTRACK, 0, 100, 10, 5000), 90);
    EXPECT_EQ(AutoHexBytesPerLine(800, 10), 27u) << "80 characters wide";
    EXPECT_EQ(AutoColumnsPerLine(809, 10), 80u);
}

TEST(ViewStore, FullDropsTheOldestSmallerKeepsTheNewestAndAFailedRebuildKeepsAll)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 4, 2048), 0u);
    for (uint32_t n = 1; n <= 6; ++n) Insert(s, n);
    EXPECT_EQ(Held(s), (Numbers{6, 5, 4, 3}));
    ASSERT_EQ(RebuildStore(s, 2, 2048), 0u);
    EXPECT_EQ(Held(s), (Numbers{6, 5}));
    // The second array cannot be had: the old store stays whole, its capacity that of what exists.
    SetStoreAllocator(FailingAllocator);
    g_failAt = 1;
    EXPECT_EQ(RebuildStore(s, 1000, 2048), static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    SetStoreAllocator(nullptr);
    EXPECT_EQ(s.capacity, 2u);
    for (uint32_t n = 7; n <= 20; ++n) Insert(s, n);  // no add may overrun
    EXPECT_EQ(Held(s), (Numbers{20, 19}));
    FreeStore(s);
    // A record's data ends in three zero bytes: an odd length still reads as a wide string.
    TrafficRecord* odd = MakeTrafficRecord(RECORD_SEND, 1, "A\0B", 3);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(odd->data)), L"AB");
    free(odd);
}

TEST(ViewPainter, FontHeightsAndBuiltInPicturesBySize)
{
    // Without bitmap files SS, S and M draw control codes as characters; L and LL have pictures.
    const struct { LONG height; int pictureWidth, pictureHeight; } sizes[kFontSizeCount] = {
        {-5, 0, 0}, {-8, 0, 0}, {-13, 0, 0}, {-19, 8, 18}, {-23, 10, 22}};
    ViewSettings s{};
    Painter p;
    LoadViewBitmaps(p, s);
    for (uint8_t size = 0; size < kFontSizeCount; ++size) {
        s.fontSize = size;
        ASSERT_EQ(CreateDrawingResources(p, s, 100, 100), 0u);
        LOGFONTA font{};
        GetObjectA(p.font, sizeof font, &font);
        EXPECT_EQ(font.lfHeight, sizes[size].height) << int(size);
        EXPECT_EQ(p.pictureWidth * 100 + p.pictureHeight, sizes[size].pictureWidth * 100 + sizes[size].pictureHeight) << int(size);
    }
    ReleaseDrawingResources(p);
    FreeViewBitmaps(p);
}

namespace {

SHORT g_scrollLock = 0;
SHORT FakeKeys(int key) { return key == VK_SCROLL ? g_scrollLock : 0; }
uint32_t Pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

using Image = std::vector<uint32_t>;  // pixels as 0x00RRGGBB, top-down
using Line = std::pair<std::wstring, COLORREF>;

class LogViewTest : public ::testing::Test {
protected:
    HWND parent = nullptr, view = nullptr;
    HFONT font = nullptr;
    int lineHeight = 0, page = 0, width = 0, height = 0;  // the client's size

    void SetUp() override
    {
        g_scrollLock = 0;
        SetKeyStateHook(FakeKeys);
        ASSERT_TRUE(InitLogView(GetModuleHandleA(nullptr)));
        parent = CreateWindowExA(0, "STATIC", "log view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 760, 560, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_TRUE(view = CreateLogView(parent));
        // The view's font (size L), made on our own to draw what the view should show.
        font = CreateFontA(-19, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_STRING_PRECIS, CLIP_STROKE_PRECIS,
                           DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, "Terminal");
        Capture(1, 1, [&](HDC dc) {
            TEXTMETRICA tm{};
            GetTextMetricsA(dc, &tm);
            lineHeight = tm.tmHeight;
        });
        SizeView(10);
        Change([](ViewSettings& s) {  // header and 16 hex bytes per line
            s.header = s.hex = 1, s.ascii = s.string = s.alternate = s.unicode = 0;
            s.hexWrap = WrapSetting{0, 16}, s.fontSize = FONT_L;
        });
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        ShutdownLogView();
        DeleteObject(font);
        SetKeyStateHook(nullptr);
    }
    // The view 700 pixels wide with room for exactly `lines` lines.
    void SizeView(int lines)
    {
        page = lines;
        MoveWindow(view, 0, 0, 700, lines * lineHeight + 2 * GetSystemMetrics(SM_CYEDGE) + lineHeight / 2, TRUE);
        PumpUntil([] { return true; }, 0);
        RECT rc;
        GetClientRect(view, &rc);
        width = rc.right, height = rc.bottom;
    }
    template <class Edit> ViewSettings Change(Edit edit)
    {
        ViewSettings s{};
        EXPECT_EQ(GetViewSettings(view, &s), 1);
        edit(s);
        EXPECT_EQ(SetViewSettings(view, &s), 1);
        return s;
    }
    void Add(uint32_t kind, uint32_t number, const std::string& bytes)
    {
        TrafficRecord* r = MakeTrafficRecord(kind, number, bytes.data(), static_cast<uint32_t>(bytes.size()));
        r->time = SYSTEMTIME{2007, 3, 0, 4, 5, 6, 7, 89};
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
        PumpUntil([] { return true; }, 0);
        SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(view, SB_VERT, &si);
        return si;
    }
    // The scroll range's last line and the position.
    std::vector<int> Bar() { return {Scroll().nMax, Scroll().nPos}; }
    // The thumb let go at `pos`: the bar holds all 32 bits, the message 16.
    void Thumb(int pos)
    {
        SCROLLINFO set{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, pos, 0};
        SetScrollInfo(view, SB_VERT, &set, FALSE);
        SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos & 0xFFFF), 0);
    }
    void Keys(std::initializer_list<WPARAM> keys) { for (WPARAM k : keys) SendMessageA(view, WM_KEYDOWN, k, 0); }
    // What `draw` puts into a w x h picture that holds the view's font.
    template <class Draw> Image Capture(int w, int h, Draw draw)
    {
        BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        void* bits = nullptr;
        HDC mem = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(mem, CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        HGDIOBJ oldFont = SelectObject(mem, font);
        draw(mem);
        GdiFlush();
        Image img(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + static_cast<size_t>(w) * h);
        for (auto& px : img) px &= 0xFFFFFF;
        SelectObject(mem, oldFont);
        DeleteObject(SelectObject(mem, old));
        DeleteDC(mem);
        return img;
    }
    // What the view paints for WM_PRINTCLIENT.
    Image Print()
    {
        return Capture(width, height, [&](HDC dc) {
            SendMessageA(view, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        });
    }
    // The lines as the view should draw them: from the left, opaque, each in its colour.
    Image Render(const std::vector<Line>& lines, COLORREF background)
    {
        return Capture(width, height, [&](HDC dc) {
            SetBkColor(dc, background);
            for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
                SetTextColor(dc, lines[i].second);
                RECT band{0, i * lineHeight, width, (i + 1) * lineHeight};
                ExtTextOutW(dc, 0, band.top, ETO_OPAQUE | ETO_CLIPPED, &band, lines[i].first.c_str(),
                            static_cast<UINT>(lines[i].first.size()), nullptr);
            }
        });
    }
    int CountInRow(const Image& img, int row, COLORREF colour)
    {
        auto first = img.begin() + static_cast<size_t>(row) * lineHeight * width;
        return static_cast<int>(std::count(first, first + static_cast<size_t>(lineHeight) * width, Pixel(colour)));
    }
};

} // namespace

TEST_F(LogViewTest, FollowsTheNewestAndOtherwiseKeepsItsPlace)
{
    AddMany(50);
    EXPECT_EQ(static_cast<int>(Scroll().nPage), page);
    EXPECT_EQ(Bar(), (std::vector<int>{149, 150 - page}));
    Image before = Print();
    g_scrollLock = 1;
    AddMany(10, 51);
    EXPECT_EQ(Bar(), (std::vector<int>{179, 150 - page})) << "the new records are counted, the view stays";
    EXPECT_TRUE(Print() == before) << "nothing on the screen moved";
    g_scrollLock = 0;  // off again: the view is no longer at the bottom, so it stays
    AddMany(1, 61);
    EXPECT_EQ(Scroll().nPos, 150 - page);
    Keys({VK_END});
    AddMany(1, 62);
    EXPECT_EQ(Scroll().nPos, 186 - page) << "at the bottom it follows again";
    SizeView(8);
    EXPECT_EQ(Scroll().nPos, 186 - 8) << "resized at the bottom: it stays at the bottom";
    Keys({VK_HOME, VK_DOWN, VK_DOWN});
    SizeView(14);
    EXPECT_EQ(Scroll().nPos, 2) << "resized scrolled up: the top line stays";
    // Scrolled up while a full store drops the oldest: the same lines stay in view.
    Change([](ViewSettings& s) { s.maxDataCount = 62; });
    Thumb(30);
    ASSERT_EQ(Scroll().nPos, 30);
    Image shown = Print();
    AddMany(5, 63);  // the five oldest (15 lines) go
    EXPECT_EQ(Bar(), (std::vector<int>{185, 15})) << "the same lines, now numbered 15 lower";
    EXPECT_TRUE(Print() == shown);
}

TEST_F(LogViewTest, KeysAndWheelScrollOnlyAFullViewAndStopAtTheEnds)
{
    AddMany(2);
    Image small = Print();
    Keys({VK_HOME, VK_DOWN});
    SendMessageA(view, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
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
        SendMessageA(view, st.msg, st.msg == WM_KEYDOWN ? st.key : MAKEWPARAM(st.key, st.delta), 0);
        EXPECT_EQ(Scroll().nPos, st.pos) << "message " << st.msg << " key " << st.key << " delta " << st.delta;
    }
    // A turn of a page or more jumps, and stops at the top or bottom.
    Change([](ViewSettings& s) { s.wheelMultiplier = 31; });
    for (int delta : {-120 * 200, 120 * 200}) {
        SendMessageA(view, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
        Keys({VK_UP});  // from past the end, the bar alone would still show the last page
        EXPECT_EQ(Scroll().nPos, delta > 0 ? 0 : 289);
    }
    SetFocus(parent);
    SendMessageA(view, WM_MBUTTONUP, 0, 0);
    EXPECT_EQ(GetFocus(), view) << "a button's release takes the focus";
}

TEST_F(LogViewTest, ThumbPositionsPast65535)
{
    ViewSettings s = Change([](ViewSettings& s) { s.hexWrap = WrapSetting{0, 1}; });  // 256 lines per record
    for (int i = 0; i < 300; ++i) Add(i % 3, i, std::string(255, 'z'));
    ASSERT_EQ(Scroll().nMax, 300 * 256 - 1);
    // Line 70000 is in record 273 (kind 0); 16 bits would say 4464, record 17 (kind 2).
    Thumb(70000);
    EXPECT_EQ(Scroll().nPos, 70000);
    Image img = Print();
    EXPECT_TRUE(CountInRow(img, 0, s.colourSend) > 10 && CountInRow(img, 0, s.colourError) == 0);
}

TEST_F(LogViewTest, LinesReadAsStatedInTheColourOfTheirKindAClearEndsTheSplashAndWideWrapsFit)
{
    ViewSettings s = Change([](ViewSettings& s) { s.colourBackground = RGB(0xFF, 0xFF, 0xE0); });
    const uint32_t bg = Pixel(s.colourBackground);
    auto marked = [&](const Image& img) { return img.size() - std::count(img.begin(), img.end(), bg); };
    EXPECT_GT(marked(Print()), 1000u) << "the splash bitmap and address line until the first record";
    // Six digits; header words and colours by kind, where 2 and every kind above 3 are errors.
    const struct { uint32_t kind, number; const wchar_t* head; COLORREF colour; } kinds[] = {
        {RECORD_SEND, 12, L"000012 <送信>", s.colourSend},
        {RECORD_RECEIVE, 345678, L"345678 <受信>", s.colourRecv},
        {RECORD_SEND_ERROR, 9, L"000009 <送信エラー>", s.colourError},
        {RECORD_DISCARD, 0, L"000000 <廃棄>", s.colourDiscard},
        {4, 1234567, L"1234567 <エラー>", s.colourError},
    };
    std::vector<Line> expected;
    for (const auto& k : kinds) {
        Add(k.kind, k.number, "A\x01\xFF\x0d");
        expected.push_back({std::wstring(k.head) + L" 2007/03/04 05:06:07.089 データサイズ = 4", k.colour});
        expected.push_back({L"41 01 FF 0D", k.colour});
    }
    Add(7, 8, std::string(16, '\x5a') + "!");  // a 16-byte line is 47 characters wide
    expected.push_back({L"000008 <エラー> 2007/03/04 05:06:07.089 データサイズ = 17", s.colourError});
    expected.push_back({L"5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A", s.colourError});
    expected.push_back({L"21", s.colourError});
    SizeView(14);
    const Image shown = Print(), wanted = Render(expected, s.colourBackground);
    for (size_t line = 0; line < expected.size(); ++line) {
        const size_t band = static_cast<size_t>(lineHeight) * width;
        EXPECT_TRUE(std::equal(shown.begin() + line * band, shown.begin() + (line + 1) * band, wanted.begin() + line * band))
            << "line " << line << " is not " << testing::PrintToString(expected[line].first);
    }
    ASSERT_TRUE(SaveScreenshot(parent, "log_view_screenshot"));
    ClearLogView(view);
    EXPECT_EQ(Scroll().nMax, 0);
    EXPECT_EQ(marked(Print()), 0u) << "after a clear the splash never comes back";
    // A fixed wrap far wider than the window: the line text holds it all.
    Change([](ViewSettings& s) { s.hexWrap = WrapSetting{0, 1000}; });
    Add(RECORD_RECEIVE, 1, std::string(3000, '\x5a'));
    EXPECT_EQ(Scroll().nMax, 3) << "header and three hex lines of 1000 bytes";
    EXPECT_GT(CountInRow(Print(), 1, s.colourRecv), 100);
}

TEST_F(LogViewTest, ShiftStateIsKeptPerRecordSoRedrawsMatch)
{
    Change([](ViewSettings& s) {
        s.header = s.hex = 0, s.ascii = s.string = 1, s.kanji = KANJI_JIS, s.asciiWrap = WrapSetting{1, 0};
    });
    // Kanji mode on and "あ"; still kanji mode: "あ"; back to single bytes; now two letters.
    for (const char* bytes : {"\x1b$B$\"", "$\"", "\x1b(BAB", "$\""}) Add(RECORD_RECEIVE, 1, bytes);
    ASSERT_EQ(Scroll().nMax, 3);
    Image first = Print();
    auto row = [&](int r) { return first.begin() + static_cast<size_t>(r) * lineHeight * width; };
    EXPECT_TRUE(std::equal(row(0), row(1), row(1))) << "record 2 continues in kanji mode";
    EXPECT_FALSE(std::equal(row(1), row(2), row(3)));
    SendMessageA(view, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    EXPECT_TRUE(Print() == first) << "a full redraw shows the same text";
}
