// The shared text utilities: digit converters, sanitising, and the edit input filters on real
// edit controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "logview/text_utils.h"
#include "tests/support/ui_driver.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Converter = size_t (*)(const char*, uint8_t*, bool, char);

// `size` bytes whose end touches an inaccessible page: touching one byte past them faults at once.
struct FencedBuffer {
    explicit FencedBuffer(size_t n) : data(base + 4096 - n) { VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &old); }
    ~FencedBuffer() { VirtualFree(base, 0, MEM_RELEASE); }
    uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    uint8_t* data;
    DWORD old;
};

} // namespace

TEST(TextUtils, DigitGroupsReadAsNumbersAndSanitisingNeverPassTheirEnds)
{
    const struct { Converter convert; const char* text; bool sanitize; Bytes bytes; } cases[] = {
        {HexTextToBytes, "4fF", false, {0x4F, 0x0F}}, {BitTextToBytes, "111111111", false, {0xFF, 0x01}},
        {OctalTextToBytes, "7777012", false, {0xFF, 0x0A}},  // 4095 modulo 256
        // Reading a group stops at its first character that is no digit.
        {BitTextToBytes, "10x11111", false, {0x02}}, {OctalTextToBytes, "1819", false, {0x01}},
        {HexTextToBytes, "G1Z", false, {0x00, 0x00}},
        // Sanitising covers exactly the bytes produced; 83 41 is ア.
        {HexTextToBytes, "41078341", true, {0x41, '.', 0x83, 0x41}}, {HexTextToBytes, "41 83", true, {0x41, '.', '.'}}};
    for (const auto& c : cases) {  // text and output both end at a fence
        FencedBuffer text(strlen(c.text) + 1), out(c.bytes.size());
        strcpy(reinterpret_cast<char*>(text.data), c.text);
        ASSERT_EQ(c.convert(reinterpret_cast<char*>(text.data), out.data, c.sanitize, '.'), c.bytes.size()) << c.text;
        EXPECT_EQ(Bytes(out.data, out.data + c.bytes.size()), c.bytes) << c.text;
    }
    const struct { Bytes in, out; } sanitized[] = {
        {{'\t', '\n', 0x0D, 0x00, 0x7F, 0x80, 0xA0, 0xFF}, {'\t', '\n', 0x0D, '.', '.', '.', '.', '.'}},
        {{0xB1, 0xDF, 0x95, 0x5C, 0x83, 0x41}, {0xB1, 0xDF, 0x95, 0x5C, 0x83, 0x41}},  // ｱﾟ表ア
        {{0x83, 0x0D, 0x41, 0x81, 0x7F}, {'.', '.', 0x41, '.', '.'}},
        {{0x82, 0xA0, 0x07}, {0x82, 0xA0, '.'}},  // a pair's second byte is never looked at alone
        {{0x41, 0x83}, {0x41, '.'}}, {{0x83}, {'.'}}, {{}, {}}};  // a last lead byte is replaced alone
    for (const auto& c : sanitized) {
        FencedBuffer fenced(c.in.size());
        std::copy(c.in.begin(), c.in.end(), fenced.data);
        SanitizeBytes(fenced.data, c.in.size(), '.');
        EXPECT_EQ(Bytes(fenced.data, fenced.data + c.in.size()), c.out) << c.in.size();
    }
}

namespace {

// Each edit control first gets a recording procedure of its own, so the test
// sees which messages the filter lets through, and to which control.
std::vector<UINT> g_seen[2];
WNDPROC g_editProc[2];

template <int N>
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_seen[N].push_back(message);
    return CallWindowProcW(g_editProc[N], hwnd, message, wParam, lParam);
}
const WNDPROC kRecordingProcs[2] = {RecordingProc<0>, RecordingProc<1>};

bool Saw(int i, UINT message) { return std::count(g_seen[i].begin(), g_seen[i].end(), message) > 0; }

} // namespace

TEST(FilteredEdits, EachControlKeepsItsOwnProcedureAndRule)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, 0);
    HWND edit[2];
    for (int i = 0; i < 2; ++i) {
        edit[i] = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, i * 30, 200, 24, parent, 0, 0, 0);
        g_editProc[i] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(kRecordingProcs[i])));
    }
    auto proc = [&](int i) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit[i], GWLP_WNDPROC)); };
    // Two controls in one mode: each one's messages reach its own previous
    // procedure only, and disabling gives each its own back.
    SetEditInputFilter(edit[0], FILTER_HEX, true);
    SetEditInputFilter(edit[1], FILTER_HEX, true);
    TypeText(edit[0], "1g2Hz3aF\x08");
    size_t firstCount = g_seen[0].size();
    TypeText(edit[1], "-f+0");
    EXPECT_TRUE(Saw(0, WM_CHAR) && Saw(1, WM_CHAR));
    EXPECT_EQ(g_seen[0].size(), firstCount);
    EXPECT_EQ(WindowTextW(edit[0]) + L"|" + WindowTextW(edit[1]), L"123a|f0");  // F, then backspace: it passes
    SetEditInputFilter(edit[0], FILTER_HEX, false);
    EXPECT_EQ(proc(0), kRecordingProcs[0]);
    TypeText(edit[0], "xy");
    TypeText(edit[1], "xy");
    EXPECT_EQ(WindowTextW(edit[0]) + L"|" + WindowTextW(edit[1]), L"123axy|f0");  // the second is still filtered
    // Each mode takes its digits; enabling again in another mode changes the rule, not the chain.
    SetWindowTextW(edit[1], L"");
    SetEditInputFilter(edit[0], FILTER_BINARY, true);
    SetEditInputFilter(edit[1], FILTER_OCTAL, true);
    TypeText(edit[0], "0123456789abcdef");
    TypeText(edit[1], "0123456789abcdef");
    EXPECT_EQ(WindowTextW(edit[0]) + L"|" + WindowTextW(edit[1]), L"123axy01|01234567");
    SetEditInputFilter(edit[1], FILTER_OCTAL, false);
    EXPECT_EQ(proc(1), kRecordingProcs[1]);
    // A filtered control that is destroyed passes its last messages on.
    g_seen[0].clear();
    DestroyWindow(edit[0]);
    EXPECT_TRUE(Saw(0, WM_DESTROY) && Saw(0, WM_NCDESTROY));
    DestroyWindow(parent);
}
