#include "settings/help.h"

#include "base/text.h"

namespace {
char g_helpFile[MAX_PATH * 2];
}

// Found once at start-up (the program's folder first); empty when it is
// nowhere, and help calls then go out with an empty path.
void LocateHelpFile()
{
    wchar_t path[MAX_PATH];
    DWORD n = SearchPathW(nullptr, L"Vorlin2.hlp", nullptr, MAX_PATH, path, nullptr);
    g_helpFile[0] = 0;
    if (n > 0 && n < MAX_PATH) CopySjis(g_helpFile, sizeof g_helpFile, WideToSjis(std::wstring_view(path, n)));
}

const char* GetHelpFile() { return g_helpFile; }

BOOL ShowHelp(HWND owner, UINT command, ULONG_PTR data)
{
    return WinHelpW(owner, SjisToWide(g_helpFile).c_str(), command, data);
}
