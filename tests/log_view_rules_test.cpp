// The log view's logic without a window: the line rule, the record store
// and the scroll arithmetic.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logging/traffic_record.h"
#include "logview/ctrl_codes.h"
#include "logview/line_rule.h"
#include "logview/scrolling.h"
#include "logview/view_store.h"

namespace {

using Lines = std::vector<std::string>;

CtrlCodeSet g_ctrl;
std::vector<uint8_t> g_decode(10240);

// Flags: H header, X hex, C characters, S string, A alternate, U unicode.
// `wrap` is both the hex count and the column count.
LineOptions Make(const char* flags, uint32_t wrap, uint32_t newline = NEWLINE_NONE)
{
    DefaultViewCtrlCodes(g_ctrl);
    auto on = [&](char f) { return strchr(flags, f) != nullptr; };
    LineOptions o;
    o.header = on('H'), o.hex = on('X'), o.ascii = on('C'), o.string = on('S'), o.alternate = on('A'), o.unicode = on('U');
    o.hexPerLine = o.columnsPerLine = wrap;
    o.newline = newline;
    o.ctrlCodes = &g_ctrl;
    o.decodeBuffer = g_decode.data();
    o.decodeSize = g_decode.size();
    return o;
}

// A record's data carries three zero bytes behind it.
std::vector<uint8_t> Padded(const std::string& s)
{
    std::vector<uint8_t> d(s.begin(), s.end());
    d.resize(s.size() + 3, 0);
    return d;
}

std::string Wide(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

uint32_t Count(const LineOptions& o, const std::string& s, uint32_t* state)
{
    return CountRecordLines(o, Padded(s).data(), static_cast<uint32_t>(s.size()), state);
}

// Every line as its kind letter and its byte or unit range, or its text.
Lines Walk(const LineOptions& o, const std::string& s, uint32_t state = 0)
{
    std::vector<uint8_t> d = Padded(s);
    RecordLineWalker w(o, d.data(), static_cast<uint32_t>(s.size()), state);
    auto range = [](const char* k, const LineRef& l) { return k + std::to_string(l.begin) + "-" + std::to_string(l.end); };
    Lines out;
    for (LineRef l; w.Next(l);) {
        const char* text = reinterpret_cast<const char*>(w.Text().bytes);
        switch (l.kind) {
        case LineKind::Header: out.push_back("H"); break;
        case LineKind::Hex: out.push_back(range("X", l)); break;
        case LineKind::Chars: out.push_back(range("C", l)); break;
        case LineKind::Text: out.push_back(o.unicode ? range("T", l) : "T" + std::string(text + l.begin, l.end - l.begin)); break;
        case LineKind::AltText: out.push_back("A" + std::string(text, w.Text().length)); break;
        }
    }
    return out;
}

} // namespace

TEST(LineRule, LinesOfEachLayout)
{
    const std::string az("abcdefghij");
    const std::string kana = Wide(u"\u3042\u3044A");  // two full-width units and one narrow
    struct Case {
        const char* flags;
        uint32_t wrap, newline;
        std::string in;
        Lines out;
    } cases[] = {
        {"HX", 16, NEWLINE_NONE, std::string(16, 'a'), {"H", "X0-16"}},
        {"HX", 16, NEWLINE_NONE, "", {"H"}},
        {"HX", 27, NEWLINE_NONE, std::string(64, 'a'), {"H", "X0-27", "X27-54", "X54-64"}},
        {"", 16, NEWLINE_NONE, "abc", {}},
        {"HXC", 4, NEWLINE_NONE, az, {"H", "X0-4", "X4-8", "X8-10", "C0-4", "C4-8", "C8-10"}},
        {"HXCA", 4, NEWLINE_NONE, az, {"H", "X0-4", "C0-4", "X4-8", "C4-8", "X8-10", "C8-10"}},
        {"HCA", 4, NEWLINE_NONE, az, {"H", "C0-4", "C4-8", "C8-10"}},  // alternate needs hex too
        {"HXCSA", 4, NEWLINE_NONE, az, {"H", "X0-4", "Aabcd", "X4-8", "Aefgh", "X8-10", "Aij"}},
        // String mode with each newline: a sequence at the end adds no empty line.
        {"CS", 80, NEWLINE_CRLF, "AB\r\n", {"TAB"}},
        {"CS", 80, NEWLINE_CRLF, "A\r\n\r\nB", {"TA", "T", "TB"}},
        {"CS", 80, NEWLINE_CRLF, "A\rB\nC", {"TA\rB\nC"}},
        {"CS", 80, NEWLINE_CR, "A\rB\r\nC", {"TA", "TB", "T\nC"}},
        {"CS", 80, NEWLINE_LF, "A\r\nB\n", {"TA\r", "TB"}},
        {"CS", 80, NEWLINE_CRCRLF, "A\r\r\nB\r\nC\r\r", {"TA", "TB\r\nC\r\r"}},
        {"CS", 80, NEWLINE_NONE, "A\r\nB", {"TA\r\nB"}},
        {"CS", 80, NEWLINE_NONE, "", {}},
        // The wrap by columns; at the edge the sequence wins.
        {"CS", 3, NEWLINE_NONE, "ABCDEFG", {"TABC", "TDEF", "TG"}},
        {"CS", 3, NEWLINE_CRLF, "ABC\r\nDEF\r\n", {"TABC", "TDEF"}},
        // A count of 0 must not stall the wrap: the walker moves on by one.
        {"CS", 0, NEWLINE_NONE, "abc", {"Ta", "Tb", "Tc"}},
        {"XC", 0, NEWLINE_NONE, "abc", {"X0-1", "X1-2", "X2-3", "C0-1", "C1-2", "C2-3"}},
        // Unicode: widths in columns, ranges in units; a full-width unit is
        // still taken at the last column.
        {"CSU", 4, NEWLINE_NONE, kana, {"T0-2", "T2-3"}},
        {"CSU", 3, NEWLINE_NONE, kana, {"T0-2", "T2-3"}},
        {"CSU", 1, NEWLINE_NONE, kana, {"T0-1", "T1-2", "T2-3"}},
        {"CSU", 80, NEWLINE_CRLF, Wide(u"AB\r\nC"), {"T0-2", "T4-5"}},
        {"CSU", 80, NEWLINE_CRLF, "abc", {"T0-2"}},  // an odd length reads as one more unit
        {"XCU", 4, NEWLINE_NONE, Wide(u"abcde"), {"X0-4", "X4-8", "X8-10", "C0-4", "C4-8", "C8-10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flags) + " " + std::to_string(c.wrap) + " '" + c.in + "'");
        LineOptions o = Make(c.flags, c.wrap, c.newline);
        uint32_t state = 0;
        EXPECT_EQ(Walk(o, c.in), c.out);
        EXPECT_EQ(Count(o, c.in, &state), c.out.size());
    }

    // Widths come from the view when it gives them.
    LineOptions o = Make("CSU", 10);
    o.unitColumns = [](void*, uint16_t) -> uint32_t { return 5; };
    uint32_t state = 0;
    EXPECT_EQ(Count(o, Wide(u"abcde"), &state), 3u);
    // The view's options never hold a count of 0.
    ViewSettings s{};
    s.ascii = s.string = 1;
    EXPECT_EQ(MakeLineOptions(s, 0, 0).hexPerLine, 1u);
    EXPECT_EQ(MakeLineOptions(s, 0, 0).columnsPerLine, 1u);
}

TEST(LineRule, KanjiDecodingCarriesTheJisStateAcrossRecords)
{
    LineOptions o = Make("CS", 80);
    o.kanji = KANJI_JIS;
    uint32_t state = 0;
    EXPECT_EQ(Count(o, "\x1b$B$\"", &state), 1u);  // ESC $ B, then "あ": kanji mode stays on
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(Walk(o, "$\"", state), (Lines{"T\x82\xa0"}));
    EXPECT_EQ(Walk(o, "$\"", 0), (Lines{"T$\""}));
    o.kanji = KANJI_EUC;
    EXPECT_EQ(Walk(o, "\xa4\xa2"), (Lines{"T\x82\xa0"}));
    o.kanji = KANJI_SJIS;
    EXPECT_EQ(Walk(o, "\xa4\xa2"), (Lines{"T\xa4\xa2"}));
    o.kanji = KANJI_EUC;
    o.decodeBuffer = nullptr;  // no decoding buffer: the raw bytes
    EXPECT_EQ(Walk(o, "\xa4\xa2"), (Lines{"T\xa4\xa2"}));
    o.kanji = KANJI_UTF8;
    o.decodeBuffer = g_decode.data();
    o.decodeSize = 4;  // decoded text is cut at the buffer's size
    EXPECT_EQ(Walk(o, "abcdefgh"), (Lines{"Tabcd"}));
}

namespace {

void Insert(ViewStore& s, uint32_t number, uint32_t lines, uint8_t state = 0)
{
    const uint8_t data[4] = {0x41, 0x41, 0x41, 0x41};
    InsertRecord(s, MakeTrafficRecord(RECORD_RECEIVE, number, data, 4), lines, state);
}

std::vector<uint32_t> Numbers(const ViewStore& s)
{
    std::vector<uint32_t> out;
    uint64_t lines = 0;
    for (uint32_t e = 0; e < s.count; ++e) {
        out.push_back(StoreRecord(s, e)->number);
        lines += StoreLines(s, e);
    }
    EXPECT_EQ(lines, s.totalLines) << "the total is the sum of the line counts";
    return out;
}

int g_allocations = 0;
int g_failAt = -1;
size_t g_failSizeAtLeast = SIZE_MAX;
void* FailingAllocator(size_t count, size_t size)
{
    if (g_allocations++ == g_failAt || count * size >= g_failSizeAtLeast) return nullptr;
    return calloc(count, size);
}

} // namespace

TEST(ViewStore, FullOrShrunkStoreKeepsTheNewestAndFindsItsLines)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 3, 1024), 0u);
    const uint32_t lines[] = {1, 2, 0, 4, 0};  // records without lines still take an entry
    for (uint32_t n = 1; n <= 5; ++n) Insert(s, n, lines[n - 1], static_cast<uint8_t>(n & 1));
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{5, 4, 3}));
    EXPECT_EQ(s.totalLines, 4u);
    EXPECT_EQ(s.droppedLines, 3u) << "records 1 and 2 left with their lines";

    ASSERT_EQ(RebuildStore(s, 2, 1024), 0u);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{5, 4}));
    EXPECT_EQ(s.startStates[StoreSlot(s, 0)], 1u) << "a record's start state moves with it";
    EXPECT_EQ(s.startStates[StoreSlot(s, 1)], 0u);
    ASSERT_EQ(RebuildStore(s, 100, 1024), 0u);
    Insert(s, 6, 1);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{6, 5, 4}));
    EXPECT_EQ(s.capacity, 100u);

    // Display lines, oldest first: record 4 has 4 lines, 5 none, 6 one.
    struct { uint64_t line; uint32_t number, within; } cases[] = {{0, 4, 0}, {3, 4, 3}, {4, 6, 0}};
    LinePlace p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(FindDisplayLine(s, c.line, p));
        EXPECT_EQ(StoreRecord(s, p.entry)->number, c.number);
        EXPECT_EQ(p.line, c.within);
    }
    EXPECT_FALSE(FindDisplayLine(s, 5, p));
    ClearStore(s);
    EXPECT_FALSE(FindDisplayLine(s, 0, p));
    EXPECT_EQ(s.totalLines, 0u);
    FreeStore(s);
}

