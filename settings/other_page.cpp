// The settings dialog's page "その他": the automation server's registration
// and its type library.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include "base/catalogue.h"
#include "base/owners.h"
#include "resources/resource.h"
#include "settings/settings_pages.h"

namespace {

constexpr ULONG_PTR kHelpTopic = 68;

// A report for each outcome: the message only when the registry really changed.
void Report(HWND page, DWORD (*task)(), unsigned success)
{
    DWORD error = task ? task() : ERROR_CALL_NOT_IMPLEMENTED;
    if (error)
        ShowSystemError(page, kAppTitle, error);
    else
        ShowMessage(page, kAppTitle, success, MB_OK | MB_ICONINFORMATION);
}

bool ChooseExportFile(HWND page, wchar_t* file)
{
    std::wstring title = SjisToWide("エクスポートファイルの選択");
    std::wstring filter = SjisToWide("ﾀｲﾌﾟﾗｲﾌﾞﾗﾘ(*.tlb)");
    filter.push_back(L'\0');
    filter += L"*.tlb";
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = page;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = L"tlb";
    ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    return GetSaveFileNameW(&ofn) != 0;
}

// The type library resource, byte for byte, into a new file; 0 or the error.
DWORD WriteTypeLibrary(const wchar_t* file)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = found ? SizeofResource(module, found) : 0;
    if (!bytes || !size) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    UniqueHandle out(CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return GetLastError();
    DWORD written = 0;
    if (WriteFile(out.get(), bytes, size, &written, nullptr) && written == size) return 0;
    DWORD error = written == size ? GetLastError() : ERROR_DISK_FULL;
    out.reset();
    DeleteFileW(file);  // half a library is no library
    return error;
}

// A file that could not be written is reported: the user chose it and
// would otherwise believe it was written.
void ExportTypeLibrary(HWND page)
{
    wchar_t file[MAX_PATH] = L"Vorlin2.tlb";
    if (!ChooseExportFile(page, file)) return;
    if (DWORD error = WriteTypeLibrary(file)) ShowSystemError(page, kAppTitle, error);
}

void OpenSamplePage(HWND page)
{
    wchar_t address[512] = L"";
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_SAMPLE_PAGE, address, 512) > 0)
        ShellExecuteW(page, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void OnCommand(HWND page, const SettingsDialogState& state, int id)
{
    switch (id) {
    case IDC_REGISTER_SERVER: Report(page, state.parts.registerServer, MSG_SERVER_REGISTERED); break;
    case IDC_UNREGISTER_SERVER: Report(page, state.parts.unregisterServer, MSG_SERVER_UNREGISTERED); break;
    case IDC_EXPORT_TYPELIB: ExportTypeLibrary(page); break;
    case IDC_SAMPLE_PAGE: OpenSamplePage(page); break;
    default: break;
    }
}

} // namespace

INT_PTR CALLBACK OtherPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    SettingsDialogState* state = PageState(page);
    switch (msg) {
    case WM_INITDIALOG: SetWindowLongPtrW(page, DWLP_USER, lParam); return FALSE;
    case WM_COMMAND:
        if (state && HIWORD(wParam) == BN_CLICKED) OnCommand(page, *state, LOWORD(wParam));
        return TRUE;
    case WM_HELP: ShowPageHelp(page, reinterpret_cast<HELPINFO*>(lParam), kHelpTopic); return TRUE;
    case WM_SETTINGS_OK:
    case WM_SETTINGS_APPLY:
    case WM_SETTINGS_CANCEL: return Answer(page, 1);
    default: return FALSE;
    }
}
