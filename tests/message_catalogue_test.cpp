// The message catalogue: the line format, lookups in memory and in the file,
// bounded formatting, and the two ways a report reaches the user.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "resources/resource.h"
#include "settings/settings_types.h"
#include "shell/message_catalogue.h"
#include "shell/message_file.h"
#include "shell/shell.h"
#include "tests/support/temp_files.h"

namespace {

struct Parsed {
    bool accepted;
    uint32_t number;
    std::string text;
};

Parsed Parse(std::string line, bool unescape = true)
{
    Parsed result{};
    line.resize(line.size() + 4, '\0');  // room past the end must stay unread
    char* text = nullptr;
    result.accepted = ParseMessageLine(line.data(), result.number, text);
    if (unescape) UnescapeMessageText(text);
    result.text = text;
    return result;
}

std::string Inserts(const char* format)
{
    char inserts[32];
    return FormatInserts(format, inserts, sizeof inserts) ? inserts : "invalid";
}

std::string Format(unsigned number, ...)
{
    char text[512];
    va_list args;
    va_start(args, number);
    FormatCatalogueMessageV(text, sizeof text, number, args);
    va_end(args);
    return text;
}

std::string Lookup(unsigned number, size_t size = 512)
{
    std::string buffer(size, '\0');
    LookupMessage(number, buffer.data(), size);
    return buffer.c_str();
}

std::string SystemText(DWORD code)
{
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string result = text;
    while (!result.empty() && strchr(" \r\n", result.back())) result.pop_back();
    return result;
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(932, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

class Catalogue : public ::testing::Test {
protected:
    void TearDown() override
    {
        FreeMessageCatalogue();
        SetMessageFileForTesting(nullptr);
    }
    void UseFile(const std::string& bytes, const char* name = "test.msg")
    {
        path = folder.Write(name, bytes);
        SetMessageFileForTesting(path.c_str());
        LoadMessageCatalogue();
    }
    TempFolder folder;
    std::string path;
};

} // namespace

TEST(MessageLines, NumberSeparatorAndText)
{
    Parsed p = Parse("12\tHello\\nWorld\r\n");
    EXPECT_TRUE(p.accepted);
    EXPECT_EQ(p.number, 12u);
    EXPECT_EQ(p.text, "Hello\nWorld");
    EXPECT_EQ(Parse("7 two  words   ").text, "two  words");
    EXPECT_EQ(Parse("7  leading").text, " leading");  // only one separator
    p = Parse("no number");
    EXPECT_EQ(p.number, 0u);
    EXPECT_EQ(p.text, "no number");
    EXPECT_FALSE(Parse("#100 not a message").accepted);
    EXPECT_EQ(Parse("99999999999 big").number, UINT32_MAX);
}

TEST(MessageLines, NumberOnlyAndTrailingBackslashStayInsideTheLine)
{
    Parsed p = Parse("123");
    EXPECT_EQ(p.number, 123u);
    EXPECT_EQ(p.text, "");
    EXPECT_EQ(Parse("123 \t\r\n").text, "");
    EXPECT_EQ(Parse("5 abc\\").text, "abc\\");
    EXPECT_EQ(Parse("5 \\").text, "\\");
    EXPECT_EQ(Parse("5 a\\\\b").text, "a\\b");
    EXPECT_EQ(Parse("5 cut\\0here").text, "cut");
    EXPECT_EQ(Parse("5 \\q\\r").text, "q\r");
}

TEST(MessageLines, BackslashAsSecondByteIsNoEscape)
{
    // 表 and ソ end in 0x5C, the backslash byte.
    EXPECT_EQ(Parse("5 表n").text, "表n");
    EXPECT_EQ(Parse("5 ソ\\n").text, "ソ\n");
    EXPECT_EQ(Parse("5 ソ\\\\").text, "ソ\\");
    // A lead byte at the very end is copied alone.
    EXPECT_EQ(Parse("5 a\x83").text, "a\x83");
    // A double-byte separator is skipped whole.
    EXPECT_EQ(Parse("5　全角").text, "全角");
}

TEST(MessageLines, InsertsOfAFormatText)
{
    EXPECT_EQ(Inserts("%d 行目: 「%s」"), "ds");
    EXPECT_EQ(Inserts("100%% %5.2s %-3d %x %c %u"), "sdddd");
    EXPECT_EQ(Inserts("none"), "");
    EXPECT_EQ(Inserts("%n"), "invalid");
    EXPECT_EQ(Inserts("%*d"), "invalid");
    EXPECT_EQ(Inserts("%ld"), "invalid");
    EXPECT_EQ(Inserts("%f"), "invalid");
    EXPECT_EQ(Inserts("ends in %"), "invalid");
    EXPECT_EQ(Inserts("表%d"), "d");
}

TEST(MessageLines, CutNeverSplitsADoubleByteCharacter)
{
    char text[] = "ab表c";
    EXPECT_EQ(CutText(text, 3), 2u);
    EXPECT_STREQ(text, "ab");
    char lone[] = "ab\x83";
    EXPECT_EQ(CutText(lone, 10), 2u);
    char whole[] = "ab表";
    EXPECT_EQ(CutText(whole, 4), 4u);
}

TEST_F(Catalogue, LaterLineWinsBelow1000AndFirstLineAbove)
{
    UseFile("10 A\r\n10 B\r\n1500 A\r\n1500 B\r\n#20 comment\r\n");
    EXPECT_EQ(Lookup(10), "B");
    EXPECT_EQ(Lookup(1500), "A");
    std::string fallback = Lookup(20);
    EXPECT_NE(fallback.find("(20)"), std::string::npos) << fallback;
    EXPECT_NE(fallback.find(path), std::string::npos) << fallback;
}

TEST_F(Catalogue, EscapesAreProcessedOnceAtLoadingAndAgainWhenShown)
{
    UseFile("12 a\\\\nb\n1012 a\\\\nb\n13 x\\ty\n");
    EXPECT_EQ(Lookup(12), "a\\nb");
    EXPECT_EQ(Format(12), "a\nb");
    EXPECT_EQ(Lookup(1012), "a\\\\nb");
    EXPECT_EQ(Format(1012), "a\\nb");
    EXPECT_EQ(Lookup(13), "xty");
}

TEST_F(Catalogue, NumberOnlyLinesAndTrailingBackslashes)
{
    UseFile("77\n1077\n78 end\\\n1078 end\\\n");
    EXPECT_EQ(Lookup(77), "");
    EXPECT_EQ(Lookup(1077), "");
    EXPECT_EQ(Lookup(78), "end\\");
    EXPECT_EQ(Format(1078), "end\\");
}

TEST_F(Catalogue, MissingFileGivesTheSystemTextOfTheFailedOpen)
{
    SetMessageFileForTesting(folder.File("absent.msg").c_str());
    LoadMessageCatalogue();
    EXPECT_EQ(Lookup(5), SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Lookup(2021), SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Format(2021, "COM5"), SystemText(ERROR_FILE_NOT_FOUND));
}

TEST_F(Catalogue, LongLinesAreCutAndTheirRestIsNoLine)
{
    std::string line = "1500 " + std::string(2100, 'x') + "1600 tail\n";
    std::string small = "50 " + std::string(300, 'y') + "\n";
    UseFile(line + small);
    std::string text = Lookup(1500, 4096);
    EXPECT_EQ(text.size(), 2048u - 5u);
    EXPECT_EQ(text.find("1600"), std::string::npos);
    EXPECT_NE(Lookup(1600).find("(1600)"), std::string::npos);  // the fallback
    EXPECT_EQ(Lookup(50, 1024).size(), 256u);  // catalogue texts keep 256 characters
}

TEST_F(Catalogue, LookupsStayInsideSmallBuffers)
{
    UseFile("9 " + std::string(250, 'a') + "\n1009 " + std::string(600, 'b') + "\n1010 表表表表\n");
    for (unsigned number : {9u, 1009u, 1010u, 1234u}) {
        char buffer[300];
        memset(buffer, 'Z', sizeof buffer);
        LookupMessage(number, buffer, 256);
        EXPECT_LT(strlen(buffer), 256u);
        EXPECT_EQ(buffer[256], 'Z');
        memset(buffer, 'Z', sizeof buffer);
        LookupMessage(number, buffer, 4);
        EXPECT_LE(strlen(buffer), 3u);
        EXPECT_EQ(buffer[4], 'Z');
    }
    char one = 'Z';
    LookupMessage(1010, &one, 1);
    EXPECT_EQ(one, 0);
    char cut[6];
    LookupMessage(1010, cut, sizeof cut);
    EXPECT_STREQ(cut, "表表");  // five bytes would split the third
}

TEST_F(Catalogue, FormattingIsBoundedWhateverTheFileOrArguments)
{
    UseFile("2026 " + std::string(480, 'p') + " %s\n1500 line %d of %s\n1501 %n%s%s%s\n2021 port %d %s\n"
            "2005 line %d token %s\n");
    char buffer[600];
    memset(buffer, 'Z', sizeof buffer);
    std::string path(1000, 'q');
    FormatCatalogueMessage(buffer, 512, 2026, path.c_str());
    EXPECT_EQ(strlen(buffer), 511u);
    EXPECT_EQ(buffer[512], 'Z');
    EXPECT_EQ(Format(1500, 7, "x"), "line 7 of x");
    // Conversions that would read or write what was never passed are shown
    // as they stand.
    EXPECT_EQ(Format(1501, "a"), "%n%s%s%s");
    EXPECT_EQ(Format(2021, "COM5"), "port %d %s");
    EXPECT_EQ(Format(2005, 12, "BOX"), "line 12 token BOX");
}

TEST_F(Catalogue, FallbackTextIsNotFormattedAgain)
{
    // A file name with a conversion in it, the one 2021 takes: the fallback
    // names the file literally.
    UseFile("1 x\n", "odd%s.msg");
    std::string text = Format(2021, "COM5");
    EXPECT_NE(text.find("odd%s.msg"), std::string::npos) << text;
    EXPECT_EQ(text.find("COM5"), std::string::npos) << text;
    EXPECT_NE(text.find("(2021)"), std::string::npos) << text;
}

TEST_F(Catalogue, GarbageFilesGiveTextsOrTheFallback)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 30; ++round) {
        std::string bytes(random() % 20000, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        // Some lines that parse, among the garbage.
        bytes += "\n1500 ok\\\n\\\x83\n0\n";
        UseFile(bytes);
        for (unsigned number : {0u, 1u, 7u, 99u, 999u, 1500u, 2021u}) {
            char buffer[520];
            memset(buffer, 'Z', sizeof buffer);
            FormatCatalogueMessage(buffer, 512, number, "COM5");
            EXPECT_LT(strlen(buffer), 512u);
            EXPECT_EQ(buffer[512], 'Z');
        }
        EXPECT_EQ(Lookup(1500), "ok\\");
    }
}

namespace {

// A top-level window with a status bar as child 999, as the main window has.
class StatusOwner {
public:
    StatusOwner()
    {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES};
        InitCommonControlsEx(&init);
        owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, owner_,
                                  reinterpret_cast<HMENU>(IDC_STATUS_BAR), nullptr, nullptr);
    }
    ~StatusOwner() { DestroyWindow(owner_); }
    HWND Owner() const { return owner_; }
    std::wstring Text() const
    {
        wchar_t text[1024] = {};
        SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }

private:
    HWND owner_;
    HWND status_;
};

