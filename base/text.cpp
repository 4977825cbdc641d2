#include "base/text.h"

#include <cstring>
#include <vector>

bool IsSjisPair(uint8_t lead, uint8_t trail)
{
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    wchar_t wide[2];
    return MultiByteToWideChar(kTextCodePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1;
}

size_t SjisToWide(const char* text, size_t length, wchar_t* out, size_t size)
{
    if (!text || !length || !size) return 0;
    int n = MultiByteToWideChar(kTextCodePage, 0, text, static_cast<int>(length), out, static_cast<int>(size));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t WideToSjis(const wchar_t* text, size_t length, char* out, size_t size, char defaultChar)
{
    if (!text || !length || !size) return 0;
    const char fallback[2] = {defaultChar, 0};
    int n = WideCharToMultiByte(kTextCodePage, 0, text, static_cast<int>(length), out, static_cast<int>(size),
                                defaultChar ? fallback : nullptr, nullptr);
    if (n <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        // Too long for the buffer: keep the whole characters that fit.
        std::string whole = WideToSjis(std::wstring_view(text, length));
        size_t i = 0;
        while (i < whole.size()) {
            size_t step = IsSjisLeadByte(static_cast<uint8_t>(whole[i])) && i + 1 < whole.size() ? 2 : 1;
            if (i + step > size) break;
            i += step;
        }
        memcpy(out, whole.data(), i);
        return i;
    }
    return n > 0 ? static_cast<size_t>(n) : 0;
}

std::wstring SjisToWide(std::string_view text)
{
    if (text.empty()) return {};
    int n = MultiByteToWideChar(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string WideToSjis(std::wstring_view text)
{
    if (text.empty()) return {};
    int n = WideCharToMultiByte(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kTextCodePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                        nullptr);
    return narrow;
}

size_t CutText(char* text, size_t limit)
{
    size_t i = 0;
    while (text[i] && i < limit) {
        // A lead byte without its trail byte is dropped as well.
        size_t step = IsSjisLeadByte(static_cast<uint8_t>(text[i])) ? 2 : 1;
        if (i + step > limit || (step == 2 && !text[i + 1])) break;
        i += step;
    }
    text[i] = 0;
    return i;
}

void CopySjis(char* buffer, size_t size, std::string_view text)
{
    if (!size) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), n);
    memset(buffer + n, 0, size - n);
    if (n < text.size()) {
        // Cut at a whole character of the full text.
        size_t i = 0;
        while (i < n) {
            size_t step = IsSjisLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
            if (i + step > n) break;
            i += step;
        }
        buffer[i] = 0;
    }
}

void SetWindowTextSjis(HWND hwnd, const char* text)
{
    SetWindowTextW(hwnd, SjisToWide(text ? text : "").c_str());
}

std::string GetWindowTextSjis(HWND hwnd)
{
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(hwnd, wide.data(), length + 1);
    wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return WideToSjis(wide);
}

void SetDlgItemTextSjis(HWND dialog, int id, const char* text)
{
    SetWindowTextSjis(GetDlgItem(dialog, id), text);
}

std::string GetDlgItemTextSjis(HWND dialog, int id) { return GetWindowTextSjis(GetDlgItem(dialog, id)); }

void SetMenuTextSjis(HMENU menu, UINT id, const char* text)
{
    std::wstring wide = SjisToWide(text ? text : "");
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = wide.data();
    SetMenuItemInfoW(menu, id, FALSE, &info);
}

bool MenuTextIs(HMENU menu, UINT id, const char* text)
{
    wchar_t current[256] = {};
    GetMenuStringW(menu, id, current, 256, MF_BYCOMMAND);
    return SjisToWide(text ? text : "") == current;
}

std::string PathToSjis(std::wstring_view path)
{
    if (path.empty()) return {};
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(kTextCodePage, 0, path.data(), static_cast<int>(path.size()), nullptr, 0, nullptr,
                                &lossy);
    if (n <= 0 || lossy) return {};
    return WideToSjis(path);
}

HANDLE WINAPI CreateFileSjis(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile)
{
    return CreateFileW(SjisToWide(path ? path : "").c_str(), access, share, security, disposition, flags,
                       templateFile);
}

std::string ModuleFileNameSjis()
{
    // Long paths are allowed; the buffer grows until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return PathToSjis(std::wstring_view(path.data(), n));
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::string SearchPathSjis(const char* name)
{
    if (!name || !*name) return {};
    std::wstring wideName = SjisToWide(name);
    DWORD n = SearchPathW(nullptr, wideName.c_str(), nullptr, 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring path(n, L'\0');
    n = SearchPathW(nullptr, wideName.c_str(), nullptr, n, path.data(), nullptr);
    if (n == 0 || n >= path.size()) return {};
    return PathToSjis(std::wstring_view(path.data(), n));
}

char* TrimTrailingSpace(char* text)
{
    size_t n = strlen(text);
    while (n && strchr(" \t\r\n", text[n - 1])) text[--n] = 0;
    return text;
}
