// Temporary folders and files for tests that need real files: each folder
// is unique to the process and removed with everything in it at the end.
#pragma once
#include <string>
#include <string_view>

class TempFolder {
public:
    TempFolder();
    // A folder whose name carries `tag` (for finding it while debugging).
    explicit TempFolder(const char* tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full Windows path of the folder, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // Full path of `name` inside the folder.
    std::string File(std::string_view name) const;
    // Path() + "\\" + name
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    // Writes `bytes` exactly as given; returns the full path.
    std::string Write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// Removes a folder and everything in it.
void RemoveTree(const std::string& path);
// The whole content of a file, shared with a writer ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

// Full path of a file that ships beside the built program (build/bin).
std::string ShippedFile(const char* name);
