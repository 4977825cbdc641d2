#include "automation/automation_error.h"

#include <ole2.h>

#include <cstdarg>
#include <string>

#include "automation/com_object.h"
#include "base/catalogue.h"
#include "base/owners.h"
#include "base/text.h"
#include "settings/help.h"

namespace {

struct SourceRow {
    const wchar_t* name;
    const IID* iid;
};
const SourceRow kSources[] = {
    {L"Vorlin2.Application", &IID_IApplication},
    {L"Vorlin2.Port", &IID_IPort},
    {L"Vorlin2.DeviceControlBlock", &IID_IDeviceControlBlock},
    {L"Vorlin2.CommTimeouts", &IID_ICommTimeouts},
    {L"Vorlin2.CommProp", &IID_ICommProp},
    {L"Vorlin2.DeviceQueue", &IID_IDeviceQueue},
};

constexpr size_t kTextSize = 512;
constexpr size_t kHelpPathLimit = 259;

} // namespace

HRESULT RaiseAutomationError(ErrorSource source, unsigned number, DWORD helpContext, ...)
{
    char text[kTextSize];
    va_list args;
    va_start(args, helpContext);
    FormatCatalogueMessageV(text, sizeof text, number, args);
    va_end(args);

    const SourceRow& row = kSources[static_cast<size_t>(source)];
    ComPtr<ICreateErrorInfo> error;
    if (SUCCEEDED(CreateErrorInfo(error.put()))) {
        // The catalogue's texts are Shift_JIS whatever the system's code page.
        std::wstring description = SjisToWide(text).substr(0, kTextSize - 1);
        error->SetGUID(*row.iid);
        error->SetSource(const_cast<LPOLESTR>(row.name));
        error->SetDescription(description.data());
        if (helpContext) {
            std::wstring helpFile = SjisToWide(GetHelpFile()).substr(0, kHelpPathLimit);
            error->SetHelpFile(helpFile.data());
            error->SetHelpContext(helpContext);
        }
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(error->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put()))))
            SetErrorInfo(0, info.get());
    }
    return static_cast<HRESULT>(0x80040000u | (number & 0xFFFF));
}
