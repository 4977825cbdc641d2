// The settings dialog's page "ログプレビュー": the log view's ViewSettings,
// edited in the dialog's copy.
#include <windows.h>
#include <commdlg.h>

#include "base/catalogue.h"
#include "resources/resource.h"
#include "settings/settings_pages.h"
#include "settings/settings_store.h"

namespace {

constexpr ULONG_PTR kHelpTopic = 21;
constexpr long long kMinRecordCount = 100;
constexpr long long kMinWheel = 1, kMaxWheel = 31, kDefaultWheel = 3;

struct FlagControl {
    int id;
    uint8_t ViewSettings::*field;
};
constexpr FlagControl kFlags[] = {
    {IDC_SHOW_HEADER, &ViewSettings::header},   {IDC_SHOW_HEX, &ViewSettings::hex},
    {IDC_SHOW_ASCII, &ViewSettings::ascii},     {IDC_VIEW_STRING, &ViewSettings::string},
    {IDC_SHOW_ALTERNATE, &ViewSettings::alternate}, {IDC_SHOW_UNICODE, &ViewSettings::unicode},
};

struct WrapControls {
    int automatic, fixed, count;
    WrapSetting ViewSettings::*field;
};
constexpr WrapControls kWraps[] = {
    {IDC_VIEW_HEX_AUTO, IDC_VIEW_HEX_FIXED, IDC_VIEW_HEX_COUNT, &ViewSettings::hexWrap},
    {IDC_VIEW_ASCII_AUTO, IDC_VIEW_ASCII_FIXED, IDC_VIEW_ASCII_COUNT, &ViewSettings::asciiWrap},
};

// The colour buttons in their order, from the first id on.
constexpr COLORREF ViewSettings::*kColours[] = {
    &ViewSettings::colourBackground, &ViewSettings::colourSend, &ViewSettings::colourRecv,
    &ViewSettings::colourError, &ViewSettings::colourDiscard,
};

void UpdateEnabling(HWND page)
{
    bool hex = IsChecked(page, IDC_SHOW_HEX), ascii = IsChecked(page, IDC_SHOW_ASCII);
    bool string = IsChecked(page, IDC_VIEW_STRING), unicode = IsChecked(page, IDC_SHOW_UNICODE);
    bool alternate = IsChecked(page, IDC_SHOW_ALTERNATE);
    Enable(page, IDC_VIEW_STRING, ascii);
    Enable(page, IDC_SHOW_ALTERNATE, hex && ascii);
    Enable(page, IDC_SHOW_UNICODE, ascii);
    Enable(page, IDC_KANJI, ascii && string && !unicode);
    Enable(page, IDC_DEFAULT_CHAR, ascii && Selected(page, IDC_KANJI) != KANJI_SJIS && string && !unicode);
    Enable(page, IDC_VIEW_NEWLINE, ascii && string && !alternate);
    for (const WrapControls& wrap : kWraps) {
        bool part = &wrap == &kWraps[0] ? hex : ascii;
        Enable(page, wrap.automatic, part);
        Enable(page, wrap.fixed, part);
        Enable(page, wrap.count, part && !IsChecked(page, wrap.automatic));
    }
}

void ShowWrap(HWND page, const WrapControls& controls, const WrapSetting& wrap)
{
    CheckRadioButton(page, controls.automatic, controls.fixed, wrap.automatic ? controls.automatic : controls.fixed);
    if (wrap.automatic)
        SetDlgItemTextW(page, controls.count, L"");
    else
        SetNumber(page, controls.count, wrap.count);
}

void Fill(HWND page, const ViewSettings& view)
{
    Select(page, IDC_VIEW_FONT_SIZE, view.fontSize < kFontSizeCount ? view.fontSize : int{FONT_L});
    for (const FlagControl& flag : kFlags) Check(page, flag.id, view.*flag.field != 0);
    Select(page, IDC_KANJI, view.kanji <= KANJI_UTF8 ? view.kanji : int{KANJI_SJIS});
    SetCharacter(page, IDC_DEFAULT_CHAR, view.defaultChar);
    Select(page, IDC_VIEW_NEWLINE, view.newline <= NEWLINE_CRCRLF ? static_cast<int>(view.newline) : 0);
    for (const WrapControls& wrap : kWraps) ShowWrap(page, wrap, view.*wrap.field);
    SetNumber(page, IDC_VIEW_RECORD_COUNT, view.maxDataCount);
    SetNumber(page, IDC_VIEW_WHEEL, view.wheelMultiplier);
    SetNumber(page, IDC_VIEW_KANJI_BUFFER, view.kanjiBufferSize);
    Check(page, IDC_VIEW_FLIP, view.flipPerLine != 0);
}

void OnInit(HWND page, SettingsDialogState& state)
{
    LimitText(page, IDC_DEFAULT_CHAR, 1);
    FillCombo(page, IDC_VIEW_FONT_SIZE, IDS_FONT_SIZE_FIRST, kFontSizeCount);
    FillCombo(page, IDC_KANJI, IDS_KANJI_FIRST, 4);
    FillCombo(page, IDC_VIEW_NEWLINE, IDS_NEWLINE_FIRST, 5);
    const SettingsDialogParts& parts = state.parts;
    if (!parts.getViewSettings || !parts.getViewSettings(parts.logView, &state.view)) LoadViewSettings(state.view);
    Fill(page, state.view);
    UpdateEnabling(page);
}

// Fails (false) with its message shown and the field corrected.
bool ReadValidated(HWND page, ViewSettings& view)
{
    int font = Selected(page, IDC_VIEW_FONT_SIZE);
    view.fontSize = static_cast<uint8_t>(font >= 0 ? font : FONT_L);
    for (const FlagControl& flag : kFlags) view.*flag.field = IsChecked(page, flag.id);
    int kanji = Selected(page, IDC_KANJI);
    view.kanji = static_cast<uint8_t>(kanji >= 0 ? kanji : KANJI_SJIS);
    view.defaultChar = FirstCharacter(page, IDC_DEFAULT_CHAR, '?');
    int newline = Selected(page, IDC_VIEW_NEWLINE);
    view.newline = static_cast<uint32_t>(newline >= 0 ? newline : int{NEWLINE_NONE});
    for (const WrapControls& controls : kWraps) {
        WrapSetting& wrap = view.*controls.field;
        wrap.automatic = IsChecked(page, controls.automatic);
        long long count = 0;
        if (!wrap.automatic) {
            ReadNumber(page, controls.count, count);
            wrap.count = static_cast<uint32_t>(count > 0 ? count : 0);
        }
    }
    long long records = 0, wheel = 0, buffer = 0;
    ReadNumber(page, IDC_VIEW_RECORD_COUNT, records);
    if (records < kMinRecordCount) {
        ShowMessage(page, kAppTitle, MSG_VIEW_COUNT_TOO_SMALL, MB_OK | MB_ICONEXCLAMATION, static_cast<int>(kMinRecordCount));
        SetNumber(page, IDC_VIEW_RECORD_COUNT, kMinRecordCount);
        return false;
    }
    view.maxDataCount = static_cast<uint32_t>(records > UINT32_MAX ? UINT32_MAX : records);
    ReadNumber(page, IDC_VIEW_WHEEL, wheel);
    if (wheel < kMinWheel || wheel > kMaxWheel) {
        ShowMessage(page, kAppTitle, MSG_WHEEL_RANGE, MB_OK | MB_ICONEXCLAMATION, static_cast<int>(kMinWheel),
                    static_cast<int>(kMaxWheel));
        SetNumber(page, IDC_VIEW_WHEEL, kDefaultWheel);
        return false;
    }
    view.wheelMultiplier = static_cast<uint32_t>(wheel);
    ReadNumber(page, IDC_VIEW_KANJI_BUFFER, buffer);
    view.kanjiBufferSize = static_cast<uint32_t>(buffer < 0 ? 0 : buffer > UINT32_MAX ? UINT32_MAX : buffer);
    view.flipPerLine = IsChecked(page, IDC_VIEW_FLIP);
    return true;
}

LRESULT Apply(HWND page, SettingsDialogState& state, bool save)
{
    if (!ReadValidated(page, state.view)) return 0;
    const SettingsDialogParts& parts = state.parts;
    if (!parts.setViewSettings || !parts.setViewSettings(parts.logView, &state.view)) {
        ShowSystemError(page, kAppTitle, GetLastError());
        return 0;
    }
    if (save) SaveViewSettings(state.view);
    return 1;
}

void ChooseColour(HWND page, SettingsDialogState& state, int index)
{
    COLORREF& colour = state.view.*kColours[index];
    COLORREF custom[16];
    LoadCustomColours(custom);
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.rgbResult = colour;
    choice.lpCustColors = custom;
    choice.Flags = CC_RGBINIT;
    BOOL chosen = ChooseColorW(&choice);
    SaveCustomColours(custom);  // kept whether the choice was confirmed or not
    if (!chosen || choice.rgbResult == colour) return;
    colour = choice.rgbResult;
    InvalidateRect(GetDlgItem(page, IDC_VIEW_COLOUR_FIRST + index), nullptr, TRUE);
}

void OnDrawItem(const SettingsDialogState& state, const DRAWITEMSTRUCT* item)
{
    int index = static_cast<int>(item->CtlID) - IDC_VIEW_COLOUR_FIRST;
    if (index < 0 || index > IDC_VIEW_COLOUR_LAST - IDC_VIEW_COLOUR_FIRST || !state.parts.drawColourButton) return;
    HBRUSH brush = CreateSolidBrush(state.view.*kColours[index]);
    state.parts.drawColourButton(item, brush);
    DeleteObject(brush);
}

void OnCommand(HWND page, SettingsDialogState& state, int id, int code)
{
    if (code == BN_CLICKED && id >= IDC_VIEW_COLOUR_FIRST && id <= IDC_VIEW_COLOUR_LAST)
        ChooseColour(page, state, id - IDC_VIEW_COLOUR_FIRST);
    for (const WrapControls& wrap : kWraps) {
        if (code != BN_CLICKED) break;
        if (id == wrap.automatic) SetDlgItemTextW(page, wrap.count, L"");
        if (id == wrap.fixed) SetNumber(page, wrap.count, (state.view.*wrap.field).count);
    }
    UpdateEnabling(page);
}

} // namespace

INT_PTR CALLBACK ViewPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static constexpr PageHandlers kHandlers = {OnInit, OnCommand, Apply, OnDrawItem, kHelpTopic};
    return PageMessage(page, msg, wParam, lParam, kHandlers);
}
