#include "settings/ini_file.h"

#include <windows.h>

#include <algorithm>

#include "base/text.h"

namespace {

// A settings file is small; one far larger is not ours to load whole.
constexpr LONGLONG kMaxFileSize = 16 << 20;
constexpr int kOpenTries = 100;
constexpr DWORD kOpenRetryMs = 10;

struct Line {
    std::string_view text;  // without its line break
    size_t begin;           // where it starts in the whole text
    size_t next;            // where the line after it starts
};

// Calls `visit` for each line until it returns false.
template <class Visit>
void ForEachLine(std::string_view text, Visit&& visit)
{
    for (size_t pos = 0; pos < text.size();) {
        size_t newline = text.find('\n', pos);
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        if (end > pos && text[end - 1] == '\r') --end;
        if (!visit(Line{text.substr(pos, end - pos), pos, next})) return;
        pos = next;
    }
}

std::string_view Trim(std::string_view s)
{
    size_t first = s.find_first_not_of(" \t");
    // An all-blank value is empty but still lies in the text, as every other
    // value does: a caller may take its place as well as its length.
    if (first == std::string_view::npos) return s.substr(s.size());
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsSjisLeadByte(static_cast<uint8_t>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// The name of a "[name]" line; a ']' that is a trail byte does not end it.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line[0] != '[') return std::nullopt;
    size_t i = 1;
    while (i < line.size() && line[i] != ']') i += IsSjisLeadByte(static_cast<uint8_t>(line[i])) ? 2 : 1;
    return Trim(line.substr(1, std::min(i, line.size()) - 1));
}

// The key of a "key=value" line and where its '=' stands ('=' is never a
// trail byte); no key for comments and lines without one.
std::string_view KeyOf(std::string_view line, size_t& equals)
{
    equals = line.find('=');
    std::string_view trimmed = Trim(line);
    if (equals == std::string_view::npos || trimmed.empty() || trimmed[0] == ';') return {};
    return Trim(line.substr(0, equals));
}

std::string_view Unquoted(std::string_view value)
{
    if (value.size() > 1 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// A writer holds the file alone, so that no reader (another instance of the
// program, or the log thread) sees half a write; whoever finds the file
// taken waits its turn, as a write takes milliseconds.
HANDLE OpenIni(const char* path, DWORD access, DWORD share, DWORD disposition)
{
    for (int tries = 1;; ++tries) {
        HANDLE file = CreateFileSjis(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || tries == kOpenTries)
            return file;
        Sleep(kOpenRetryMs);
    }
}

bool ReadAll(HANDLE file, std::string& text)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return false;
    if (size.QuadPart > kMaxFileSize) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!text.empty() && !ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) return false;
    text.resize(got);
    return true;
}

} // namespace

std::optional<std::string_view> FindIniValue(std::string_view text, std::string_view section, std::string_view key)
{
    section = Trim(section);
    key = Trim(key);
    std::optional<std::string_view> value;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (std::optional<std::string_view> name = SectionName(line.text)) {
            if (inSection) return false;  // only the first section of the name counts
            inSection = SameName(*name, section);
            return true;
        }
        size_t equals;
        if (!inSection || !SameName(KeyOf(line.text, equals), key) || key.empty()) return true;
        value = Unquoted(Trim(line.text.substr(equals + 1)));
        return false;
    });
    return value;
}

void SetIniValue(std::string& text, std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty()) return;
    value = value.substr(0, value.find_first_of("\r\n"));
    bool inSection = false, sectionFound = false;
    size_t replaceAt = std::string::npos, replaceLength = 0, insertAt = 0;
    ForEachLine(text, [&](const Line& line) {
        if (std::optional<std::string_view> name = SectionName(line.text)) {
            if (inSection) return false;
            inSection = SameName(*name, section);
            if (inSection) {
                sectionFound = true;
                insertAt = line.next;
            }
            return true;
        }
        size_t equals;
        std::string_view lineKey = inSection ? KeyOf(line.text, equals) : std::string_view();
        if (lineKey.empty()) return true;
        if (SameName(lineKey, key)) {
            replaceAt = line.begin + equals + 1;
            replaceLength = line.text.size() - equals - 1;
            return false;
        }
        insertAt = line.next;
        return true;
    });
    if (replaceAt != std::string::npos) {
        text.replace(replaceAt, replaceLength, value);
        return;
    }
    std::string added = std::string(key) + "=" + std::string(value) + "\r\n";
    if (!sectionFound) {
        added = "[" + std::string(section) + "]\r\n" + added;
        insertAt = text.size();
    }
    // The line before the new one may be the last and without a line break.
    if (insertAt == text.size() && !text.empty() && text.back() != '\n') {
        text += "\r\n";
        insertAt = text.size();
    }
    text.insert(insertAt, added);
}

void ReadIniText(const char* path, const char* section, const char* key, const char* fallback, char* out,
                 size_t size)
{
    std::string text;
    std::optional<std::string_view> value;
    HANDLE file = section && key ? OpenIni(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) {
        if (ReadAll(file, text)) value = FindIniValue(text, section, key);
        CloseHandle(file);
    }
    CopySjis(out, size, value ? *value : std::string_view(fallback ? fallback : ""));
}

bool WriteIniText(const char* path, const char* section, const char* key, const char* value)
{
    if (!section || !key) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HANDLE file = OpenIni(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text;
    bool ok = ReadAll(file, text);
    if (ok) {
        std::string changed = text;
        SetIniValue(changed, section, key, value ? value : "");
        LARGE_INTEGER start{};
        DWORD written = 0;
        if (changed != text)
            ok = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
                 WriteFile(file, changed.data(), static_cast<DWORD>(changed.size()), &written, nullptr) &&
                 written == changed.size() && SetEndOfFile(file);
    }
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok) SetLastError(error);
    return ok;
}
