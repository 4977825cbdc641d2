// The system's open and save dialogs with the program's texts.
#pragma once
#include <windows.h>
#include <commdlg.h>

struct FileChoice {
    const char* title;           // Shift_JIS
    const char* filterName;      // Shift_JIS, shown for `pattern`
    const wchar_t* pattern;      // "*.log"
    const wchar_t* extension;    // added when the user types none; null: none
    DWORD flags;                 // OFN_* besides OFN_EXPLORER and OFN_HIDEREADONLY
};

// `file` (MAX_PATH characters) holds the first choice and receives the
// user's; false when the user cancelled.
bool ChooseOpenFile(HWND owner, const FileChoice& choice, wchar_t* file);
bool ChooseSaveFile(HWND owner, const FileChoice& choice, wchar_t* file);