TEST(ViewStore, FailedRebuildKeepsSizesThatMatchWhatExists)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 4, 2048), 0u);
    for (uint32_t n = 1; n <= 4; ++n) Insert(s, n, 1);
    TrafficRecord** arrays = s.records;

    // The second array cannot be had: the old store stays whole.
    SetStoreAllocator(FailingAllocator);
    g_allocations = 0;
    g_failAt = 1;
    EXPECT_EQ(RebuildStore(s, 1000, 2048), static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.records, arrays);
    EXPECT_EQ(s.capacity, 4u) << "the capacity is that of the arrays that exist";
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{4, 3, 2, 1}));
    for (uint32_t n = 5; n <= 20; ++n) Insert(s, n, 1);  // no add may overrun
    EXPECT_EQ(s.count, 4u);

    // The decoding buffer cannot be had: the old one stays with its size.
    uint8_t* buffer = s.decodeBuffer;
    g_failAt = -1;
    g_failSizeAtLeast = 1u << 20;
    EXPECT_EQ(RebuildStore(s, 6, 1u << 24), static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.decodeBuffer, buffer);
    EXPECT_EQ(s.decodeSize, 2048u);
    EXPECT_EQ(s.capacity, 6u) << "the new arrays exist, so their size counts";
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{20, 19, 18, 17}));

    // A size that overflows is refused before the allocator sees it.
    g_failSizeAtLeast = SIZE_MAX;
    EXPECT_NE(RebuildStore(s, 0xFFFFFFFFu, SIZE_MAX), 0u);
    EXPECT_EQ(s.decodeSize, 2048u);
    SetStoreAllocator(nullptr);
    FreeStore(s);
}

