// The control-code dialog: hit test, status text, toggling, OK and Cancel.
#include <gtest/gtest.h>

#include "tests/support/ui_driver.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "logview/ctrl_codes.h"
#include "resources/resource.h"

namespace {

std::wstring Status(int byte)
{
    wchar_t buffer[128];
    FormatCtrlCodeStatus(byte, buffer, 128);
    return buffer;
}

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }
// The middle of the cell of `byte`.
LPARAM Cell(int byte) { return Point(29 + 19 * (byte % 16) + 9, 29 + 19 * (byte / 16) + 9); }

struct Script {
    bool ok = true;
    std::wstring statusOverCr;
    std::wstring statusOutside;
    RECT client{};
    RECT okRect{};
    RECT cancelRect{};
    int statusHeight = 0;
    int okWidth = 0, okHeight = 0;
    bool ran = false;
    int ticks = 0;
};
Script g_script;

// The text of a status bar in simple mode. Wine answers SB_GETTEXT for the
// simple part only under index 0, Windows under SB_SIMPLEID: ask both.
std::wstring SimpleText(HWND bar)
{
    wchar_t text[128] = {};
    SendMessageW(bar, SB_GETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text));
    if (!text[0]) SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

HWND FindDialog()
{
    return FindWindowW(L"#32770", L"制御コードの定義");
}

void CALLBACK Drive(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = FindDialog();
    if (!dialog || g_script.ran || !IsWindowVisible(dialog)) return;
    if (++g_script.ticks < 4) return;  // let the window reach the screen first
    g_script.ran = true;
    KillTimer(nullptr, id);
    GetClientRect(dialog, &g_script.client);
    HWND ok = GetDlgItem(dialog, IDOK), cancel = GetDlgItem(dialog, IDCANCEL), bar = GetDlgItem(dialog, IDC_CTRL_STATUS);
    GetWindowRect(ok, &g_script.okRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&g_script.okRect), 2);
    GetWindowRect(cancel, &g_script.cancelRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&g_script.cancelRect), 2);
    RECT b;
    GetWindowRect(bar, &b);
    g_script.statusHeight = b.bottom - b.top;

    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Cell(0x41));  // toggled on
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Cell(0x0D));  // twice: restored
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Cell(0x0D));
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));    // header bands
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Point(20, 100));
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Point(340, 100));  // right of the grid
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, Cell(0xFF));       // toggled on

    SendMessageW(dialog, WM_MOUSEMOVE, 0, Cell(0x0D));
    g_script.statusOverCr = SimpleText(bar);
    SendMessageW(dialog, WM_MOUSEMOVE, 0, Point(400, 400));
    g_script.statusOutside = SimpleText(bar);
    if (g_script.ok) SaveWindowPng(dialog, BuildFolderFile("ctrl_code_dialog.png"));
    PostMessageW(dialog, WM_COMMAND, g_script.ok ? IDOK : IDCANCEL, 0);
}

int RunDialog(CtrlCodeSet& set, bool ok)
{
    g_script = Script{};
    g_script.ok = ok;
    SetTimer(nullptr, 0, 50, Drive);
    return EditCtrlCodeSet(nullptr, set);
}

} // namespace

TEST(CtrlCodes, DefaultsOfTheViewAndTheLog)
{
    CtrlCodeSet view, log;
    DefaultViewCtrlCodes(view);
    DefaultLogCtrlCodes(log);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(view.code[b], (b <= 0x20 || b == 0x7F) ? 1 : 0) << b;
        EXPECT_EQ(log.code[b], (b < 0x20 || b == 0x7F) ? 1 : 0) << b;
    }
}

TEST(CtrlCodes, NamesAndStatusText)
{
    EXPECT_EQ(Status(0x0D), L"13(0D) CR (carriage return)");
    EXPECT_EQ(Status(0x41), L"65(41) A") << "no name: the character itself";
    EXPECT_EQ(Status(0x00), L"0(00) NUL (null)");
    EXPECT_EQ(Status(0x20), L"32(20) SP (space)");
    EXPECT_EQ(Status(0x7F), L"127(7F) DEL (delete)");
    EXPECT_EQ(Status(0x99), L"153(99) SGCI (single graphic character introducer)");
    EXPECT_EQ(Status(0xA0), L"160(A0) NBSP (non-breaking space)");
    EXPECT_EQ(Status(0xB1), L"177(B1) \xFF71") << "half-width katakana";
    EXPECT_EQ(Status(0xFF), L"255(FF) 未定義");
    wchar_t tiny[4];
    FormatCtrlCodeStatus(0x0D, tiny, 4);
    EXPECT_EQ(wcslen(tiny), 3u) << "a short buffer is never overrun";
}

TEST(CtrlCodes, GridHitTest)
{
    EXPECT_EQ(CtrlCodeGridHitTest(29, 29), 0);
    EXPECT_EQ(CtrlCodeGridHitTest(47, 47), 0);
    EXPECT_EQ(CtrlCodeGridHitTest(48, 29), 1);
    EXPECT_EQ(CtrlCodeGridHitTest(29 + 19 * 13 + 5, 35), 13);
    EXPECT_EQ(CtrlCodeGridHitTest(332, 332), 255);
    EXPECT_EQ(CtrlCodeGridHitTest(20, 100), -1) << "row header band";
    EXPECT_EQ(CtrlCodeGridHitTest(100, 20), -1) << "column header band";
    EXPECT_EQ(CtrlCodeGridHitTest(333, 100), -1);
    EXPECT_EQ(CtrlCodeGridHitTest(100, 333), -1);
    EXPECT_EQ(CtrlCodeGridHitTest(-30, -30), -1);
}

TEST(CtrlCodeDialog, TogglingAndOkCopiesTheWorkingSetBack)
{
    CtrlCodeSet set;
    DefaultViewCtrlCodes(set);
    CtrlCodeSet before = set;
    EXPECT_EQ(RunDialog(set, true), 1);
    ASSERT_TRUE(g_script.ran);
    EXPECT_EQ(set.code[0x41], 1);
    EXPECT_EQ(set.code[0xFF], 1);
    EXPECT_EQ(set.code[0x0D], 1) << "clicked twice: as before";
    set.code[0x41] = set.code[0xFF] = 0;
    EXPECT_EQ(memcmp(&set, &before, sizeof set), 0) << "header bands and outside changed nothing";
    EXPECT_EQ(g_script.statusOverCr, L"13(0D) CR (carriage return)");
    EXPECT_EQ(g_script.statusOutside, L"");
    // Geometry: the client is OK's width + 363 by the status bar + 343.
    EXPECT_EQ(g_script.client.right, (g_script.okRect.right - g_script.okRect.left) + 363);
    EXPECT_EQ(g_script.client.bottom, g_script.statusHeight + 343);
    EXPECT_EQ(g_script.okRect.left, 353);
    EXPECT_EQ(g_script.okRect.top, 10);
    EXPECT_EQ(g_script.cancelRect.left, 353);
    EXPECT_EQ(g_script.cancelRect.top, (g_script.okRect.bottom - g_script.okRect.top) + 20);
}

TEST(CtrlCodeDialog, CancelLeavesTheSetUntouched)
{
    CtrlCodeSet set;
    DefaultLogCtrlCodes(set);
    CtrlCodeSet before = set;
    EXPECT_EQ(RunDialog(set, false), 1);
    ASSERT_TRUE(g_script.ran);
    EXPECT_EQ(memcmp(&set, &before, sizeof set), 0);
}
