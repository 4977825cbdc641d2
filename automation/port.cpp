// The Port object: a script's view of the serial port. It keeps a private
// copy of the device settings, opens and closes the port with them through
// the main window, drives the modem lines through the modem panel, sends
// data and runs device control requests.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "automation/automation_error.h"
#include "automation/connectable_object.h"
#include "automation/device_objects.h"
#include "automation/port_lock.h"
#include "automation/server.h"
#include "base/messages.h"
#include "base/owners.h"
#include "base/text.h"
#include "logview/text_utils.h"
#include "serial/engine.h"
#include "serial/modem_panel.h"
#include "serial/port.h"
#include "serial/port_names.h"

namespace {

// The main window's messages for the automation objects (all sent).
constexpr UINT kConnectMessage = 0x7440;      // lParam DeviceSettings* -> 0 or a Win32 error
constexpr UINT kDisconnectMessage = 0x7441;
constexpr UINT kIsConnectedMessage = 0x7442;  // nonzero while the port is open
constexpr UINT kGetDeviceMessage = 0x7443;    // lParam DeviceSettings* to fill
constexpr UINT kQueryPortMessage = 0x7444;    // wParam port name, lParam COMMPROP* to fill
constexpr int kModemPanelId = 997;

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

HRESULT NotConnected() { return RaiseAutomationError(ErrorSource::Port, MSG_NOT_CONNECTED, 0); }

LRESULT ToPanel(UINT message, WPARAM wParam, PanelLine line)
{
    return SendDlgItemMessageW(ServerWindow(), kModemPanelId, message, wParam, line);
}

// Each pair of characters as an unsigned hex number read the way strtoul
// reads it: white space before the number is skipped, the number ends at
// the first character that is no hex digit. Returns the bytes of the whole
// pairs; an odd last character is not sent.
std::string DecodeHexPairs(std::string text)
{
    // A blank first character of a pair only delays the number: as a 0 it
    // gives the same value, and HexTextToBytes stops at blanks anywhere else.
    for (size_t i = 0; i < text.size(); i += 2)
        if (text[i] && strchr(" \t\n\v\f\r", text[i])) text[i] = '0';
    // HexTextToBytes writes a byte for the odd last character as well.
    std::string bytes((text.size() + 1) / 2, '\0');
    HexTextToBytes(text.c_str(), reinterpret_cast<uint8_t*>(bytes.data()), false, 0);
    bytes.resize(text.size() / 2);
    return bytes;
}

// Full-width digits and letters become ASCII, lower case upper case.
bool MapToHalfWidthUpper(BSTR text, std::wstring& mapped)
{
    int length = static_cast<int>(SysStringLen(text));
    if (length == 0) return true;
    int size = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_HALFWIDTH | LCMAP_UPPERCASE, text, length, nullptr, 0);
    if (size <= 0) return false;
    mapped.resize(static_cast<size_t>(size));
    return LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_HALFWIDTH | LCMAP_UPPERCASE, text, length, mapped.data(), size) > 0;
}

