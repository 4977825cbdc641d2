// The one text boundary of the program. Its own texts are Shift_JIS (code
// page 932) in memory and in every file it reads or writes; Windows is
// always asked in UTF-16, converted here with code page 932 whatever the
// system's ANSI code page is. Nothing else converts or tests lead bytes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr UINT kTextCodePage = 932;

// First byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsSjisLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
// True when lead and trail form a character the code page knows.
bool IsSjisPair(uint8_t lead, uint8_t trail);

std::wstring SjisToWide(std::string_view text);
std::string WideToSjis(std::wstring_view text);
// Into a caller's buffer: the number of units written (never more than
// `size`; no terminator added). `defaultChar` stands for what has no code
// (0: the code page's own default).
size_t SjisToWide(const char* text, size_t length, wchar_t* out, size_t size);
size_t WideToSjis(const wchar_t* text, size_t length, char* out, size_t size, char defaultChar = 0);
// Copies `text` into `buffer` (always terminated), cut at `size` - 1 bytes
// without splitting a double-byte character.
void CopySjis(char* buffer, size_t size, std::string_view text);
// Cuts `text` to at most `limit` bytes without splitting a double-byte
// character; returns the new length.
size_t CutText(char* text, size_t limit);
// Removes trailing blanks, tabs and line breaks in place.
char* TrimTrailingSpace(char* text);

// Texts of windows, dialog items and menus.
void SetWindowTextSjis(HWND hwnd, const char* text);
std::string GetWindowTextSjis(HWND hwnd);
void SetDlgItemTextSjis(HWND dialog, int id, const char* text);
std::string GetDlgItemTextSjis(HWND dialog, int id);
// Changes the text of a menu item (by command), keeping its state.
void SetMenuTextSjis(HMENU menu, UINT id, const char* text);
bool MenuTextIs(HMENU menu, UINT id, const char* text);

// Files named in Shift_JIS. A path the system gives back is taken only when
// every character has a Shift_JIS code: "" otherwise, since a path with a
// stand-in character names no file.
std::string PathToSjis(std::wstring_view path);
// CreateFileW with the name converted; the signature of CreateFileA, so it
// can stand in a table of device calls.
HANDLE WINAPI CreateFileSjis(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile);
// The program's own path; "" when it cannot be had.
std::string ModuleFileNameSjis();
// The full path of `name` by the system's search order; "" when not found.
std::string SearchPathSjis(const char* name);
