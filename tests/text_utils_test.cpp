// The shared text utilities: digit converters, sanitising, hex text,
// trimming, the colour button face, and the edit input filters on real
// edit controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "logview/text_utils.h"
#include "tests/support/ui_driver.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Converter = size_t (*)(const char*, uint8_t*, bool, char);

// Up to a page of bytes whose end touches an inaccessible page: reading or
// writing one byte past them faults at once.
class FencedBuffer {
public:
    explicit FencedBuffer(size_t size)
        : base_(static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
        DWORD old;
        VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
        data_ = base_ + kPage - size;
    }
    ~FencedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    FencedBuffer(const FencedBuffer&) = delete;
    FencedBuffer& operator=(const FencedBuffer&) = delete;
    uint8_t* Data() { return data_; }
    char* Text() { return reinterpret_cast<char*>(data_); }

private:
    static constexpr size_t kPage = 4096;
    uint8_t* base_;
    uint8_t* data_;
};

// Sanitises a copy that ends at a fence, so no byte past the count is touched.
Bytes Sanitized(const Bytes& bytes)
{
    FencedBuffer fenced(bytes.size());
    std::copy(bytes.begin(), bytes.end(), fenced.Data());
    SanitizeBytes(fenced.Data(), bytes.size(), '.');
    return Bytes(fenced.Data(), fenced.Data() + bytes.size());
}

} // namespace

TEST(DigitText, GroupsReadAsNumbers)
{
    const struct { Converter convert; const char* text; bool sanitize; Bytes bytes; } cases[] = {
        {HexTextToBytes, "414", false, {0x41, 0x04}}, {HexTextToBytes, "fFa", false, {0xFF, 0x0A}},
        {HexTextToBytes, "", false, {}}, {BitTextToBytes, "1000001", false, {0x41}},
        {BitTextToBytes, "111111111", false, {0xFF, 0x01}}, {OctalTextToBytes, "0101", false, {0x41}},
        {OctalTextToBytes, "7777", false, {0xFF}},  // 4095 modulo 256
        {OctalTextToBytes, "0377012", false, {0xFF, 0x0A}},
        // Reading a group stops at its first character that is no digit.
        {BitTextToBytes, "10x11111", false, {0x02}}, {BitTextToBytes, "x1111111", false, {0x00}},
        {OctalTextToBytes, "1819", false, {0x01}}, {HexTextToBytes, "G1Z", false, {0x00, 0x00}},
        // Sanitising covers exactly the bytes produced; 83 41 is ア.
        {HexTextToBytes, "41070D", true, {0x41, '.', 0x0D}}, {HexTextToBytes, "8341", true, {0x83, 0x41}},
        {HexTextToBytes, "41 83", true, {0x41, '.', '.'}}};
    for (const auto& c : cases) {
        Bytes out(strlen(c.text) + 1, 0xEE);
        out.resize(c.convert(c.text, out.data(), c.sanitize, '.'));
        EXPECT_EQ(out, c.bytes) << c.text;
    }
}

TEST(DigitText, RandomTextsNeverReadOrWritePastTheirEnds)
{
    std::mt19937 random(7);
    const char alphabet[] = "0123456789abcdefABCDEFxyz \t\x83\x95\\%";
    const struct { Converter convert; size_t width; } converters[] = {
        {BitTextToBytes, 8}, {OctalTextToBytes, 4}, {HexTextToBytes, 2}};
    for (int round = 0; round < 2000; ++round) {
        for (const auto& c : converters) {
            size_t length = random() % 70;
            FencedBuffer text(length + 1);
            for (size_t i = 0; i < length; ++i) text.Text()[i] = alphabet[random() % (sizeof alphabet - 1)];
            text.Text()[length] = 0;
            size_t expected = (length + c.width - 1) / c.width;
            FencedBuffer out(expected);
            ASSERT_EQ(c.convert(text.Text(), out.Data(), round % 2 == 0, '.'), expected);
        }
    }
}

