#include "settings/toolbar.h"

#include <cstring>

#include "base/catalogue.h"
#include "base/owners.h"
#include "base/text.h"
#include "resources/resource.h"
#include "settings/command_items.h"
#include "settings/help.h"
#include "settings/settings_store.h"

// The toolbar lives on the main thread like its parent; so does the flag.
namespace {

constexpr size_t kMaxItems = 1028;
constexpr size_t kMaxLayoutText = 1024;
constexpr int kImageSize = 16;
constexpr int kSeparatorWidth = 8;
constexpr int kCustomizeHelpTopic = 70;
constexpr UINT_PTR kSubclassId = 1;

// On from the start to the end of the system's customisation dialog: the
// changes it makes one by one are saved once, at its end.
bool g_customising = false;

bool SameName(std::string_view a, const char* b)
{
    size_t n = strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

int FindRowByName(std::string_view name)
{
    std::span<const CommandItem> items = CommandItems();
    if (name.empty()) return 0;
    for (size_t i = 1; i < items.size() && items[i].name; ++i)
        if (SameName(name, items[i].name)) return static_cast<int>(i);
    return -1;
}

// The log button's item text names both of its states; its tooltip follows
// the state it is in.
unsigned ItemText(const CommandItem& item) { return item.command == IDM_LOG_STOP ? MSG_TIP_LOG_STOP_RESTART : item.tooltip; }

TBBUTTON ButtonOf(int row)
{
    const CommandItem& item = CommandItems()[row];
    TBBUTTON button{};
    button.iString = -1;
    button.fsState = TBSTATE_ENABLED;
    if (row == 0) {
        button.iBitmap = kSeparatorWidth;
        button.fsStyle = BTNS_SEP;
        return button;
    }
    button.iBitmap = item.image;
    button.idCommand = item.command;
    button.fsStyle = item.command == IDM_RESCAN_FORMS ? BTNS_DROPDOWN : BTNS_BUTTON;
    return button;
}

// Removes every button, then adds one per row; false when none could be added.
bool SetButtons(HWND toolbar, const std::vector<int>& rows)
{
    while (SendMessageW(toolbar, TB_DELETEBUTTON, 0, 0)) continue;
    std::vector<TBBUTTON> buttons;
    for (int row : rows) buttons.push_back(ButtonOf(row));
    if (buttons.empty()) return false;
    return SendMessageW(toolbar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())) != 0;
}

std::string DefaultLayout()
{
    wchar_t text[1100];
    int n = LoadStringW(GetModuleHandleW(nullptr), IDS_TOOLBAR_DEFAULT, text, 1100);
    return WideToSjis(std::wstring_view(text, n > 0 ? n : 0));
}

void SaveLayout(HWND toolbar)
{
    std::vector<int> commands;
    int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessageW(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button))) continue;
        commands.push_back(button.fsStyle & BTNS_SEP ? 0 : button.idCommand);
    }
    std::string text;
    if (!MakeToolbarLayout(commands, text)) ShowMessage(GetParent(toolbar), kAppTitle, MSG_TOOLBAR_TOO_LONG, MB_OK | MB_ICONEXCLAMATION);
    SaveToolbarLayout(text.c_str());
}

// The customisation dialog offers every item after the separator.
LRESULT GetButtonInfo(NMTOOLBARW* info)
{
    std::span<const CommandItem> items = CommandItems();
    size_t row = static_cast<size_t>(info->iItem) + 1;
    if (info->iItem < 0 || row >= items.size() || !items[row].name) return FALSE;
    info->tbButton = ButtonOf(static_cast<int>(row));
    if (info->pszText && info->cchText > 0) {
        char text[256];
        LookupMessage(ItemText(items[row]), text, sizeof text);
        size_t n = SjisToWide(text, strlen(text), info->pszText, static_cast<size_t>(info->cchText) - 1);
        info->pszText[n] = 0;
    }
    return TRUE;
}

