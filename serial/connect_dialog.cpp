#include "serial/connect_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logview/text_utils.h"
#include "resources/resource.h"
#include "serial/port.h"
#include "serial/port_names.h"
#include "settings/help.h"
#include "base/catalogue.h"
#include "base/text.h"

// Both dialogs are modal on the main thread. The connect dialog keeps its
// working copy in a context on its own stack frame (DWLP_USER); the
// extended dialog edits the record it is given.
namespace {

constexpr DWORD kConnectHelpContext = 4;
constexpr DWORD kExtendedHelpContext = 5;
constexpr unsigned kMsgNoPortAnswered = MSG_NO_PORT_ANSWERS;
constexpr unsigned kMsgPortBusy = MSG_PORT_BUSY;

PortAccess g_ports{EnumeratePorts, QueryPortProperties};

struct ConnectContext {
    DeviceSettings work;
    bool listsFilled;
};

// One value list: its control, table, capability mask and DCB field.
struct ValueList {
    int id;
    const ValueRow* rows;
    size_t count;
    DWORD (*mask)(const COMMPROP&);
    DWORD (*get)(const DCB&);
    void (*set)(DCB&, DWORD);
};

const ValueList* ValueLists(size_t& count)
{
    static const ValueList lists[] = {
        {IDC_CONNECT_BAUD, kBaudRates, kBaudRateCount, [](const COMMPROP& p) { return p.dwSettableBaud; },
         [](const DCB& d) { return d.BaudRate; }, [](DCB& d, DWORD v) { d.BaudRate = v; }},
        {IDC_CONNECT_BYTESIZE, kByteSizes, kByteSizeCount, [](const COMMPROP& p) { return DWORD{p.wSettableData}; },
         [](const DCB& d) { return DWORD{d.ByteSize}; }, [](DCB& d, DWORD v) { d.ByteSize = static_cast<BYTE>(v); }},
        {IDC_CONNECT_PARITY, kParities, kParityCount, [](const COMMPROP& p) { return DWORD{p.wSettableStopParity}; },
         [](const DCB& d) { return DWORD{d.Parity}; }, [](DCB& d, DWORD v) { d.Parity = static_cast<BYTE>(v); }},
        {IDC_CONNECT_STOPBITS, kStopBits, kStopBitCount,
         [](const COMMPROP& p) { return DWORD{p.wSettableStopParity}; },
         [](const DCB& d) { return DWORD{d.StopBits}; }, [](DCB& d, DWORD v) { d.StopBits = static_cast<BYTE>(v); }},
    };
    count = sizeof lists / sizeof lists[0];
    return lists;
}


void AddItem(HWND combo, const char* text, LPARAM data)
{
    LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SjisToWide(text).c_str()));
    if (index >= 0) SendMessageW(combo, CB_SETITEMDATA, index, data);
}

std::string SelectedText(HWND combo)
{
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length >= 260) return {};
    wchar_t text[260] = L"";
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return WideToSjis(text);
}

void SelectText(HWND combo, const char* text)
{
    LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(SjisToWide(text).c_str()));
    SendMessageW(combo, CB_SETCURSEL, index == CB_ERR ? static_cast<WPARAM>(-1) : index, 0);
}

void CopyPortName(DeviceSettings& record, const std::string& name)
{
    CopySjis(record.portName, sizeof record.portName, name);
}

void OnHelp(HWND dialog, const HELPINFO* help, DWORD dialogContext)
{
    HWND item = help ? static_cast<HWND>(help->hItemHandle) : nullptr;
    if (help && help->iContextType == HELPINFO_WINDOW && item && item != dialog && IsChild(dialog, item))
        ShowHelp(item, HELP_CONTEXTPOPUP, static_cast<ULONG_PTR>(help->iCtrlId));
    else
        ShowHelp(dialog, HELP_CONTEXT, dialogContext);
}

// ---- connect dialog ---------------------------------------------------

