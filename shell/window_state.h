// What the main window shows of the session: title, menu texts and states,
// toolbar buttons and the modem panel. It observes the session and sets
// everything from one table of commands (settings/command_items.h).
#pragma once
#include <windows.h>

#include "shell/session.h"

// Starts observing the session for the main window `hwnd`.
void WatchSession(HWND hwnd);
// Menu, toolbar and panel from the session's state (after a toolbar reset too).
void ApplySessionState(HWND hwnd);
// The tooltip message of a command in the present state, 0 for none.
unsigned CommandTooltip(int command);

// The quick-send buttons: the data folder is scanned again and the first
// button file made current (at every connect); or the current file changes.
// Each enables as many buttons as the file has entries, 18 at most.
void RescanQuickSends(HWND hwnd);
void ShowQuickSendsOfCurrentFile(HWND hwnd);