TEST(Scrolling, WrapsWheelAndResize)
{
    // The view's tests cover the common cases; these are the ends.
    EXPECT_EQ(AutoHexBytesPerLine(80 * 10, 10), 27u);
    EXPECT_EQ(AutoHexBytesPerLine(10, 10), 1u) << "one character: (1 + 1) / 3 is 0, 1 is used";
    EXPECT_EQ(AutoColumnsPerLine(5, 10), 1u);
    EXPECT_EQ(AutoColumnsPerLine(805, 10), 80u);
    EXPECT_EQ(LinesPerPage(5, 21), 1);
    EXPECT_EQ(WheelSteps(-32768, 0xFFFFFFFFu), 273ull * 0xFFFFFFFFull) << "no 32-bit overflow";
    EXPECT_EQ(PositionAfterResize(false, 85, 100, 20), 80) << "past the last page: the bottom";
    EXPECT_EQ(PositionAfterResize(false, 3, 10, 20), 0);
}

TEST(Scrolling, EveryCommandAtTheEdges)
{
    // -1: nothing moves (no redraw). Total 100 lines, page 10 (bottom 90), unless the row says
    // otherwise. The view's key and wheel test walks the ordinary moves.
    struct { int code; int64_t position, total, page, track, target; } cases[] = {
        {SB_LINEUP, 0, 100, 10, 0, -1},       {SB_LINEUP, 5, 100, 10, 0, 4},
        {SB_LINEDOWN, 90, 100, 10, 0, -1},    {SB_PAGEUP, 0, 100, 10, 0, -1},
        {SB_PAGEUP, 5, 100, 10, 0, 0},        {SB_PAGEDOWN, 90, 100, 10, 0, -1},
        {SB_PAGEDOWN, 85, 100, 10, 0, 90},    {SB_THUMBTRACK, 0, 100, 10, 5000, 90},
        {SB_ENDSCROLL, 50, 100, 10, 0, -1},
        {SB_LINEDOWN, 0, 5, 10, 0, -1},       {SB_PAGEDOWN, 0, 5, 10, 0, -1},  // everything fits
        {SB_PAGEDOWN, 3, 100, 1, 0, 4},       // a one-line window still pages by one line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " at " << c.position);
        EXPECT_EQ(ScrollTarget(c.code, c.position, c.total, c.page, c.track), c.target);
    }
}
