#include "shell/commands.h"

#include "resources/resource.h"
#include "shell/messages.h"
#include "shell/shell.h"

namespace {

void Clear(HWND) { SendMessageA(GetLogView(), WM_LOGVIEW_CLEAR, 0, 0); }
void Exit(HWND hwnd) { SendMessageA(hwnd, WM_CLOSE, 0, 0); }

struct Command {
    int id;
    void (*run)(HWND hwnd);
};

// Commands that are not listed do nothing (yet).
constexpr Command kCommands[] = {
    {IDM_EXIT, Exit},
    {IDM_CLEAR, Clear},
};

} // namespace

void OnCommand(HWND hwnd, int id)
{
    for (const Command& c : kCommands)
        if (c.id == id) return c.run(hwnd);
}

LRESULT OnNotify(HWND, NMHDR*) { return 0; }
