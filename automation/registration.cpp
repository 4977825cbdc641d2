#include "automation/registration.h"

#include <cwchar>
#include <string>

#include "automation/automation.h"
#include "automation/registrar.h"
#include "base/owners.h"
#include "resources/resource.h"

HRESULT TypeLibraryResourcePath(wchar_t* path, size_t size)
{
    DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(size));
    if (n == 0 || n + 3 > size) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    swprintf(path + n, size - n, L"\\%d", 1);
    return S_OK;
}

namespace {

// HKCR\TypeLib\{library}\<major>.<minor>\0: the neutral locale's entry.
std::wstring NeutralLocaleKey(const TLIBATTR& attr)
{
    wchar_t guid[40];
    StringFromGUID2(attr.guid, guid, 40);
    return std::wstring(L"TypeLib\\") + guid + L"\\" + std::to_wstring(attr.wMajorVerNum) + L"." +
           std::to_wstring(attr.wMinorVerNum) + L"\\0";
}

const wchar_t* SystemKindName(SYSKIND kind) { return kind == SYS_WIN64 ? L"win64" : L"win32"; }

} // namespace

// The system enters the library under its own locale (0x409). The standard
// marshaller of the event interfaces, and clients that ask for the neutral
// locale, look under locale 0 only: the library goes there too.
HRESULT RegisterTypeLibraryResource()
{
    wchar_t path[MAX_PATH * 4];
    ComPtr<ITypeLib> library;
    HRESULT hr = TypeLibraryResourcePath(path, MAX_PATH * 4);
    if (SUCCEEDED(hr)) hr = LoadTypeLib(path, library.put());
    if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.get(), path, nullptr);
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(hr)) hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    std::wstring key = NeutralLocaleKey(*attr) + L"\\" + SystemKindName(attr->syskind);
    library->ReleaseTLibAttr(attr);
    LONG status = RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, path,
                                  static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Registration from the command line: results are not reported, and the
// program ends with exit code 0 either way.
void RegisterServer()
{
    RunRegistryScript(GetModuleHandleW(nullptr), IDR_RGS_SERVER, RegistrarMode::Register);
    RegisterTypeLibraryResource();
}

void UnregisterServer()
{
    HMODULE module = GetModuleHandleW(nullptr);
    RunRegistryScript(module, IDR_RGS_SERVER, RegistrarMode::Unregister);
    // The library is unregistered with its own identity, locale and system
    // kind (read from the resource), so the call finds what registration
    // wrote on any system; the interface script cleans up when it cannot.
    wchar_t path[MAX_PATH * 4];
    ComPtr<ITypeLib> library;
    HRESULT hr = TypeLibraryResourcePath(path, MAX_PATH * 4);
    if (SUCCEEDED(hr)) hr = LoadTypeLib(path, library.put());
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(hr)) hr = library->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        // The neutral locale's entry first, so the system finds no other
        // locale left and removes the library's keys whole.
        RegDeleteTreeW(HKEY_CLASSES_ROOT, NeutralLocaleKey(*attr).c_str());
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        library->ReleaseTLibAttr(attr);
    }
    if (FAILED(hr)) RunRegistryScript(module, IDR_RGS_INTERFACES, RegistrarMode::Unregister);
}
