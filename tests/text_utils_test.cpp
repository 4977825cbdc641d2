// The shared text utilities: digit converters, sanitising, hex text,
// trimming, the colour button face, and the edit input filters on real
// edit controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "logview/text_utils.h"

namespace {

// Bytes placed so that their end touches an inaccessible page: reading or
// writing one byte past them faults at once.
class FencedBuffer {
public:
    explicit FencedBuffer(size_t size)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        size_t pages = (size + page_ - 1) / page_ + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * page_, page_, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page_ - size;
    }
    ~FencedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    FencedBuffer(const FencedBuffer&) = delete;
    FencedBuffer& operator=(const FencedBuffer&) = delete;
    uint8_t* Data() { return data_; }
    char* Text() { return reinterpret_cast<char*>(data_); }

private:
    size_t page_;
    uint8_t* base_;
    uint8_t* data_;
};

std::vector<uint8_t> Convert(size_t (*convert)(const char*, uint8_t*, bool, char), const char* text,
                             bool sanitize = false, char replacement = '.')
{
    std::vector<uint8_t> out(strlen(text) + 1, 0xEE);
    out.resize(convert(text, out.data(), sanitize, replacement));
    return out;
}

std::vector<uint8_t> Sanitized(std::vector<uint8_t> bytes, char replacement = '.')
{
    SanitizeBytes(bytes.data(), bytes.size(), replacement);
    return bytes;
}

using Bytes = std::vector<uint8_t>;

} // namespace

TEST(DigitText, GroupsReadAsNumbers)
{
    EXPECT_EQ(Convert(HexTextToBytes, "414"), (Bytes{0x41, 0x04}));
    EXPECT_EQ(Convert(HexTextToBytes, "fFa"), (Bytes{0xFF, 0x0A}));
    EXPECT_EQ(Convert(HexTextToBytes, ""), Bytes{});
    EXPECT_EQ(Convert(BitTextToBytes, "1000001"), Bytes{0x41});
    EXPECT_EQ(Convert(BitTextToBytes, "111111111"), (Bytes{0xFF, 0x01}));
    EXPECT_EQ(Convert(OctalTextToBytes, "0101"), Bytes{0x41});
    EXPECT_EQ(Convert(OctalTextToBytes, "7777"), Bytes{0xFF});  // 4095 modulo 256
    EXPECT_EQ(Convert(OctalTextToBytes, "0377012"), (Bytes{0xFF, 0x0A}));
    // Reading a group stops at its first character that is no digit.
    EXPECT_EQ(Convert(BitTextToBytes, "10x11111"), Bytes{0x02});
    EXPECT_EQ(Convert(BitTextToBytes, "x1111111"), Bytes{0x00});
    EXPECT_EQ(Convert(OctalTextToBytes, "1819"), Bytes{0x01});
    EXPECT_EQ(Convert(HexTextToBytes, "G1Z"), (Bytes{0x00, 0x00}));
}

TEST(DigitText, SanitisingCoversExactlyTheProducedBytes)
{
    EXPECT_EQ(Convert(HexTextToBytes, "41070D", true, '.'), (Bytes{0x41, 0x2E, 0x0D}));
    EXPECT_EQ(Convert(HexTextToBytes, "8341", true, '.'), (Bytes{0x83, 0x41}));  // ア
    EXPECT_EQ(Convert(HexTextToBytes, "41 83", true, '.'), (Bytes{0x41, 0x2E, 0x2E}));
}

TEST(Sanitize, ControlCodesAndIllegalPairs)
{
    EXPECT_EQ(Sanitized({0x41, 0x07, 0x0D}), (Bytes{0x41, '.', 0x0D}));
    EXPECT_EQ(Sanitized({'\t', '\n', 0x00, 0x7F, 0x80, 0xA0, 0xFF}), (Bytes{'\t', '\n', '.', '.', '.', '.', '.'}));
    EXPECT_EQ(Sanitized({0xB1, 0xDF, 0xA1}), (Bytes{0xB1, 0xDF, 0xA1}));  // half-width katakana
    EXPECT_EQ(Sanitized({0x95, 0x5C, 0x83, 0x41}), (Bytes{0x95, 0x5C, 0x83, 0x41}));  // 表ア
    EXPECT_EQ(Sanitized({0x83, 0x0D, 0x41}), (Bytes{'.', '.', 0x41}));
    EXPECT_EQ(Sanitized({0x81, 0x20}), (Bytes{'.', '.'}));
    // A pair's second byte is never looked at on its own.
    EXPECT_EQ(Sanitized({0x82, 0xA0, 0x07}), (Bytes{0x82, 0xA0, '.'}));
}

