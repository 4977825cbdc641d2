#include "shell/message_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "logview/text_utils.h"

namespace {

bool IsLead(char c) { return IsDBCSLeadByteEx(932, static_cast<BYTE>(c)); }

// The inserts of each message the program shows, as its callers pass them.
struct MessageInserts {
    uint32_t first;
    uint32_t last;
    const char* inserts;
};

const MessageInserts kMessageInserts[] = {
    {1, 44, ""},        // toolbar tooltips and customisation texts
    {1001, 1002, ""},   // automation server registered / unregistered
    {2001, 2003, ""},   // no send files; no instance chosen; tunnel full
    {2004, 2004, "d"},  // send forms: line number
    {2005, 2008, "ds"}, // line number, the token or name
    {2009, 2010, "d"},
    {2011, 2011, "dd"}, // line number, 32
    {2012, 2013, "d"},
    {2014, 2014, "ds"}, // line number, the attribute's name
    {2015, 2015, "d"},
    {2016, 2016, ""},   // send forms: the file cannot be read
    {2017, 2017, "dd"}, // send forms: line number, the most fields a form holds
    {2018, 2018, "d"},  // the smallest record count
    {2019, 2020, ""},
    {2021, 2021, "s"},  // port name
    {2022, 2022, ""},
    {2023, 2023, "dd"}, // wheel multiplier range
    {2024, 2025, ""},
    {2026, 2026, "s"},  // log file path
    {3001, 3001, ""},
    {4001, 4001, ""},
    {4011, 4011, ""},
    {4101, 4101, ""},
    {4102, 4102, "d"},  // the timer limit
    {4103, 4103, "d"},  // the timer identifier
    {4104, 4118, ""},
};

} // namespace

std::vector<uint32_t> UsedMessageNumbers()
{
    std::vector<uint32_t> numbers;
    for (const MessageInserts& m : kMessageInserts)
        for (uint32_t i = m.first; i <= m.last; ++i) numbers.push_back(i);
    return numbers;
}

bool ParseMessageLine(char* line, uint32_t& number, char*& text)
{
    number = 0;
    text = line;
    if (line[0] == '#') return false;
    TrimTrailingSpace(line);
    char* p = line;
    if (*p >= '0' && *p <= '9') {
        uint64_t value = 0;
        for (; *p >= '0' && *p <= '9'; ++p) value = std::min<uint64_t>(value * 10 + (*p - '0'), UINT32_MAX);
        number = static_cast<uint32_t>(value);
        // The separator is one character; a double-byte one counts whole.
        if (*p) p += IsLead(*p) && p[1] ? 2 : 1;
    }
    text = p;
    return true;
}

void UnescapeMessageText(char* text)
{
    char* out = text;
    for (const char* in = text; *in;) {
        if (IsLead(*in) && in[1]) {
            *out++ = *in++;
            *out++ = *in++;
        } else if (*in == '\\' && in[1]) {
            char c = in[1];
            in += 2;
            if (c == '0') break;
            *out++ = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            *out++ = *in++;
        }
    }
    *out = 0;
}

bool FormatInserts(const char* text, char* inserts, size_t size)
{
    size_t n = 0;
    if (size) inserts[0] = 0;
    for (const char* p = text; *p; ++p) {
        if (IsLead(*p) && p[1]) {
            ++p;
            continue;
        }
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && strchr("-+ #0", *p)) ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        char kind;
        if (*p && strchr("diuxXc", *p))
            kind = 'd';
        else if (*p == 's')
            kind = 's';
        else
            return false;
        if (n + 1 >= size) return false;
        inserts[n++] = kind;
        inserts[n] = 0;
    }
    return true;
}

const char* ExpectedInserts(uint32_t number)
{
    for (const MessageInserts& m : kMessageInserts)
        if (number >= m.first && number <= m.last) return m.inserts;
    return nullptr;
}

size_t CutText(char* text, size_t limit)
{
    size_t i = 0;
    while (text[i] && i < limit) {
        // A lead byte without its trail byte is dropped as well.
        size_t step = IsLead(text[i]) ? 2 : 1;
        if (i + step > limit || (step == 2 && !text[i + 1])) break;
        i += step;
    }
    text[i] = 0;
    return i;
}
