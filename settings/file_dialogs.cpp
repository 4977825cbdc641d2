#include "settings/file_dialogs.h"

#include <commdlg.h>

#include <string>

#include "base/text.h"

namespace {

bool Choose(HWND owner, const FileChoice& choice, wchar_t* file, bool save)
{
    std::wstring title = SjisToWide(choice.title);
    // The filter is pairs of texts, each ended by a NUL, and one more NUL.
    std::wstring filter = SjisToWide(choice.filterName);
    filter.push_back(L'\0');
    filter += choice.pattern;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = choice.extension;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | choice.flags;
    return (save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn)) != 0;
}

} // namespace

bool ChooseOpenFile(HWND owner, const FileChoice& choice, wchar_t* file) { return Choose(owner, choice, file, false); }
bool ChooseSaveFile(HWND owner, const FileChoice& choice, wchar_t* file) { return Choose(owner, choice, file, true); }
