#include "sending/send_forms.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "serial/engine.h"
#include "settings/settings_store.h"
#include "base/catalogue.h"
#include "base/text.h"

namespace {

char g_dataDirectory[MAX_PATH];

// The button-file list. Main thread only.
struct ButtonFileList {
    char names[kMaxButtonFiles][kMaxFileName + 1];
    int count;
    int current;  // -1: none
};
ButtonFileList g_buttonFiles{{}, 0, -1};

constexpr size_t kMaxToken = 1023;
constexpr size_t kMaxAttributeName = 255;
constexpr size_t kMaxAttributeValue = 511;
constexpr size_t kMaxDataValue = 8191;

constexpr const char* kEditStyles[] = {"STATIC", "TEXT", "MULTILINETEXT"};
constexpr const char* kComboStyles[] = {"DROPDOWN", "DROPDOWNLIST"};
constexpr const char* kConversions[] = {"SJIS", "BIN", "OCT", "HEX"};

struct AttributeName {
    const char* name;
    uint32_t bit;
};
// Tested in this order when the line ends; DATA is optional.
constexpr AttributeName kAttributes[] = {
    {"STYLE", ATTR_STYLE}, {"TITLE", ATTR_TITLE}, {"CONVERT", ATTR_CONVERT},
    {"LENGTH", ATTR_LENGTH}, {"DATA", ATTR_DATA}, {"LINES", ATTR_LINES},
};
constexpr uint32_t kRequired[] = {ATTR_STYLE, ATTR_TITLE, ATTR_CONVERT, ATTR_LENGTH};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

template <size_t N>
int FindNoCase(const char* const (&table)[N], std::string_view text)
{
    for (size_t i = 0; i < N; ++i)
        if (EqualsNoCase(table[i], text)) return static_cast<int>(i);
    return -1;
}

std::string_view TrimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

std::string_view TrimTrailingBlanks(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// The leading decimal number, held at the largest 32-bit value instead of
// wrapping round.
uint32_t LeadingNumber(std::string_view text)
{
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(value);
}

// Removes a leading quote, then a trailing one, then halves doubled quotes.
std::string UnquoteValue(std::string_view value)
{
    if (!value.empty() && value.front() == '"') value.remove_prefix(1);
    if (!value.empty() && value.back() == '"') value.remove_suffix(1);
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (IsSjisLeadByte(static_cast<uint8_t>(value[i])) && i + 1 < value.size()) {
            out += value[i];
            out += value[++i];
            continue;
        }
        out += value[i];
        if (value[i] == '"' && i + 1 < value.size() && value[i + 1] == '"') ++i;
    }
    return out;
}

// Index of the last ']' of a header line that is a character of its own.
size_t LastClosingBracket(std::string_view line)
{
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < line.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(line[i]);
        if (IsSjisLeadByte(c) && i + 1 < line.size()) {
            ++i;
            continue;
        }
        if (c == ']') found = i;
    }
    return found;
}

