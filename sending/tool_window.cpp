#include "sending/tool_window.h"

#include <commctrl.h>

#include "base/catalogue.h"

HWND OpenToolWindow(HWND existing, HWND mainWindow, int resource, DLGPROC proc, ModelessFilter filter)
{
    if (existing) {
        if (IsIconic(existing)) ShowWindow(existing, SW_RESTORE);
        SetActiveWindow(existing);
        return existing;
    }
    InitCommonControls();
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), mainWindow, proc,
                                     reinterpret_cast<LPARAM>(mainWindow));
    if (!window) {
        ShowSystemError(mainWindow, kAppTitle, GetLastError());
        return nullptr;
    }
    SendMessageW(mainWindow, WM_VORLIN_SET_MODELESS, reinterpret_cast<WPARAM>(window),
                 reinterpret_cast<LPARAM>(filter));
    ShowWindow(window, SW_SHOW);
    return window;
}

void CloseToolWindow(HWND window, HWND mainWindow)
{
    SendMessageW(mainWindow, WM_VORLIN_SET_MODELESS, 0, 0);
    if (IsWindow(window)) DestroyWindow(window);
}
