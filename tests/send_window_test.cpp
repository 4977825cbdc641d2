// The send data window and the pseudo-data generator in the real program
// under Wine, on a virtual null-modem cable whose far end this test reads.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "logging/traffic_record.h"
#include "resources/resource.h"
#include "sending/generator.h"
#include "tests/support/program_run.h"
#include "tests/support/serial_bench.h"
#include "tests/support/temp_files.h"
#include "tests/support/ui_driver.h"

namespace {

constexpr DWORD kWait = 15000;
const std::wstring kSendTitle = L"データ送信", kGeneratorTitle = L"疑似データ生成";

// The example form (2 + 2 + 64 bytes); a form that lacks LENGTH; a field of each input rule.
constexpr char kForm[] =
    "[Set mode]\r\n"
    "EDIT STYLE=TEXT TITLE=Address CONVERT=HEX LENGTH=4 DATA=0A1B\r\n"
    "COMBO STYLE=DROPDOWNLIST TITLE=Mode CONVERT=SJIS LENGTH=2 DATA=01,02,03\r\n"
    "EDIT STYLE=MULTILINETEXT TITLE=Note CONVERT=SJIS LENGTH=64 LINES=3\r\n"
    "[Broken]\r\n"
    "EDIT STYLE=TEXT TITLE=X CONVERT=HEX\r\n"
    "[Rules]\r\n"
    "EDIT STYLE=TEXT TITLE=B CONVERT=BIN LENGTH=8\r\n"
    "EDIT STYLE=TEXT TITLE=O CONVERT=OCT LENGTH=8\r\n"
    "EDIT STYLE=TEXT TITLE=H CONVERT=HEX LENGTH=8\r\n"
    "COMBO STYLE=DROPDOWN TITLE=C CONVERT=HEX LENGTH=3\r\n";

class SendWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::InstallProgram(temp_.Path()));
        CreateDirectoryA(temp_.File("data").c_str(), nullptr);
        temp_.Write("data\\three.txt", "One,414243\r\n# note\r\nno comma\r\nTwo,0d0a\r\nThree,31\r\n");
        temp_.Write("data\\modes.dat", kForm);
        ASSERT_TRUE(run_.Start(temp_.Path())) << GetLastError();
        ASSERT_TRUE(main_ = run_.WaitForMainWindow());
        ui_ = GetWindowThreadProcessId(main_, nullptr);
        ASSERT_TRUE(run_.Connect(main_, VORLIN_PORT));
        ASSERT_TRUE(peer_.Open(VORLIN_FAR_PORT));
    }
    HWND Open(UINT command, const std::wstring& title)
    {
        PostMessageW(main_, WM_COMMAND, command, 0);
        return WaitForThreadDialog(ui_, title.c_str(), kWait);
    }
    // Handled by the time this returns (a synchronous send has written by then).
    void Click(HWND dialog, int id)
    {
        SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)),
                            SMTO_NORMAL, kWait, nullptr);
    }
    HWND Focus()
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(ui_, &info) ? info.hwndFocus : nullptr;
    }
    // A Tab key as the keyboard gives it to the focused control; Shift held through the shared input state.
    bool Tab(bool shift, HWND expected)
    {
        BYTE keys[256];
        AttachThreadInput(GetCurrentThreadId(), ui_, TRUE);
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(Focus(), WM_KEYDOWN, VK_TAB, 1);
        bool moved = WaitUntil([&] { return Focus() == expected; }, kWait);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        AttachThreadInput(GetCurrentThreadId(), ui_, FALSE);
        return moved;
    }
    std::string Log() const { return ReadWholeFile(temp_.File("log\\Vorlin2_" VORLIN_PORT ".log")); }

    TempFolder temp_;
    testing_support::ProgramRun run_;  // after the folder: the program ends before its folder goes
    FarEnd peer_;
    HWND main_ = nullptr;
    DWORD ui_ = 0;
};

// What a control of the program shows (GetWindowText does not ask a window of another process).
std::wstring Text(HWND control)
{
    wchar_t text[256] = L"";
    SendMessageTimeoutW(control, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWait, nullptr);
    return text;
}

HWND PageWith(HWND window, int id)
{
    HWND tabs = GetDlgItem(window, IDC_SEND_TABS);
    for (HWND page = FindWindowExW(tabs, nullptr, L"#32770", nullptr); page;
         page = FindWindowExW(tabs, page, L"#32770", nullptr))
        if (GetDlgItem(page, id)) return page;
    return nullptr;
}

} // namespace