class ReportMode {
public:
    explicit ReportMode(bool boxes) : saved_(GetAppSettings().flags)
    {
        if (boxes)
            GetAppSettings().flags |= APP_MESSAGE_BOXES;
        else
            GetAppSettings().flags &= ~APP_MESSAGE_BOXES;
    }
    ~ReportMode() { GetAppSettings().flags = saved_; }

private:
    uint32_t saved_;
};

} // namespace

TEST_F(Catalogue, StatusBarReportsWhenBoxesAreOff)
{
    UseFile("2021 ポート %s を開けません。\n");
    ReportMode mode(false);
    StatusOwner window;
    EXPECT_EQ(ShowMessage(window.Owner(), kAppTitle, 2021, MB_OKCANCEL, "COM9"), IDOK);
    EXPECT_EQ(window.Text(), Wide("ポート COM9 を開けません。"));

    EXPECT_EQ(ShowSystemError(window.Owner(), kAppTitle, ERROR_ACCESS_DENIED), IDOK);
    EXPECT_EQ(window.Text(), Wide(SystemText(ERROR_ACCESS_DENIED)));
    // A code the system cannot describe still shows its number.
    EXPECT_EQ(ShowSystemError(window.Owner(), kAppTitle, 0xDEADBEEF), IDOK);
    EXPECT_NE(window.Text().find(L"3735928559"), std::wstring::npos);
    // No status bar: the text is lost, the answer is still OK.
    EXPECT_EQ(Report(nullptr, "lost", kAppTitle, MB_OKCANCEL), IDOK);
}

