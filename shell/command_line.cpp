#include "shell/command_line.h"

#include <windows.h>

#include <string>

#include "base/text.h"

StartMode ParseCommandLine(const char* commandLine)
{
    if (!commandLine) return StartMode::Normal;
    static constexpr char kDelimiters[] = "/- ";
    std::string_view line(commandLine);
    size_t begin = line.find_first_not_of(kDelimiters);
    if (begin == std::string_view::npos) return StartMode::Normal;
    size_t end = line.find_first_of(kDelimiters, begin);
    std::wstring token =
        SjisToWide(line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));

    struct Entry { const wchar_t* token; StartMode mode; };
    static constexpr Entry kTokens[] = {
        {L"UnregServer", StartMode::UnregServer},
        {L"RegServer", StartMode::RegServer},
        {L"Automation", StartMode::Automation},
        {L"Embedding", StartMode::Automation},
    };
    // The tokens are the system's own words: compared letter by letter,
    // whatever the user's language.
    for (const Entry& e : kTokens)
        if (CompareStringOrdinal(token.c_str(), -1, e.token, -1, TRUE) == CSTR_EQUAL) return e.mode;
    return StartMode::Normal;
}