// The image bitmap belongs to the toolbar and goes with it.
LRESULT CALLBACK ToolbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ToolbarProc, kSubclassId);
        DeleteObject(reinterpret_cast<HBITMAP>(data));
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

bool AddImages(HWND toolbar, HINSTANCE instance)
{
    COLORMAP transparent = {RGB(0xFF, 0, 0xFF), GetSysColor(COLOR_MENU)};
    HBITMAP bitmap = CreateMappedBitmap(instance, IDB_TOOLBAR, 0, &transparent, 1);
    if (!bitmap) return false;
    if (!SetWindowSubclass(toolbar, ToolbarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(bitmap))) {
        DeleteObject(bitmap);
        return false;
    }
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    TBADDBITMAP add = {nullptr, reinterpret_cast<UINT_PTR>(bitmap)};
    return SendMessageW(toolbar, TB_ADDBITMAP, info.bmWidth / kImageSize, reinterpret_cast<LPARAM>(&add)) >= 0;
}

} // namespace

std::vector<int> ParseToolbarLayout(std::string_view text)
{
    std::vector<int> rows;
    size_t start = 0;
    for (size_t i = 0; i <= text.size() && rows.size() < kMaxItems; ++i) {
        if (i < text.size() && IsSjisLeadByte(static_cast<uint8_t>(text[i]))) {
            ++i;  // its second byte is never a comma
            continue;
        }
        if (i < text.size() && text[i] != ',') continue;
        int row = FindRowByName(text.substr(start, std::min(i, text.size()) - start));
        if (row >= 0) rows.push_back(row);
        start = i + 1;
    }
    return rows;
}

bool MakeToolbarLayout(const std::vector<int>& commands, std::string& text)
{
    text.clear();
    bool complete = true;
    for (int command : commands) {
        const CommandItem* item = FindCommandItem(command);
        std::string_view name = item && item->name ? item->name : "";
        if (text.size() + name.size() > kMaxLayoutText) {  // the trailing comma goes at the end
            complete = false;
            break;
        }
        text.append(name);
        text += ',';
    }
    while (!text.empty() && text.back() == ',') text.pop_back();
    return complete;
}

HWND CreateToolbar(HWND parent, const AppSettings& settings)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | CCS_TOP | CCS_ADJUSTABLE | TBSTYLE_TOOLTIPS;
    if (settings.flags & APP_FLAT_TOOLBAR) style |= TBSTYLE_FLAT;
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), instance, nullptr);
    if (!toolbar) return nullptr;
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELONG(kImageSize, kImageSize));
    SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELONG(23, 22));
    size_t length = strnlen(settings.toolbarLayout, sizeof settings.toolbarLayout);
    if (!AddImages(toolbar, instance) || !SetButtons(toolbar, ParseToolbarLayout({settings.toolbarLayout, length}))) {
        DestroyWindow(toolbar);
        return nullptr;
    }
    return toolbar;
}

LRESULT OnToolbarNotify(HWND hwnd, NMHDR* header)
{
    if (!header || header->idFrom != IDC_TOOLBAR) return 0;
    HWND toolbar = header->hwndFrom;
    switch (header->code) {
    case TBN_QUERYINSERT:
    case TBN_QUERYDELETE: return TRUE;
    case TBN_BEGINADJUST: g_customising = true; return 0;
    case TBN_ENDADJUST:
        g_customising = false;
        SaveLayout(toolbar);
        return 0;
    case TBN_TOOLBARCHANGE:
        if (!g_customising) SaveLayout(toolbar);
        return 0;
    case TBN_RESET: SetButtons(toolbar, ParseToolbarLayout(DefaultLayout())); return 0;
    case TBN_GETBUTTONINFOW: return GetButtonInfo(reinterpret_cast<NMTOOLBARW*>(header));
    case TBN_CUSTHELP: ShowHelp(hwnd, HELP_CONTEXT, kCustomizeHelpTopic); return 0;
    default: return 0;
    }
}
