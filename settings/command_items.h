// Every command of the menu and the toolbar that has a button, a tooltip or
// an enabled state that follows the port: one row each. The toolbar builds
// its buttons from it, the main window enables and names them from it.
#pragma once
#include <span>

struct CommandItem {
    const char* name;      // in the toolbar layout text; null when it has no button
    int command;           // 0 for the separator
    int image;             // index in the toolbar bitmap; -1 without a button
    unsigned tooltip;      // message number of its tooltip (0: none)
    unsigned tooltipOn;    // the tooltip while its state is on (connected; logging), 0: the same
    bool needsPort;        // enabled only while a port is open
};

std::span<const CommandItem> CommandItems();
// The row of `command`, or null.
const CommandItem* FindCommandItem(int command);
