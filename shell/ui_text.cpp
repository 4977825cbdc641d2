#include "shell/ui_text.h"

#include <vector>

std::wstring SjisToWide(const char* text)
{
    if (!text || !*text) return {};
    int n = MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n) - 1);
    return wide;
}

std::string WideToSjis(const wchar_t* text)
{
    if (!text || !*text) return {};
    int n = WideCharToMultiByte(932, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(932, 0, text, -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n) - 1);
    return narrow;
}

void SetWindowTextSjis(HWND hwnd, const char* text)
{
    SetWindowTextW(hwnd, SjisToWide(text).c_str());
}

void SetMenuTextSjis(HMENU menu, UINT id, const char* text)
{
    std::wstring wide = SjisToWide(text);
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
    return SjisToWide(text) == current;
}
