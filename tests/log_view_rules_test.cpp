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

struct Options {
    CtrlCodeSet ctrl;
    std::vector<uint8_t> decode = std::vector<uint8_t>(10240);
    LineOptions o;
    Options()
    {
        DefaultViewCtrlCodes(ctrl);
        o.ctrlCodes = &ctrl;
        o.decodeBuffer = decode.data();
        o.decodeSize = decode.size();
    }
};

// Data with the three zero bytes a record carries behind it.
struct Data {
    std::vector<uint8_t> bytes;
    explicit Data(const std::string& s) : bytes(s.begin(), s.end()) { bytes.resize(s.size() + 3, 0); }
    explicit Data(const std::u16string& s)
    {
        for (char16_t c : s) {
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        size_t n = bytes.size();
        bytes.resize(n + 3, 0);
    }
    uint32_t size() const { return static_cast<uint32_t>(bytes.size() - 3); }
};

uint32_t Count(const LineOptions& o, const Data& d, uint32_t* state = nullptr)
{
    uint32_t local = 0;
    return CountRecordLines(o, d.bytes.data(), d.size(), state ? state : &local);
}

// Every line of a record as kind and its text (text lines) or range.
std::vector<std::string> Walk(const LineOptions& o, const Data& d, uint32_t state = 0)
{
    std::vector<std::string> out;
    RecordLineWalker w(o, d.bytes.data(), d.size(), state);
    LineRef line;
    while (w.Next(line)) {
        switch (line.kind) {
        case LineKind::Header: out.push_back("H"); break;
        case LineKind::Hex: out.push_back("X" + std::to_string(line.begin) + "-" + std::to_string(line.end)); break;
        case LineKind::Chars: out.push_back("C" + std::to_string(line.begin) + "-" + std::to_string(line.end)); break;
        case LineKind::Text: {
            TextSpan t = w.Text();
            if (o.unicode)
                out.push_back("T" + std::to_string(line.begin) + "-" + std::to_string(line.end));
            else
                out.push_back("T" + std::string(reinterpret_cast<const char*>(t.bytes) + line.begin, line.end - line.begin));
            break;
        }
        case LineKind::AltText: {
            TextSpan t = w.Text();
            out.push_back("A" + std::string(reinterpret_cast<const char*>(t.bytes), t.length));
            break;
        }
        }
    }
    return out;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineRule, HeaderAndHexLinesByChunk)
{
    Options t;
    t.o.hexPerLine = 16;
    EXPECT_EQ(Count(t.o, Data(std::string(16, 'a'))), 2u);
    EXPECT_EQ(Count(t.o, Data(std::string(17, 'a'))), 3u);
    EXPECT_EQ(Count(t.o, Data("")), 1u) << "an empty record takes only its header line";
    t.o.hexPerLine = 27;
    EXPECT_EQ(Count(t.o, Data(std::string(64, 'a'))), 4u);
    EXPECT_EQ(Walk(t.o, Data(std::string(64, 'a'))), (Lines{"H", "X0-27", "X27-54", "X54-64"}));
}

TEST(LineRule, NothingOnTakesNoLines)
{
    Options t;
    t.o.header = t.o.hex = t.o.ascii = false;
    EXPECT_EQ(Count(t.o, Data("abc")), 0u);
    EXPECT_TRUE(Walk(t.o, Data("abc")).empty());
}

TEST(LineRule, CharacterLinesFollowTheHexLinesUnlessAlternate)
{
    Options t;
    t.o.hexPerLine = 4;
    t.o.ascii = true;
    Data d("abcdefghij");
    EXPECT_EQ(Walk(t.o, d), (Lines{"H", "X0-4", "X4-8", "X8-10", "C0-4", "C4-8", "C8-10"}));
    t.o.alternate = true;
    EXPECT_EQ(Walk(t.o, d), (Lines{"H", "X0-4", "C0-4", "X4-8", "C4-8", "X8-10", "C8-10"}));
    EXPECT_EQ(Count(t.o, d), 7u);
    // Alternate needs both parts: with hex off it is plain character lines.
    t.o.hex = false;
    EXPECT_EQ(Walk(t.o, d), (Lines{"H", "C0-4", "C4-8", "C8-10"}));
    // Alternate in string mode: each chunk's text alone.
    t.o.hex = true;
    t.o.string = true;
    EXPECT_EQ(Walk(t.o, d), (Lines{"H", "X0-4", "Aabcd", "X4-8", "Aefgh", "X8-10", "Aij"}));
}

TEST(LineRule, StringModeWithEachNewline)
{
    Options t;
    t.o.header = t.o.hex = false;
    t.o.ascii = t.o.string = true;
    t.o.columnsPerLine = 80;
    t.o.newline = NEWLINE_CRLF;
    EXPECT_EQ(Walk(t.o, Data("AB\r\nXY")), (Lines{"TAB", "TXY"}));
    EXPECT_EQ(Walk(t.o, Data("AB\r\n")), (Lines{"TAB"})) << "text ending with the sequence has no empty last line";
    EXPECT_EQ(Walk(t.o, Data("A\r\n\r\nB")), (Lines{"TA", "T", "TB"})) << "a sequence in the middle gives an empty line";
    EXPECT_EQ(Walk(t.o, Data("A\rB\nC")), (Lines{"TA\rB\nC"}));

    t.o.newline = NEWLINE_CR;
    EXPECT_EQ(Walk(t.o, Data("A\rB\r\nC")), (Lines{"TA", "TB", "T\nC"}));
    t.o.newline = NEWLINE_LF;
    EXPECT_EQ(Walk(t.o, Data("A\r\nB\n")), (Lines{"TA\r", "TB"}));
    t.o.newline = NEWLINE_CRCRLF;
    EXPECT_EQ(Walk(t.o, Data("A\r\r\nB\r\nC\r\r")), (Lines{"TA", "TB\r\nC\r\r"}));
    t.o.newline = NEWLINE_NONE;
    EXPECT_EQ(Walk(t.o, Data("A\r\nB")), (Lines{"TA\r\nB"}));
    EXPECT_EQ(Count(t.o, Data("")), 0u);
}

TEST(LineRule, StringModeWrapsByColumnsAndTheSequenceWinsAtTheEdge)
{
    Options t;
    t.o.header = t.o.hex = false;
    t.o.ascii = t.o.string = true;
    t.o.columnsPerLine = 3;
    EXPECT_EQ(Walk(t.o, Data("ABCDEFG")), (Lines{"TABC", "TDEF", "TG"}));
    t.o.newline = NEWLINE_CRLF;
    EXPECT_EQ(Walk(t.o, Data("ABC\r\nDEF\r\n")), (Lines{"TABC", "TDEF"}));
    // A count of 0 must not stall the wrap: the options make it 1, and the
    // walker itself guards against 0 too.
    ViewSettings s{};
    s.ascii = s.string = 1;
    EXPECT_EQ(MakeLineOptions(s, 0, 0).hexPerLine, 1u);
    EXPECT_EQ(MakeLineOptions(s, 0, 0).columnsPerLine, 1u);
    t.o.columnsPerLine = 0;
    t.o.newline = NEWLINE_NONE;
    EXPECT_EQ(Count(t.o, Data("abc")), 3u);
    t.o.string = false;
    t.o.hex = true;
    t.o.hexPerLine = 0;
    EXPECT_EQ(Count(t.o, Data("abc")), 6u);
}

TEST(LineRule, UnicodeWidthsAndUnits)
{
    Options t;
    t.o.header = t.o.hex = false;
    t.o.ascii = t.o.string = t.o.unicode = true;
    t.o.columnsPerLine = 4;
    Data d(u"\u3042\u3044A");  // two full-width and one narrow
    EXPECT_EQ(Walk(t.o, d), (Lines{"T0-2", "T2-3"}));
    t.o.columnsPerLine = 3;  // the second full-width unit is still taken at column 2
    EXPECT_EQ(Walk(t.o, d), (Lines{"T0-2", "T2-3"}));
    t.o.columnsPerLine = 1;
    EXPECT_EQ(Count(t.o, d), 3u);
    // Newlines are units too.
    t.o.columnsPerLine = 80;
    t.o.newline = NEWLINE_CRLF;
    EXPECT_EQ(Walk(t.o, Data(u"AB\r\nC")), (Lines{"T0-2", "T4-5"}));
    // An odd length reads as one more unit.
    Data odd("abc");
    EXPECT_EQ(Walk(t.o, odd), (Lines{"T0-2"}));
    // Widths come from the view when it gives them.
    t.o.unitColumns = [](void*, uint16_t) -> uint32_t { return 5; };
    t.o.columnsPerLine = 10;
    EXPECT_EQ(Count(t.o, Data(u"abcde")), 3u);
    // String off: character lines follow the byte chunks.
    t.o.string = false;
    t.o.hex = true;
    t.o.hexPerLine = 4;
    EXPECT_EQ(Walk(t.o, Data(u"abcde")), (Lines{"X0-4", "X4-8", "X8-10", "C0-4", "C4-8", "C8-10"}));
}

TEST(LineRule, KanjiDecodingCarriesTheJisStateAcrossRecords)
{
    Options t;
    t.o.header = t.o.hex = false;
    t.o.ascii = t.o.string = true;
    t.o.kanji = KANJI_JIS;
    uint32_t state = 0;
    // ESC $ B, then the pair for "あ": kanji mode stays on after the record.
    Data first(std::string("\x1b$B$\"", 5));
    EXPECT_EQ(Count(t.o, first, &state), 1u);
    EXPECT_EQ(state, 1u);
    Data second(std::string("$\"", 2));
    EXPECT_EQ(Walk(t.o, second, state), (Lines{"T\x82\xa0"})) << "the pair decodes in kanji mode";
    EXPECT_EQ(Walk(t.o, second, 0), (Lines{"T$\""})) << "from state 0 it is two letters";
    // EUC goes through the converter; SJIS is shown as it is.
    t.o.kanji = KANJI_EUC;
    EXPECT_EQ(Walk(t.o, Data("\xa4\xa2")), (Lines{"T\x82\xa0"}));
    t.o.kanji = KANJI_SJIS;
    EXPECT_EQ(Walk(t.o, Data("\xa4\xa2")), (Lines{"T\xa4\xa2"}));
    // Without a decoding buffer the raw bytes are shown.
    t.o.kanji = KANJI_EUC;
    t.o.decodeBuffer = nullptr;
    EXPECT_EQ(Walk(t.o, Data("\xa4\xa2")), (Lines{"T\xa4\xa2"}));
}

TEST(LineRule, DecodedTextIsCutAtTheBufferSize)
{
    Options t;
    t.o.header = t.o.hex = false;
    t.o.ascii = t.o.string = true;
    t.o.kanji = KANJI_UTF8;
    t.o.decodeSize = 4;
    EXPECT_EQ(Walk(t.o, Data("abcdefgh")), (Lines{"Tabcd"}));
}

// ---------------------------------------------------------------------------

namespace {

TrafficRecord* Rec(uint32_t number, uint32_t length = 4)
{
    std::vector<uint8_t> data(length, 0x41);
    return MakeTrafficRecord(RECORD_RECEIVE, number, data.data(), length);
}

std::vector<uint32_t> Numbers(const ViewStore& s)
{
    std::vector<uint32_t> out;
    for (uint32_t e = 0; e < s.count; ++e) out.push_back(StoreRecord(s, e)->number);
    return out;
}

uint64_t SumLines(const ViewStore& s)
{
    uint64_t sum = 0;
    for (uint32_t e = 0; e < s.count; ++e) sum += StoreLines(s, e);
    return sum;
}

int g_allocations = 0;
int g_failAt = -1;
size_t g_failSizeAtLeast = SIZE_MAX;
void* FailingAllocator(size_t count, size_t size)
{
    int n = g_allocations++;
    if (n == g_failAt || count * size >= g_failSizeAtLeast) return nullptr;
    return calloc(count, size);
}

struct AllocatorReset {
    ~AllocatorReset()
    {
        SetStoreAllocator(nullptr);
        g_allocations = 0;
        g_failAt = -1;
        g_failSizeAtLeast = SIZE_MAX;
    }
};

} // namespace

TEST(ViewStore, FullStoreDropsExactlyTheOldest)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 3, 1024), 0u);
    for (uint32_t n = 1; n <= 5; ++n) InsertRecord(s, Rec(n), n, 0);
    EXPECT_EQ(s.count, 3u);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{5, 4, 3}));
    EXPECT_EQ(s.totalLines, 12u);
    EXPECT_EQ(s.totalLines, SumLines(s));
    EXPECT_EQ(s.droppedLines, 3u) << "records 1 and 2 left with their lines";
    FreeStore(s);
}

