// The multi-edit page: one form of a form file as rows of input controls
// (title, conversion name, input), sent as one block of bytes.
#include <cstdlib>
#include <string>

#include "base/catalogue.h"
#include "base/text.h"
#include "logview/text_utils.h"
#include "resources/resource.h"
#include "sending/send_forms.h"
#include "sending/send_pages.h"

namespace {

// The page's form store, allocated zero-filled with the page and freed with
// it. `built` says the section parsed and its rows exist: only then is there
// anything to send.
struct FormPage {
    MultiEditForm* form = nullptr;
    bool built = false;
};

constexpr const char* kConversionNames[] = {"SJIS", "BIN", "OCT", "HEX"};
constexpr int kRowStep = 24;
constexpr int kFirstRowDialogUnits = 60;

FormPage* StateOf(HWND page) { return reinterpret_cast<FormPage*>(GetWindowLongPtrW(page, DWLP_USER)); }
HWND Owner(HWND page) { return GetAncestor(page, GA_ROOT); }

void DestroyRows(MultiEditForm& form)
{
    for (uint32_t i = 0; i < form.fieldCount && i < static_cast<uint32_t>(kMaxFormFields); ++i) {
        FormField& f = form.fields[i];
        for (HWND* control : {&f.titleWindow, &f.conversionWindow, &f.inputWindow}) {
            if (*control) DestroyWindow(*control);
            *control = nullptr;
        }
    }
}

HWND MakeControl(HWND page, const wchar_t* cls, DWORD style, DWORD exStyle, int x, int y, int w, int h, int id,
                 HFONT font)
{
    HWND control = CreateWindowExW(exStyle, cls, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, page,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

HWND MakeLabel(HWND page, const char* text, int x, int y, int w, int h, HFONT font)
{
    HWND label = MakeControl(page, L"STATIC", SS_CENTER | SS_SUNKEN, 0, x, y, w, h, 0, font);
    SetWindowTextSjis(label, text);
    return label;
}

struct InputShape {
    const wchar_t* cls;
    DWORD style;
};

InputShape ShapeOf(const FormField& f)
{
    constexpr DWORD combo = WS_VSCROLL | WS_TABSTOP;
    if (f.kind == FIELD_COMBO)
        return {L"COMBOBOX", combo | (f.style == COMBO_DROPDOWN ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST)};
    switch (f.style) {
    case EDIT_STATIC: return {L"EDIT", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP};
    case EDIT_MULTILINETEXT:
        return {L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP};
    default: return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP};
    }
}

// Items between commas, in order; the first is selected once the combo box
// has settled (the page posts itself the request).
void FillCombo(HWND page, HWND combo, const FormField& f)
{
    std::string items = f.data;
    for (size_t start = 0; !items.empty();) {
        size_t comma = items.find(',', start);
        std::string item = items.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SjisToWide(item).c_str()));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    PostMessageW(page, WM_FORM_SELECT_FIRST, f.controlId, 0);
}

// The text limit and the conversion's input rule go to the edit control
// the user types into: the field, or the edit part of an editable combo box.
void ApplyInputRule(const FormField& f)
{
    HWND edit = f.inputWindow;
    if (f.kind == FIELD_COMBO) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        edit = f.style == COMBO_DROPDOWN && GetComboBoxInfo(f.inputWindow, &info) ? info.hwndItem : nullptr;
    }
    if (!edit) return;
    SendMessageW(edit, EM_LIMITTEXT, f.length, 0);
    switch (f.conversion) {
    case CONVERT_BIN: SetEditInputFilter(edit, FILTER_BINARY, true); break;
    case CONVERT_OCT: SetEditInputFilter(edit, FILTER_OCTAL, true); break;
    case CONVERT_HEX:
        SetEditInputFilter(edit, FILTER_HEX, true);
        SetWindowLongW(edit, GWL_STYLE, GetWindowLongW(edit, GWL_STYLE) | ES_UPPERCASE);
        break;
    default: break;
    }
}

// Height of a text line in the page's font, plus 2 pixels.
int LineHeight(HWND page, HFONT font)
{
    HDC dc = GetDC(page);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(page, dc);
    return metrics.tmHeight + 2;
}

