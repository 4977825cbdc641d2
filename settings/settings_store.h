// Vorlin2.ini: one load (and where the program saves, one save) per group.
// Every read goes to the file at the moment of the call; every write at once.
// A missing file, section or key, or a value that does not parse, gives the
// default; while the file is found nowhere, the first write creates it in
// the program's folder.
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

// Value operations shared by the groups (and by the settings dialog).
int ReadInteger(const char* section, const char* key, int fallback);
void WriteInteger(const char* section, const char* key, int value);
char ReadCharValue(const char* section, const char* key, char fallback);
void WriteCharValue(const char* section, const char* key, char c);
COLORREF ReadColourValue(const char* key, COLORREF fallback);   // section "PREVIEW"
void WriteColourValue(const char* key, COLORREF colour);
// Returns whether the key held a value; the set is untouched otherwise.
bool ReadCtrlCodeSet(const char* section, CtrlCodeSet& set);
void WriteCtrlCodeSet(const char* section, const CtrlCodeSet& set);
uint8_t ReadKanjiName(const char* section);
void ReadWrapSetting(const char* key, WrapSetting& wrap);         // section "PREVIEW"
void WriteWrapSetting(const char* key, const WrapSetting& wrap);

// The program's folder: the module path up to its last backslash.
const char* GetProgramFolder();

// Tests point the store at their own files. A path (even "", meaning found
// nowhere) stops the search until SetIniFileForTesting(nullptr) resumes it;
// a folder replaces the program's folder (nullptr: the module's own).
void SetIniFileForTesting(const char* path);
void SetProgramFolderForTesting(const char* folder);