TEST(ViewStore, RecordsWithoutLinesStillTakeAnEntry)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 2, 1024), 0u);
    InsertRecord(s, Rec(1), 2, 0);
    InsertRecord(s, Rec(2), 0, 0);
    InsertRecord(s, Rec(3), 0, 0);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{3, 2}));
    EXPECT_EQ(s.totalLines, 0u);
    FreeStore(s);
}

TEST(ViewStore, LowerCapacityKeepsTheNewestAndRaisingKeepsAll)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 10, 1024), 0u);
    for (uint32_t n = 1; n <= 8; ++n) InsertRecord(s, Rec(n), 1, static_cast<uint8_t>(n & 1));
    ASSERT_EQ(RebuildStore(s, 3, 1024), 0u);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{8, 7, 6}));
    EXPECT_EQ(s.totalLines, 3u);
    EXPECT_EQ(s.startStates[StoreSlot(s, 1)], 1u) << "a record's start state moves with it";
    ASSERT_EQ(RebuildStore(s, 100, 1024), 0u);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{8, 7, 6}));
    InsertRecord(s, Rec(9), 1, 0);
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{9, 8, 7, 6}));
    EXPECT_EQ(s.capacity, 100u);
    FreeStore(s);
}

TEST(ViewStore, FailedRebuildKeepsSizesThatMatchWhatExists)
{
    AllocatorReset reset;
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 4, 2048), 0u);
    for (uint32_t n = 1; n <= 4; ++n) InsertRecord(s, Rec(n), 1, 0);
    TrafficRecord** arrays = s.records;

    // The second array cannot be had: the old store stays whole.
    SetStoreAllocator(FailingAllocator);
    g_allocations = 0;
    g_failAt = 1;
    EXPECT_EQ(RebuildStore(s, 1000, 2048), static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(s.records, arrays);
    EXPECT_EQ(s.capacity, 4u) << "the capacity is that of the arrays that exist";
    EXPECT_EQ(Numbers(s), (std::vector<uint32_t>{4, 3, 2, 1}));
    for (uint32_t n = 5; n <= 20; ++n) InsertRecord(s, Rec(n), 1, 0);  // no add may overrun
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
    g_allocations = 0;
    EXPECT_NE(RebuildStore(s, 0xFFFFFFFFu, SIZE_MAX), 0u);
    EXPECT_EQ(s.decodeSize, 2048u);
    FreeStore(s);
}