TEST_F(Catalogue, MessageBoxReportsCarryTheTextIconAndAnswer)
{
    UseFile("3001 ポートが接続されています。\\n終了しますか?\n");
    ReportMode mode(true);
    std::wstring caption = L"catalogue test box";
    struct Seen {
        std::atomic<bool> text{false}, icon{false};
    } seen;
    std::atomic<bool> found{false};
    std::thread clicker([&] {
        DWORD deadline = GetTickCount() + 15000;
        HWND box = nullptr;
        while (!box && GetTickCount() < deadline) {
            box = FindWindowW(L"#32770", caption.c_str());
            if (!box) Sleep(20);
        }
        if (!box) return;
        found = true;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM state) -> BOOL {
                auto seen = reinterpret_cast<Seen*>(state);
                wchar_t text[256] = {};
                GetWindowTextW(child, text, 256);
                if (wcsstr(text, L"ポートが接続されています。\n終了しますか?")) seen->text = true;
                if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                    SendMessageW(child, STM_GETICON, 0, 0))
                    seen->icon = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        SendMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
    });
    char caption8[64];
    WideCharToMultiByte(932, 0, caption.c_str(), -1, caption8, sizeof caption8, nullptr, nullptr);
    int answer = ShowMessage(nullptr, caption8, 3001, MB_OKCANCEL | MB_ICONQUESTION);
    clicker.join();
    ASSERT_TRUE(found);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_TRUE(seen.text);
    EXPECT_TRUE(seen.icon);
}

