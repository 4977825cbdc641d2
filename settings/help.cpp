#include "settings/help.h"

#include <windows.h>

#include <cstring>

namespace {
char g_helpFile[MAX_PATH];
}

// The help file is the program's path with the extension "hlp".
void LocateHelpFile()
{
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    char* dot = strrchr(path, '.');
    char* slash = strrchr(path, '\\');
    if (!dot || (slash && dot < slash)) return;
    if (static_cast<size_t>(dot - path) + 5 > sizeof g_helpFile) return;
    memcpy(g_helpFile, path, dot - path);
    memcpy(g_helpFile + (dot - path), ".hlp", 5);
}

const char* GetHelpFile() { return g_helpFile; }
