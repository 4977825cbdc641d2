// The main window's children top down, and the outline sizing that keeps the
// window at least 640 x 400.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "shell/layout.h"
#include "tests/support/main_window_host.h"

namespace {

using Values = std::vector<LONG>;

RECT Rect(HWND hwnd, HWND parent = nullptr)  // in the parent's client coordinates, or on the screen
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

Values Edges(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(main_ && panel_ && view_);
        // The cases bring their own toolbar where they want one.
        if (HWND toolbar = GetDlgItem(main_, IDC_TOOLBAR)) DestroyWindow(toolbar);
    }
    // A mouse message as the captured window receives it: client coordinates.
    void Mouse(UINT msg, POINT at)
    {
        ScreenToClient(main_, &at);
        SendMessageA(main_, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
    }
    RECT Child(int id) { return Rect(GetDlgItem(main_, id), main_); }

    testing_support::MainWindowHost host_;
    HWND main_ = host_.Window(), panel_ = GetDlgItem(main_, IDC_MODEM_PANEL), view_ = GetDlgItem(main_, IDC_LOG_VIEW);
};

} // namespace

TEST_F(Layout, PanelViewAndStatusBarFillTheWindowAndAToolbarPushesThemDownByItsHeightPlusTwo)
{
    SetWindowPos(main_, nullptr, 0, 0, 900, 650, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, panel = Child(IDC_MODEM_PANEL), view = Child(IDC_LOG_VIEW), status = Child(IDC_STATUS_BAR);
    GetClientRect(main_, &client);
    EXPECT_GT(panel.bottom, 10);
    EXPECT_EQ(Values({panel.left, panel.top, panel.right, view.left, view.top, view.right, view.bottom, status.right,
                      status.bottom}),
              Values({0, 0, client.right, 0, panel.bottom, client.right, status.top, client.right, client.bottom}));
    // Minimised, the children stay where they are.
    ShowWindow(main_, SW_MINIMIZE);
    EXPECT_EQ(Edges(Child(IDC_LOG_VIEW)), Edges(view));
    ShowWindow(main_, SW_RESTORE);

    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 28, main_, HMENU(INT_PTR(IDC_TOOLBAR)), nullptr,
                    nullptr);
    SetWindowPos(main_, nullptr, 0, 0, 820, 640, SWP_NOMOVE | SWP_NOZORDER);
    RECT moved = Child(IDC_MODEM_PANEL);
    view = Child(IDC_LOG_VIEW);
    EXPECT_EQ(Values({moved.top, moved.bottom - moved.top, view.top, view.bottom}),
              Values({30, panel.bottom, 30 + panel.bottom, Child(IDC_STATUS_BAR).top}));
}

// Each border grabbed three pixels inside the window (950 x 750 from (50, 50)) and let go
// elsewhere: the dragged edges keep their distance to the cursor and stop at 640 x 400.
TEST_F(Layout, DraggedEdgesFollowTheCursorButStopAt640By400)
{
    const struct { int border; POINT from, to; RECT result; } drags[] = {
        {HTLEFT, {53, 250}, {553, 270}, {310, 50, 950, 750}},
        {HTRIGHT, {947, 250}, {847, 280}, {50, 50, 850, 750}},
        {HTTOP, {500, 53}, {530, 103}, {50, 100, 950, 750}},
        {HTBOTTOM, {500, 747}, {500, 347}, {50, 50, 950, 450}},
        {HTTOPLEFT, {53, 53}, {33, 453}, {30, 350, 950, 750}},
        {HTTOPRIGHT, {947, 53}, {647, 43}, {50, 40, 690, 750}},
        {HTBOTTOMLEFT, {53, 747}, {63, 757}, {60, 50, 950, 760}},
        {HTBOTTOMRIGHT, {947, 747}, {147, 147}, {50, 50, 690, 450}}};
    for (const auto& d : drags) {
        SCOPED_TRACE(d.border);
        SetWindowPos(main_, nullptr, 50, 50, 900, 700, SWP_NOZORDER);
        BeginOutlineSizingAt(main_, d.border, d.from);
        Mouse(WM_MOUSEMOVE, d.to);
        EXPECT_TRUE(IsOutlineSizing() && GetCapture() == main_);
        EXPECT_EQ(Edges(Rect(main_)), Values({50, 50, 950, 750})) << "only the outline moves during the drag";
        Mouse(WM_LBUTTONUP, d.to);
        EXPECT_FALSE(IsOutlineSizing() || GetCapture() == main_);
        EXPECT_EQ(Edges(Rect(main_)), Edges(d.result));
    }
    // Another window taking the mouse (a switch to another program) drops the drag.
    SetWindowPos(main_, nullptr, 50, 50, 900, 700, SWP_NOZORDER);
    BeginOutlineSizingAt(main_, HTRIGHT, POINT{947, 250});
    Mouse(WM_MOUSEMOVE, POINT{700, 250});
    ReleaseCapture();
    EXPECT_FALSE(IsOutlineSizing());
    EXPECT_EQ(Edges(Rect(main_)), Values({50, 50, 950, 750}));
    RECT client;
    GetClientRect(main_, &client);
    EXPECT_EQ(Child(IDC_STATUS_BAR).bottom, client.bottom);
}
