// The settings dialog's page "ログファイル": the log thread's LogSettings.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "base/text.h"
#include "resources/resource.h"
#include "settings/settings_pages.h"
#include "settings/settings_store.h"

namespace {

constexpr ULONG_PTR kHelpTopic = 20;
constexpr long long kMinFileSize = 65536;
constexpr char kSeparators[] = {' ', '\t', ','};  // items 0 to 2; item 3 is any character
constexpr int kAnySeparator = 3;

struct FlagControl {
    int id;
    uint8_t LogSettings::*field;
};
constexpr FlagControl kFlags[] = {
    {IDC_SHOW_HEADER, &LogSettings::header},   {IDC_SHOW_HEX, &LogSettings::hex},
    {IDC_SHOW_ASCII, &LogSettings::ascii},     {IDC_SHOW_ALTERNATE, &LogSettings::alternate},
    {IDC_SHOW_UNICODE, &LogSettings::unicode}, {IDC_LOG_REPLACE, &LogSettings::replaceCtrlCode},
};
constexpr int kTypeRadios[] = {IDC_LOG_APPEND, IDC_LOG_CYCLIC, IDC_LOG_AUTO};

// The folder as found by the search order; a relative one that is nowhere
// yet lies beneath the program's folder; an absolute one stays as it is.
std::string ResolveFolder(const std::string& folder)
{
    std::string found = SearchPathSjis(folder.c_str());
    if (!found.empty()) return found;
    if (!PathIsRelativeW(SjisToWide(folder).c_str())) return folder;
    wchar_t joined[MAX_PATH];
    if (!PathCombineW(joined, SjisToWide(GetProgramFolder()).c_str(), SjisToWide(folder).c_str())) return folder;
    return PathToSjis(joined);
}

void ShowShortSize(HWND page)
{
    long long size = 0;
    ReadNumber(page, IDC_LOG_SIZE, size);
    wchar_t text[64] = L"";
    StrFormatByteSizeW(size, text, 64);
    SetDlgItemTextW(page, IDC_LOG_SIZE_TEXT, text);
}

void UpdateEnabling(HWND page)
{
    bool hex = IsChecked(page, IDC_SHOW_HEX), ascii = IsChecked(page, IDC_SHOW_ASCII);
    bool alternate = IsChecked(page, IDC_SHOW_ALTERNATE), unicode = IsChecked(page, IDC_SHOW_UNICODE);
    bool replace = IsChecked(page, IDC_LOG_REPLACE);
    Enable(page, IDC_LOG_SIZE, !IsChecked(page, IDC_LOG_APPEND));
    Enable(page, IDC_SHOW_ALTERNATE, hex && ascii);
    Enable(page, IDC_SHOW_UNICODE, ascii);
    Enable(page, IDC_LOG_REPLACE, ascii);
    Enable(page, IDC_LOG_CTRL_CODES, ascii && replace);
    Enable(page, IDC_LOG_SEPARATOR, hex);
    Enable(page, IDC_LOG_SEPARATOR_CHAR, hex && Selected(page, IDC_LOG_SEPARATOR) == kAnySeparator);
    Enable(page, IDC_KANJI, ascii && !unicode);
    Enable(page, IDC_DEFAULT_CHAR, ascii && Selected(page, IDC_KANJI) == KANJI_UTF8 && !unicode);
    Enable(page, IDC_LOG_REPLACE_CHAR, ascii && replace);
    Enable(page, IDC_LOG_HEX_BYTES, hex);
    Enable(page, IDC_LOG_ASCII_BYTES, ascii && !(hex && alternate));
}

void Fill(HWND page, const LogSettings& log)
{
    SetDlgItemTextSjis(page, IDC_LOG_DIRECTORY, ResolveFolder(log.directory).c_str());
    CheckRadioButton(page, IDC_LOG_APPEND, IDC_LOG_AUTO, kTypeRadios[log.logType <= LOGTYPE_AUTO ? log.logType : 0]);
    SetNumber(page, IDC_LOG_SIZE, log.maxFileSize);
    ShowShortSize(page);
    for (const FlagControl& flag : kFlags) Check(page, flag.id, log.*flag.field != 0);
    const char* known = static_cast<const char*>(memchr(kSeparators, log.separator, sizeof kSeparators));
    Select(page, IDC_LOG_SEPARATOR, known ? static_cast<int>(known - kSeparators) : kAnySeparator);
    if (!known) SetCharacter(page, IDC_LOG_SEPARATOR_CHAR, log.separator);
    Select(page, IDC_KANJI, log.kanji <= KANJI_UTF8 ? log.kanji : int{KANJI_SJIS});
    SetCharacter(page, IDC_DEFAULT_CHAR, log.defaultChar);
    SetCharacter(page, IDC_LOG_REPLACE_CHAR, log.replaceChar);
    SetNumber(page, IDC_LOG_HEX_BYTES, log.hexBytesPerLine);
    SetNumber(page, IDC_LOG_ASCII_BYTES, log.asciiBytesPerLine);
}

void OnInit(HWND page, SettingsDialogState& state)
{
    LimitText(page, IDC_LOG_SIZE, 18);
    LimitText(page, IDC_DEFAULT_CHAR, 1);
    LimitText(page, IDC_LOG_SEPARATOR_CHAR, 1);
    LimitText(page, IDC_LOG_REPLACE_CHAR, 1);
    LimitText(page, IDC_LOG_HEX_BYTES, 5);
    LimitText(page, IDC_LOG_ASCII_BYTES, 5);
    FillCombo(page, IDC_LOG_SEPARATOR, IDS_SEPARATOR_FIRST, 4);
    FillCombo(page, IDC_KANJI, IDS_KANJI_FIRST, 4);
    // A log thread that does not answer leaves the page with what the file
    // holds rather than with empty fields that OK would then save.
    LogSettings log{};
    if (!state.parts.getLogSettings || !state.parts.getLogSettings(&log)) LoadLogSettings(log);
    state.logCtrlCodes = log.ctrlCode;
    Fill(page, log);
    UpdateEnabling(page);
}

int CountOf(HWND page, int id)
{
    long long n = 0;
    ReadNumber(page, id, n);
    return n < 1 ? 1 : n > 65535 ? 65535 : static_cast<int>(n);
}

LogSettings Read(HWND page, const SettingsDialogState& state)
{
    LogSettings log{};
    CopySjis(log.directory, sizeof log.directory, GetDlgItemTextSjis(page, IDC_LOG_DIRECTORY));
    for (uint32_t type = LOGTYPE_APPEND; type <= LOGTYPE_AUTO; ++type)
        if (IsChecked(page, kTypeRadios[type])) log.logType = type;
    long long size = 0;
    log.maxFileSize = ReadNumber(page, IDC_LOG_SIZE, size) && size >= kMinFileSize ? size : kMinFileSize;
    for (const FlagControl& flag : kFlags) log.*flag.field = IsChecked(page, flag.id);
    int separator = Selected(page, IDC_LOG_SEPARATOR);
    log.separator = separator >= 0 && separator < kAnySeparator ? kSeparators[separator]
                                                                : FirstCharacter(page, IDC_LOG_SEPARATOR_CHAR, ' ');
    int kanji = Selected(page, IDC_KANJI);
    log.kanji = static_cast<uint8_t>(kanji >= 0 ? kanji : KANJI_SJIS);
    log.defaultChar = FirstCharacter(page, IDC_DEFAULT_CHAR, '?');
    log.replaceChar = FirstCharacter(page, IDC_LOG_REPLACE_CHAR, ' ');
    log.hexBytesPerLine = static_cast<uint16_t>(CountOf(page, IDC_LOG_HEX_BYTES));
    log.asciiBytesPerLine = static_cast<uint16_t>(CountOf(page, IDC_LOG_ASCII_BYTES));
    log.ctrlCode = state.logCtrlCodes;
    return log;
}

LRESULT Apply(HWND page, SettingsDialogState& state, bool save)
{
    LogSettings log = Read(page, state);
    if (!state.parts.setLogSettings || !state.parts.setLogSettings(&log)) return 0;
    if (save) SaveLogSettings(log);
    return 1;
}

int CALLBACK BrowseCallback(HWND chooser, UINT msg, LPARAM, LPARAM start)
{
    if (msg == BFFM_INITIALIZED) SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

void BrowseFolder(HWND page)
{
    std::wstring start = SjisToWide(ResolveFolder(GetDlgItemTextSjis(page, IDC_LOG_DIRECTORY)));
    std::wstring title = SjisToWide("フォルダの選択");
    BROWSEINFOW info{};
    info.hwndOwner = page;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    wchar_t path[MAX_PATH];
    if (SHGetPathFromIDListW(chosen, path)) SetDlgItemTextW(page, IDC_LOG_DIRECTORY, path);
    CoTaskMemFree(chosen);
}

void OnCommand(HWND page, SettingsDialogState& state, int id, int code)
{
    switch (id) {
    case IDC_LOG_BROWSE: if (code == BN_CLICKED) BrowseFolder(page); break;
    case IDC_LOG_CTRL_CODES:
        if (code == BN_CLICKED && state.parts.editCtrlCodes) state.parts.editCtrlCodes(page, state.logCtrlCodes);
        break;
    case IDC_LOG_SIZE:
        if (code == EN_CHANGE) ShowShortSize(page);
        if (code == EN_KILLFOCUS) {
            long long size = 0;
            if (!ReadNumber(page, IDC_LOG_SIZE, size) || size < kMinFileSize) SetNumber(page, IDC_LOG_SIZE, kMinFileSize);
        }
        break;
    case IDC_LOG_HEX_BYTES:
    case IDC_LOG_ASCII_BYTES:
        if (code == EN_KILLFOCUS) SetNumber(page, id, CountOf(page, id));
        break;
    default: break;
    }
    UpdateEnabling(page);
}

} // namespace

INT_PTR CALLBACK LogPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static constexpr PageHandlers kHandlers = {OnInit, OnCommand, Apply, nullptr, kHelpTopic};
    return PageMessage(page, msg, wParam, lParam, kHandlers);
}