TEST(ViewStore, FindingADisplayLine)
{
    ViewStore s;
    ASSERT_EQ(RebuildStore(s, 8, 1024), 0u);
    // Oldest first: 2 lines, none, 3 lines, 1 line.
    InsertRecord(s, Rec(1), 2, 0);
    InsertRecord(s, Rec(2), 0, 0);
    InsertRecord(s, Rec(3), 3, 0);
    InsertRecord(s, Rec(4), 1, 0);
    struct { uint64_t line; uint32_t number; uint32_t within; } cases[] = {
        {0, 1, 0}, {1, 1, 1}, {2, 3, 0}, {4, 3, 2}, {5, 4, 0},
    };
    for (const auto& c : cases) {
        LinePlace p;
        ASSERT_TRUE(FindDisplayLine(s, c.line, p)) << c.line;
        EXPECT_EQ(StoreRecord(s, p.entry)->number, c.number) << c.line;
        EXPECT_EQ(p.line, c.within) << c.line;
    }
    LinePlace p;
    EXPECT_FALSE(FindDisplayLine(s, 6, p));
    ClearStore(s);
    EXPECT_FALSE(FindDisplayLine(s, 0, p));
    EXPECT_EQ(s.totalLines, 0u);
    FreeStore(s);
}

// ---------------------------------------------------------------------------