TEST(Sanitize, LeadByteInTheLastPlaceIsReplacedAlone)
{
    EXPECT_EQ(Sanitized({0x41, 0x83}), (Bytes{0x41, '.'}));
    EXPECT_EQ(Sanitized({0x83}), Bytes{'.'});
    FencedBuffer fenced(3);
    uint8_t* bytes = fenced.Data();
    bytes[0] = 0x41;
    bytes[1] = 0x42;
    bytes[2] = 0x95;  // the fence follows: reading a partner would fault
    SanitizeBytes(bytes, 3, '_');
    EXPECT_EQ(bytes[2], '_');
    EXPECT_EQ(bytes[1], 0x42);
    SanitizeBytes(bytes, 0, '_');
}

TEST(Sanitize, RandomBytesStayInsideTheCountAndComeOutPrintable)
{
    std::mt19937 random(42);
    for (int round = 0; round < 3000; ++round) {
        size_t count = random() % 40;
        FencedBuffer fenced(count + 8);
        uint8_t* bytes = fenced.Data() + 4;
        for (size_t i = 0; i < count + 8; ++i) fenced.Data()[i] = static_cast<uint8_t>(random());
        Bytes before(fenced.Data(), fenced.Data() + count + 8);
        // The count ends 4 bytes before the fence; bytes after it must stay.
        SanitizeBytes(bytes, count, '?');
        EXPECT_EQ(memcmp(fenced.Data(), before.data(), 4), 0);
        EXPECT_EQ(memcmp(bytes + count, before.data() + 4 + count, 4), 0);
        Bytes once(bytes, bytes + count);
        for (size_t i = 0; i < count; ++i) {
            if (IsDBCSLeadByteEx(932, once[i]) && i + 1 < count) {
                char pair[2] = {char(once[i]), char(once[i + 1])};
                EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, pair, 2, nullptr, 0), 1);
                ++i;
                continue;
            }
            uint8_t b = once[i];
            EXPECT_TRUE((b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF) || b == '\t' || b == '\r' || b == '\n')
                << int(b);
        }
        SanitizeBytes(bytes, count, '?');
        EXPECT_EQ(Bytes(bytes, bytes + count), once);  // a clean text stays as it is
    }
}

TEST(DigitText, RandomTextsNeverWritePastTheirByteCount)
{
    std::mt19937 random(7);
    const char alphabet[] = "0123456789abcdefABCDEFxyz \t\x83\x95\\%";
    struct Converter {
        size_t (*convert)(const char*, uint8_t*, bool, char);
        size_t width;
        int base;
    } converters[] = {{BitTextToBytes, 8, 2}, {OctalTextToBytes, 4, 8}, {HexTextToBytes, 2, 16}};
    for (int round = 0; round < 2000; ++round) {
        for (const Converter& c : converters) {
            size_t length = random() % 70;
            bool digitsOnly = round % 2 == 0;
            FencedBuffer text(length + 1);
            for (size_t i = 0; i < length; ++i) {
                text.Text()[i] = digitsOnly ? "0123456789abcdef"[random() % c.base]
                                            : alphabet[random() % (sizeof alphabet - 1)];
            }
            text.Text()[length] = 0;
            size_t expected = (length + c.width - 1) / c.width;
            FencedBuffer out(expected);
            size_t written = c.convert(text.Text(), out.Data(), round % 3 == 0, '.');
            ASSERT_EQ(written, expected);
            if (!digitsOnly || round % 3 == 0) continue;
            // Digit-only texts: each group is its number modulo 256.
            for (size_t i = 0; i < expected; ++i) {
                std::string group(text.Text() + i * c.width, std::min(c.width, length - i * c.width));
                EXPECT_EQ(out.Data()[i], static_cast<uint8_t>(strtoul(group.c_str(), nullptr, c.base)))
                    << group;
            }
        }
    }
}

TEST(HexText, BytesUpToTheFirstZero)
{
    char out[16];
    memset(out, 'Z', sizeof out);
    const uint8_t bytes[] = {0x00, 0x1F};
    EXPECT_EQ(BytesToHexText(bytes, out), out);
    EXPECT_STREQ(out, "");
    const uint8_t text[] = {0x41, 0xFF, 0x0A, 0x00, 0x42};
    char* end = BytesToHexText(text, out);
    EXPECT_STREQ(out, "41FF0A");
    EXPECT_EQ(end, out + 6);
    EXPECT_EQ(out[7], 'Z');
}

