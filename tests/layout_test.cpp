#include <gtest/gtest.h>

#include <windows.h>

#include "resources/resource.h"
#include "shell/layout.h"
#include "tests/support/ui_driver.h"

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = CreateTestMainWindow();
        ASSERT_NE(main_, nullptr);
        status_ = GetDlgItem(main_, IDC_STATUS_BAR);
        panel_ = GetDlgItem(main_, IDC_MODEM_PANEL);
        view_ = GetDlgItem(main_, IDC_LOG_VIEW);
        ASSERT_TRUE(status_ && panel_ && view_);
        ASSERT_EQ(GetDlgItem(main_, IDC_TOOLBAR), nullptr);
    }
    void TearDown() override { DestroyTestMainWindow(main_); }

    RECT Window() const
    {
        RECT r;
        GetWindowRect(main_, &r);
        return r;
    }
    // A mouse message as the captured window receives it: client coordinates.
    void Mouse(UINT msg, POINT screen)
    {
        ScreenToClient(main_, &screen);
        SendMessageA(main_, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(screen.x, screen.y));
    }

    HWND main_ = nullptr, status_ = nullptr, panel_ = nullptr, view_ = nullptr;
};

int Height(const RECT& r) { return r.bottom - r.top; }
int Width(const RECT& r) { return r.right - r.left; }

} // namespace

TEST_F(Layout, WithoutToolbarThePanelIsOnTopAndTheViewFillsTheRest)
{
    SetWindowPos(main_, nullptr, 0, 0, 900, 650, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(main_, &client);
    RECT panel = ChildRect(panel_), view = ChildRect(view_), status = ChildRect(status_);
    EXPECT_EQ(panel.top, 0);
    EXPECT_EQ(panel.left, 0);
    EXPECT_EQ(Width(panel), client.right);
    EXPECT_GT(Height(panel), 10);
    EXPECT_EQ(view.top, panel.bottom);
    EXPECT_EQ(view.left, 0);
    EXPECT_EQ(view.right, client.right);
    EXPECT_EQ(view.bottom, status.top);
    EXPECT_EQ(status.bottom, client.bottom);
    EXPECT_EQ(Width(status), client.right);
}

TEST_F(Layout, AToolbarPushesPanelAndViewDownByItsHeightPlusTwo)
{
    HWND toolbar = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 28, main_,
                                   reinterpret_cast<HMENU>(IDC_TOOLBAR), GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(toolbar, nullptr);
    RECT before = ChildRect(panel_);
    SetWindowPos(main_, nullptr, 0, 0, 820, 640, SWP_NOMOVE | SWP_NOZORDER);
    RECT panel = ChildRect(panel_), view = ChildRect(view_), status = ChildRect(status_);
    EXPECT_EQ(panel.top, 30);
    EXPECT_EQ(Height(panel), Height(before)) << "the panel keeps its own height";
    EXPECT_EQ(view.top, 30 + Height(panel));
    EXPECT_EQ(view.bottom, status.top);
}

TEST_F(Layout, MinimisedWindowKeepsItsLayoutAndRestoringLaysOutAgain)
{
    RECT laidOut = ChildRect(view_);
    ShowWindow(main_, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(main_));
    SetWindowPos(view_, nullptr, 5, 5, 50, 50, SWP_NOZORDER);
    LayoutChildren(main_);
    SendMessageA(main_, WM_SIZE, SIZE_MINIMIZED, 0);
    RECT r = ChildRect(view_);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(Width(r), 50);
    ShowWindow(main_, SW_RESTORE);
    PumpUntil([] { return false; }, 50);
    r = ChildRect(view_);
    EXPECT_TRUE(EqualRect(&laidOut, &r));
}

TEST_F(Layout, DraggingTheLeftBorderRightStopsAt640Wide)
{
    SetWindowPos(main_, nullptr, 50, 50, 900, 600, SWP_NOZORDER);
    RECT start = Window();
    // The cursor three pixels inside the left border: the edge keeps that offset.
    BeginOutlineSizingAt(main_, HTLEFT, POINT{start.left + 3, start.top + 200});
    ASSERT_TRUE(IsOutlineSizing());
    EXPECT_EQ(GetCapture(), main_);
    Mouse(WM_MOUSEMOVE, POINT{start.left + 103, start.top + 220});
    RECT during = Window();
    EXPECT_TRUE(EqualRect(&start, &during)) << "only the outline moves during the drag";
    Mouse(WM_MOUSEMOVE, POINT{start.left + 503, start.top + 220});
    Mouse(WM_LBUTTONUP, POINT{start.left + 600, start.top + 220});
    EXPECT_FALSE(IsOutlineSizing());
    EXPECT_NE(GetCapture(), main_);
    RECT end = Window();
    EXPECT_EQ(Width(end), 640);
    EXPECT_EQ(end.right, start.right);
    EXPECT_EQ(end.top, start.top);
    EXPECT_EQ(end.bottom, start.bottom);

    // A modest drag of the bottom edge follows the cursor with its offset.
    start = end;
    BeginOutlineSizingAt(main_, HTBOTTOM, POINT{start.left + 100, start.bottom - 2});
    Mouse(WM_LBUTTONUP, POINT{start.left + 300, start.bottom + 48});
    end = Window();
    EXPECT_EQ(end.bottom, start.bottom + 50);
    EXPECT_EQ(Width(end), Width(start));
}

TEST_F(Layout, DraggingTheCornerUpLeftStopsAt640By400)
{
    SetWindowPos(main_, nullptr, 60, 60, 900, 700, SWP_NOZORDER);
    RECT start = Window();
    BeginOutlineSizingAt(main_, HTBOTTOMRIGHT, POINT{start.right - 1, start.bottom - 1});
    Mouse(WM_MOUSEMOVE, POINT{start.left + 10, start.top + 10});
    Mouse(WM_LBUTTONUP, POINT{start.left + 10, start.top + 10});
    RECT end = Window();
    EXPECT_EQ(end.left, start.left);
    EXPECT_EQ(end.top, start.top);
    EXPECT_EQ(Width(end), 640);
    EXPECT_EQ(Height(end), 400);
    // The children follow the new size.
    RECT client;
    GetClientRect(main_, &client);
    EXPECT_EQ(ChildRect(status_).bottom, client.bottom);
}

TEST_F(Layout, LosingTheCaptureDropsTheDrag)
{
    SetWindowPos(main_, nullptr, 70, 70, 900, 600, SWP_NOZORDER);
    RECT start = Window();
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                 nullptr);
    BeginOutlineSizingAt(main_, HTRIGHT, POINT{start.right - 2, start.top + 100});
    Mouse(WM_MOUSEMOVE, POINT{start.right + 120, start.top + 100});
    SetCapture(other);  // another program takes the mouse
    EXPECT_FALSE(IsOutlineSizing());
    ReleaseCapture();
    // A late button release no longer applies anything.
    Mouse(WM_LBUTTONUP, POINT{start.right + 120, start.top + 100});
    RECT end = Window();
    EXPECT_TRUE(EqualRect(&start, &end));
    DestroyWindow(other);
}
