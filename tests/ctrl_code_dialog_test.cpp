// Control-code names and the grid's hit test of the control-code dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "logview/ctrl_codes.h"
#include "resources/resource.h"
#include "tests/support/ui_driver.h"

TEST(CtrlCodes, NamesAndGridEdges)
{
    // Names from C0 and C1; none (the character itself); half-width katakana; the undefined.
    struct { int byte; const wchar_t* status; } names[] = {
        {0x0D, L"13(0D) CR (carriage return)"}, {0x99, L"153(99) SGCI (single graphic character introducer)"},
        {0x41, L"65(41) A"}, {0xB1, L"177(B1) \xFF71"}, {0xFF, L"255(FF) 未定義"}};
    wchar_t text[128];
    for (const auto& n : names) {
        FormatCtrlCodeStatus(n.byte, text, 128);
        EXPECT_STREQ(text, n.status);
    }
    FormatCtrlCodeStatus(0x0D, text, 4);
    EXPECT_EQ(wcslen(text), 3u) << "a short buffer is never overrun";
    // Cells of 19 pixels from (29, 29): the last pixel of a cell, the first of the next, the
    // grid's last pixel and those past it.
    struct { int x, y, byte; } hits[] = {{47, 47, 0}, {48, 29, 1}, {332, 332, 255}, {333, 100, -1}, {100, 20, -1}};
    for (const auto& h : hits) EXPECT_EQ(CtrlCodeGridHitTest(h.x, h.y), h.byte) << h.x << "," << h.y;
}