// The input bytes of Escape from a string (the low byte of each unit) or a
// one-dimensional array of VARIANTs (each converted to a byte).
HRESULT EscapeInput(const VARIANT& given, std::string& bytes)
{
    const VARIANT* value = &given;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF)) {
        value = V_VARIANTREF(value);
        if (!value) return RaiseAutomationError(ErrorSource::Port, MSG_ESCAPE_INPUT_TYPE, 0);
    }
    VARTYPE type = V_VT(value) & ~VT_BYREF;
    bool byReference = V_VT(value) & VT_BYREF;
    if (type == VT_EMPTY) return S_OK;
    if (type == VT_BSTR) {
        BSTR text = byReference ? (V_BSTRREF(value) ? *V_BSTRREF(value) : nullptr) : V_BSTR(value);
        for (UINT i = 0; i < SysStringLen(text); ++i) bytes.push_back(static_cast<char>(text[i] & 0xFF));
        return S_OK;
    }
    if (type != (VT_ARRAY | VT_VARIANT)) return RaiseAutomationError(ErrorSource::Port, MSG_ESCAPE_INPUT_TYPE, 0);
    SAFEARRAY* array = byReference ? (V_ARRAYREF(value) ? *V_ARRAYREF(value) : nullptr) : V_ARRAY(value);
    if (!array) return S_OK;
    if (SafeArrayGetDim(array) != 1) return RaiseAutomationError(ErrorSource::Port, MSG_ESCAPE_INPUT_TYPE, 0);
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return S_OK;
    for (LONG i = lower; i <= upper && i >= lower; ++i) {
        VARIANT element, converted;
        VariantInit(&element);
        VariantInit(&converted);
        HRESULT hr = SafeArrayGetElement(array, &i, &element);
        if (SUCCEEDED(hr)) hr = VariantChangeType(&converted, &element, 0, VT_UI1);
        VariantClear(&element);
        if (hr == DISP_E_OVERFLOW) return RaiseAutomationError(ErrorSource::Port, MSG_ESCAPE_INPUT_RANGE, 0);
        if (FAILED(hr)) return hr;
        bytes.push_back(static_cast<char>(V_UI1(&converted)));
        if (i == upper) break;  // an upper bound of LONG_MAX ends here, not by overflow
    }
    return S_OK;
}

// The output of Escape as an array of bytes.
HRESULT EscapeOutput(const uint8_t* bytes, uint32_t count, VARIANT* out)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    if (!array) return E_OUTOFMEMORY;
    if (count) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
        }
        memcpy(data, bytes, count);
        SafeArrayUnaccessData(array);
    }
    V_VT(out) = VT_ARRAY | VT_UI1;
    V_ARRAY(out) = array;
    return S_OK;
}

class PortObject : public ConnectableObject<IPort> {
public:
    PortObject() : ConnectableObject(IID_IPort, PortSinks())
    {
        SendMessageW(ServerWindow(), kGetDeviceMessage, 0, reinterpret_cast<LPARAM>(&settings_));
        settings_.dcb.DCBlength = sizeof(DCB);
    }

