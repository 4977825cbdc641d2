// The command line, the main window's children top down, and the outline sizing that keeps the
// window at least 640 x 400.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "shell/command_line.h"
#include "shell/layout.h"
#include "tests/support/main_window_host.h"

namespace {

using Values = std::vector<LONG>;

// Left, top, right and bottom in the parent's client coordinates (on the screen without a parent).
Values Edges(HWND hwnd, int child = 0)
{
    RECT r{};
    GetWindowRect(child ? GetDlgItem(hwnd, child) : hwnd, &r);
    MapWindowPoints(nullptr, child ? hwnd : nullptr, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace

TEST(CommandLine, OnlyTheFirstTokenCountsInAnySpellingAndCase)
{
    const struct { const char* line; StartMode mode; } cases[] = {
        {"/regserver", StartMode::RegServer}, {"-RegServer", StartMode::RegServer}, {"regserver", StartMode::RegServer},
        {"  /-REGSERVER", StartMode::RegServer}, {"/UnregServer", StartMode::UnregServer},
        {"-unregserver extra", StartMode::UnregServer}, {"-Embedding", StartMode::Automation},
        {"Embedding more tokens", StartMode::Automation}, {"/automation", StartMode::Automation},
        {"", StartMode::Normal}, {nullptr, StartMode::Normal}, {"/- ", StartMode::Normal},
        {"/tunnel -RegServer", StartMode::Normal}, {"RegServerX", StartMode::Normal}, {"Reg", StartMode::Normal}};
    for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.line), c.mode) << (c.line ? c.line : "null");
}

TEST(Layout, ChildrenTopDownAndOutlineSizingDownTo640By400)
{
    testing_support::MainWindowHost host;
    HWND main = host.Window();
    if (HWND toolbar = GetDlgItem(main, IDC_TOOLBAR)) DestroyWindow(toolbar);  // the test brings its own
    SetWindowPos(main, nullptr, 0, 0, 900, 650, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(main, &client);
    Values panel = Edges(main, IDC_MODEM_PANEL), view = Edges(main, IDC_LOG_VIEW);
    const LONG panelHeight = panel[3], statusTop = Edges(main, IDC_STATUS_BAR)[1];
    EXPECT_GT(panelHeight, 10);
    EXPECT_EQ(panel, Values({0, 0, client.right, panelHeight}));
    EXPECT_EQ(view, Values({0, panelHeight, client.right, statusTop}));
    EXPECT_EQ(Edges(main, IDC_STATUS_BAR)[3], client.bottom);

    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 28, main, HMENU(INT_PTR(IDC_TOOLBAR)), nullptr,
                    nullptr);
    SetWindowPos(main, nullptr, 0, 0, 820, 640, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Edges(main, IDC_MODEM_PANEL)[1], 30);
    EXPECT_EQ(Edges(main, IDC_LOG_VIEW)[1], 30 + panelHeight);

    // Each border grabbed three pixels inside the window (900 x 700 at (50, 50)) and let go
    // elsewhere: the dragged edges keep their distance to the cursor and stop at 640 x 400.
    auto mouse = [&](UINT msg, POINT at) {  // as the captured window receives it
        ScreenToClient(main, &at);
        SendMessageA(main, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
    };
    const struct { int border; POINT from, to; Values result; } drags[] = {
        {HTLEFT, {53, 250}, {553, 270}, {310, 50, 950, 750}}, {HTRIGHT, {947, 250}, {847, 280}, {50, 50, 850, 750}},
        {HTTOP, {500, 53}, {530, 103}, {50, 100, 950, 750}}, {HTBOTTOM, {500, 747}, {500, 347}, {50, 50, 950, 450}},
        {HTTOPLEFT, {53, 53}, {33, 453}, {30, 350, 950, 750}}, {HTTOPRIGHT, {947, 53}, {647, 43}, {50, 40, 690, 750}},
        {HTBOTTOMLEFT, {53, 747}, {63, 757}, {60, 50, 950, 760}},
        {HTBOTTOMRIGHT, {947, 747}, {147, 147}, {50, 50, 690, 450}}};
    for (const auto& d : drags) {
        SCOPED_TRACE(d.border);
        SetWindowPos(main, nullptr, 50, 50, 900, 700, SWP_NOZORDER);
        BeginOutlineSizingAt(main, d.border, d.from);
        mouse(WM_MOUSEMOVE, d.to);
        EXPECT_TRUE(IsOutlineSizing() && GetCapture() == main);
        EXPECT_EQ(Edges(main), Values({50, 50, 950, 750})) << "only the outline moves during the drag";
        mouse(WM_LBUTTONUP, d.to);
        EXPECT_FALSE(IsOutlineSizing() || GetCapture() == main);
        EXPECT_EQ(Edges(main), d.result);
    }
    // Another window taking the mouse (a switch to another program) drops the drag.
    SetWindowPos(main, nullptr, 50, 50, 900, 700, SWP_NOZORDER);
    BeginOutlineSizingAt(main, HTRIGHT, POINT{947, 250});
    mouse(WM_MOUSEMOVE, POINT{700, 250});
    ReleaseCapture();
    EXPECT_FALSE(IsOutlineSizing());
    EXPECT_EQ(Edges(main), Values({50, 50, 950, 750}));
}
