#include "shell/command_line.h"

#include <windows.h>

#include <string>

StartMode ParseCommandLine(const char* commandLine)
{
    if (!commandLine) return StartMode::Normal;
    static constexpr char kDelimiters[] = "/- ";
    std::string_view line(commandLine);
    size_t begin = line.find_first_not_of(kDelimiters);
    if (begin == std::string_view::npos) return StartMode::Normal;
    size_t end = line.find_first_of(kDelimiters, begin);
    std::string token(line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));

    struct Entry { const char* token; StartMode mode; };
    static constexpr Entry kTokens[] = {
        {"UnregServer", StartMode::UnregServer},
        {"RegServer", StartMode::RegServer},
        {"Automation", StartMode::Automation},
        {"Embedding", StartMode::Automation},
    };
    for (const Entry& e : kTokens)
        if (lstrcmpiA(token.c_str(), e.token) == 0) return e.mode;
    return StartMode::Normal;
}
