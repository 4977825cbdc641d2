#include "settings/help.h"

#include "base/text.h"
#include "settings/file_dialogs.h"

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
    constexpr FileChoice kHelpFile = {"HELPファイルの検索", "ﾍﾙﾌﾟ ﾌｧｲﾙ", L"*.hlp", nullptr,
                                      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST};
    if (ChooseOpenFile(owner, kHelpFile, file)) CopySjis(g_helpFile, sizeof g_helpFile, PathToSjis(file));
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
