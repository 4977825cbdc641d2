// The attach dialog: lists the main windows of the other running instances
// and gives back the one the user chose.
#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <cwchar>
#include <iterator>
#include <string>

#include "base/catalogue.h"
#include "base/text.h"
#include "resources/resource.h"
#include "tunnel/tunnel.h"

namespace {

struct Column {
    const char* heading;
    int width;
};
constexpr Column kColumns[] = {{"プロセスID", 70}, {"ウィンドウ", 70}, {"位置・サイズ", 227}};

void InsertColumns(HWND list)
{
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        std::wstring heading = SjisToWide(kColumns[i].heading);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[i].width;
        column.pszText = heading.data();
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void SetSubItem(HWND list, int item, int subItem, wchar_t* text)
{
    LVITEMW cell{};
    cell.iSubItem = subItem;
    cell.pszText = text;
    SendMessageW(list, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
}

// The list view sorts the rows by the text of the first column.
BOOL CALLBACK AddInstance(HWND hwnd, LPARAM lParam)
{
    wchar_t name[64] = L"";
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (!GetClassNameW(hwnd, name, 64) || wcscmp(name, kInstanceWindowClass) != 0 ||
        processId == GetCurrentProcessId())
        return TRUE;
    auto list = reinterpret_cast<HWND>(lParam);
    wchar_t text[128];
    swprintf(text, 128, L"%d", static_cast<int>(processId));
    LVITEMW row{};
    row.mask = LVIF_TEXT;
    row.iItem = INT_MAX;
    row.pszText = text;
    int item = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (item < 0) return TRUE;
    swprintf(text, 128, L"%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(hwnd)));
    SetSubItem(list, item, 1, text);
    RECT r{};
    GetWindowRect(hwnd, &r);
    swprintf(text, 128, L"(%4d, %4d)-(%4d, %4d) %4dx%4d", static_cast<int>(r.left), static_cast<int>(r.top),
             static_cast<int>(r.right), static_cast<int>(r.bottom), static_cast<int>(r.right - r.left),
             static_cast<int>(r.bottom - r.top));
    SetSubItem(list, item, 2, text);
    return TRUE;
}

void OnInitDialog(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_ATTACH_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    InsertColumns(list);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    EnumWindows(AddInstance, reinterpret_cast<LPARAM>(list));
}

// Ends the dialog with the chosen row's window; without a row it asks for one.
void OnChoose(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_ATTACH_LIST);
    int item = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (item < 0) {
        ShowMessage(dialog, kAppTitle, MSG_NO_INSTANCE_CHOSEN, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    wchar_t text[512] = L"";
    LVITEMW cell{};
    cell.iSubItem = 1;
    cell.pszText = text;
    cell.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
    auto window = static_cast<UINT_PTR>(wcstoul(text, nullptr, 16));
    EndDialog(dialog, static_cast<INT_PTR>(window));
}

INT_PTR CALLBACK AttachDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: OnInitDialog(dialog); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_ATTACH_OK: OnChoose(dialog); return TRUE;
        case IDCANCEL:
        case IDC_ATTACH_CANCEL: EndDialog(dialog, 0); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_ATTACH_LIST && header->code == NM_DBLCLK) OnChoose(dialog);
        return FALSE;
    }
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
    }
}

} // namespace

HWND ChooseAttachTarget(HWND owner)
{
    INT_PTR chosen = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ATTACH), owner,
                                     AttachDialogProc, 0);
    return chosen > 0 ? reinterpret_cast<HWND>(chosen) : nullptr;
}
