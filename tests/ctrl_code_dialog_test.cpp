// Control-code names, the grid's hit test, and the dialog that edits a set.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "logview/ctrl_codes.h"
#include "resources/resource.h"
#include "tests/support/ui_driver.h"

TEST(CtrlCodes, NamesAndGridEdges)
{
    // Names run from NUL to SP, DEL, C1 to NBSP, and 0xE0 on; the other bytes show themselves.
    struct { int byte; const wchar_t* status; } names[] = {
        {0x0D, L"13(0D) CR (carriage return)"}, {0x16, L"22(16) SYN (synchoronous idle)"}, {0x20, L"32(20) SP (space)"},
        {0x41, L"65(41) A"}, {0x7F, L"127(7F) DEL (delete)"}, {0x99, L"153(99) SGCI (single graphic character introducer)"},
        {0xA0, L"160(A0) NBSP (non-breaking space)"}, {0xA1, L"161(A1) \xFF61"}, {0xDF, L"223(DF) \xFF9F"},
        {0xE0, L"224(E0) 未定義"}, {0xFF, L"255(FF) 未定義"}};
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

// The dialog laid out as drawn, cells red while in the set; clicks on 0x41 (twice: as it was), the
// space (once: out of the set) and a header band, then OK keeps them and Cancel drops them.
TEST(CtrlCodeDialog, LayoutColoursAndOkOrCancel)
{
    const DWORD ui = GetCurrentThreadId();
    for (int button : {IDOK, IDCANCEL}) {
        CtrlCodeSet set{}, expected{};
        set.code[0x20] = set.code[0x42] = expected.code[0x42] = 1;
        expected.code[0x20] = button == IDCANCEL;
        UserThread user([&] {
            HWND dialog = WaitForThreadDialog(ui, nullptr, 15000);
            EXPECT_EQ(WindowTextW(dialog), L"制御コードの定義");
            for (LPARAM at : {MAKELPARAM(50, 110), MAKELPARAM(50, 110), MAKELPARAM(35, 75), MAKELPARAM(15, 15)})
                SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at);
            RECT client, r[3];  // OK, Cancel and the status bar, in client coordinates
            GetClientRect(dialog, &client);
            GetWindowRect(GetDlgItem(dialog, IDOK), &r[0]);
            GetWindowRect(GetDlgItem(dialog, IDCANCEL), &r[1]);
            GetWindowRect(GetDlgItem(dialog, IDC_CTRL_STATUS), &r[2]);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(r), 6);
            EXPECT_EQ(std::vector<LONG>({client.right, client.bottom, r[0].left, r[0].top, r[1].left, r[1].top}),
                      std::vector<LONG>({r[0].right - r[0].left + 363, r[2].bottom - r[2].top + 343, 353, 10, 353,
                                         r[0].bottom - r[0].top + 20}));
            EXPECT_TRUE(SaveScreenshot(dialog, "ctrl_code_dialog"));  // repaints the dialog
            HDC dc = GetDC(dialog);
            // Inside the cells of 0x42 and 0x41, clear of their characters.
            EXPECT_EQ(GetPixel(dc, 68, 106), RGB(0xC0, 0, 0));
            EXPECT_EQ(GetPixel(dc, 49, 106), GetSysColor(COLOR_WINDOW));
            ReleaseDC(dialog, dc);
            PostMessageW(dialog, WM_COMMAND, button, 0);
        });
        EXPECT_EQ(EditCtrlCodeSet(nullptr, set), 1);
        user.join();
        EXPECT_EQ(memcmp(&set, &expected, sizeof set), 0) << (button == IDOK ? "OK" : "Cancel");
    }
}
