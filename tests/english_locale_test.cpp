// The program on an English system: this test runs in the English Wine prefix
// (ANSI code page 1252), where a Shift_JIS text that reaches an A function of
// the system shows as other characters. Every text checked here must read and
// show as its Japanese self.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/text.h"
#include "logview/painter.h"
#include "resources/resource.h"
#include "serial/connect_dialog.h"
#include "settings/settings_store.h"
#include "tests/support/main_window_host.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kTitle = L"通信リソース制御ユーティリティー『Vorlin2』";

class EnglishSystem : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 1252u) << "this test proves nothing outside the English prefix"; }
};

// A picture of `hwnd` is saved, is no blank or one-colour picture, and its
// title bar shows `title` exactly as the system draws that text in a window
// of the same shape, in a font that has the glyphs (no boxes).
void CheckPicture(HWND hwnd, const std::wstring& title, const char* file)
{
    HICON icon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM));
    RECT r;
    GetWindowRect(hwnd, &r);
    HWND like = CreateWindowExW(GetWindowLongW(hwnd, GWL_EXSTYLE) & ~WS_EX_TOPMOST, L"Static", title.c_str(),
                                GetWindowLongW(hwnd, GWL_STYLE) & ~(WS_CHILD | WS_DISABLED), 0, 0,
                                r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(like);
    if (icon) SendMessageW(like, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ShowWindow(like, SW_SHOWNOACTIVATE);
    for (HWND w : {hwnd, like}) SendMessageW(w, WM_NCACTIVATE, FALSE, 0);  // both drawn inactive
    WindowPicture shot = CaptureWindow(hwnd), expected = CaptureWindow(like);
    // The frame and title bar: down to the client area of the window without a menu.
    RECT window, client;
    GetWindowRect(like, &window);
    GetClientRect(like, &client);
    MapWindowPoints(like, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const int caption = client.top - window.top;
    DestroyWindow(like);
    EXPECT_TRUE(SavePicture(shot, file));
    EXPECT_GE(DistinctColours(shot), 8u) << file << " is blank or nearly one colour";
    const size_t bytes = static_cast<size_t>(caption) * shot.width * 3;
    ASSERT_TRUE(caption >= 10 && bytes <= shot.rgb.size() && shot.rgb.size() == expected.rgb.size()) << file;
    EXPECT_TRUE(std::equal(shot.rgb.begin(), shot.rgb.begin() + bytes, expected.rgb.begin()))
        << "the title bar of " << file << " shows another text";

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, CreateFontIndirectW(&metrics.lfCaptionFont));
    std::vector<WORD> glyphs(title.size());
    GetGlyphIndicesW(dc, title.c_str(), static_cast<int>(title.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    DeleteObject(SelectObject(dc, old));
    DeleteDC(dc);
    EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), 0xFFFF), 0) << "the caption font shows boxes";
}

} // namespace

TEST_F(EnglishSystem, TheProgramShowsItsTitleDialogAndMessagesInJapanese)
{
    TempFolder temp;
    ASSERT_TRUE(testing_support::InstallProgram(temp.Path()));
    testing_support::ProgramRun run;
    ASSERT_TRUE(run.Start(temp.Path()));
    HWND hwnd = run.WaitForMainWindow();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(WindowTextW(hwnd), kTitle);
    DWORD ui = GetWindowThreadProcessId(hwnd, nullptr);
    PostMessageW(hwnd, WM_KEYDOWN, VK_F5, 0);  // through the accelerator, as the key does
    HWND dialog = WaitForThreadDialog(ui, L"デバイスの設定＆接続", kWait);
    ASSERT_TRUE(dialog) << "F5 shows no connect dialog";
    EXPECT_EQ(WindowTextW(GetDlgItem(dialog, IDC_CONNECT_OK)), L"接続(&C)");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWait));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(run.WaitForExit(std::chrono::milliseconds(kWait)));

    // Started by automation, the close box only says why it refuses.
    ASSERT_TRUE(run.Start(temp.Path(), "Embedding"));
    ASSERT_TRUE(hwnd = run.WaitForMainWindow());
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForThreadDialog(GetWindowThreadProcessId(hwnd, nullptr), kTitle.c_str(), kWait);
    ASSERT_TRUE(box) << "no message box titled in Japanese";
    EXPECT_EQ(MessageBoxText(box), L"オートメーションから起動されているため、このボタンでは閉じられません。\n"
                                   L"終了するにはメニューの「アプリケーションの終了」を使ってください。");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_TRUE(run.WaitForExit(std::chrono::milliseconds(kWait)));
}

