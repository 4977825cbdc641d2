// Every report the program shows: texts by number from the message file
// beside the program (name.exe uses name.msg). Numbers below 1000 are read
// into memory at start-up; the others are looked up in the file each time.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <cstddef>

void LoadMessageCatalogue();
void FreeMessageCatalogue();
// Copies the text of `number` into buffer (always terminated): the file's
// text, else the fallback text naming the number and the file, else (no
// file) the system's text of the failed open.
void LookupMessage(unsigned number, char* buffer, size_t size);
// Looks up, unescapes and formats the text; returns the button pressed.
int ShowMessage(HWND owner, const char* caption, unsigned number, UINT style, ...);
// The system's text for a Win32 error code.
int ShowSystemError(HWND owner, const char* caption, DWORD code);
// Message box or status bar, by application flag bit 1.
int Report(HWND owner, const char* text, const char* caption, UINT style);

// The text ShowMessage would show, into `buffer` (always terminated, cut at
// size - 1 bytes). A file text whose conversions do not match what the
// program passes with that number is given as it stands, unformatted; the
// fallback and system texts are never formatted.
void FormatCatalogueMessage(char* buffer, size_t size, unsigned number, ...);
void FormatCatalogueMessageV(char* buffer, size_t size, unsigned number, va_list args);

// The message file in use; tests name their own (nullptr: beside the program).
const char* GetMessageFilePath();
void SetMessageFileForTesting(const char* path);