// A section header gives its name; other lines give nothing.
bool SectionHeaderName(std::string_view line, std::string& name)
{
    line = TrimLineEnd(line);
    if (line.empty() || line.front() != '[') return false;
    size_t close = LastClosingBracket(line);
    if (close == std::string_view::npos || close == 0) return false;
    if (close + 1 >= static_cast<size_t>(kMaxSectionHeader)) return false;
    name.assign(line.substr(1, close - 1));
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

void Report(std::vector<FormMessage>& messages, unsigned number, int line, std::string_view text = {}, int value = 0)
{
    messages.push_back(FormMessage{number, line, std::string(text), value});
}

// Reads one digit group of `base` and returns its low eight bits. Reading
// stops at the first character that is no digit of the base.
uint8_t DigitGroupValue(std::string_view group, unsigned base)
{
    unsigned value = 0;
    for (char c : group) {
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else break;
        if (digit >= base) break;
        value = (value * base + digit) & 0xFFFF;
    }
    return static_cast<uint8_t>(value & 0xFF);
}

// Groups of `width` characters, one byte each, never more than `share` bytes.
void DigitGroupsToBytes(std::string_view text, size_t width, unsigned base, uint8_t* out, size_t share)
{
    for (size_t i = 0; i < share && i * width < text.size(); ++i)
        out[i] = DigitGroupValue(text.substr(i * width, width), base);
}

size_t CeilDiv(uint64_t value, uint64_t by) { return static_cast<size_t>((value + by - 1) / by); }

uint64_t ShareOf(uint32_t conversion, uint32_t length)
{
    switch (conversion) {
    case CONVERT_BIN: return (static_cast<uint64_t>(length) + 7) / 8;
    case CONVERT_OCT: return (static_cast<uint64_t>(length) + 3) / 4;
    case CONVERT_HEX: return (static_cast<uint64_t>(length) + 1) / 2;
    default: return length;
    }
}

void ShowFormMessage(HWND owner, const FormMessage& m)
{
    switch (m.number) {
    case MSG_FORM_BAD_KIND: case MSG_FORM_BAD_PAIR: case MSG_FORM_TWICE: case MSG_FORM_BAD_NAME: case MSG_FORM_MISSING:
        ShowMessage(owner, kAppTitle, m.number, MB_OK | MB_ICONEXCLAMATION, m.line, m.text.c_str());
        break;
    case MSG_FORM_LONG_TITLE: case MSG_FORM_TOO_MANY_FIELDS:
        ShowMessage(owner, kAppTitle, m.number, MB_OK | MB_ICONEXCLAMATION, m.line, m.value);
        break;
    default:
        ShowMessage(owner, kAppTitle, m.number, MB_OK | MB_ICONEXCLAMATION, m.line);
        break;
    }
}

} // namespace

// ---- data folder ------------------------------------------------------

void LocateDataDirectory()
{
    char name[MAX_PATH];
    LoadDataDirectory(name, sizeof name);
    if (!name[0]) CopySjis(name, sizeof name, "data");
    std::string found = SearchPathSjis(name);
    CopySjis(g_dataDirectory, sizeof g_dataDirectory, found.size() < sizeof g_dataDirectory ? found : "");
}

const char* GetDataDirectory() { return g_dataDirectory; }

void SetDataDirectory(const char* folder)
{
    CopySjis(g_dataDirectory, sizeof g_dataDirectory, folder ? folder : "");
}

// ---- plain text functions ---------------------------------------------


bool EndsWithBackslash(std::string_view text)
{
    bool last = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsSjisLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size()) {
            ++i;
            last = false;
            continue;
        }
        last = text[i] == '\\';
    }
    return last;
}

bool JoinPath(const char* folder, const char* name, char* buffer, size_t size)
{
    if (!size) return false;
    buffer[0] = 0;
    const char* separator = (!folder[0] || EndsWithBackslash(folder)) ? "" : "\\";
    int n = snprintf(buffer, size, "%s%s%s", folder, separator, name);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buffer[0] = 0;
        return false;
    }
    return true;
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        size_t take = end == std::string_view::npos ? text.size() : end + 1;
        if (take > kLineBufferSize - 1) take = kLineBufferSize - 1;
        lines.emplace_back(text.substr(0, take));
        text.remove_prefix(take);
    }
    return lines;
}

bool ReadTextLines(const char* path, std::vector<std::string>& lines)
{
    lines.clear();
    FILE* file = _wfopen(SjisToWide(path).c_str(), L"r");
    if (!file) return false;
    std::vector<char> buffer(kLineBufferSize);
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), file)) lines.emplace_back(buffer.data());
    fclose(file);
    return true;
}

std::vector<ButtonEntry> ParseButtonEntries(const std::vector<std::string>& lines)
{
    std::vector<ButtonEntry> entries;
    for (const std::string& line : lines) {
        if (entries.size() >= static_cast<size_t>(kMaxButtonEntries)) break;
        if (line.empty() || line[0] == '#') continue;
        size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        std::string_view rest(line);
        entries.push_back(ButtonEntry{line.substr(0, comma), std::string(TrimTrailingBlanks(rest.substr(comma + 1)))});
    }
    return entries;
}