TEST(ShippedMessageFile, HoldsEveryNumberWithTheInsertsItsCallersPass)
{
    std::string bytes = ReadWholeFile(ShippedFile("Vorlin2.msg"));
    ASSERT_FALSE(bytes.empty());
    ASSERT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0),
              0)
        << "not Shift_JIS";

    std::map<uint32_t, std::string> texts;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ASSERT_LT(line.size(), kMessageLineSize);
        uint32_t number;
        char* text;
        if (!ParseMessageLine(line.data(), number, text)) continue;
        if (line.empty()) continue;
        EXPECT_EQ(texts.count(number), 0u) << "defined twice: " << number;
        UnescapeMessageText(text);
        texts[number] = text;
    }
    std::vector<uint32_t> used = UsedMessageNumbers();
    for (uint32_t number : used) {
        SCOPED_TRACE(number);
        auto found = texts.find(number);
        ASSERT_NE(found, texts.end()) << "missing";
        EXPECT_FALSE(found->second.empty());
        if (number < 1000) {
            EXPECT_LE(found->second.size(), 256u);
        }
        EXPECT_EQ(Inserts(found->second.c_str()), ExpectedInserts(number));
    }
    for (const auto& [number, text] : texts)
        EXPECT_NE(ExpectedInserts(number), nullptr) << "not used by the program: " << number;
    EXPECT_EQ(std::string(ExpectedInserts(2021)), "s");
    EXPECT_EQ(std::string(ExpectedInserts(2026)), "s");
    EXPECT_EQ(std::string(ExpectedInserts(2011)), "dd");
    for (uint32_t number : {2006u, 2007u, 2010u, 2013u, 2024u}) EXPECT_TRUE(texts.count(number)) << number;
}

TEST(ShippedMessageFile, FormatsThroughTheCatalogue)
{
    std::string shipped = ShippedFile("Vorlin2.msg");
    SetMessageFileForTesting(shipped.c_str());
    LoadMessageCatalogue();
    std::string text = Format(2021, "COM7");
    EXPECT_NE(text.find("COM7"), std::string::npos);
    text = Format(2011, 14, 32);
    EXPECT_NE(text.find("14"), std::string::npos);
    EXPECT_NE(text.find("32"), std::string::npos);
    FreeMessageCatalogue();
    SetMessageFileForTesting(nullptr);
}
