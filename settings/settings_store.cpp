#include "settings/settings_store.h"

#include <cstring>

// Placeholder until the settings store is built: the defaults only.
const char* LocateIniFile() { return ""; }

void LoadAppSettings(AppSettings& settings)
{
    memset(&settings, 0, sizeof settings);
    settings.flags = APP_AUTO_LOG_NAME | APP_MESSAGE_BOXES | APP_SHOW_TOOLBAR | APP_FLAT_TOOLBAR;
}

void LoadDataDirectory(char* buffer, size_t size)
{
    if (size) memset(buffer, 0, size);
}
