// Vorlin2.ini: one load (and where the program saves, one save) per group.
// Every read goes to the file at the moment of the call; every write at once.
#pragma once
#include <windows.h>
#include <cstdint>

#include "settings/settings_types.h"

// Full path of Vorlin2.ini ("" while it is found nowhere).
const char* LocateIniFile();

void LoadAppSettings(AppSettings& settings);
void SaveToolbarLayout(const char* text);
void LoadDataDirectory(char* buffer, size_t size);

void LoadDeviceSettings(const char* section, DCB& dcb);
void SaveDeviceSettings(const char* section, const DCB& dcb);
void LoadTimeouts(const char* section, COMMTIMEOUTS& timeouts);
void SaveTimeouts(const char* section, const COMMTIMEOUTS& timeouts);
void LoadQueueSizes(const char* section, uint32_t& tx, uint32_t& rx);
void SaveQueueSizes(const char* section, uint32_t tx, uint32_t rx);

void LoadLogSettings(LogSettings& settings);
void SaveLogSettings(const LogSettings& settings);
void LoadViewSettings(ViewSettings& settings);
void SaveViewSettings(const ViewSettings& settings);
void LoadCustomColours(COLORREF colours[16]);
void SaveCustomColours(const COLORREF colours[16]);
bool IsXonXoffPanelEnabled();
