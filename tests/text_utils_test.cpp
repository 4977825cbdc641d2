// The shared text utilities: digit converters, sanitising, hex text, and the edit input filters
// on real edit controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "logview/text_utils.h"
#include "tests/support/ui_driver.h"

using Bytes = std::vector<uint8_t>;

// Overruns are the fuzz test's (page-fenced buffers of exactly the stated size); here a byte
// just past the output (0x07, which sanitising would replace) must stay untouched.
TEST(TextUtils, DigitGroupsSanitisingAndHexText)
{
    using Converter = size_t (*)(const char*, uint8_t*, bool, char);
    const struct { Converter convert; const char* text; bool sanitize; Bytes bytes; } cases[] = {
        {HexTextToBytes, "4fF", false, {0x4F, 0x0F}}, {BitTextToBytes, "111111111", false, {0xFF, 0x01}},
        {OctalTextToBytes, "7777012", false, {0xFF, 0x0A}},  // 4095 modulo 256
        // Reading a group stops at its first character that is no digit.
        {BitTextToBytes, "10x11111", false, {0x02}}, {OctalTextToBytes, "1819", false, {0x01}},
        {HexTextToBytes, "G1Z", false, {0x00, 0x00}},
        // Sanitising covers exactly the bytes produced; 83 41 is ア.
        {HexTextToBytes, "41078341", true, {0x41, '.', 0x83, 0x41}}, {HexTextToBytes, "410783", true, {0x41, '.', '.'}}};
    for (const auto& c : cases) {
        Bytes out(c.bytes.size() + 1, 0x07), expected = c.bytes;
        expected.push_back(0x07);
        ASSERT_EQ(c.convert(c.text, out.data(), c.sanitize, '.'), c.bytes.size()) << c.text;
        EXPECT_EQ(out, expected) << c.text;
    }
    const struct { Bytes in, out; } sanitized[] = {
        {{'\t', '\n', 0x0D, 0x20, 0x7E, 0x00, 0x1F, 0x7F, 0x80, 0xA0, 0xFF},
         {'\t', '\n', 0x0D, 0x20, 0x7E, '.', '.', '.', '.', '.', '.'}},
        {{0xB1, 0xDF, 0x95, 0x5C, 0x83, 0x41}, {0xB1, 0xDF, 0x95, 0x5C, 0x83, 0x41}},  // ｱﾟ表ア
        {{0x83, 0x0D, 0x41, 0x81, 0x7F}, {'.', '.', 0x41, '.', '.'}},
        {{0x82, 0xA0, 0x07}, {0x82, 0xA0, '.'}},  // a pair's second byte is never looked at alone
        {{0x41, 0x83}, {0x41, '.'}}, {{0x83}, {'.'}}};  // a last lead byte is replaced alone
    for (auto c : sanitized) {
        c.in.push_back(0x07);
        c.out.push_back(0x07);
        SanitizeBytes(c.in.data(), c.in.size() - 1, '.');
        EXPECT_EQ(c.in, c.out) << c.in.size();
    }
    const uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x41};
    char hex[8];
    EXPECT_EQ(BytesToHexText(bytes, hex) - hex, 4);
    EXPECT_STREQ(hex, "0AFF");  // upper case, up to the first zero byte
}

namespace {

// A recording procedure under each control's filter: what reaches it has passed the filter.
std::vector<UINT> g_seen[2];
WNDPROC g_editProc[2];

template <int N>
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_seen[N].push_back(message);
    return CallWindowProcW(g_editProc[N], hwnd, message, wParam, lParam);
}
const WNDPROC kRecordingProcs[2] = {RecordingProc<0>, RecordingProc<1>};

} // namespace

TEST(FilteredEdits, EachControlKeepsItsOwnProcedureAndRule)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, 0);
    HWND edit[2];
    for (int i = 0; i < 2; ++i) {
        edit[i] = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, i * 30, 200, 24, parent, 0, 0, 0);
        g_editProc[i] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(kRecordingProcs[i])));
        SetEditInputFilter(edit[i], FILTER_HEX, true);
    }
    auto texts = [&] { return WindowTextW(edit[0]) + L"|" + WindowTextW(edit[1]); };
    // Two controls in one mode: what reaches one never passes through the other's procedure; paste, the
    // context menu and input methods reach neither.
    TypeText(edit[1], "-f+0");
    g_seen[1].clear();
    TypeText(edit[0], "1g2Hz3aF\x08");  // F, then backspace: it passes
    for (UINT message : {WM_PASTE, WM_CONTEXTMENU, WM_RBUTTONUP, WM_IME_CHAR, WM_IME_COMPOSITION, WM_IME_KEYUP})
        SendMessageW(edit[1], message, 'A', 0);
    EXPECT_TRUE(g_seen[1].empty());
    EXPECT_EQ(texts(), L"123a|f0");
    // Each mode takes its digits; enabling again in another mode changes the rule, not the chain.
    SetEditInputFilter(edit[0], FILTER_BINARY, true);
    SetEditInputFilter(edit[1], FILTER_OCTAL, true);
    TypeText(edit[0], "0123456789abcdef");
    TypeText(edit[1], "0123456789abcdef");
    EXPECT_EQ(texts(), L"123a01|f001234567");
    // Disabling gives each control back its own procedure.
    for (int i : {1, 0}) {
        SetEditInputFilter(edit[i], i ? FILTER_OCTAL : FILTER_BINARY, false);
        EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit[i], GWLP_WNDPROC)), kRecordingProcs[i]);
    }
    DestroyWindow(parent);
}
