// The commands of the menu, the accelerators and the toolbar.
#pragma once
#include <windows.h>
#include <commctrl.h>

void OnCommand(HWND hwnd, int id);
LRESULT OnNotify(HWND hwnd, NMHDR* header);