ConnectContext* Context(HWND dialog) { return reinterpret_cast<ConnectContext*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

// The first listed port that answers becomes the working port; false when
// none does.
bool ChooseFirstAnsweringPort(HWND dialog, DeviceSettings& work)
{
    HWND ports = GetDlgItem(dialog, IDC_CONNECT_PORT);
    std::vector<std::string> names;
    g_ports.enumerate(names);
    for (const std::string& name : names) AddItem(ports, name.c_str(), 0);
    LRESULT count = SendMessageW(ports, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        SendMessageW(ports, CB_SETCURSEL, i, 0);
        CopyPortName(work, SelectedText(ports));
        if (g_ports.query(work.portName, &work.properties)) {
            LoadPortSettings(work);
            return true;
        }
    }
    SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    // An empty list is told the same way: without it the dialog would only
    // show a disabled connect button and leave the user guessing.
    ShowMessage(dialog, kAppTitle, kMsgNoPortAnswered, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void FillValueLists(HWND dialog, const DeviceSettings& work)
{
    size_t listCount;
    const ValueList* lists = ValueLists(listCount);
    for (size_t l = 0; l < listCount; ++l) {
        const ValueList& list = lists[l];
        HWND combo = GetDlgItem(dialog, list.id);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        DWORD mask = list.mask(work.properties);
        DWORD current = list.get(work.dcb);
        int selected = -1, index = 0;
        for (size_t r = 0; r < list.count; ++r) {
            if (!(mask & list.rows[r].capability)) continue;
            AddItem(combo, list.rows[r].text, static_cast<LPARAM>(r));
            if (selected < 0 && list.rows[r].value == current) selected = index;
            ++index;
        }
        if (index > 0) SendMessageW(combo, CB_SETCURSEL, selected < 0 ? 0 : selected, 0);
    }
}

void ShowFlowBoxes(HWND dialog, const DCB& dcb)
{
    CheckDlgButton(dialog, IDC_CONNECT_DTRDSR, dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? BST_CHECKED : BST_UNCHECKED);
    UINT rts = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? BST_CHECKED
             : dcb.fRtsControl == RTS_CONTROL_TOGGLE   ? BST_INDETERMINATE
                                                        : BST_UNCHECKED;
    CheckDlgButton(dialog, IDC_CONNECT_RTSCTS, rts);
    CheckDlgButton(dialog, IDC_CONNECT_XONXOFF, (dcb.fOutX || dcb.fInX) ? BST_CHECKED : BST_UNCHECKED);
}

void EnableByCapability(HWND dialog, const COMMPROP& props)
{
    DWORD p = props.dwSettableParams, q = props.dwProvCapabilities;
    struct Rule {
        int id;
        bool enabled;
    } rules[] = {
        {IDC_CONNECT_BAUD, (p & SP_BAUD) != 0},
        {IDC_CONNECT_BYTESIZE, (p & SP_DATABITS) != 0},
        {IDC_CONNECT_PARITY, (q & PCF_PARITY_CHECK) && (p & SP_PARITY) && (p & SP_PARITY_CHECK)},
        {IDC_CONNECT_STOPBITS, (p & SP_STOPBITS) != 0},
        {IDC_CONNECT_RTSCTS, (q & PCF_RTSCTS) && (p & SP_HANDSHAKING)},
        {IDC_CONNECT_DTRDSR, (q & PCF_DTRDSR) && (p & SP_HANDSHAKING)},
        {IDC_CONNECT_XONXOFF, (q & PCF_XONXOFF) != 0},
    };
    for (const Rule& r : rules) EnableWindow(GetDlgItem(dialog, r.id), r.enabled);
}

void ShowSettings(HWND dialog, ConnectContext& context)
{
    FillValueLists(dialog, context.work);
    ShowFlowBoxes(dialog, context.work.dcb);
    EnableByCapability(dialog, context.work.properties);
    context.listsFilled = true;
}

BOOL OnInitConnect(HWND dialog, ConnectContext* context)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
    DeviceSettings& work = context->work;
    bool open = (work.flags & DEVICE_OPEN) != 0;
    SetWindowTextSjis(dialog, open ? "デバイスの設定変更" : "デバイスの設定＆接続");
    SetWindowTextSjis(GetDlgItem(dialog, IDC_CONNECT_OK), open ? "適用(&A)" : "接続(&C)");
    CheckDlgButton(dialog, IDC_CONNECT_SAVE, BST_CHECKED);

    bool answered = true;
    HWND ports = GetDlgItem(dialog, IDC_CONNECT_PORT);
    if (open) {
        AddItem(ports, work.portName, 0);
        SendMessageW(ports, CB_SETCURSEL, 0, 0);
        EnableWindow(ports, FALSE);
    } else {
        answered = ChooseFirstAnsweringPort(dialog, work);
    }
    // Nothing can be connected until some port answers.
    EnableWindow(GetDlgItem(dialog, IDC_CONNECT_OK), answered);
    if (answered) ShowSettings(dialog, *context);
    return TRUE;
}

void OnPortChosen(HWND dialog, ConnectContext& context)
{
    HWND ports = GetDlgItem(dialog, IDC_CONNECT_PORT);
    std::string name = SelectedText(ports);
    if (name.empty() || name == context.work.portName) return;
    COMMPROP props{};
    if (!g_ports.query(name.c_str(), &props)) {
        ShowMessage(dialog, kAppTitle, kMsgPortBusy, MB_OK | MB_ICONEXCLAMATION, name.c_str());
        SelectText(ports, context.work.portName);
        return;
    }
    CopyPortName(context.work, name);
    context.work.properties = props;
    LoadPortSettings(context.work);
    // The lists keep what they show; they are only built here when no port
    // had answered before.
    if (!context.listsFilled) ShowSettings(dialog, context);
    EnableWindow(GetDlgItem(dialog, IDC_CONNECT_OK), TRUE);
}

// A list without a selection (no row offered) keeps the record's value.
void ReadConnectControls(HWND dialog, DeviceSettings& work)
{
    size_t listCount;
    const ValueList* lists = ValueLists(listCount);
    for (size_t l = 0; l < listCount; ++l) {
        HWND combo = GetDlgItem(dialog, lists[l].id);
        LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) continue;
        LRESULT row = SendMessageW(combo, CB_GETITEMDATA, index, 0);
        if (row < 0 || static_cast<size_t>(row) >= lists[l].count) continue;
        lists[l].set(work.dcb, lists[l].rows[row].value);
    }
    DCB& dcb = work.dcb;
    dcb.fParity = dcb.Parity != 0;
    dcb.fDtrControl = IsDlgButtonChecked(dialog, IDC_CONNECT_DTRDSR) == BST_CHECKED ? DTR_CONTROL_HANDSHAKE
                                                                                     : DTR_CONTROL_ENABLE;
    UINT rts = IsDlgButtonChecked(dialog, IDC_CONNECT_RTSCTS);
    dcb.fRtsControl = rts == BST_CHECKED         ? RTS_CONTROL_HANDSHAKE
                    : rts == BST_INDETERMINATE ? RTS_CONTROL_TOGGLE
                                               : RTS_CONTROL_ENABLE;
    bool xon = IsDlgButtonChecked(dialog, IDC_CONNECT_XONXOFF) == BST_CHECKED;
    dcb.fOutX = xon;
    dcb.fInX = xon;
    if (IsDlgButtonChecked(dialog, IDC_CONNECT_SAVE) == BST_CHECKED)
        work.flags |= DEVICE_SAVE;
    else
        work.flags &= ~DEVICE_SAVE;
}

void OnConnectCommand(HWND dialog, int id, int code)
{
    ConnectContext* context = Context(dialog);
    switch (id) {
    case IDC_CONNECT_PORT: if (code == CBN_SELCHANGE) OnPortChosen(dialog, *context); break;
    case IDC_CONNECT_EXTENDED: RunExtendedDialog(dialog, context->work); break;
    case IDC_CONNECT_OK: case IDOK:
        // Enter must not confirm while no port has answered.
        if (IsWindowEnabled(GetDlgItem(dialog, IDC_CONNECT_OK))) {
            ReadConnectControls(dialog, context->work);
            EndDialog(dialog, 1);
        }
        break;
    case IDC_CONNECT_CANCEL: case IDCANCEL: EndDialog(dialog, 0); break;
    default: break;
    }
}

INT_PTR CALLBACK ConnectProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return OnInitConnect(dialog, reinterpret_cast<ConnectContext*>(lParam));
    case WM_COMMAND: OnConnectCommand(dialog, LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_HELP: OnHelp(dialog, reinterpret_cast<HELPINFO*>(lParam), kConnectHelpContext); return TRUE;
    default: return FALSE;
    }
}

