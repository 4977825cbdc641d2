#include "base/message_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/messages.h"
#include "base/text.h"

namespace {

bool IsLead(char c) { return IsSjisLeadByte(static_cast<uint8_t>(c)); }

// The inserts of each message the program shows, as its callers pass them.
struct MessageInserts {
    uint32_t first;
    uint32_t last;
    const char* inserts;
};

const MessageInserts kMessageInserts[] = {
    {MSG_TIP_CONNECT, MSG_TIP_LAST, ""},
    {MSG_SERVER_REGISTERED, MSG_SERVER_UNREGISTERED, ""},
    {MSG_NO_SEND_FILES, MSG_TUNNEL_FULL, ""},
    {MSG_FORM_NO_KIND, MSG_FORM_NO_KIND, "d"},         // line number
    {MSG_FORM_BAD_KIND, MSG_FORM_BAD_NAME, "ds"},      // line number, the token or name
    {MSG_FORM_BAD_STYLE, MSG_FORM_BAD_CONVERT, "d"},
    {MSG_FORM_LONG_TITLE, MSG_FORM_LONG_TITLE, "dd"},  // line number, the longest title
    {MSG_FORM_LENGTH_DIGIT, MSG_FORM_LINES_DIGIT, "d"},
    {MSG_FORM_MISSING, MSG_FORM_MISSING, "ds"},        // line number, the attribute's name
    {MSG_FORM_LINES_IGNORED, MSG_FORM_LINES_IGNORED, "d"},
    {MSG_FORM_UNREADABLE, MSG_FORM_UNREADABLE, ""},
    {MSG_FORM_TOO_MANY_FIELDS, MSG_FORM_TOO_MANY_FIELDS, "dd"},  // line number, the most fields a form holds
    {MSG_VIEW_COUNT_TOO_SMALL, MSG_VIEW_COUNT_TOO_SMALL, "d"},   // the smallest record count
    {MSG_CLOSE_REFUSED, MSG_NO_PORT_ANSWERS, ""},
    {MSG_PORT_BUSY, MSG_PORT_BUSY, "s"},               // port name
    {MSG_PORT_LOCKED, MSG_PORT_LOCKED, ""},
    {MSG_WHEEL_RANGE, MSG_WHEEL_RANGE, "dd"},          // wheel multiplier range
    {MSG_FORM_LENGTH_TOO_LARGE, MSG_FORM_LENGTH_TOO_LARGE, "dd"},
    {MSG_TOOLBAR_TOO_LONG, MSG_NO_BUTTON_DATA, ""},
    {MSG_LOG_FILE_FAILED, MSG_LOG_FILE_FAILED, "s"},   // log file path
    {MSG_PORT_LOST_REOPENING, MSG_PORT_LOST, "ss"},    // port name, why (the system's text)
    {MSG_PORT_LOST_TITLE, MSG_PORT_LOST_TITLE, "sss"}, // port name, why, application title
    {MSG_PORT_REOPENED, MSG_PORT_REOPENED, "s"},       // port name
    {MSG_CONFIRM_EXIT, MSG_CONFIRM_EXIT, ""},
    {MSG_ESCAPE_INPUT_TYPE, MSG_ESCAPE_INPUT_TYPE, ""},
    {MSG_ESCAPE_INPUT_RANGE, MSG_ESCAPE_INPUT_RANGE, ""},
    {MSG_TIMER_NEEDS_SINK, MSG_TIMER_NEEDS_SINK, ""},
    {MSG_TIMER_LIMIT, MSG_TIMER_LIMIT, "d"},           // the timer limit
    {MSG_TIMER_NOT_OWN, MSG_TIMER_NOT_OWN, "d"},       // the timer identifier
    {MSG_DTR_CONTROL_RANGE, MSG_RTS_IN_FLOW_CONTROL, ""},
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

