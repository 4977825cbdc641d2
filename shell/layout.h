// Layout of the main window's children and the outline sizing loop.
#pragma once
#include <windows.h>

// WM_SIZE (not minimised): toolbar, panel, view and status bar, top down.
void LayoutChildren(HWND hwnd);

// WM_NCLBUTTONDOWN on a sizing border (hit-test codes 10 to 17).
LRESULT BeginOutlineSizing(HWND hwnd, WPARAM hitTest);
LRESULT OnSizingMouseMove(HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT OnSizingButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT OnSizingCaptureChanged(HWND hwnd, WPARAM wParam, LPARAM lParam);