// One run: the tool windows replace each other, generated records are shown, then the button
// entries and the forms are sent.
TEST_F(SendWindow, ToolWindowsButtonEntriesFormsAndGeneratedRecords)
{
    WindowPicture before = CaptureWindow(main_);
    HWND generator = Open(IDM_PSEUDO_DATA, kGeneratorTitle);
    ASSERT_TRUE(generator);
    EXPECT_TRUE(SaveScreenshot(generator, "pseudo_data_generator"));
    HWND window = Open(IDM_SEND_DATA, kSendTitle);
    ASSERT_TRUE(window);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(generator); }, kWait)) << "the send window replaces the generator";
    PostMessageW(main_, WM_COMMAND, IDM_SEND_DATA, 0);
    SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, kWait, nullptr);  // the second open has been handled
    EXPECT_EQ(FindThreadDialog(ui_, kSendTitle.c_str(), window), nullptr) << "opening again only activates";
    EXPECT_TRUE(IsWindow(window));
    ASSERT_TRUE(generator = Open(IDM_PSEUDO_DATA, kGeneratorTitle));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, kWait)) << "the generator replaces the send window";

    SetDlgItemTextW(generator, IDC_PSEUDO_TEXT, L"GENERATED");
    SendDlgItemMessageW(generator, IDC_PSEUDO_RECEIVE, BM_CLICK, 0, 0);
    SetDlgItemInt(generator, IDC_PSEUDO_COUNT, 3, FALSE);
    SetDlgItemInt(generator, IDC_PSEUDO_INTERVAL, 0, FALSE);
    Click(generator, IDC_PSEUDO_GENERATE);
    Click(generator, IDC_PSEUDO_CLOSE);
    ASSERT_FALSE(IsWindow(generator));
    // Only the generated records have come since the first picture (no window is over it).
    WindowPicture after = CaptureWindow(main_);
    EXPECT_NE(before.rgb, after.rgb) << "the view shows no new record";
    EXPECT_TRUE(SavePicture(after, "pseudo_data_in_view"));
    // A real block received after the generated ones is logged; they are not.
    ASSERT_TRUE(peer_.Write("REAL"));
    EXPECT_TRUE(WaitUntil([&] { return Log().find("52 45 41 4c") != std::string::npos; }, kWait));
    EXPECT_EQ(Log().find("47 45 4e"), std::string::npos) << "generated records reach the log file";

    ASSERT_TRUE(window = Open(IDM_SEND_DATA, kSendTitle));
    HWND page = PageWith(window, IDC_SINGLE_DATA);
    ASSERT_TRUE(page);
    const wchar_t* captions[] = {L"One", L"Two", L"Three"};
    for (int n = 1; n <= 18; ++n) {
        HWND button = GetDlgItem(page, IDC_SINGLE_ENTRY_FIRST + n - 1);
        EXPECT_EQ(WindowTextW(button), n <= 3 ? captions[n - 1] : std::to_wstring(n) + L"(空)") << n;
        EXPECT_EQ(IsWindowEnabled(button) != FALSE, n <= 3) << n;
    }
    EXPECT_EQ(Text(GetDlgItem(page, IDC_SINGLE_SUMMARY)), L"One");
    EXPECT_EQ(Text(GetDlgItem(page, IDC_SINGLE_DATA)), L"414243");
    EXPECT_TRUE(SaveScreenshot(window, "send_window_buttons"));

    // Choosing an entry shows it in upper case and sends nothing; edited data is what goes.
    Click(page, IDC_SINGLE_ENTRY_FIRST + 1);
    EXPECT_EQ(Text(GetDlgItem(page, IDC_SINGLE_DATA)), L"0D0A");
    HWND data = GetDlgItem(page, IDC_SINGLE_DATA);
    SetWindowTextW(data, L"");
    TypeText(data, "7e3");
    EXPECT_EQ(Text(data), L"7E3");
    Click(window, IDC_SEND_ASYNC);
    EXPECT_EQ(peer_.Read(2, kWait), std::string("\x7E\x03", 2));
    // An empty box sends nothing; the synchronous send after it has written when the click returns.
    SetWindowTextW(data, L"");
    Click(window, IDC_SEND_SYNC);
    Click(page, IDC_SINGLE_ENTRY_FIRST + 2);
    Click(window, IDC_SEND_SYNC);
    EXPECT_EQ(peer_.Read(2, 200), "1");

    PostMessageW(GetDlgItem(window, IDC_SEND_TABS), WM_KEYDOWN, VK_RIGHT, 0);  // to the second tab
    ASSERT_TRUE(WaitUntil([&] { return (page = PageWith(window, IDC_MULTI_FILE)) && IsWindowVisible(page); }, kWait));
    HWND note = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (note = GetDlgItem(page, 20002)) != nullptr; }, kWait));
    HWND address = GetDlgItem(page, 20000), mode = GetDlgItem(page, 20001);
    EXPECT_EQ(Text(address), L"0A1B");
    EXPECT_TRUE(WaitUntil([&] { return SendMessageW(mode, CB_GETCURSEL, 0, 0) == 0; }, kWait)) << "first item chosen";
    // Rows 24 pixels apart, inputs at x 145 and as wide as the page less 160; LINES=3 makes three lines.
    RECT rows[3], client;
    for (int i = 0; i < 3; ++i) {
        GetWindowRect(GetDlgItem(page, 20000 + i), &rows[i]);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rows[i]), 2);
    }
    GetClientRect(page, &client);
    EXPECT_EQ(rows[0].left, 145);
    EXPECT_EQ(rows[0].right - rows[0].left, client.right - 160);
    EXPECT_EQ(rows[1].top - rows[0].top, 24);
    EXPECT_EQ(rows[2].top - rows[1].top, 24);
    EXPECT_EQ(rows[2].bottom - rows[2].top, 3 * (rows[0].bottom - rows[0].top));
    // LENGTH is the text limit.
    EXPECT_EQ(SendMessageW(address, EM_GETLIMITTEXT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(note, EM_GETLIMITTEXT, 0, 0), 64);
    SendMessageW(note, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"note"));
    EXPECT_TRUE(SaveScreenshot(window, "send_window_form"));

    Click(window, IDC_SEND_ASYNC);
    EXPECT_EQ(peer_.Read(100, 2000), std::string("\x0A\x1B" "01note", 8) + std::string(60, '\0'));

    // Tab from the last field wraps to the first send button; Shift+Tab comes back.
    PostMessageW(note, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(note, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    ASSERT_TRUE(WaitUntil([&] { return Focus() == note; }, kWait));
    EXPECT_TRUE(Tab(false, GetDlgItem(window, IDC_SEND_ASYNC)));
    EXPECT_TRUE(Tab(true, note));

    // A form that does not parse: its report, no rows, the send buttons disabled, nothing sent.
    HWND sections = GetDlgItem(page, IDC_MULTI_SECTION);
    SendMessageW(sections, CB_SETCURSEL, 1, 0);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_MULTI_SECTION, CBN_SELCHANGE), LPARAM(sections));
    HWND box = run_.WaitForDialog(window);
    ASSERT_TRUE(box) << "the missing LENGTH is reported";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    // Both buttons, one after the other: another process may look in between.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(window, IDC_SEND_ASYNC)) &&
                                       !IsWindowEnabled(GetDlgItem(window, IDC_SEND_SYNC)); }, kWait));
    EXPECT_EQ(GetDlgItem(page, 20000), nullptr);
    Click(window, IDC_SEND_SYNC);

    // Each conversion's input rule and the text limit, on a field or a combo box's edit part.
    SendMessageW(sections, CB_SETCURSEL, 2, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_MULTI_SECTION, CBN_SELCHANGE), LPARAM(sections));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_SEND_SYNC)));
    const wchar_t* kept[] = {L"01", L"01", L"0189A", L"018"};
    for (int i = 0; i < 4; ++i) {
        HWND field = GetDlgItem(page, 20000 + i);
        HWND edit = i < 3 ? field : FindWindowExW(field, nullptr, L"Edit", nullptr);
        TypeText(edit, "0189aG");
        EXPECT_EQ(Text(edit), kept[i]) << i;
    }
    Click(window, IDC_SEND_SYNC);
    EXPECT_EQ(peer_.Read(100, 2000), std::string("\x01\x01\x00\x01\x89\x0A\x00\x01\x08", 9));
}

