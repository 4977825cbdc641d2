// The settings dialog ("アプリケーションの設定"): three pages that edit the
// log thread's LogSettings and the log view's ViewSettings and run the
// automation tasks. It has its own message loop and disables the thread's
// other windows while it runs.
//
// The parts it edits live in layers above this one, so the caller hands
// them over as a table of functions (the shell fills it with the real ones).
#pragma once
#include <windows.h>

#include "settings/settings_types.h"

struct SettingsDialogParts {
    HWND logView;
    // Fetch and apply: non-zero on success. A view that refuses sets the
    // thread's last error to the reason.
    BOOL (*getLogSettings)(LogSettings* settings);
    BOOL (*setLogSettings)(const LogSettings* settings);
    int (*getViewSettings)(HWND view, ViewSettings* settings);
    int (*setViewSettings)(HWND view, const ViewSettings* settings);
    // The control-code dialog on a working set; the face of a colour button.
    int (*editCtrlCodes)(HWND owner, CtrlCodeSet& set);
    void (*drawColourButton)(const DRAWITEMSTRUCT* item, HBRUSH brush);
    // The automation server in the registry: 0 or the Win32 error.
    DWORD (*registerServer)();
    DWORD (*unregisterServer)();
};

// Runs the dialog to its end. A quit message found on the way ends it and
// stays in the queue for the caller's loop.
void OpenSettingsDialog(HWND mainWindow, const SettingsDialogParts& parts);
