// The message catalogue: texts by number from the message file beside the
// program (name.exe uses name.msg). Numbers below 1000 are read into memory
// at start-up; the others are looked up in the file each time. Also the one
// road every report takes to the user: each layer formats its report here
// and hands it to the presenter, which alone decides how it is shown.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <cstddef>

#include "base/messages.h"

// The application title: caption of the main window and of every message box.
extern const char kAppTitle[];

void LoadMessageCatalogue();
void FreeMessageCatalogue();
// Copies the text of `number` into buffer (always terminated): the file's
// text, else the fallback text naming the number and the file, else (no
// file) the system's text of the failed open.
void LookupMessage(unsigned number, char* buffer, size_t size);

// The text ShowMessage would show, into `buffer` (always terminated, cut at
// size - 1 bytes). A file text whose conversions do not match what the
// program passes with that number is given as it stands, unformatted; the
// fallback and system texts are never formatted.
void FormatCatalogueMessage(char* buffer, size_t size, unsigned number, ...);
void FormatCatalogueMessageV(char* buffer, size_t size, unsigned number, va_list args);
// The system's text for a Win32 error code, or a short text with the number.
void SystemErrorText(DWORD code, char* buffer, size_t size);

// One report on its way to the user.
struct ProblemReport {
    HWND owner;
    unsigned message;   // message number; 0 for a system error
    DWORD systemError;  // the Win32 code when message is 0
    const char* text;   // formatted, Shift_JIS
    const char* caption;
    UINT style;         // MB_* of a message box
};
// Shows a report; returns the button pressed (IDOK when none was asked).
using ReportPresenter = int (*)(void* context, const ProblemReport& report);
// Null gives back the plain message box.
void SetReportPresenter(ReportPresenter presenter, void* context);
// A message box with the program's icon and title, in UTF-16.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// Looks up, unescapes and formats the text and reports it.
int ShowMessage(HWND owner, const char* caption, unsigned number, UINT style, ...);
// Reports the system's text for a Win32 error code.
int ShowSystemError(HWND owner, const char* caption, DWORD code);

// The message file in use; tests name their own (nullptr: beside the program).
const char* GetMessageFilePath();
void SetMessageFileForTesting(const char* path);
