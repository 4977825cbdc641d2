// A hidden server started for automation, asked to close while a port is open:
// when the user keeps the program, its window shows (nobody could close a hidden
// one). The main window runs in this process on the cable's first port.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "base/catalogue.h"
#include "logging/log_thread.h"
#include "serial/port_names.h"
#include "settings/settings_store.h"
#include "shell/messages.h"
#include "shell/session.h"
#include "shell/shell.h"
#include "tests/support/main_window_host.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

TEST(AutomationClose, AHiddenServerThatTheUserKeepsShowsItsWindow)
{
    TempFolder folder;
    SetIniFileForTesting(folder.Write("Vorlin2.ini", "[LOG]\r\nDIRECTORY=" + folder.Path() + "\r\n").c_str());
    SetMessageFileForTesting(ShippedFile("Vorlin2.msg").c_str());
    LoadMessageCatalogue();
    StartLogThread(nullptr);
    {
        testing_support::MainWindowHost host(true);  // the question comes as a message box
        HWND hwnd = host.Window();
        GetAppSettings().flags |= APP_STARTED_BY_AUTOMATION;
        ShowWindow(hwnd, SW_HIDE);
        DeviceSettings settings{};
        strcpy(settings.portName, VORLIN_PORT);
        LoadPortSettings(settings);
        ASSERT_EQ(SendMessageW(hwnd, WM_VORLIN_CONNECT, 0, reinterpret_cast<LPARAM>(&settings)), 0);

        DWORD thread = GetCurrentThreadId();
        bool asked = false;
        UserThread user([&] {
            if (HWND box = WaitForThreadDialog(thread, nullptr, 15000)) {
                asked = true;
                ClickDialogButton(box, IDCANCEL);
            }
        });
        SendMessageW(hwnd, WM_CLOSE, 0, 0);  // as the server's end posts it
        user.join();
        EXPECT_TRUE(asked);
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_TRUE(IsWindowVisible(hwnd));

        GetAppSettings().flags &= ~APP_STARTED_BY_AUTOMATION;
        GetSession().Disconnect();
    }
    StopLogThread();
    FreeMessageCatalogue();
    SetIniFileForTesting(nullptr);
    SetMessageFileForTesting(nullptr);
}