void CreateRows(HWND page, MultiEditForm& form)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
    const int h = LineHeight(page, font);
    RECT first = {0, kFirstRowDialogUnits, 0, 0}, client;
    MapDialogRect(page, &first);
    GetClientRect(page, &client);
    int top = first.top;
    for (uint32_t i = 0; i < form.fieldCount; ++i) {
        FormField& f = form.fields[i];
        f.titleWindow = MakeLabel(page, f.title, 15, top + 2, 75, h - 4, font);
        f.conversionWindow = MakeLabel(page, kConversionNames[f.conversion & 3], 95, top + 2, 45, h - 4, font);
        const bool lines = f.kind == FIELD_EDIT && f.style == EDIT_MULTILINETEXT && (f.attributes & ATTR_LINES);
        const int height = f.kind == FIELD_COMBO ? 5 * (h - 2) + 2 : lines ? static_cast<int>(f.lines) * h : h;
        InputShape shape = ShapeOf(f);
        f.inputWindow = MakeControl(page, shape.cls, shape.style, WS_EX_CLIENTEDGE, 145, top, client.right - 160,
                                    height, static_cast<int>(f.controlId), font);
        if (f.inputWindow) {
            if (f.kind == FIELD_COMBO) FillCombo(page, f.inputWindow, f);
            else SetWindowTextSjis(f.inputWindow, f.data);
            ApplyInputRule(f);
        }
        top += lines && f.lines > 0 ? (static_cast<int>(f.lines) - 1) * h + kRowStep : kRowStep;
    }
}

std::string SelectedText(HWND box)
{
    LRESULT selected = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return {};
    LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, selected, 0);
    if (length == CB_ERR || length > kMaxFileName) return {};
    wchar_t name[kMaxFileName + 1] = L"";
    SendMessageW(box, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(name));
    return WideToSjis(name);
}

// The old rows go first; only a section that parsed whole gets rows.
void BuildForm(HWND page, FormPage& s)
{
    s.built = false;
    if (s.form) {
        DestroyRows(*s.form);
        const int section = static_cast<int>(SendDlgItemMessageW(page, IDC_MULTI_SECTION, CB_GETCURSEL, 0, 0));
        std::string file = SelectedText(GetDlgItem(page, IDC_MULTI_FILE));
        if (!file.empty() && LoadMultiEditForm(file.c_str(), section, *s.form)) {
            CreateRows(page, *s.form);
            s.built = true;
        }
        InvalidateRect(page, nullptr, TRUE);
    }
    UpdateSendButtons(Owner(page));
}

void ListSections(HWND page, FormPage& s)
{
    ListFormSections(GetDlgItem(page, IDC_MULTI_FILE), GetDlgItem(page, IDC_MULTI_SECTION));
    BuildForm(page, s);
}

void OnInitDialog(HWND page)
{
    auto* s = new FormPage;
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
    s->form = static_cast<MultiEditForm*>(calloc(1, sizeof(MultiEditForm)));
    if (!s->form) {
        ShowSystemError(Owner(page), kAppTitle, ERROR_OUTOFMEMORY);
        return;
    }
    s->form->owner = Owner(page);
    if (ListFormFiles(GetDlgItem(page, IDC_MULTI_FILE)) == 0) {
        ShowMessage(Owner(page), kAppTitle, MSG_NO_SEND_FILES, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ListSections(page, *s);
}

void OnCommand(HWND page, FormPage& s, int id, int code)
{
    switch (id) {
    case IDC_MULTI_FILE: if (code == CBN_SELCHANGE) ListSections(page, s); return;
    case IDC_MULTI_SECTION: if (code == CBN_SELCHANGE) BuildForm(page, s); return;
    case IDC_SEND_ASYNC:
    case IDC_SEND_SYNC:
        // A form that did not parse has no rows: it sends nothing.
        if (s.built) SendMultiEditForm(Owner(page), *s.form, id == IDC_SEND_ASYNC);
        return;
    default: return;
    }
}

} // namespace

bool FormPageCanSend(HWND page)
{
    FormPage* s = page ? StateOf(page) : nullptr;
    return s && s->built;
}

INT_PTR CALLBACK FormPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        OnInitDialog(page);
        return TRUE;
    }
    FormPage* s = StateOf(page);
    if (!s) return FALSE;
    switch (msg) {
    case WM_COMMAND: OnCommand(page, *s, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_FORM_SELECT_FIRST: SendDlgItemMessageW(page, static_cast<int>(wParam), CB_SETCURSEL, 0, 0); return TRUE;
    case WM_NCDESTROY:
        free(s->form);
        delete s;
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return FALSE;
    default: return FALSE;
    }
}
