#include "shell/message_catalogue.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <commctrl.h>

#include "resources/resource.h"
#include "shell/shell.h"

// Placeholder until the catalogue is built: texts name their number.
void LoadMessageCatalogue() {}
void FreeMessageCatalogue() {}

void LookupMessage(unsigned number, char* buffer, size_t size)
{
    if (size) snprintf(buffer, size, "Message %u", number);
}

int ShowMessage(HWND owner, const char* caption, unsigned number, UINT style, ...)
{
    char text[512];
    LookupMessage(number, text, sizeof text);
    return Report(owner, text, caption, style);
}

int ShowSystemError(HWND owner, const char* caption, DWORD code)
{
    char text[512] = {};
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr))
        snprintf(text, sizeof text, "Error %lu", static_cast<unsigned long>(code));
    return Report(owner, text, caption, MB_OK);
}

int Report(HWND owner, const char* text, const char* caption, UINT style)
{
    if (GetAppSettings().flags & APP_MESSAGE_BOXES)
        return MessageBoxA(owner, text, caption, style);
    SendMessageA(GetDlgItem(owner, IDC_STATUS_BAR), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return IDOK;
}
