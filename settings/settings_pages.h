// What the settings dialog and its pages share: the page protocol, the
// dialog's working data and small helpers for their controls.
#pragma once
#include <windows.h>

#include <string>

#include "base/text.h"
#include "settings/settings_dialog.h"

// The dialog asks the page of the selected tab; a non-zero answer (the
// page's dialog result) closes the dialog.
constexpr UINT WM_SETTINGS_OK = 0x7501;      // apply and save
constexpr UINT WM_SETTINGS_CANCEL = 0x7502;
constexpr UINT WM_SETTINGS_APPLY = 0x7503;   // apply without saving
// Ends the dialog's own loop.
constexpr UINT WM_SETTINGS_END = 0x7410;

// Lives on the stack of OpenSettingsDialog while the dialog is open; every
// page receives it as its creation parameter. Main thread only.
struct SettingsDialogState {
    SettingsDialogParts parts;
    HWND mainWindow;
    ViewSettings view;          // the log view's settings as the preview page edits them
    CtrlCodeSet logCtrlCodes;   // the log's control codes as the log page edits them
};

INT_PTR CALLBACK LogPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ViewPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OtherPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// What makes one page: each page procedure hands its messages to
// PageMessage with its own handlers (null: nothing to do).
using PageApply = LRESULT (*)(HWND page, SettingsDialogState& state, bool save);
struct PageHandlers {
    void (*init)(HWND page, SettingsDialogState& state);
    void (*command)(HWND page, SettingsDialogState& state, int id, int code);
    PageApply apply;  // answers OK (save) and apply (no save); null: always 1
    void (*drawItem)(const SettingsDialogState& state, const DRAWITEMSTRUCT* item);
    ULONG_PTR helpTopic;
};
INT_PTR PageMessage(HWND page, UINT msg, WPARAM wParam, LPARAM lParam, const PageHandlers& handlers);

inline SettingsDialogState* PageState(HWND page)
{
    return reinterpret_cast<SettingsDialogState*>(GetWindowLongPtrW(page, DWLP_USER));
}
inline bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
inline void Check(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }
inline void Enable(HWND page, int id, bool on) { EnableWindow(GetDlgItem(page, id), on); }
inline int Selected(HWND page, int id) { return static_cast<int>(SendDlgItemMessageW(page, id, CB_GETCURSEL, 0, 0)); }
inline void Select(HWND page, int id, int item) { SendDlgItemMessageW(page, id, CB_SETCURSEL, item, 0); }
inline void LimitText(HWND page, int id, int limit) { SendDlgItemMessageW(page, id, EM_LIMITTEXT, limit, 0); }
// Fills a combo with `count` strings of the string table from `first` on.
void FillCombo(HWND page, int id, int first, int count);
// A one-character edit: its first character, or `fallback` when empty.
char FirstCharacter(HWND page, int id, char fallback);
void SetCharacter(HWND page, int id, char c);
// The number in an edit; false (and 0) when the text does not start with one.
bool ReadNumber(HWND page, int id, long long& value);
void SetNumber(HWND page, int id, long long value);
