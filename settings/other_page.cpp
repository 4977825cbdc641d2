// The settings dialog's page "その他": the automation server's registration
// and its type library.
#include <windows.h>
#include <shellapi.h>

#include "base/catalogue.h"
#include "base/owners.h"
#include "resources/resource.h"
#include "settings/file_dialogs.h"
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
    constexpr FileChoice kExportFile = {"エクスポートファイルの選択", "ﾀｲﾌﾟﾗｲﾌﾞﾗﾘ(*.tlb)", L"*.tlb", L"tlb",
                                        OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST};
    if (!ChooseSaveFile(page, kExportFile, file)) return;
    if (DWORD error = WriteTypeLibrary(file)) ShowSystemError(page, kAppTitle, error);
}

void OpenSamplePage(HWND page)
{
    wchar_t address[512] = L"";
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_SAMPLE_PAGE, address, 512) > 0)
        ShellExecuteW(page, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void OnCommand(HWND page, SettingsDialogState& state, int id, int code)
{
    if (code != BN_CLICKED) return;
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
    static constexpr PageHandlers kHandlers = {nullptr, OnCommand, nullptr, nullptr, kHelpTopic};
    return PageMessage(page, msg, wParam, lParam, kHandlers);
}
