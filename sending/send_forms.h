// The button and form files of the data folder.
#pragma once
#include <cstddef>

// Start-up: resolves the data folder of the send forms.
void LocateDataDirectory();
const char* GetDataDirectory();

constexpr size_t kButtonCaptionSize = 1024;
constexpr size_t kButtonDataSize = 8192;

// The button-file list: rebuilt by ListButtonFiles (returns the count).
int ListButtonFiles();
const char* GetButtonFileName(int index);
int GetCurrentButtonFile();  // -1 when there is none
bool SetCurrentButtonFile(int index);
// Entry `entry` (0 to 17) of button file `file`; caption and data sized as above.
bool ReadButtonEntry(int file, int entry, char* caption, char* data);