TEST_F(EnglishSystem, MenusPicturesAndTheViewShowJapanese)
{
    testing_support::MainWindowHost host;
    HWND hwnd = host.Window();
    ASSERT_TRUE(hwnd);
    struct { UINT id; const wchar_t* text; } items[] = {
        {IDM_CONNECT, L"接続(&C)...\tF5"}, {IDM_LOG_FILE, L"ログファイルの設定(&O)..."}, {IDM_LOG_STOP, L"ログの停止(&S)"}};
    for (const auto& item : items) {
        wchar_t text[64] = L"";
        GetMenuStringW(GetMenu(hwnd), item.id, text, 64, MF_BYCOMMAND);
        EXPECT_EQ(std::wstring(text), item.text) << item.id;
    }
    SetWindowPos(hwnd, nullptr, 0, 0, 640, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    CheckPicture(hwnd, kTitle, "english_main_window");

    PortAccess onePort{[](std::vector<std::string>& list) { return list = {"COM1"}, list.size(); },
                       [](const char*, COMMPROP* p) { return *p = COMMPROP{}, p->dwSettableBaud = ~0u, TRUE; }};
    SetPortAccess(&onePort);
    DeviceSettings record{};
    UserThread user([&] {
        DWORD ui = GetWindowThreadProcessId(hwnd, nullptr);
        HWND dialog = WaitForThreadDialog(ui, L"デバイスの設定＆接続", kWait);
        if (dialog) CheckPicture(dialog, L"デバイスの設定＆接続", "english_connect_dialog");
        else ADD_FAILURE() << "no connect dialog titled in Japanese";
        PostMessageW(dialog ? dialog : FindThreadDialog(ui, nullptr), WM_COMMAND, IDCANCEL, 0);
    });
    RunConnectDialog(hwnd, record);
    user.join();
    SetPortAccess(nullptr);

    // The view's header line, drawn by its painter, is the Japanese text.
    ViewSettings settings{};
    SetIniFileForTesting("");
    LoadViewSettings(settings);
    SetIniFileForTesting(nullptr);
    Painter painter;
    ASSERT_EQ(CreateDrawingResources(painter, settings, 0, 0), 0u);
    TrafficRecord* record7 = MakeTrafficRecord(RECORD_RECEIVE, 7, "abc", 3);
    record7->time = SYSTEMTIME{2024, 1, 0, 2, 3, 4, 5, 6};
    const int width = 600, h = painter.lineHeight;
    DrawRecordLine(painter, settings, LineOptions{}, *record7, {LineKind::Header, 0, 0}, {}, 0, width);
    free(record7);
    auto drawText = [&](const std::wstring& text, int y) {
        RECT band{0, y, width, y + h};
        ExtTextOutW(painter.buffer, 0, y, ETO_OPAQUE | ETO_CLIPPED, &band, text.c_str(), UINT(text.size()), nullptr);
    };
    drawText(L"000007 <受信> 2024/01/02 03:04:05.006 データサイズ = 3", h);
    drawText(L"000007 <送信> 2024/01/02 03:04:05.006 データサイズ = 3", 2 * h);
    auto sameBand = [&](int y) {
        for (int x = 0; x < width; ++x)
            for (int dy = 0; dy < h; ++dy)
                if (GetPixel(painter.buffer, x, dy) != GetPixel(painter.buffer, x, y + dy)) return false;
        return true;
    };
    EXPECT_TRUE(sameBand(h)) << "the header line is not drawn as its Japanese text";
    EXPECT_FALSE(sameBand(2 * h)) << "the view font draws different kanji alike: no glyphs to compare";
    ReleaseDrawingResources(painter);
}

TEST_F(EnglishSystem, TheSettingsFileStaysShiftJis)
{
    TempFolder temp;
    const std::string folder = temp.Path() + "\\設定", path = folder + "\\Vorlin2.ini";
    ASSERT_TRUE(CreateDirectoryW(SjisToWide(folder).c_str(), nullptr));
    const std::string before = "; 表示の設定\r\n[PREVIEW]\r\nFONT_SIZE=ＬＬ\r\n[DATA]\r\nDIRECTORY=データ\r\n";
    HANDLE file = CreateFileSjis(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(file, before.data(), DWORD(before.size()), &n, nullptr);
    CloseHandle(file);

    SetIniFileForTesting(path.c_str());
    char data[32];
    LoadDataDirectory(data, sizeof data);
    EXPECT_STREQ(data, "データ");
    ViewSettings view;
    LoadViewSettings(view);  // the name is read after half-width mapping
    EXPECT_EQ(view.fontSize, FONT_LL);
    SaveToolbarLayout("ツール");
    SetIniFileForTesting(nullptr);

    char after[256] = {};
    file = CreateFileSjis(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ReadFile(file, after, sizeof after - 1, &n, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string(after), before + "[APPLICATION]\r\nTOOLBAR=ツール\r\n");
    DeleteFileW(SjisToWide(path).c_str());
    RemoveDirectoryW(SjisToWide(folder).c_str());
}
