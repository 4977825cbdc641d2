#include "automation/registration.h"

#include <cwchar>

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

HRESULT RegisterTypeLibraryResource()
{
    wchar_t path[MAX_PATH * 4];
    ComPtr<ITypeLib> library;
    HRESULT hr = TypeLibraryResourcePath(path, MAX_PATH * 4);
    if (SUCCEEDED(hr)) hr = LoadTypeLib(path, library.put());
    if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.get(), path, nullptr);
    return hr;
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
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        library->ReleaseTLibAttr(attr);
    }
    if (FAILED(hr)) RunRegistryScript(module, IDR_RGS_INTERFACES, RegistrarMode::Unregister);
}
