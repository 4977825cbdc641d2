// Real files for tests: temporary folders (unique to the process, removed with
// everything in them), the one file writer, and the files of the build.
#pragma once
#include <string>
#include <string_view>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Full Windows path of the folder, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // Full path of `name` (which may hold subfolders) inside the folder.
    std::string File(std::string_view name) const { return path_ + "\\" + std::string(name); }
    // WriteWholeFile into the folder; returns the full path.
    std::string Write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// The tests' one file writer: `bytes` exactly as given, even where the full path exceeds MAX_PATH.
bool WriteWholeFile(const std::string& path, std::string_view bytes);
// The whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// True when nobody else has the file open (an exclusive open succeeds).
bool FileIsClosedByOthers(const std::string& path);

// Full path of a file in the build folder (screenshots, the list of cables), or in build/bin.
std::string BuildFolderFile(const std::string& name);
inline std::string ShippedFile(const char* name) { return BuildFolderFile(std::string("bin\\") + name); }