TEST(Sanitize, ControlCodesIllegalPairsAndALastLeadByte)
{
    const struct { Bytes in, out; } cases[] = {
        {{0x41, 0x07, 0x0D}, {0x41, '.', 0x0D}},
        {{'\t', '\n', 0x00, 0x7F, 0x80, 0xA0, 0xFF}, {'\t', '\n', '.', '.', '.', '.', '.'}},
        {{0xB1, 0xDF, 0xA1}, {0xB1, 0xDF, 0xA1}},              // half-width katakana
        {{0x95, 0x5C, 0x83, 0x41}, {0x95, 0x5C, 0x83, 0x41}},  // 表ア
        {{0x83, 0x0D, 0x41}, {'.', '.', 0x41}}, {{0x81, 0x20}, {'.', '.'}},
        {{0x82, 0xA0, 0x07}, {0x82, 0xA0, '.'}},  // a pair's second byte is never looked at alone
        // A lead byte in the last place is replaced alone; its partner would
        // lie past the fence.
        {{0x41, 0x83}, {0x41, '.'}}, {{0x41, 0x42, 0x95}, {0x41, 0x42, '.'}}, {{0x83}, {'.'}}, {{}, {}}};
    for (const auto& c : cases) EXPECT_EQ(Sanitized(c.in), c.out) << c.in.size();

    std::mt19937 random(42);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes(random() % 40);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        Bytes once = Sanitized(bytes);
        for (size_t i = 0; i < once.size(); ++i) {
            if (IsDBCSLeadByteEx(932, once[i]) && i + 1 < once.size()) {
                char pair[2] = {char(once[i]), char(once[i + 1])};
                EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, pair, 2, nullptr, 0), 1);
                ++i;
                continue;
            }
            uint8_t b = once[i];
            EXPECT_TRUE((b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF) || b == '\t' || b == '\r' || b == '\n')
                << int(b);
        }
        EXPECT_EQ(Sanitized(once), once);  // a clean text stays as it is
    }
}

TEST(HexAndTrimText, HexUpToTheFirstZeroAndTrailingBlanksOnly)
{
    char out[16];
    memset(out, 'Z', sizeof out);
    const uint8_t empty[] = {0x00, 0x1F}, text[] = {0x41, 0xFF, 0x0A, 0x00, 0x42};
    EXPECT_EQ(BytesToHexText(empty, out), out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(BytesToHexText(text, out), out + 6);
    EXPECT_STREQ(out, "41FF0A");
    EXPECT_EQ(out[7], 'Z');

    // A trail byte (表 ends in 0x5C) never counts as a blank.
    const struct { const char *text, *trimmed; } trims[] = {
        {"  text \t\r\n ", "  text"}, {" \r\n\t", ""}, {"", ""}, {"表 ", "表"}};
    for (const auto& t : trims) {
        std::string copy = t.text;
        EXPECT_STREQ(TrimTrailingSpace(copy.data()), t.trimmed);
    }
}

TEST(ColourButton, FaceFollowsTheSelectedState)
{
    // Draws the button at (2,3)-(22,15) on white; for each point, "X" where
    // the brush painted it.
    auto painted = [](UINT action, UINT state, std::initializer_list<POINT> points) {
        const COLORREF colour = RGB(0x12, 0xC0, 0x34);
        HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 30, 20);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, 30, 20};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HBRUSH brush = CreateSolidBrush(colour);
        DRAWITEMSTRUCT item{ODT_BUTTON, 0, 0, action, state, nullptr, dc, RECT{2, 3, 22, 15}, 0};
        DrawColourButton(&item, brush);
        std::string result;
        for (POINT p : points) result += GetPixel(dc, p.x, p.y) == colour ? 'X' : '.';
        DeleteObject(brush);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return result;
    };
    EXPECT_EQ(painted(ODA_DRAWENTIRE, 0, {{3, 4}, {19, 12}, {20, 13}, {2, 3}}), "XX..");
    // Pushed, the face moves by a pixel; corner squares at (right - 2, top + 1)
    // and (left + 1, bottom - 2).
    EXPECT_EQ(painted(ODA_SELECT, ODS_SELECTED, {{4, 5}, {20, 13}, {21, 14}, {3, 4}, {20, 4}, {3, 13}}), "XX..XX");
}

namespace {

// Each edit control first gets a recording procedure of its own, so the test
// sees exactly which messages the filter lets through, and to which control.
std::vector<UINT> g_seen[2];
WNDPROC g_editProc[2];

template <int N>
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_seen[N].push_back(message);
    return CallWindowProcW(g_editProc[N], hwnd, message, wParam, lParam);
}

const WNDPROC kRecordingProcs[2] = {RecordingProc<0>, RecordingProc<1>};

class FilteredEdits : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = CreateWindowExW(0, L"STATIC", L"edits", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        for (int i = 0; i < 2; ++i) {
            edit[i] = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, i * 30, 200, 24,
                                      parent, nullptr, nullptr, nullptr);
            g_seen[i].clear();
            g_editProc[i] = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(kRecordingProcs[i])));
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; ++i)
            SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_editProc[i]));
        DestroyWindow(parent);
    }
    bool Saw(int i, UINT message) const { return std::count(g_seen[i].begin(), g_seen[i].end(), message) > 0; }
    WNDPROC Proc(int i) const { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit[i], GWLP_WNDPROC)); }

    HWND parent = nullptr;
    HWND edit[2] = {};
};

} // namespace

