#include "sending/send_forms.h"

#include <windows.h>

#include "settings/settings_store.h"

namespace {
char g_dataDirectory[MAX_PATH];
}

void LocateDataDirectory()
{
    char name[MAX_PATH];
    LoadDataDirectory(name, sizeof name);
    if (!name[0]) lstrcpynA(name, "data", sizeof name);
    if (SearchPathA(nullptr, name, nullptr, sizeof g_dataDirectory, g_dataDirectory, nullptr) >= sizeof g_dataDirectory)
        g_dataDirectory[0] = 0;
}

const char* GetDataDirectory() { return g_dataDirectory; }

// Placeholders until the button files are read.
int ListButtonFiles() { return 0; }
const char* GetButtonFileName(int) { return ""; }
int GetCurrentButtonFile() { return -1; }
bool SetCurrentButtonFile(int) { return false; }
bool ReadButtonEntry(int, int, char*, char*) { return false; }
