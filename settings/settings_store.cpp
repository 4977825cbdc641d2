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

// Placeholders: every group loads its defaults until the store is built.
void SaveToolbarLayout(const char*) {}
void LoadDeviceSettings(const char*, DCB& dcb)
{
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
}
void SaveDeviceSettings(const char*, const DCB&) {}
void LoadTimeouts(const char*, COMMTIMEOUTS& t)
{
    t = COMMTIMEOUTS{100, 50, 100, 50, 100};
}
void SaveTimeouts(const char*, const COMMTIMEOUTS&) {}
void LoadQueueSizes(const char*, uint32_t& tx, uint32_t& rx) { tx = rx = 2048; }
void SaveQueueSizes(const char*, uint32_t, uint32_t) {}
void LoadLogSettings(LogSettings& s)
{
    memset(&s, 0, sizeof s);
    strcpy(s.directory, "log");
    s.maxFileSize = 0xFFFFFFFFLL;
    s.header = s.hex = 1;
    for (int c = 0; c < 0x20; ++c) s.ctrlCode.code[c] = 1;
    s.ctrlCode.code[0x7F] = 1;
    s.separator = ' ';
    s.defaultChar = '?';
    s.replaceChar = ' ';
    s.hexBytesPerLine = s.asciiBytesPerLine = 26;
}
void SaveLogSettings(const LogSettings&) {}
void LoadViewSettings(ViewSettings& s)
{
    memset(&s, 0, sizeof s);
    s.flipPerLine = 1;
    s.fontSize = FONT_L;
    s.header = s.hex = 1;
    s.defaultChar = '?';
    s.wheelMultiplier = 3;
    s.kanjiBufferSize = 10240;
    for (int c = 0; c <= 0x20; ++c) s.ctrlCode.code[c] = 1;
    s.ctrlCode.code[0x7F] = 1;
    s.hexWrap.automatic = s.asciiWrap.automatic = 1;
    s.colourBackground = RGB(0xFF, 0xFF, 0xFF);
    s.colourSend = RGB(0, 0x7F, 0);
    s.colourRecv = RGB(0, 0, 0xFF);
    s.colourError = RGB(0xFF, 0, 0);
    s.colourDiscard = RGB(0x7F, 0x7F, 0x7F);
    s.maxDataCount = 10000;
}
void SaveViewSettings(const ViewSettings&) {}
void LoadCustomColours(COLORREF colours[16]) { for (int i = 0; i < 16; ++i) colours[i] = 0; }
void SaveCustomColours(const COLORREF*) {}
bool IsXonXoffPanelEnabled() { return false; }