// ---- extended dialog --------------------------------------------------

struct FlagBox {
    int id;
    DWORD (*get)(const DCB&);
    void (*set)(DCB&, bool);
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_EXT_CTSFLOW, [](const DCB& d) { return DWORD{d.fOutxCtsFlow}; }, [](DCB& d, bool v) { d.fOutxCtsFlow = v; }},
    {IDC_EXT_DSRFLOW, [](const DCB& d) { return DWORD{d.fOutxDsrFlow}; }, [](DCB& d, bool v) { d.fOutxDsrFlow = v; }},
    {IDC_EXT_DSRSENSE, [](const DCB& d) { return DWORD{d.fDsrSensitivity}; },
     [](DCB& d, bool v) { d.fDsrSensitivity = v; }},
    {IDC_EXT_TXCONTINUE, [](const DCB& d) { return DWORD{d.fTXContinueOnXoff}; },
     [](DCB& d, bool v) { d.fTXContinueOnXoff = v; }},
    {IDC_EXT_ERRORCHAR_ON, [](const DCB& d) { return DWORD{d.fErrorChar}; }, [](DCB& d, bool v) { d.fErrorChar = v; }},
    {IDC_EXT_NULL, [](const DCB& d) { return DWORD{d.fNull}; }, [](DCB& d, bool v) { d.fNull = v; }},
};

