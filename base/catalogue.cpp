#include "base/catalogue.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/message_file.h"
#include "base/text.h"
#include "resources/resource.h"

// The catalogue is filled by the main thread at start-up and freed at
// shutdown after the other threads have ended; in between every thread
// (the log thread reports a log file it cannot open) only reads it.

namespace {

constexpr size_t kEntryTextSize = 260;
constexpr size_t kEntryTextLimit = 256;
constexpr size_t kReportSize = 512;

struct CatalogueEntry {
    uint32_t number;
    char text[kEntryTextSize];
};

std::vector<CatalogueEntry> g_catalogue;
char g_messageFile[MAX_PATH];
bool g_messageFileSet;

enum class LookupResult { Found, Fallback, OpenFailed };

void CopyText(char* out, size_t size, const char* text)
{
    if (!size) return;
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
    memset(out + n, 0, size - n);
}

ReportPresenter g_presenter;
void* g_presenterContext;

// Resources are linked into the program (and into each test program).
HINSTANCE ResourceInstance() { return GetModuleHandleW(nullptr); }

// A string resource in Shift_JIS, whatever the system's code page.
std::string LoadResourceText(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(ResourceInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return WideToSjis(std::wstring_view(text, static_cast<size_t>(length)));
}

} // namespace

void SystemErrorText(DWORD code, char* buffer, size_t size)
{
    if (!size) return;
    buffer[0] = 0;
    wchar_t wide[kReportSize];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), wide, kReportSize, nullptr);
    if (n && n < kReportSize) {
        CopySjis(buffer, size, WideToSjis(std::wstring_view(wide, n)));
        TrimTrailingSpace(buffer);  // the system ends its texts with a line break
        return;
    }
    std::string format = LoadResourceText(IDS_UNKNOWN_SYSTEM_ERROR);
    if (format.empty()) format = "%lu (0x%08lX)";
    snprintf(buffer, size, format.c_str(), static_cast<unsigned long>(code), static_cast<unsigned long>(code));
}