    // A newly named port starts with its stored settings, as when the user
    // picks it in the connect dialog; naming the same port again keeps what
    // the script has changed.
    STDMETHODIMP put_Name(BSTR name) override
    {
        std::string text = WideToSjis(std::wstring_view(name ? name : L"", SysStringLen(name)));
        char previous[sizeof settings_.portName];
        memcpy(previous, settings_.portName, sizeof previous);
        CopySjis(settings_.portName, sizeof settings_.portName, text);
        if (strcmp(previous, settings_.portName) != 0) {
            settings_.flags &= ~DEVICE_OPEN;
            LoadPortSettings(settings_);
        }
        SendMessageW(ServerWindow(), kQueryPortMessage, reinterpret_cast<WPARAM>(settings_.portName),
                     reinterpret_cast<LPARAM>(&settings_.properties));
        return S_OK;
    }
    STDMETHODIMP get_Name(BSTR* out) override
    {
        if (!out) return E_POINTER;
        std::wstring name = SjisToWide(settings_.portName);
        *out = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP Lock(VARIANT_BOOL* out) override { return Answer(out, PortLock::Lock(Id())); }
    STDMETHODIMP Unlock(VARIANT_BOOL* out) override { return Answer(out, PortLock::Unlock(Id())); }
    STDMETHODIMP LockedByMe(VARIANT_BOOL* out) override { return Answer(out, PortLock::LockedByMe(Id())); }

    STDMETHODIMP get_DCB(IDeviceControlBlock** out) override
    {
        return CreateDeviceControlBlock(this, Id(), &settings_.dcb, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP get_Timeouts(ICommTimeouts** out) override
    {
        return CreateCommTimeouts(this, &settings_.timeouts, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP get_DeviceQueue(IDeviceQueue** out) override
    {
        return CreateDeviceQueue(this, &settings_, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP get_Property(ICommProp** out) override
    {
        return CreateCommProp(this, &settings_.properties, reinterpret_cast<void**>(out));
    }

    STDMETHODIMP Connect() override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP get_IsConnect(VARIANT_BOOL* out) override { return Answer(out, PortIsOpen()); }

    STDMETHODIMP put_DTR(VARIANT_BOOL on) override { return PutLine(LINE_DTR, on, MSG_DTR_IN_FLOW_CONTROL); }
    STDMETHODIMP get_DTR(VARIANT_BOOL* out) override { return GetLine(LINE_DTR, out, MSG_DTR_IN_FLOW_CONTROL); }
    STDMETHODIMP put_RTS(VARIANT_BOOL on) override { return PutLine(LINE_RTS, on, MSG_RTS_IN_FLOW_CONTROL); }
    STDMETHODIMP get_RTS(VARIANT_BOOL* out) override { return GetLine(LINE_RTS, out, MSG_RTS_IN_FLOW_CONTROL); }
    STDMETHODIMP SetXoff() override { return SetPanelLine(LINE_XONXOFF, false); }
    STDMETHODIMP SetXon() override { return SetPanelLine(LINE_XONXOFF, true); }
    STDMETHODIMP put_Break(VARIANT_BOOL on) override { return SetPanelLine(LINE_BREAK, on == VARIANT_TRUE); }
    STDMETHODIMP get_Break(VARIANT_BOOL* out) override
    {
        if (!out) return E_POINTER;
        *out = VARIANT_FALSE;
        if (!PortIsOpen()) return NotConnected();
        *out = ToVariantBool(ToPanel(WM_PANEL_GET_LINE, 0, LINE_BREAK) & LAMP_ON);
        return S_OK;
    }

    STDMETHODIMP Send(BSTR text, VARIANT_BOOL sync, VARIANT_BOOL* sent) override;
    STDMETHODIMP CancelIO() override { return ToMainWindow(WM_VORLIN_CANCEL_WRITE); }
    STDMETHODIMP FlushIO() override { return ToMainWindow(WM_VORLIN_FLUSH_PORT); }
    STDMETHODIMP Escape(LONG code, VARIANT input, LONG outputSize, VARIANT* output, VARIANT_BOOL* result) override;
    STDMETHODIMP get_Application(IApplication** out) override
    {
        return CreateApplicationObject(IID_IApplication, reinterpret_cast<void**>(out));
    }

private:
    static HRESULT Answer(VARIANT_BOOL* out, bool value)
    {
        if (!out) return E_POINTER;
        *out = ToVariantBool(value);
        return S_OK;
    }
    HRESULT LockedByOther()
    {
        return RaiseAutomationError(ErrorSource::DeviceControlBlock, MSG_PORT_LOCKED, 0);
    }
    static HRESULT ToMainWindow(UINT message)
    {
        if (!PortIsOpen()) return NotConnected();
        SendMessageW(ServerWindow(), message, 0, 0);
        return S_OK;
    }
    static HRESULT SetPanelLine(PanelLine line, bool on)
    {
        if (!PortIsOpen()) return NotConnected();
        ToPanel(WM_PANEL_SET_LINE, on ? LAMP_ON : LAMP_OFF, line);
        return S_OK;
    }
    static HRESULT PutLine(PanelLine line, VARIANT_BOOL on, MessageNumber underFlowControl)
    {
        if (!PortIsOpen()) return NotConnected();
        if (ToPanel(WM_PANEL_GET_LINE, 0, line) & LAMP_INPUT)
            return RaiseAutomationError(ErrorSource::Port, underFlowControl, 0);
        ToPanel(WM_PANEL_SET_LINE, on == VARIANT_TRUE ? LAMP_ON : LAMP_OFF, line);
        return S_OK;
    }
    static HRESULT GetLine(PanelLine line, VARIANT_BOOL* out, MessageNumber neither)
    {
        if (!out) return E_POINTER;
        *out = VARIANT_FALSE;
        if (!PortIsOpen()) return NotConnected();
        LRESULT state = ToPanel(WM_PANEL_GET_LINE, 0, line);
        if (state & LAMP_ON) *out = VARIANT_TRUE;
        else if (!(state & LAMP_OFF)) return RaiseAutomationError(ErrorSource::Port, neither, 0);
        return S_OK;
    }

    DeviceSettings settings_{};
};

STDMETHODIMP PortObject::Connect()
{
    if (PortLock::LockedByOther(Id())) return LockedByOther();
    if (PortIsOpen()) return RaiseAutomationError(ErrorSource::Port, MSG_ALREADY_CONNECTED, 0);
    settings_.dcb.DCBlength = sizeof(DCB);
    auto error = static_cast<DWORD>(SendMessageW(ServerWindow(), kConnectMessage, 0, reinterpret_cast<LPARAM>(&settings_)));
    return error ? Win32ErrorResult(error) : S_OK;
}

STDMETHODIMP PortObject::Disconnect()
{
    if (PortLock::LockedByOther(Id())) return LockedByOther();
    if (!PortIsOpen()) return NotConnected();
    SendMessageW(ServerWindow(), kDisconnectMessage, 0, 0);
    return S_OK;
}

// The text is hex digit pairs, one byte each; full-width and lower-case
// digits count as well.
STDMETHODIMP PortObject::Send(BSTR text, VARIANT_BOOL sync, VARIANT_BOOL* sent)
{
    if (!sent) return E_POINTER;
    *sent = VARIANT_FALSE;
    if (!PortIsOpen()) return NotConnected();
    std::string bytes;
    try {
        std::wstring mapped;
        if (!MapToHalfWidthUpper(text, mapped)) {
            DWORD error = GetLastError();
            return error ? Win32ErrorResult(error) : E_FAIL;
        }
        bytes = DecodeHexPairs(WideToSjis(mapped));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // a text too long for this process
    }
    DWORD error = SubmitSend(bytes.data(), static_cast<uint32_t>(bytes.size()), sync != VARIANT_TRUE);
    *sent = ToVariantBool(error == 0);
    return S_OK;
}

STDMETHODIMP PortObject::Escape(LONG code, VARIANT input, LONG outputSize, VARIANT* output, VARIANT_BOOL* result)
{
    if (!output || !result) return E_POINTER;
    VariantInit(output);
    *result = VARIANT_FALSE;
    if (!PortIsOpen()) return NotConnected();
    std::string in;
    HRESULT hr;
    try {
        hr = EscapeInput(input, in);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr;
    HeapBlock<uint8_t> out;
    uint32_t room = outputSize > 0 ? static_cast<uint32_t>(outputSize) : 0;
    if (room) {
        out = HeapBlock<uint8_t>(static_cast<uint8_t*>(calloc(room, 1)));
        if (!out) return E_OUTOFMEMORY;
    }
    EscapeRequest request{static_cast<uint32_t>(code), in.empty() ? nullptr : in.data(),
                          static_cast<uint32_t>(in.size()), out.get(), room, 0};
    if (!SendMessageW(ServerWindow(), WM_VORLIN_ESCAPE_REQUEST, 0, reinterpret_cast<LPARAM>(&request))) {
        // The error field holds a Win32 code, or an HRESULT as it stands.
        auto error = static_cast<LONG>(request.error);
        if (error == 0) return E_FAIL;
        return error > 0 ? Win32ErrorResult(static_cast<DWORD>(error)) : error;
    }
    hr = EscapeOutput(out.get(), request.outputLength < room ? request.outputLength : room, output);
    if (SUCCEEDED(hr)) *result = VARIANT_TRUE;
    return hr;
}

} // namespace

bool PortIsOpen() { return SendMessageW(ServerWindow(), kIsConnectedMessage, 0, 0) != 0; }

HRESULT CreatePortObject(REFIID iid, void** out)
{
    return CreateAutomationObject<PortObject>(iid, out);
}