constexpr int kCharEdits[] = {IDC_EXT_ERRORCHAR, IDC_EXT_XONCHAR, IDC_EXT_XOFFCHAR};

// The 32-bit numbers. They are shown unsigned: MAXDWORD is a meaningful
// read interval, and "-1" would not read back as a number.
struct NumberEdit {
    int id;
    DWORD COMMTIMEOUTS::*timeout;
};
constexpr NumberEdit kNumberEdits[] = {
    {IDC_EXT_READINTERVAL, &COMMTIMEOUTS::ReadIntervalTimeout},
    {IDC_EXT_READMULTIPLIER, &COMMTIMEOUTS::ReadTotalTimeoutMultiplier},
    {IDC_EXT_READCONSTANT, &COMMTIMEOUTS::ReadTotalTimeoutConstant},
    {IDC_EXT_WRITEMULTIPLIER, &COMMTIMEOUTS::WriteTotalTimeoutMultiplier},
    {IDC_EXT_WRITECONSTANT, &COMMTIMEOUTS::WriteTotalTimeoutConstant},
};

void SetNumber(HWND dialog, int id, const char* format, unsigned long value)
{
    char text[16];
    snprintf(text, sizeof text, format, value);
    SetDlgItemTextSjis(dialog, id, text);
}

unsigned long ReadNumber(HWND dialog, int id, int base)
{
    return strtoul(GetDlgItemTextSjis(dialog, id).c_str(), nullptr, base);
}

void EnableErrorChar(HWND dialog)
{
    BOOL on = IsDlgButtonChecked(dialog, IDC_EXT_ERRORCHAR_ON) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_EXT_ERRORCHAR), on);
    EnableWindow(GetDlgItem(dialog, IDC_EXT_ERRORCHAR_LABEL), on);
}

