// Control-code names, the grid's hit test, and the dialog's status text,
// toggling, OK and Cancel.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "logview/ctrl_codes.h"
#include "resources/resource.h"
#include "tests/support/ui_driver.h"

namespace {

// The middle of the grid cell of `byte`: cells of 19 pixels from (29, 29).
LPARAM Cell(int byte) { return MAKELPARAM(38 + 19 * (byte % 16), 38 + 19 * (byte / 16)); }

struct Seen { bool ok = true, ran = false; std::wstring statusOverCr, statusOutside; } g_seen;

// A simple-mode status text: Wine answers under index 0, Windows under SB_SIMPLEID.
std::wstring SimpleText(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_CTRL_STATUS);
    wchar_t text[128] = {};
    SendMessageW(bar, SB_GETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text));
    if (!text[0]) SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

void CALLBACK Drive(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = FindWindowW(L"#32770", L"制御コードの定義");
    if (g_seen.ran || !dialog || !IsWindowVisible(dialog)) return;  // on the screen first
    g_seen.ran = true;
    KillTimer(nullptr, id);
    // 0x41 on, 0x0D twice (as before), 0x0A off, the header bands and the right of the grid nothing, 0xFF on.
    for (LPARAM at : {Cell(0x41), Cell(0x0D), Cell(0x0D), Cell(0x0A), MAKELPARAM(15, 15), MAKELPARAM(20, 100),
                      MAKELPARAM(340, 100), Cell(0xFF)})
        SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(dialog, WM_MOUSEMOVE, 0, Cell(0x0D));
    g_seen.statusOverCr = SimpleText(dialog);
    SendMessageW(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(400, 400));
    g_seen.statusOutside = SimpleText(dialog);
    if (g_seen.ok) SaveScreenshot(dialog, "ctrl_code_dialog");
    PostMessageW(dialog, WM_COMMAND, g_seen.ok ? IDOK : IDCANCEL, 0);
}

} // namespace

TEST(CtrlCodes, NamesAndGridEdges)
{
    // A C1 name; none (the character itself); half-width katakana; the undefined. (The dialog
    // test below reads a C0 name.)
    struct { int byte; const wchar_t* status; } names[] = {
        {0x99, L"153(99) SGCI (single graphic character introducer)"}, {0x41, L"65(41) A"}, {0xB1, L"177(B1) \xFF71"},
        {0xFF, L"255(FF) 未定義"}};
    wchar_t text[128];
    for (const auto& n : names) EXPECT_STREQ((FormatCtrlCodeStatus(n.byte, text, 128), text), n.status);
    FormatCtrlCodeStatus(0x0D, text, 4);
    EXPECT_EQ(wcslen(text), 3u) << "a short buffer is never overrun";
    // The last pixel of a cell, the first of the next, the grid's last pixel and the one past it.
    struct { int x, y, byte; } hits[] = {{47, 47, 0}, {48, 29, 1}, {332, 332, 255}, {333, 100, -1}, {100, 20, -1}};
    for (const auto& h : hits) EXPECT_EQ(CtrlCodeGridHitTest(h.x, h.y), h.byte) << h.x << "," << h.y;
}

TEST(CtrlCodeDialog, OkCopiesTheToggledSetBackAndCancelLeavesItAlone)
{
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        CtrlCodeSet set, expected;
        DefaultViewCtrlCodes(set);
        DefaultViewCtrlCodes(expected);
        for (int b : {0x41, 0x0A, 0xFF}) expected.code[b] ^= ok;  // what OK keeps, Cancel drops
        g_seen = Seen{};
        g_seen.ok = ok;
        SetTimer(nullptr, 0, 50, Drive);
        EXPECT_EQ(EditCtrlCodeSet(nullptr, set), 1);
        ASSERT_TRUE(g_seen.ran);
        EXPECT_EQ(memcmp(&set, &expected, sizeof set), 0);
        EXPECT_EQ(g_seen.statusOverCr, L"13(0D) CR (carriage return)");
        EXPECT_EQ(g_seen.statusOutside, L"");
    }
}
