// Temporary folders and files for tests that need real files: each folder
// is unique to the process and removed with everything in it at the end.
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
    // Full path of `name` inside the folder.
    std::string File(std::string_view name) const;
    // Writes `bytes` exactly as given; returns the full path.
    std::string Write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

// Full path of a file that ships beside the built program (build/bin).
std::string ShippedFile(const char* name);
