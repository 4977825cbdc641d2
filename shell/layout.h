// Layout of the main window's children and the outline sizing loop that
// replaces the system's own sizing.
#pragma once
#include <windows.h>

constexpr int kMinWindowWidth = 640;
constexpr int kMinWindowHeight = 400;

// WM_SIZE (not minimised): toolbar, panel, view and status bar, top down.
// Does nothing while the window is minimised.
void LayoutChildren(HWND hwnd);

// The window rectangle while the edges of `hitTest` (HTLEFT to
// HTBOTTOMRIGHT) sit at `edge` (x for left/right, y for top/bottom), kept
// at least 640 x 400; the other edges stay where they are.
RECT SizedWindowRect(const RECT& window, int hitTest, POINT edge);

// WM_NCLBUTTONDOWN on a sizing border (hit-test codes 10 to 17): starts the
// drag at the cursor position of the current message.
LRESULT BeginOutlineSizing(HWND hwnd, WPARAM hitTest);
// The same with the cursor position (screen coordinates) given.
LRESULT BeginOutlineSizingAt(HWND hwnd, int hitTest, POINT cursor);
// The three replaceable handlers; idle they do nothing (capture-changed
// goes to the default procedure), during a drag they move, apply or drop it.
LRESULT OnSizingMouseMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT OnSizingButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT OnSizingCaptureChanged(HWND hwnd, WPARAM wParam, LPARAM lParam);
// True while a drag runs.
bool IsOutlineSizing();
