#include "settings/command_items.h"

#include "resources/resource.h"

namespace {

// Toolbar items in their fixed order (the separator first), then the
// commands that only have a tooltip.
constexpr CommandItem kItems[] = {
    {"", 0, -1, 0, 0, false},
    {"MENU.CONNECT", IDM_CONNECT, 0, 1, 2, false},
    {"MENU.DISCONNECT", IDM_DISCONNECT, 1, 3, 0, true},
    {"MENU.NEWTUNNEL", IDM_TUNNEL_NEW_PROCESS, 2, 4, 0, false},
    {"MENU.ATTACH", IDM_TUNNEL_ATTACH, 3, 5, 0, false},
    {"MENU.EXIT", IDM_EXIT, 4, 7, 0, false},
    {"MENU.CLEAR", IDM_CLEAR, 5, 9, 0, false},
    {"MENU.SENDDATA", IDM_SEND_DATA, 6, 13, 0, true},
    {"MENU.LOGCHANGE", IDM_LOG_FILE, 7, 15, 0, false},
    {"MENU.LOG_STOP_RESTART", IDM_LOG_STOP, 8, 18, 17, true},
    {"MENU.LOG_FLUSH", IDM_LOG_FLUSH, 9, 19, 0, true},
    {"MENU.SETTING", IDM_SETTINGS, 10, 20, 0, false},
    {"MENU.CUSTOMIZETOOLBAR", IDM_CUSTOMIZE_TOOLBAR, 11, 21, 0, false},
    {"MENU.HELP_TOP", IDM_HELP_CONTENTS, 12, 23, 0, false},
    {"MENU.HELP_FINDER", IDM_HELP_FIND, 13, 24, 0, false},
    {"MENU.VERSION", IDM_ABOUT, 14, 25, 0, false},
    {"SEND.SINGLE.FILE", IDM_RESCAN_FORMS, 15, 26, 0, true},
    {"SEND.SINGLE.1", IDM_QUICK_SEND_FIRST + 0, 16, 27, 0, true},
    {"SEND.SINGLE.2", IDM_QUICK_SEND_FIRST + 1, 17, 28, 0, true},
    {"SEND.SINGLE.3", IDM_QUICK_SEND_FIRST + 2, 18, 29, 0, true},
    {"SEND.SINGLE.4", IDM_QUICK_SEND_FIRST + 3, 19, 30, 0, true},
    {"SEND.SINGLE.5", IDM_QUICK_SEND_FIRST + 4, 20, 31, 0, true},
    {"SEND.SINGLE.6", IDM_QUICK_SEND_FIRST + 5, 21, 32, 0, true},
    {"SEND.SINGLE.7", IDM_QUICK_SEND_FIRST + 6, 22, 33, 0, true},
    {"SEND.SINGLE.8", IDM_QUICK_SEND_FIRST + 7, 23, 34, 0, true},
    {"SEND.SINGLE.9", IDM_QUICK_SEND_FIRST + 8, 24, 35, 0, true},
    {"SEND.SINGLE.10", IDM_QUICK_SEND_FIRST + 9, 25, 36, 0, true},
    {"SEND.SINGLE.11", IDM_QUICK_SEND_FIRST + 10, 26, 37, 0, true},
    {"SEND.SINGLE.12", IDM_QUICK_SEND_FIRST + 11, 27, 38, 0, true},
    {"SEND.SINGLE.13", IDM_QUICK_SEND_FIRST + 12, 28, 39, 0, true},
    {"SEND.SINGLE.14", IDM_QUICK_SEND_FIRST + 13, 29, 40, 0, true},
    {"SEND.SINGLE.15", IDM_QUICK_SEND_FIRST + 14, 30, 41, 0, true},
    {"SEND.SINGLE.16", IDM_QUICK_SEND_FIRST + 15, 31, 42, 0, true},
    {"SEND.SINGLE.17", IDM_QUICK_SEND_FIRST + 16, 32, 43, 0, true},
    {"SEND.SINGLE.18", IDM_QUICK_SEND_FIRST + 17, 33, 44, 0, true},
    {nullptr, IDM_PRINT, -1, 6, 0, false},
    {nullptr, IDM_COPY, -1, 8, 0, false},
    {nullptr, IDM_FIND, -1, 10, 0, false},
    {nullptr, IDM_FIND_NEXT, -1, 11, 0, false},
    {nullptr, IDM_FIND_PREVIOUS, -1, 12, 0, false},
    {nullptr, IDM_FILTERING, -1, 14, 0, false},
    {nullptr, IDM_PSEUDO_DATA, -1, 22, 0, false},
};

static_assert(IDM_QUICK_SEND_LAST == IDM_QUICK_SEND_FIRST + 17, "18 quick-send buttons");

} // namespace

std::span<const CommandItem> CommandItems() { return kItems; }

const CommandItem* FindCommandItem(int command)
{
    if (command == 0) return nullptr;
    for (const CommandItem& item : kItems)
        if (item.command == command) return &item;
    return nullptr;
}