namespace {

// A stand-in main window in this process: it keeps the generated records and,
// like the real one, destroys the registered tool window when another registers.
struct Seen {
    uint32_t kind, number;
    std::string bytes;
    bool generatorEnabled;
};
std::vector<Seen> g_seen;
HWND g_registered = nullptr;
size_t g_destroyAt = 0;  // destroys the generator on this record (none when 0)

LRESULT CALLBACK CollectorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_RECORD) {
        auto* r = reinterpret_cast<TrafficRecord*>(lParam);
        g_seen.push_back({r->kind, r->number, std::string(reinterpret_cast<char*>(r->data), r->length),
                          IsWindowEnabled(g_registered) != FALSE});
        free(r);
        if (g_seen.size() == g_destroyAt) DestroyWindow(g_registered);
        return 0;
    }
    if (msg == 0x7431) {
        if (g_registered && IsWindow(g_registered)) DestroyWindow(g_registered);
        g_registered = reinterpret_cast<HWND>(wParam);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Generate(HWND generator, const wchar_t* text, int count, int interval)
{
    if (text) SetDlgItemTextW(generator, IDC_PSEUDO_TEXT, text);
    SetDlgItemInt(generator, IDC_PSEUDO_COUNT, count, FALSE);
    SetDlgItemInt(generator, IDC_PSEUDO_INTERVAL, interval, FALSE);
    g_seen.clear();
    SendMessageW(generator, WM_COMMAND, IDC_PSEUDO_GENERATE, 0);
}

} // namespace

