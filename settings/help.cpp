#include "settings/help.h"

#include <windows.h>

namespace {
char g_helpFile[MAX_PATH];
}

// Found once at start-up (the program's folder first); empty when it is
// nowhere, and help calls then go out with an empty path.
void LocateHelpFile()
{
    DWORD n = SearchPathA(nullptr, "Vorlin2.hlp", nullptr, sizeof g_helpFile, g_helpFile, nullptr);
    if (n == 0 || n >= sizeof g_helpFile) g_helpFile[0] = 0;
}

const char* GetHelpFile() { return g_helpFile; }