TEST(TrimText, TrailingBlanksOnly)
{
    char a[] = "  text \t\r\n ";
    EXPECT_STREQ(TrimTrailingSpace(a), "  text");
    char b[] = " \r\n\t";
    EXPECT_STREQ(TrimTrailingSpace(b), "");
    char c[] = "";
    EXPECT_STREQ(TrimTrailingSpace(c), "");
    char d[] = "表 ";  // a trail byte never counts as a blank
    EXPECT_STREQ(TrimTrailingSpace(d), "表");
}

namespace {

// Renders a colour button of 20 x 12 pixels into a white bitmap and tells
// which pixels the brush painted.
class ButtonPicture {
public:
    ButtonPicture(UINT action, UINT state)
    {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, 30, 20);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, 30, 20};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HBRUSH brush = CreateSolidBrush(kColour);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.itemAction = action;
        item.itemState = state;
        item.hDC = dc_;
        item.rcItem = RECT{2, 3, 22, 15};
        DrawColourButton(&item, brush);
        DeleteObject(brush);
    }
    ~ButtonPicture()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    bool Painted(int x, int y) const { return GetPixel(dc_, x, y) == kColour; }

    static constexpr COLORREF kColour = RGB(0x12, 0xC0, 0x34);

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

} // namespace

TEST(ColourButton, FaceFollowsTheSelectedState)
{
    // rcItem is (2,3)-(22,15).
    ButtonPicture raised(ODA_DRAWENTIRE, 0);
    EXPECT_TRUE(raised.Painted(3, 4));
    EXPECT_TRUE(raised.Painted(19, 12));
    EXPECT_FALSE(raised.Painted(20, 13));
    EXPECT_FALSE(raised.Painted(2, 3));

    ButtonPicture pushed(ODA_SELECT, ODS_SELECTED);
    EXPECT_TRUE(pushed.Painted(4, 5));
    EXPECT_TRUE(pushed.Painted(20, 13));
    EXPECT_FALSE(pushed.Painted(21, 14));
    EXPECT_FALSE(pushed.Painted(3, 4));
    EXPECT_TRUE(pushed.Painted(20, 4));   // corner square at (right - 2, top + 1)
    EXPECT_TRUE(pushed.Painted(3, 13));   // corner square at (left + 1, bottom - 2)
}

namespace {

// Each edit control first gets a recording procedure of its own, so the test
// sees exactly which messages the filter lets through and to whom.
struct Recorder {
    WNDPROC editProc = nullptr;
    std::vector<UINT> seen;
    bool Saw(UINT message) const
    {
        for (UINT m : seen)
            if (m == message) return true;
        return false;
    }
};

Recorder g_recorders[2];

template <int N>
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_recorders[N].seen.push_back(message);
    return CallWindowProcW(g_recorders[N].editProc, hwnd, message, wParam, lParam);
}

const WNDPROC kRecordingProcs[2] = {RecordingProc<0>, RecordingProc<1>};

class FilteredEdits : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
        parent = CreateWindowExW(0, L"STATIC", L"edits", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
        for (int i = 0; i < 2; ++i) {
            edit[i] = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, i * 30, 200, 24,
                                      parent, nullptr, nullptr, nullptr);
            g_recorders[i] = Recorder{};
            g_recorders[i].editProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(kRecordingProcs[i])));
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < 2; ++i)
            SetWindowLongPtrW(edit[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_recorders[i].editProc));
        DestroyWindow(parent);
    }
    std::wstring Text(int i) const
    {
        wchar_t text[256] = {};
        GetWindowTextW(edit[i], text, 256);
        return text;
    }
    void Type(int i, const wchar_t* keys)
    {
        for (; *keys; ++keys) SendMessageW(edit[i], WM_CHAR, *keys, 1);
    }
    WNDPROC Proc(int i) const { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit[i], GWLP_WNDPROC)); }

    HWND parent = nullptr;
    HWND edit[2] = {};
};

void PutOnClipboard(HWND owner, const wchar_t* text)
{
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
}

} // namespace