TEST(PseudoDataGenerator, NumbersKindsHexAndAWindowThatGoesWhileGenerating)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CollectorProc;
    wc.lpszClassName = L"GeneratorCollector";
    RegisterClassW(&wc);
    HWND main = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HWND generator = OpenPseudoDataGenerator(main);
    ASSERT_TRUE(generator && generator == g_registered);

    // The defaults: the explanatory text, once, as a send record; the first record is 900000.
    std::string text = WideToSjis(WindowTextW(GetDlgItem(generator, IDC_PSEUDO_TEXT)));
    EXPECT_EQ(WindowTextW(GetDlgItem(generator, IDC_PSEUDO_REPLACEMENT)), L"?");
    EXPECT_EQ(GetDlgItemInt(generator, IDC_PSEUDO_INTERVAL, nullptr, FALSE), 500u);
    SendMessageW(generator, WM_COMMAND, IDC_PSEUDO_GENERATE, 0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].kind, RECORD_SEND);
    EXPECT_EQ(g_seen[0].number, 900000u);
    EXPECT_EQ(g_seen[0].bytes, text);
    EXPECT_FALSE(g_seen[0].generatorEnabled) << "the window is disabled while generating";
    EXPECT_TRUE(IsWindowEnabled(generator));

    // The radios in order give the kinds 0 to 3; numbers go on from one generation to the next.
    for (uint32_t kind = 0; kind < 4; ++kind) {
        SendDlgItemMessageW(generator, IDC_PSEUDO_SEND + kind, BM_CLICK, 0, 0);
        Generate(generator, L"x", 1, 0);
        ASSERT_EQ(g_seen.size(), 1u);
        EXPECT_EQ(g_seen[0].kind, kind);
        EXPECT_EQ(g_seen[0].number, 900001 + kind);
    }
    // After 909999 the numbers start again at 900000: the 10,001st record of the process.
    Generate(generator, L"x", 9997, 0);
    ASSERT_EQ(g_seen.size(), 9997u);
    EXPECT_EQ(g_seen[9994].number, 909999u);
    EXPECT_EQ(g_seen[9995].number, 900000u);
    EXPECT_EQ(g_seen[9996].number, 900001u);

    // Hex on and off: a control character comes back as the replacement character.
    SetDlgItemTextW(generator, IDC_PSEUDO_TEXT, L"A\x07" L"B");
    SetDlgItemTextW(generator, IDC_PSEUDO_REPLACEMENT, L"*");
    SendDlgItemMessageW(generator, IDC_PSEUDO_HEX, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowTextW(GetDlgItem(generator, IDC_PSEUDO_TEXT)), L"410742");
    Generate(generator, L"414", 1, 0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].bytes, std::string("\x41\x04", 2)) << "a single last digit is a byte of its own";
    SetDlgItemTextW(generator, IDC_PSEUDO_TEXT, L"410742");
    SendDlgItemMessageW(generator, IDC_PSEUDO_HEX, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowTextW(GetDlgItem(generator, IDC_PSEUDO_TEXT)), L"A*B");

    // Records come between waits; a window destroyed meanwhile stops the generating.
    g_destroyAt = 2;
    const ULONGLONG start = GetTickCount64();
    Generate(generator, L"slow", 50, 100);
    EXPECT_FALSE(IsWindow(generator));
    EXPECT_EQ(g_seen.size(), 2u) << "generating went on after its window had gone";
    EXPECT_GE(GetTickCount64() - start, 90u) << "no wait between the records";
    g_destroyAt = 0;
    DestroyWindow(main);
}
