// Helpers for tests that read what the log thread writes: a private
// temporary folder, whole-file reads, and waiting with a deadline.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const char* tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    // Path() + "\\" + name
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
// The whole file (shared with a writer), or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// Polls `condition` (every few ms) until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);
// True when nobody else has the file open (an exclusive open succeeds).
bool FileIsClosedByOthers(const std::string& path);