TEST_F(FilteredEdits, TwoControlsInOneModeEachKeepTheirOwnProcedure)
{
    SetEditInputFilter(edit[0], FILTER_HEX, true);
    SetEditInputFilter(edit[1], FILTER_HEX, true);
    Type(0, L"1g2Hz3aF\x08");
    Type(1, L"-f+0");
    EXPECT_EQ(Text(0), L"123a");   // F then backspace: control characters pass
    EXPECT_EQ(Text(1), L"f0");
    // Each control's messages reached its own previous procedure only.
    EXPECT_TRUE(g_recorders[0].Saw(WM_CHAR));
    EXPECT_TRUE(g_recorders[1].Saw(WM_CHAR));
    size_t firstCount = g_recorders[0].seen.size();
    Type(1, L"9");
    EXPECT_EQ(g_recorders[0].seen.size(), firstCount);

    SetEditInputFilter(edit[0], FILTER_HEX, false);
    EXPECT_EQ(Proc(0), kRecordingProcs[0]);
    Type(0, L"xy");
    EXPECT_EQ(Text(0), L"123axy");
    Type(1, L"xy");
    EXPECT_EQ(Text(1), L"f09");  // the second control is still filtered
    SetEditInputFilter(edit[1], FILTER_HEX, false);
    EXPECT_EQ(Proc(1), kRecordingProcs[1]);
}

TEST_F(FilteredEdits, EachModeTakesItsDigits)
{
    SetEditInputFilter(edit[0], FILTER_BINARY, true);
    SetEditInputFilter(edit[1], FILTER_OCTAL, true);
    Type(0, L"0123456789abcdef");
    Type(1, L"0123456789abcdef");
    EXPECT_EQ(Text(0), L"01");
    EXPECT_EQ(Text(1), L"01234567");
    // Enabling again in another mode changes the rule, not the chain.
    SetEditInputFilter(edit[0], FILTER_HEX, true);
    Type(0, L"9z");
    EXPECT_EQ(Text(0), L"019");
    SetEditInputFilter(edit[0], FILTER_HEX, false);
    SetEditInputFilter(edit[1], FILTER_OCTAL, false);
    EXPECT_EQ(Proc(0), kRecordingProcs[0]);
    EXPECT_EQ(Proc(1), kRecordingProcs[1]);
}

TEST_F(FilteredEdits, PasteContextMenuAndInputMethodsAreShutOut)
{
    PutOnClipboard(parent, L"ABC");
    SetEditInputFilter(edit[0], FILTER_HEX, true);
    g_recorders[0].seen.clear();
    SendMessageW(edit[0], WM_PASTE, 0, 0);
    EXPECT_EQ(Text(0), L"");
    SendMessageW(edit[0], WM_CONTEXTMENU, reinterpret_cast<WPARAM>(edit[0]), MAKELPARAM(10, 10));
    SendMessageW(edit[0], WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    const UINT ime[] = {WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION, WM_IME_COMPOSITION, WM_IME_SETCONTEXT,
                        WM_IME_NOTIFY,           WM_IME_CONTROL,        WM_IME_COMPOSITIONFULL, WM_IME_SELECT,
                        WM_IME_CHAR,             WM_IME_KEYDOWN,        WM_IME_KEYUP};
    for (UINT message : ime) EXPECT_EQ(SendMessageW(edit[0], message, 'A', 0), 0) << message;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    for (UINT message : ime) EXPECT_FALSE(g_recorders[0].Saw(message)) << message;
    for (UINT message : {WM_PASTE, WM_CONTEXTMENU, WM_RBUTTONUP, WM_CHAR})
        EXPECT_FALSE(g_recorders[0].Saw(message)) << message;
    EXPECT_EQ(Text(0), L"");

    // Without the filter the same paste and input-method character arrive.
    SetEditInputFilter(edit[0], FILTER_HEX, false);
    SendMessageW(edit[0], WM_PASTE, 0, 0);
    EXPECT_EQ(Text(0), L"ABC");
    SendMessageW(edit[0], WM_IME_CHAR, 'Q', 0);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_TRUE(g_recorders[0].Saw(WM_IME_CHAR));
}

TEST_F(FilteredEdits, DestroyingAFilteredControlPassesItsLastMessagesOn)
{
    SetEditInputFilter(edit[1], FILTER_BINARY, true);
    g_recorders[1].seen.clear();
    DestroyWindow(edit[1]);
    EXPECT_TRUE(g_recorders[1].Saw(WM_DESTROY));
    EXPECT_TRUE(g_recorders[1].Saw(WM_NCDESTROY));
    // A fresh control for TearDown, which puts each edit's procedure back.
    edit[1] = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
    g_recorders[1].editProc = Proc(1);
}
