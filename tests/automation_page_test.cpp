// The settings dialog's edges that need a part to misbehave, on parts of the test's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/catalogue.h"
#include "base/text.h"
#include "resources/resource.h"
#include "settings/settings_dialog.h"
#include "settings/settings_store.h"
#include "shell/shell.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kAppTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

BOOL NoLogThread(LogSettings*) { return FALSE; }
BOOL TakeLog(const LogSettings*) { return TRUE; }
DWORD Refused() { return ERROR_ACCESS_DENIED; }
DWORD Done() { return 0; }

// Presses a button of a page and returns the text of the box it brings up, dismissed.
std::wstring BoxAfterClick(DWORD thread, HWND page, int id)
{
    ClickDialogButton(page, id);
    HWND box = WaitForThreadDialog(thread, kAppTitle.c_str(), kWait);
    if (!box) return L"(no message)";
    std::wstring text = MessageBoxText(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(box); }, kWait);
    return text;
}

} // namespace

TEST(SettingsDialogParts, LogPageReadsTheFileWithoutALogThreadAndRegistrationReportsTheRealOutcome)
{
    TempFolder folder;
    SetIniFileForTesting(folder.Write("Vorlin2.ini", "[LOG]\r\nHEX_BYTES_PER_LINE=16\r\n").c_str());
    SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
    uint32_t flags = GetAppSettings().flags;
    GetAppSettings().flags |= APP_MESSAGE_BOXES;
    SettingsDialogParts parts{};
    parts.getLogSettings = NoLogThread;
    parts.setLogSettings = TakeLog;
    parts.registerServer = Refused;
    parts.unregisterServer = Done;
    DWORD thread = GetCurrentThreadId();
    std::wstring hexBytes, registered, unregistered;
    UserThread user([&] {
        HWND dialog = WaitForThreadDialog(thread, L"アプリケーションの設定", kWait);
        if (!dialog) return;
        hexBytes = WindowTextW(GetDlgItem(GetDlgItem(dialog, IDC_SETTINGS_PAGE_FIRST), IDC_LOG_HEX_BYTES));
        HWND other = GetDlgItem(dialog, IDC_SETTINGS_PAGE_FIRST + 2);
        registered = BoxAfterClick(thread, other, IDC_REGISTER_SERVER);
        unregistered = BoxAfterClick(thread, other, IDC_UNREGISTER_SERVER);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    OpenSettingsDialog(nullptr, parts);
    user.join();
    SetIniFileForTesting(nullptr);
    SetMessageFileForTesting(nullptr);
    GetAppSettings().flags = flags;

    EXPECT_EQ(hexBytes, L"16") << "the file's value, not an empty record";
    char denied[512];
    SystemErrorText(ERROR_ACCESS_DENIED, denied, sizeof denied);
    EXPECT_EQ(registered, SjisToWide(denied)) << "a refused registration is no success";
    EXPECT_EQ(unregistered, L"オートメーションサーバの登録を解除しました。");
}
