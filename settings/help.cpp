#include "settings/help.h"

#include <commdlg.h>

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

const char* GetHelpFilePath(HWND owner)
{
    if (g_helpFile[0]) return g_helpFile;
    wchar_t file[MAX_PATH] = L"";
    std::wstring title = SjisToWide("HELPファイルの検索");
    std::wstring filter = SjisToWide("ﾍﾙﾌﾟ ﾌｧｲﾙ");
    filter.push_back(L'\0');
    filter += L"*.hlp";
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn)) CopySjis(g_helpFile, sizeof g_helpFile, PathToSjis(file));
    return g_helpFile;
}

// Without a file the viewer is not started at all: started on nothing it
// would keep the caller waiting for its window and then show nothing.
BOOL ShowHelp(HWND owner, UINT command, ULONG_PTR data)
{
    if (!g_helpFile[0]) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return WinHelpW(owner, SjisToWide(g_helpFile).c_str(), command, data);
}
