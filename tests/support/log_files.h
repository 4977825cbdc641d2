// Helpers for tests that read what the log thread writes (with the
// temporary folders of temp_files.h): writing a file whole, waiting with a
// deadline, and telling whether someone still holds a file open.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "tests/support/temp_files.h"

void WriteWholeFile(const std::string& path, const std::string& bytes);
// Polls `condition` (every few ms) until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);
// True when nobody else has the file open (an exclusive open succeeds).
bool FileIsClosedByOthers(const std::string& path);
