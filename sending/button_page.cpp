// The single-edit page: the entries of one button file as eighteen buttons,
// the chosen entry's caption and its hexadecimal data, which the user may
// change before sending it.
#include <cstdio>
#include <vector>

#include "base/catalogue.h"
#include "base/text.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "sending/send_pages.h"
#include "serial/engine.h"

namespace {

HWND Owner(HWND page) { return GetAncestor(page, GA_ROOT); }

void ResetEntries(HWND page)
{
    for (int n = 1; n <= kMaxButtonEntries; ++n) {
        char caption[16];
        snprintf(caption, sizeof caption, "%d(空)", n);
        SetDlgItemTextSjis(page, IDC_SINGLE_ENTRY_FIRST + n - 1, caption);
        EnableWindow(GetDlgItem(page, IDC_SINGLE_ENTRY_FIRST + n - 1), FALSE);
    }
    SetDlgItemTextW(page, IDC_SINGLE_SUMMARY, L"");
    SetDlgItemTextW(page, IDC_SINGLE_DATA, L"");
}

// Hex digits in upper case; the second byte of a double-byte character is
// never taken for a letter.
std::string UpperCaseDigits(const std::string& text)
{
    std::string upper = text;
    for (size_t i = 0; i < upper.size(); ++i) {
        const auto byte = static_cast<uint8_t>(upper[i]);
        if (IsSjisLeadByte(byte)) ++i;
        else if (byte >= 'a' && byte <= 'z') upper[i] = static_cast<char>(byte - 'a' + 'A');
    }
    return upper;
}

// The entry is read again from the file: what the user sees is what the file holds now.
void ChooseEntry(HWND page, int index)
{
    ButtonEntry entry;
    if (!ReadButtonEntry(GetCurrentButtonFile(), index, entry)) return;
    SetDlgItemTextSjis(page, IDC_SINGLE_SUMMARY, entry.caption.c_str());
    SetDlgItemTextSjis(page, IDC_SINGLE_DATA, UpperCaseDigits(entry.data).c_str());
}

void LoadButtonFile(HWND page)
{
    LRESULT selected = SendDlgItemMessageW(page, IDC_SINGLE_FILE, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR || !SetCurrentButtonFile(static_cast<int>(selected))) return;
    ResetEntries(page);
    char path[MAX_PATH];
    std::vector<std::string> lines;
    // A file that cannot be opened leaves the page empty, without a message.
    if (!JoinPath(GetDataDirectory(), GetButtonFileName(static_cast<int>(selected)), path, sizeof path) ||
        !ReadTextLines(path, lines))
        return;
    std::vector<ButtonEntry> entries = ParseButtonEntries(lines);
    for (size_t i = 0; i < entries.size(); ++i) {
        HWND button = GetDlgItem(page, IDC_SINGLE_ENTRY_FIRST + static_cast<int>(i));
        SetWindowTextSjis(button, entries[i].caption.c_str());
        EnableWindow(button, TRUE);
    }
    if (!entries.empty()) ChooseEntry(page, 0);
}

void OnInitDialog(HWND page)
{
    SetEditInputFilter(GetDlgItem(page, IDC_SINGLE_DATA), FILTER_HEX, true);
    const int count = ListButtonFiles();
    if (count == 0) {
        ResetEntries(page);
        ShowMessage(Owner(page), kAppTitle, MSG_NO_SEND_FILES, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    HWND box = GetDlgItem(page, IDC_SINGLE_FILE);
    for (int i = 0; i < count; ++i)
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SjisToWide(GetButtonFileName(i)).c_str()));
    const int current = GetCurrentButtonFile();
    SendMessageW(box, CB_SETCURSEL, current < 0 ? 0 : current, 0);
    LoadButtonFile(page);
}

void SendData(HWND page, bool asynchronous)
{
    std::string text = GetDlgItemTextSjis(page, IDC_SINGLE_DATA);
    if (text.empty()) return;
    std::vector<uint8_t> bytes = ButtonDataToBytes(text);
    DWORD error = SubmitSend(bytes.data(), static_cast<uint32_t>(bytes.size()), asynchronous);
    if (error) ShowSystemError(Owner(page), kAppTitle, error);
}

void OnCommand(HWND page, int id, int code)
{
    if (id >= IDC_SINGLE_ENTRY_FIRST && id <= IDC_SINGLE_ENTRY_LAST)
        return ChooseEntry(page, id - IDC_SINGLE_ENTRY_FIRST);
    switch (id) {
    case IDC_SINGLE_FILE: if (code == CBN_SELCHANGE) LoadButtonFile(page); return;
    case IDC_SEND_ASYNC: SendData(page, true); return;
    case IDC_SEND_SYNC: SendData(page, false); return;
    default: return;
    }
}

} // namespace

INT_PTR CALLBACK ButtonPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: OnInitDialog(page); return TRUE;
    case WM_COMMAND: OnCommand(page, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    default: return FALSE;
    }
}
