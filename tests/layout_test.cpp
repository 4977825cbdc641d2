// The main window's children top down, and the outline sizing that keeps the
// window at least 640 x 400.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "resources/resource.h"
#include "shell/layout.h"
#include "tests/support/main_window_host.h"
#include "tests/support/ui_driver.h"

namespace {

using Values = std::vector<LONG>;

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(main_ && status_ && panel_ && view_);
        // The cases bring their own toolbar where they want one.
        if (HWND toolbar = GetDlgItem(main_, IDC_TOOLBAR)) DestroyWindow(toolbar);
    }
    RECT Window() const
    {
        RECT r;
        GetWindowRect(main_, &r);
        return r;
    }
    // A mouse message as the captured window receives it: client coordinates.
    void Mouse(UINT msg, LONG x, LONG y)
    {
        POINT at{x, y};
        ScreenToClient(main_, &at);
        SendMessageA(main_, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
    }
    // A drag of the `hitTest` border from `from` through `to`, let go at `to` (screen coordinates).
    void Drag(int hitTest, POINT from, POINT to)
    {
        BeginOutlineSizingAt(main_, hitTest, from);
        Mouse(WM_MOUSEMOVE, to.x, to.y);
        Mouse(WM_LBUTTONUP, to.x, to.y);
    }

    testing_support::MainWindowHost host_;
    HWND main_ = host_.Window(), status_ = GetDlgItem(main_, IDC_STATUS_BAR);
    HWND panel_ = GetDlgItem(main_, IDC_MODEM_PANEL), view_ = GetDlgItem(main_, IDC_LOG_VIEW);
};

} // namespace

TEST_F(Layout, PanelViewAndStatusBarFillTheWindowAndAToolbarPushesThemDownByItsHeightPlusTwo)
{
    SetWindowPos(main_, nullptr, 0, 0, 900, 650, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, panel = ChildRect(panel_), view = ChildRect(view_), status = ChildRect(status_);
    GetClientRect(main_, &client);
    EXPECT_GT(panel.bottom, 10);
    EXPECT_EQ(Values({panel.left, panel.top, panel.right, view.left, view.top, view.right, view.bottom, status.right,
                      status.bottom}),
              Values({0, 0, client.right, 0, panel.bottom, client.right, status.top, client.right, client.bottom}));

    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 28, main_, HMENU(INT_PTR(IDC_TOOLBAR)), nullptr,
                    nullptr);
    SetWindowPos(main_, nullptr, 0, 0, 820, 640, SWP_NOMOVE | SWP_NOZORDER);
    RECT moved = ChildRect(panel_);
    view = ChildRect(view_);
    EXPECT_EQ(Values({moved.top, moved.bottom - moved.top, view.top, view.bottom}),
              Values({30, panel.bottom, 30 + panel.bottom, ChildRect(status_).top}));
}

TEST_F(Layout, DraggingBordersFollowsTheCursorButStopsAt640By400)
{
    SetWindowPos(main_, nullptr, 50, 50, 900, 700, SWP_NOZORDER);
    RECT start = Window();
    // The cursor three pixels inside the left border: the edge keeps that offset.
    BeginOutlineSizingAt(main_, HTLEFT, POINT{start.left + 3, start.top + 200});
    ASSERT_TRUE(IsOutlineSizing());
    EXPECT_EQ(GetCapture(), main_);
    Mouse(WM_MOUSEMOVE, start.left + 103, start.top + 220);
    RECT during = Window();
    EXPECT_TRUE(EqualRect(&start, &during)) << "only the outline moves during the drag";
    Mouse(WM_MOUSEMOVE, start.left + 503, start.top + 220);
    Mouse(WM_LBUTTONUP, start.left + 600, start.top + 220);
    EXPECT_FALSE(IsOutlineSizing());
    EXPECT_NE(GetCapture(), main_);
    RECT end = Window();
    EXPECT_EQ(Values({end.right - end.left, end.right, end.top, end.bottom}),
              Values({640, start.right, start.top, start.bottom}));
    // A modest drag of the bottom edge follows the cursor with its offset.
    start = end;
    Drag(HTBOTTOM, POINT{start.left + 100, start.bottom - 2}, POINT{start.left + 300, start.bottom + 48});
    end = Window();
    EXPECT_EQ(Values({end.bottom, end.right - end.left}), Values({start.bottom + 50, 640}));
    // The corner dragged up and left past the limits stops at 640 x 400; the children follow.
    Drag(HTBOTTOMRIGHT, POINT{end.right - 1, end.bottom - 1}, POINT{end.left + 10, end.top + 10});
    start = end;
    end = Window();
    EXPECT_EQ(Values({end.left, end.top, end.right - end.left, end.bottom - end.top}),
              Values({start.left, start.top, 640, 400}));
    RECT client;
    GetClientRect(main_, &client);
    EXPECT_EQ(ChildRect(status_).bottom, client.bottom);
}
