#include "shell/settings_parts.h"

#include <string>

#include "automation/automation.h"
#include "logging/log_thread.h"
#include "logview/ctrl_codes.h"
#include "logview/log_view.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "settings/settings_dialog.h"

namespace {

constexpr wchar_t kProgId[] = L"Vorlin2.Application";

// The registry tells whether the server is entered: its ProgID names a class.
bool ServerRegistered()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kProgId) + L"\\CLSID").c_str(), 0, KEY_READ, &key)) return false;
    RegCloseKey(key);
    return true;
}

// Why the ProgID's key could not be changed: the system's answer to opening
// it for writing (usually "access denied"), else that the key was not written.
DWORD WhyUnchanged()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, kProgId, 0, nullptr, 0, KEY_WRITE | DELETE, nullptr, &key,
                                     &disposition);
    if (status) return static_cast<DWORD>(status);
    RegCloseKey(key);
    if (disposition == REG_CREATED_NEW_KEY) RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);  // only a probe
    return ERROR_CANTWRITE;
}

// Registration writes and removes registry keys without telling how it went,
// so the outcome is read back from the registry.
DWORD Register()
{
    RegisterServer();
    return ServerRegistered() ? 0 : WhyUnchanged();
}

DWORD Unregister()
{
    UnregisterServer();
    return ServerRegistered() ? WhyUnchanged() : 0;
}

} // namespace

void RunSettingsDialog(HWND mainWindow)
{
    SettingsDialogParts parts{};
    parts.logView = GetDlgItem(mainWindow, IDC_LOG_VIEW);
    parts.getLogSettings = GetLogSettings;
    parts.setLogSettings = SetLogSettings;
    parts.getViewSettings = GetViewSettings;
    parts.setViewSettings = SetViewSettings;
    parts.editCtrlCodes = EditCtrlCodeSet;
    parts.drawColourButton = DrawColourButton;
    parts.registerServer = Register;
    parts.unregisterServer = Unregister;
    OpenSettingsDialog(mainWindow, parts);
}
