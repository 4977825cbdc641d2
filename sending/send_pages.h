// Inside the send data window: its two pages and what they tell the window.
// The pages are child dialogs of the window's tab control; their controls
// talk to the page, the send buttons are passed on to the page shown.
#pragma once
#include <windows.h>

INT_PTR CALLBACK ButtonPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FormPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// True when the form page holds a form whose rows were built, so that its
// contents can be sent.
bool FormPageCanSend(HWND page);
// The send buttons are enabled only while the page shown can send.
void UpdateSendButtons(HWND window);

// The page posts itself this once a combo field exists: wParam the field's
// control identifier; its first item is then selected.
constexpr UINT WM_FORM_SELECT_FIRST = 0x7477;