TEST_F(FilteredEdits, EachControlKeepsItsOwnProcedureAndRule)
{
    // Two controls in one mode: each one's messages reach its own previous
    // procedure only, and disabling gives each its own back.
    SetEditInputFilter(edit[0], FILTER_HEX, true);
    SetEditInputFilter(edit[1], FILTER_HEX, true);
    TypeText(edit[0], "1g2Hz3aF\x08");
    EXPECT_TRUE(Saw(0, WM_CHAR));
    size_t firstCount = g_seen[0].size();
    TypeText(edit[1], "-f+0");
    EXPECT_TRUE(Saw(1, WM_CHAR));
    EXPECT_EQ(g_seen[0].size(), firstCount);
    EXPECT_EQ(WindowTextW(edit[0]), L"123a");  // F then backspace: control characters pass
    EXPECT_EQ(WindowTextW(edit[1]), L"f0");
    SetEditInputFilter(edit[0], FILTER_HEX, false);
    EXPECT_EQ(Proc(0), kRecordingProcs[0]);
    TypeText(edit[0], "xy");
    TypeText(edit[1], "xy");
    EXPECT_EQ(WindowTextW(edit[0]), L"123axy");
    EXPECT_EQ(WindowTextW(edit[1]), L"f0");  // the second control is still filtered

    // Each mode takes its digits; enabling again in another mode changes the
    // rule, not the chain.
    SetWindowTextW(edit[1], L"");
    SetEditInputFilter(edit[0], FILTER_BINARY, true);
    SetEditInputFilter(edit[1], FILTER_OCTAL, true);
    TypeText(edit[0], "0123456789abcdef");
    TypeText(edit[1], "0123456789abcdef");
    EXPECT_EQ(WindowTextW(edit[0]), L"123axy01");
    EXPECT_EQ(WindowTextW(edit[1]), L"01234567");
    SetEditInputFilter(edit[0], FILTER_BINARY, false);
    SetEditInputFilter(edit[1], FILTER_OCTAL, false);
    EXPECT_EQ(Proc(0), kRecordingProcs[0]);
    EXPECT_EQ(Proc(1), kRecordingProcs[1]);

    // A filtered control that is destroyed passes its last messages on.
    SetEditInputFilter(edit[1], FILTER_BINARY, true);
    g_seen[1].clear();
    DestroyWindow(edit[1]);
    EXPECT_TRUE(Saw(1, WM_DESTROY));
    EXPECT_TRUE(Saw(1, WM_NCDESTROY));
}

TEST_F(FilteredEdits, PasteContextMenuAndInputMethodsAreShutOut)
{
    ASSERT_TRUE(OpenClipboard(parent));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof L"ABC");
    memcpy(GlobalLock(memory), L"ABC", sizeof L"ABC");
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();

    SetEditInputFilter(edit[0], FILTER_HEX, true);
    g_seen[0].clear();
    SendMessageW(edit[0], WM_PASTE, 0, 0);
    SendMessageW(edit[0], WM_CONTEXTMENU, reinterpret_cast<WPARAM>(edit[0]), MAKELPARAM(10, 10));
    SendMessageW(edit[0], WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    const UINT ime[] = {WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION, WM_IME_COMPOSITION, WM_IME_SETCONTEXT,
                        WM_IME_NOTIFY, WM_IME_CONTROL, WM_IME_COMPOSITIONFULL, WM_IME_SELECT, WM_IME_CHAR,
                        WM_IME_KEYDOWN, WM_IME_KEYUP};
    for (UINT message : ime) EXPECT_EQ(SendMessageW(edit[0], message, 'A', 0), 0) << message;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    for (UINT message : ime) EXPECT_FALSE(Saw(0, message)) << message;
    for (UINT message : {WM_PASTE, WM_CONTEXTMENU, WM_RBUTTONUP, WM_CHAR}) EXPECT_FALSE(Saw(0, message)) << message;
    EXPECT_EQ(WindowTextW(edit[0]), L"");

    // Without the filter the same paste and input-method character arrive.
    SetEditInputFilter(edit[0], FILTER_HEX, false);
    SendMessageW(edit[0], WM_PASTE, 0, 0);
    EXPECT_EQ(WindowTextW(edit[0]), L"ABC");
    SendMessageW(edit[0], WM_IME_CHAR, 'Q', 0);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_TRUE(Saw(0, WM_IME_CHAR));
}