std::vector<uint8_t> ButtonDataToBytes(std::string_view text)
{
    std::vector<uint8_t> bytes(CeilDiv(text.size(), 2));
    DigitGroupsToBytes(text, 2, 16, bytes.data(), bytes.size());
    return bytes;
}

std::vector<std::string> ListSectionNames(const std::vector<std::string>& lines)
{
    std::vector<std::string> shown;
    std::string name;
    for (const std::string& line : lines) {
        if (!SectionHeaderName(line, name)) continue;
        bool repeated = false;
        int beginning = 0;
        for (const std::string& s : shown) {
            if (EqualsNoCase(s, name)) repeated = true;
            if (StartsWithNoCase(s, name)) ++beginning;
        }
        if (repeated) {
            char suffix[16];
            snprintf(suffix, sizeof suffix, "[%d]", beginning + 1);
            name += suffix;
        }
        shown.push_back(name);
    }
    return shown;
}

std::vector<std::string> TokenizeDefinitionLine(std::string_view line)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::string token;
        bool quoted = false;
        while (i < line.size()) {
            char c = line[i];
            if (IsSjisLeadByte(static_cast<uint8_t>(c)) && i + 1 < line.size()) {
                token += c;
                token += line[i + 1];
                i += 2;
                continue;
            }
            if (!quoted && IsBlank(c)) break;
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    token += "\"\"";
                    i += 2;
                    continue;
                }
                quoted = !quoted;
            }
            token += c;
            ++i;
        }
        if (token.size() > kMaxToken) {
            // A token too long for the reader ends the line, unless nothing
            // but blanks follows it: the last token is cut instead.
            size_t rest = i;
            while (rest < line.size() && IsBlank(line[rest])) ++rest;
            if (rest < line.size()) break;
            token.resize(kMaxToken);
            tokens.push_back(std::move(token));
            break;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool ParseDefinitionLine(std::string_view line, int lineNumber, FormField& field, std::vector<FormMessage>& messages)
{
    std::vector<std::string> tokens = TokenizeDefinitionLine(line);
    if (tokens.empty()) {
        Report(messages, MSG_FORM_NO_KIND, lineNumber);
        return false;
    }
    if (EqualsNoCase(tokens[0], "EDIT")) field.kind = FIELD_EDIT;
    else if (EqualsNoCase(tokens[0], "COMBO")) field.kind = FIELD_COMBO;
    else {
        Report(messages, MSG_FORM_BAD_KIND, lineNumber, tokens[0]);
        return false;
    }

    for (size_t t = 1; t < tokens.size(); ++t) {
        const std::string& token = tokens[t];
        size_t eq = token.find('=');
        if (eq == std::string::npos || eq > kMaxAttributeName) {
            Report(messages, MSG_FORM_BAD_PAIR, lineNumber, token);
            return false;
        }
        std::string_view name(token.data(), eq);
        const AttributeName* attribute = nullptr;
        for (const AttributeName& a : kAttributes)
            if (name == a.name) attribute = &a;
        if (!attribute) {
            Report(messages, MSG_FORM_BAD_NAME, lineNumber, name);
            Report(messages, MSG_FORM_BAD_PAIR, lineNumber, token);
            return false;
        }
        if (field.attributes & attribute->bit) {
            Report(messages, MSG_FORM_TWICE, lineNumber, token);
            return false;
        }
        std::string_view raw = std::string_view(token).substr(eq + 1);
        raw = raw.substr(0, attribute->bit == ATTR_DATA ? kMaxDataValue : kMaxAttributeValue);
        std::string value = UnquoteValue(raw);

        bool valid = true;
        switch (attribute->bit) {
        case ATTR_STYLE: {
            int style = field.kind == FIELD_EDIT ? FindNoCase(kEditStyles, value) : FindNoCase(kComboStyles, value);
            if (style < 0) {
                Report(messages, MSG_FORM_BAD_STYLE, lineNumber);
                valid = false;
            } else {
                field.style = static_cast<uint32_t>(style);
            }
            break;
        }
        case ATTR_TITLE:
            if (value.size() >= static_cast<size_t>(kFieldTitleSize)) {
                // Cut on a character boundary: never half a double-byte character.
                size_t cut = 0;
                while (cut < value.size()) {
                    size_t step = IsSjisLeadByte(static_cast<uint8_t>(value[cut])) ? 2 : 1;
                    if (cut + step > static_cast<size_t>(kFieldTitleSize - 1)) break;
                    cut += step;
                }
                value.resize(cut);
                Report(messages, MSG_FORM_LONG_TITLE, lineNumber, {}, kFieldTitleSize);
            }
            memcpy(field.title, value.c_str(), value.size() + 1);
            break;
        case ATTR_CONVERT: {
            int conversion = FindNoCase(kConversions, value);
            if (conversion < 0) {
                Report(messages, MSG_FORM_BAD_CONVERT, lineNumber);
                valid = false;
            } else {
                field.conversion = static_cast<uint32_t>(conversion);
            }
            break;
        }
        case ATTR_LENGTH:
            if (value.empty() || value[0] < '0' || value[0] > '9') {
                Report(messages, MSG_FORM_LENGTH_DIGIT, lineNumber);
                valid = false;
            } else {
                // An input control holds no more than 8191 characters; a
                // larger length would only inflate the block with zeros.
                field.length = LeadingNumber(value);
                if (field.length > static_cast<uint32_t>(kMaxFieldLength)) {
                    // The pair itself is well formed: say what is wrong with it.
                    Report(messages, MSG_FORM_LENGTH_TOO_LARGE, lineNumber, {}, kMaxFieldLength);
                    return false;
                }
            }
            break;
        case ATTR_DATA:
            memcpy(field.data, value.c_str(), value.size() + 1);
            break;
        case ATTR_LINES:
            if (value.empty() || value[0] < '0' || value[0] > '9') {
                Report(messages, MSG_FORM_LINES_DIGIT, lineNumber);
                valid = false;
            } else {
                field.lines = LeadingNumber(value);
            }
            break;
        }
        if (!valid) {
            Report(messages, MSG_FORM_BAD_PAIR, lineNumber, token);
            return false;
        }
        field.attributes |= attribute->bit;
    }

    for (uint32_t bit : kRequired) {
        if (field.attributes & bit) continue;
        for (const AttributeName& a : kAttributes)
            if (a.bit == bit) Report(messages, MSG_FORM_MISSING, lineNumber, a.name);
        return false;
    }
    if ((field.attributes & ATTR_LINES) && !(field.kind == FIELD_EDIT && field.style == EDIT_MULTILINETEXT)) {
        Report(messages, MSG_FORM_LINES_IGNORED, lineNumber);
        field.attributes &= ~ATTR_LINES;
        field.lines = 0;
    }
    return true;
}

bool ParseFormSection(const std::vector<std::string>& lines, int sectionIndex, MultiEditForm& form,
                      std::vector<FormMessage>& messages)
{
    HWND owner = form.owner;
    memset(&form, 0, sizeof form);
    form.owner = owner;
    if (sectionIndex < 0) return false;

    std::string name;
    size_t i = 0;
    int header = -1;
    for (; i < lines.size(); ++i) {
        if (SectionHeaderName(lines[i], name) && ++header == sectionIndex) break;
    }
    if (i >= lines.size()) return false;

    bool good = true;
    for (++i; i < lines.size(); ++i) {
        if (SectionHeaderName(lines[i], name)) break;
        std::string_view line = TrimLineEnd(lines[i]);
        if (!line.empty() && line[0] == '#') continue;
        bool blank = true;
        for (char c : line) blank = blank && IsBlank(c);
        if (blank) continue;

        int lineNumber = static_cast<int>(i + 1);
        if (form.fieldCount >= static_cast<uint32_t>(kMaxFormFields)) {
            Report(messages, MSG_FORM_TOO_MANY_FIELDS, lineNumber, {}, kMaxFormFields);
            good = false;
            break;
        }
        FormField& field = form.fields[form.fieldCount];
        if (!ParseDefinitionLine(line, lineNumber, field, messages)) {
            good = false;
            break;
        }
        field.controlId = kFieldControlBase + form.fieldCount;
        ++form.fieldCount;
    }
    if (!good) {
        memset(&form, 0, sizeof form);
        form.owner = owner;
    }
    return good;
}

uint64_t MultiEditFormByteCount(const MultiEditForm& form)
{
    uint64_t total = 0;
    for (uint32_t i = 0; i < form.fieldCount && i < static_cast<uint32_t>(kMaxFormFields); ++i)
        total += ShareOf(form.fields[i].conversion, form.fields[i].length);
    return total;
}

size_t FieldShare(const FormField& field) { return static_cast<size_t>(ShareOf(field.conversion, field.length)); }

void FieldTextToBytes(const FormField& field, std::string_view text, uint8_t* share)
{
    size_t size = FieldShare(field);
    memset(share, 0, size);
    if (text.size() > field.length) text = text.substr(0, field.length);
    switch (field.conversion) {
    case CONVERT_BIN: DigitGroupsToBytes(text, 8, 2, share, size); break;
    case CONVERT_OCT: DigitGroupsToBytes(text, 4, 8, share, size); break;
    case CONVERT_HEX: DigitGroupsToBytes(text, 2, 16, share, size); break;
    default: memcpy(share, text.data(), text.size()); break;
    }
}

bool BuildFormBytesFromTexts(const MultiEditForm& form, const std::vector<std::string>& texts, uint8_t* buffer,
                             size_t size)
{
    if (texts.size() < form.fieldCount || MultiEditFormByteCount(form) > size) return false;
    memset(buffer, 0, size);
    size_t at = 0;
    for (uint32_t i = 0; i < form.fieldCount; ++i) {
        FieldTextToBytes(form.fields[i], texts[i], buffer + at);
        at += FieldShare(form.fields[i]);
    }
    return true;
}

// ---- files and windows ------------------------------------------------

std::vector<std::string> FindDataFiles(const char* extension, size_t limit)
{
    std::vector<std::string> names;
    char pattern[MAX_PATH], wildcard[32], path[MAX_PATH];
    snprintf(wildcard, sizeof wildcard, "*.%s", extension);
    if (!g_dataDirectory[0] || !JoinPath(g_dataDirectory, wildcard, pattern, sizeof pattern)) return names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(SjisToWide(pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // A name that cannot be opened from the data folder is of no use.
        std::string name = PathToSjis(found.cFileName);
        if (name.empty() || name.size() > static_cast<size_t>(kMaxFileName) ||
            !JoinPath(g_dataDirectory, name.c_str(), path, sizeof path))
            continue;
        names.push_back(name);
    } while (names.size() < limit && FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

int ListButtonFiles()
{
    char previous[kMaxFileName + 1] = "";
    if (g_buttonFiles.current >= 0 && g_buttonFiles.current < g_buttonFiles.count)
        CopySjis(previous, sizeof previous, g_buttonFiles.names[g_buttonFiles.current]);

    std::vector<std::string> names = FindDataFiles("txt", kMaxButtonFiles);
    g_buttonFiles.count = 0;
    g_buttonFiles.current = -1;
    for (const std::string& name : names) {
        CopySjis(g_buttonFiles.names[g_buttonFiles.count], kMaxFileName + 1, name);
        if (previous[0] && lstrcmpiW(SjisToWide(previous).c_str(), SjisToWide(name).c_str()) == 0)
            g_buttonFiles.current = g_buttonFiles.count;
        ++g_buttonFiles.count;
    }
    if (g_buttonFiles.current < 0 && g_buttonFiles.count > 0) g_buttonFiles.current = 0;
    return g_buttonFiles.count;
}

const char* GetButtonFileName(int index)
{
    return index >= 0 && index < g_buttonFiles.count ? g_buttonFiles.names[index] : nullptr;
}

int GetCurrentButtonFile() { return g_buttonFiles.current; }

bool SetCurrentButtonFile(int index)
{
    if (index < 0 || index >= g_buttonFiles.count) return false;
    g_buttonFiles.current = index;
    return true;
}

bool ReadButtonEntry(int fileIndex, int entryIndex, ButtonEntry& entry)
{
    const char* name = GetButtonFileName(fileIndex);
    char path[MAX_PATH];
    if (!name || entryIndex < 0 || entryIndex >= kMaxButtonEntries) return false;
    if (!JoinPath(g_dataDirectory, name, path, sizeof path)) return false;
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) return false;
    std::vector<ButtonEntry> entries = ParseButtonEntries(lines);
    if (static_cast<size_t>(entryIndex) >= entries.size()) return false;
    entry = entries[entryIndex];
    return true;
}

int ListFormFiles(HWND fileBox)
{
    SendMessageW(fileBox, CB_RESETCONTENT, 0, 0);
    std::vector<std::string> names = FindDataFiles("dat", static_cast<size_t>(-1));
    for (const std::string& name : names)
        SendMessageW(fileBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SjisToWide(name).c_str()));
    if (!names.empty()) SendMessageW(fileBox, CB_SETCURSEL, 0, 0);
    return static_cast<int>(names.size());
}

int ListFormSections(HWND fileBox, HWND sectionBox)
{
    SendMessageW(sectionBox, CB_RESETCONTENT, 0, 0);
    LRESULT selected = SendMessageW(fileBox, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return 0;
    LRESULT length = SendMessageW(fileBox, CB_GETLBTEXTLEN, selected, 0);
    if (length == CB_ERR || length > kMaxFileName) return 0;
    wchar_t wideName[kMaxFileName + 1] = L"";
    SendMessageW(fileBox, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(wideName));
    char name[kMaxFileName + 1] = "", path[MAX_PATH];
    CopySjis(name, sizeof name, WideToSjis(wideName));
    std::vector<std::string> lines;
    if (!JoinPath(g_dataDirectory, name, path, sizeof path) || !ReadTextLines(path, lines)) return 0;
    std::vector<std::string> sections = ListSectionNames(lines);
    for (const std::string& section : sections)
        SendMessageW(sectionBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SjisToWide(section).c_str()));
    if (!sections.empty()) SendMessageW(sectionBox, CB_SETCURSEL, 0, 0);
    return static_cast<int>(sections.size());
}

bool LoadMultiEditForm(const char* fileName, int sectionIndex, MultiEditForm& form)
{
    char path[MAX_PATH];
    std::vector<std::string> lines;
    std::vector<FormMessage> messages;
    if (!JoinPath(g_dataDirectory, fileName, path, sizeof path) || !ReadTextLines(path, lines)) {
        ParseFormSection({}, -1, form, messages);  // empties the store
        return false;
    }
    bool parsed = ParseFormSection(lines, sectionIndex, form, messages);
    for (const FormMessage& m : messages) ShowFormMessage(form.owner, m);
    return parsed;
}

bool BuildMultiEditFormBytes(const MultiEditForm& form, uint8_t* buffer, size_t size)
{
    std::vector<std::string> texts;
    std::vector<char> text(kFieldDataSize);
    for (uint32_t i = 0; i < form.fieldCount; ++i) {
        HWND input = form.fields[i].inputWindow;
        if (!input || !IsWindow(input)) return false;
        // As many bytes as the field holds, cut at a whole character.
        CopySjis(text.data(), text.size(), GetWindowTextSjis(input));
        texts.emplace_back(text.data());
    }
    return BuildFormBytesFromTexts(form, texts, buffer, size);
}

DWORD MakeMultiEditFormBlock(const MultiEditForm& form, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    uint64_t count = MultiEditFormByteCount(form);
    // A write request counts its bytes in 32 bits.
    if (count > std::numeric_limits<uint32_t>::max() - sizeof(SendRequest) - 3) return ERROR_OUTOFMEMORY;
    if (count == 0) return 0;
    try {
        bytes.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
    if (!BuildMultiEditFormBytes(form, bytes.data(), bytes.size())) bytes.clear();
    return 0;
}

DWORD SendMultiEditForm(HWND owner, const MultiEditForm& form, bool asynchronous)
{
    std::vector<uint8_t> bytes;
    DWORD error = MakeMultiEditFormBlock(form, bytes);
    if (!error && !bytes.empty()) error = SubmitSend(bytes.data(), static_cast<uint32_t>(bytes.size()), asynchronous);
    if (error) ShowSystemError(owner, kAppTitle, error);
    return error;
}