namespace {

// Reads a file line by line; a line longer than the buffer is cut there and
// its rest skipped, so it never turns into a line of its own.
class LineReader {
public:
    explicit LineReader(const char* path)
        : file_(CreateFileSjis(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~LineReader()
    {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }

    bool ReadLine(char* line, size_t size)
    {
        size_t n = 0;
        bool any = false;
        for (;;) {
            if (pos_ == length_ && !Fill()) break;
            any = true;
            char c = buffer_[pos_++];
            if (c == '\n') break;
            if (n + 1 < size) line[n++] = c;
        }
        line[n] = 0;
        return any;
    }

private:
    bool Fill()
    {
        DWORD got = 0;
        if (!ReadFile(file_, buffer_, sizeof buffer_, &got, nullptr) || got == 0) return false;
        pos_ = 0;
        length_ = got;
        return true;
    }

    HANDLE file_;
    char buffer_[4096];
    size_t pos_ = 0;
    size_t length_ = 0;
};

const char* MessageFile()
{
    if (!g_messageFileSet) {
        // The program's path with everything after its last full stop
        // replaced by "msg".
        char path[MAX_PATH] = {};
        std::string module = ModuleFileNameSjis();
        if (module.size() < sizeof path) memcpy(path, module.data(), module.size());
        char* dot = strrchr(path, '.');
        char* slash = strrchr(path, '\\');
        if (dot && (!slash || dot > slash) && static_cast<size_t>(dot - path) + 5 <= sizeof g_messageFile) {
            memcpy(dot + 1, "msg", 4);
            CopyText(g_messageFile, sizeof g_messageFile, path);
        }
        g_messageFileSet = true;
    }
    return g_messageFile;
}

void FallbackText(unsigned number, char* buffer, size_t size)
{
    std::string format = LoadResourceText(IDS_MESSAGE_NOT_FOUND);
    if (format.empty()) format = "%d: %s";
    snprintf(buffer, size, format.c_str(), static_cast<int>(number), MessageFile());
}

LookupResult LookupMessageText(unsigned number, char* buffer, size_t size)
{
    if (!size) return LookupResult::Fallback;
    if (number < 1000) {
        for (auto entry = g_catalogue.rbegin(); entry != g_catalogue.rend(); ++entry) {
            if (entry->number == number) {
                CopyText(buffer, size, entry->text);
                CutText(buffer, size - 1);
                return LookupResult::Found;
            }
        }
    }
    LineReader reader(MessageFile());
    if (!reader.IsOpen()) {
        SystemErrorText(GetLastError(), buffer, size);
        return LookupResult::OpenFailed;
    }
    FallbackText(number, buffer, size);
    CutText(buffer, size - 1);
    char line[kMessageLineSize + 1];
    while (reader.ReadLine(line, sizeof line)) {
        uint32_t lineNumber;
        char* text;
        if (!ParseMessageLine(line, lineNumber, text) || lineNumber != number) continue;
        CopyText(buffer, size, text);
        CutText(buffer, size - 1);
        return LookupResult::Found;
    }
    return LookupResult::Fallback;
}

} // namespace

const char kAppTitle[] = "通信リソース制御ユーティリティー『Vorlin2』";

const char* GetMessageFilePath() { return MessageFile(); }

void SetMessageFileForTesting(const char* path)
{
    g_messageFileSet = path != nullptr;
    CopyText(g_messageFile, sizeof g_messageFile, path ? path : "");
}

void LoadMessageCatalogue()
{
    FreeMessageCatalogue();
    LineReader reader(MessageFile());
    if (!reader.IsOpen()) return;
    char line[kMessageLineSize + 1];
    while (reader.ReadLine(line, sizeof line)) {
        uint32_t number;
        char* text;
        if (!ParseMessageLine(line, number, text) || number >= 1000) continue;
        CatalogueEntry entry{number, {}};
        CopyText(entry.text, kEntryTextLimit + 1, text);
        CutText(entry.text, kEntryTextLimit);
        UnescapeMessageText(entry.text);
        try {
            g_catalogue.push_back(entry);
        } catch (const std::bad_alloc&) {
            break;  // keep what was read
        }
    }
}

void FreeMessageCatalogue()
{
    std::vector<CatalogueEntry>().swap(g_catalogue);
}

void LookupMessage(unsigned number, char* buffer, size_t size)
{
    LookupMessageText(number, buffer, size);
}

void FormatCatalogueMessageV(char* buffer, size_t size, unsigned number, va_list args)
{
    if (!size) return;
    char format[kReportSize];
    if (LookupMessageText(number, format, sizeof format) != LookupResult::Found) {
        CopyText(buffer, size, format);
        CutText(buffer, size - 1);
        return;
    }
    UnescapeMessageText(format);
    // The file is the user's to edit: a conversion that does not match what
    // the caller passes would read arguments that are not there.
    char inserts[32];
    const char* expected = ExpectedInserts(number);
    bool usable = FormatInserts(format, inserts, sizeof inserts) && (!expected || strcmp(inserts, expected) == 0);
    int n = usable ? vsnprintf(buffer, size, format, args) : -1;
    if (n < 0)
        CopyText(buffer, size, format);
    CutText(buffer, size - 1);  // no half of a double-byte character at the cut
}

void FormatCatalogueMessage(char* buffer, size_t size, unsigned number, ...)
{
    va_list args;
    va_start(args, number);
    FormatCatalogueMessageV(buffer, size, number, args);
    va_end(args);
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    std::wstring wideText = SjisToWide(text ? text : "");
    std::wstring wideCaption = SjisToWide(caption ? caption : kAppTitle);
    MSGBOXPARAMSW params{};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.hInstance = ResourceInstance();
    params.lpszText = wideText.c_str();
    params.lpszCaption = wideCaption.c_str();
    params.dwStyle = (style & ~MB_ICONMASK) | MB_USERICON;
    params.lpszIcon = MAKEINTRESOURCEW(IDI_VORLIN);
    params.dwLanguageId = LANGIDFROMLCID(GetUserDefaultLCID());
    return MessageBoxIndirectW(&params);
}

void SetReportPresenter(ReportPresenter presenter, void* context)
{
    g_presenter = presenter;
    g_presenterContext = context;
}

namespace {

int Present(const ProblemReport& report)
{
    if (g_presenter) return g_presenter(g_presenterContext, report);
    return ShowMessageBox(report.owner, report.text, report.caption, report.style);
}

} // namespace

int ShowMessage(HWND owner, const char* caption, unsigned number, UINT style, ...)
{
    char text[kReportSize];
    va_list args;
    va_start(args, style);
    FormatCatalogueMessageV(text, sizeof text, number, args);
    va_end(args);
    return Present({owner, number, 0, text, caption, style});
}

int ShowSystemError(HWND owner, const char* caption, DWORD code)
{
    char text[kReportSize];
    SystemErrorText(code, text, sizeof text);
    return Present({owner, 0, code, text, caption, MB_OK});
}
