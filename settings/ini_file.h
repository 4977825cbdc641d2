// Vorlin2.ini as Shift_JIS bytes. The system's profile functions read and
// write a file that is not UTF-16 in the ANSI code page: on an English
// system they read our Japanese values as other characters and write them
// as "??". So the file is read and written here, byte for byte, the way
// those functions treat it otherwise: section and key names without the
// blanks around them and compared without regard to the case of ASCII
// letters (a trail byte is never folded), values without the blanks around
// them and without one pair of enclosing quotes, the first of duplicate
// sections and keys in force, lines starting with ';' as comments.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The value of `key` in `section` of an INI text, if there is one.
std::optional<std::string_view> FindIniValue(std::string_view text, std::string_view section, std::string_view key);
// Sets the key's value in the text: the line of the key keeps everything up
// to its '='; a new key follows the last key of its section, a new section
// ends the text. Every other line stays as it was. A value stops at a line
// break.
void SetIniValue(std::string& text, std::string_view section, std::string_view key, std::string_view value);

// The file at `path` (Shift_JIS). Reading copies the value, or `fallback`
// when the file, section or key is missing, into `out` (always terminated,
// cut at a whole character). Writing creates the file when it is missing;
// false with the last error when it cannot be read or written.
void ReadIniText(const char* path, const char* section, const char* key, const char* fallback, char* out,
                 size_t size);
bool WriteIniText(const char* path, const char* section, const char* key, const char* value);
