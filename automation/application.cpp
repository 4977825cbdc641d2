// The Application object: the main window's caption and visibility, the
// message setting, Quit, application timers and new Port objects.
#include <algorithm>
#include <string>

#include "automation/automation.h"
#include "automation/automation_error.h"
#include "automation/connectable_object.h"
#include "automation/server.h"
#include "base/messages.h"

namespace {

constexpr DISPID kOnQuit = 2;
constexpr DISPID kOnAppTimer = 3;
constexpr size_t kCaptionLimit = 511;  // characters of a title, read or written

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

class ApplicationObject : public ConnectableObject<IApplication> {
public:
    ApplicationObject() : ConnectableObject(IID_IApplication, ApplicationSinks()) {}

    STDMETHODIMP put_Caption(BSTR text) override
    {
        std::wstring title(text ? text : L"", text ? std::min<size_t>(SysStringLen(text), kCaptionLimit) : 0);
        SetWindowTextW(ServerWindow(), title.c_str());
        return S_OK;
    }
    STDMETHODIMP get_Caption(BSTR* out) override
    {
        if (!out) return E_POINTER;
        wchar_t title[kCaptionLimit + 1] = {};
        int length = GetWindowTextW(ServerWindow(), title, kCaptionLimit + 1);
        *out = SysAllocStringLen(title, length > 0 ? length : 0);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP put_Visible(VARIANT_BOOL show) override
    {
        ShowWindowAsync(ServerWindow(), show == VARIANT_TRUE ? SW_SHOWNORMAL : SW_HIDE);
        return S_OK;
    }
    STDMETHODIMP get_Visible(VARIANT_BOOL* out) override
    {
        if (!out) return E_POINTER;
        *out = ToVariantBool(IsWindowVisible(ServerWindow()));
        return S_OK;
    }
    STDMETHODIMP get_hwnd(LONG* out) override
    {
        if (!out) return E_POINTER;
        // Window handles keep their meaning in 32 bits, also in 64-bit processes.
        *out = static_cast<LONG>(reinterpret_cast<LONG_PTR>(ServerWindow()));
        return S_OK;
    }
    STDMETHODIMP put_DisplayAlerts(VARIANT_BOOL boxes) override
    {
        uint32_t& flags = ServerAppSettings().flags;
        flags = boxes == VARIANT_TRUE ? flags | APP_MESSAGE_BOXES : flags & ~APP_MESSAGE_BOXES;
        return S_OK;
    }
    STDMETHODIMP get_DisplayAlerts(VARIANT_BOOL* out) override
    {
        if (!out) return E_POINTER;
        *out = ToVariantBool(ServerAppSettings().flags & APP_MESSAGE_BOXES);
        return S_OK;
    }
    STDMETHODIMP Quit(VARIANT_BOOL* success) override;
    STDMETHODIMP SetAppTimer(LONG timeout, LONG* timerId) override;
    STDMETHODIMP KillAppTimer(LONG timerId) override;
    STDMETHODIMP get_Port(IPort** out) override { return CreatePortObject(IID_IPort, reinterpret_cast<void**>(out)); }

private:
    bool OtherSinkCancelsQuit();
};

// The other Application objects' sinks are asked in table order; the first
// that cancels ends the question.
bool ApplicationObject::OtherSinkCancelsQuit()
{
    for (const ComPtr<IDispatch>& sink : ApplicationSinks().Sinks(Id())) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANTARG argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&argument) = &cancel;
        RaiseEvent(sink.get(), kOnQuit, &argument, 1);
        if (cancel) return true;
    }
    return false;
}

// Success is judged by the window itself: the close sequence answers
// WM_CLOSE with 0 whether it closed or the user kept the program open.
STDMETHODIMP ApplicationObject::Quit(VARIANT_BOOL* success)
{
    if (!success) return E_POINTER;
    *success = VARIANT_FALSE;
    if (OtherSinkCancelsQuit()) return S_OK;
    HWND window = ServerWindow();
    SendMessageW(window, WM_CLOSE, 0, 0);
    *success = ToVariantBool(!IsWindow(window));
    return S_OK;
}

STDMETHODIMP ApplicationObject::SetAppTimer(LONG timeout, LONG* timerId)
{
    if (!timerId) return E_POINTER;
    if (timeout < 1) return E_INVALIDARG;
    SinkTable::Entry* entry = ApplicationSinks().FirstOwnedBy(Id());
    if (!entry) return RaiseAutomationError(ErrorSource::Application, MSG_TIMER_NEEDS_SINK, 0);
    if (entry->timerCount == SinkTable::kMaxTimers)
        return RaiseAutomationError(ErrorSource::Application, MSG_TIMER_LIMIT, 0, static_cast<int>(SinkTable::kMaxTimers));
    uint32_t id = NextTimerId();
    if (!SetTimer(ServerWindow(), id, static_cast<UINT>(timeout), nullptr)) {
        DWORD error = GetLastError();
        return error ? Win32ErrorResult(error) : E_FAIL;
    }
    entry->timers[entry->timerCount++] = id;
    *timerId = static_cast<LONG>(id);
    return S_OK;
}

STDMETHODIMP ApplicationObject::KillAppTimer(LONG timerId)
{
    SinkTable::Entry* entry = ApplicationSinks().FirstOwnedBy(Id());
    if (!entry) return RaiseAutomationError(ErrorSource::Application, MSG_TIMER_NEEDS_SINK, 0);
    uint32_t* end = entry->timers + entry->timerCount;
    uint32_t* found = std::find(entry->timers, end, static_cast<uint32_t>(timerId));
    if (found == end) return RaiseAutomationError(ErrorSource::Application, MSG_TIMER_NOT_OWN, 0, static_cast<int>(timerId));
    KillTimer(ServerWindow(), *found);
    std::copy(found + 1, end, found);
    --entry->timerCount;
    return S_OK;
}

} // namespace

HRESULT CreateApplicationObject(REFIID iid, void** out)
{
    return CreateAutomationObject<ApplicationObject>(iid, out);
}

void FireOnAppTimer(UINT_PTR timerId)
{
    ComPtr<IDispatch> sink = ApplicationSinks().TimerSink(static_cast<uint32_t>(timerId));
    if (!sink) return;  // a timer of no sink raises nothing
    VARIANTARG argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_I4;
    V_I4(&argument) = static_cast<LONG>(timerId);
    RaiseEvent(sink.get(), kOnAppTimer, &argument, 1);
}