BOOL OnInitExtended(HWND dialog, DeviceSettings* record)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    const DCB& dcb = record->dcb;
    for (const FlagBox& box : kFlagBoxes) CheckDlgButton(dialog, box.id, box.get(dcb) ? BST_CHECKED : BST_UNCHECKED);
    EnableErrorChar(dialog);
    for (int id : kCharEdits) {
        HWND edit = GetDlgItem(dialog, id);
        SendMessageW(edit, EM_LIMITTEXT, 2, 0);
        SetEditInputFilter(edit, FILTER_HEX, true);
    }
    SetNumber(dialog, IDC_EXT_ERRORCHAR, "%02lX", static_cast<BYTE>(dcb.ErrorChar));
    SetNumber(dialog, IDC_EXT_XONCHAR, "%02lX", static_cast<BYTE>(dcb.XonChar));
    SetNumber(dialog, IDC_EXT_XOFFCHAR, "%02lX", static_cast<BYTE>(dcb.XoffChar));
    SetNumber(dialog, IDC_EXT_XONLIM, "%lu", dcb.XonLim);
    SetNumber(dialog, IDC_EXT_XOFFLIM, "%lu", dcb.XoffLim);
    for (const NumberEdit& n : kNumberEdits) SetNumber(dialog, n.id, "%lu", record->timeouts.*(n.timeout));
    SetNumber(dialog, IDC_EXT_INQUEUE, "%lu", record->inputQueueSize);
    SetNumber(dialog, IDC_EXT_OUTQUEUE, "%lu", record->outputQueueSize);
    return TRUE;
}

void ApplyExtended(HWND dialog, DeviceSettings& record)
{
    DCB& dcb = record.dcb;
    for (const FlagBox& box : kFlagBoxes) box.set(dcb, IsDlgButtonChecked(dialog, box.id) == BST_CHECKED);
    dcb.ErrorChar = static_cast<char>(ReadNumber(dialog, IDC_EXT_ERRORCHAR, 16) & 0xFF);
    dcb.XonChar = static_cast<char>(ReadNumber(dialog, IDC_EXT_XONCHAR, 16) & 0xFF);
    dcb.XoffChar = static_cast<char>(ReadNumber(dialog, IDC_EXT_XOFFCHAR, 16) & 0xFF);
    dcb.XonLim = static_cast<WORD>(ReadNumber(dialog, IDC_EXT_XONLIM, 10));
    dcb.XoffLim = static_cast<WORD>(ReadNumber(dialog, IDC_EXT_XOFFLIM, 10));
    for (const NumberEdit& n : kNumberEdits) record.timeouts.*(n.timeout) = ReadNumber(dialog, n.id, 10);
    record.inputQueueSize = ReadNumber(dialog, IDC_EXT_INQUEUE, 10);
    record.outputQueueSize = ReadNumber(dialog, IDC_EXT_OUTQUEUE, 10);
}

void OnExtendedCommand(HWND dialog, int id)
{
    auto* record = reinterpret_cast<DeviceSettings*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (id) {
    case IDC_EXT_ERRORCHAR_ON: EnableErrorChar(dialog); break;
    case IDC_EXT_APPLY: ApplyExtended(dialog, *record); EndDialog(dialog, 1); break;
    case IDC_EXT_CANCEL: case IDCANCEL: EndDialog(dialog, 0); break;
    default: break;
    }
}

INT_PTR CALLBACK ExtendedProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return OnInitExtended(dialog, reinterpret_cast<DeviceSettings*>(lParam));
    case WM_COMMAND: OnExtendedCommand(dialog, LOWORD(wParam)); return TRUE;
    case WM_HELP: OnHelp(dialog, reinterpret_cast<HELPINFO*>(lParam), kExtendedHelpContext); return TRUE;
    default: return FALSE;
    }
}

} // namespace

void SetPortAccess(const PortAccess* access)
{
    g_ports = access ? *access : PortAccess{EnumeratePorts, QueryPortProperties};
}

INT_PTR RunConnectDialog(HWND owner, DeviceSettings& record)
{
    ConnectContext context{record, false};
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONNECT), owner, ConnectProc,
                                     reinterpret_cast<LPARAM>(&context));
    if (result == 1) {
        record = context.work;
        return 1;
    }
    record.flags &= ~DEVICE_SAVE;
    return 0;
}

INT_PTR RunExtendedDialog(HWND owner, DeviceSettings& record)
{
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_EXTENDED), owner, ExtendedProc,
                                     reinterpret_cast<LPARAM>(&record));
    return result == 1 ? 1 : 0;
}