TEST(Scrolling, PageAndAutomaticWraps)
{
    EXPECT_EQ(AutoHexBytesPerLine(80 * 10, 10), 27u);
    EXPECT_EQ(AutoHexBytesPerLine(10, 10), 1u) << "one character: (1 + 1) / 3 is 0, 1 is used";
    EXPECT_EQ(AutoHexBytesPerLine(0, 10), 1u);
    EXPECT_EQ(AutoColumnsPerLine(5, 10), 1u);
    EXPECT_EQ(AutoColumnsPerLine(805, 10), 80u);
    EXPECT_EQ(LinesPerPage(210, 21), 10);
    EXPECT_EQ(LinesPerPage(229, 21), 10);
    EXPECT_EQ(LinesPerPage(5, 21), 1);
}

TEST(Scrolling, EveryCommandAtTheEdges)
{
    const int64_t total = 100, page = 10, bottom = 90;
    EXPECT_EQ(ScrollTarget(SB_LINEUP, 0, total, page, 0), -1);
    EXPECT_EQ(ScrollTarget(SB_LINEUP, 5, total, page, 0), 4);
    EXPECT_EQ(ScrollTarget(SB_LINEDOWN, bottom, total, page, 0), -1);
    EXPECT_EQ(ScrollTarget(SB_LINEDOWN, 5, total, page, 0), 6);
    EXPECT_EQ(ScrollTarget(SB_PAGEUP, 0, total, page, 0), -1);
    EXPECT_EQ(ScrollTarget(SB_PAGEUP, 5, total, page, 0), 0);
    EXPECT_EQ(ScrollTarget(SB_PAGEUP, 50, total, page, 0), 41);
    EXPECT_EQ(ScrollTarget(SB_PAGEDOWN, bottom, total, page, 0), -1);
    EXPECT_EQ(ScrollTarget(SB_PAGEDOWN, 85, total, page, 0), bottom);
    EXPECT_EQ(ScrollTarget(SB_PAGEDOWN, 50, total, page, 0), 59);
    EXPECT_EQ(ScrollTarget(SB_TOP, 50, total, page, 0), 0);
    EXPECT_EQ(ScrollTarget(SB_BOTTOM, 50, total, page, 0), bottom);
    EXPECT_EQ(ScrollTarget(SB_THUMBPOSITION, 0, 200000, page, 70000), 70000) << "positions past 65,535";
    EXPECT_EQ(ScrollTarget(SB_THUMBTRACK, 0, total, page, 5000), bottom);
    EXPECT_EQ(ScrollTarget(SB_ENDSCROLL, 50, total, page, 0), -1);
    // Everything fits: nothing moves.
    EXPECT_EQ(ScrollTarget(SB_LINEDOWN, 0, 5, page, 0), -1);
    EXPECT_EQ(ScrollTarget(SB_PAGEDOWN, 0, 5, page, 0), -1);
    // A one-line window still pages by one line.
    EXPECT_EQ(ScrollTarget(SB_PAGEDOWN, 3, total, 1, 0), 4);
}

TEST(Scrolling, ResizeKeepsTheBottomOrTheTopLine)
{
    EXPECT_EQ(PositionAfterResize(true, 90, 100, 20), 80);
    EXPECT_EQ(PositionAfterResize(false, 30, 100, 20), 30);
    EXPECT_EQ(PositionAfterResize(false, 85, 100, 20), 80) << "past the last page: the bottom";
    EXPECT_EQ(PositionAfterResize(false, 3, 10, 20), 0);
}

TEST(Scrolling, WheelSteps)
{
    EXPECT_EQ(WheelSteps(240, 3), 6u);
    EXPECT_EQ(WheelSteps(-360, 2), 6u);
    EXPECT_EQ(WheelSteps(119, 3), 0u);
    EXPECT_EQ(WheelSteps(-32768, 0xFFFFFFFFu), 273ull * 0xFFFFFFFFull);
}
