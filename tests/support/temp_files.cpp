#include "tests/support/temp_files.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<unsigned> g_folderCount;

// "\\?\" paths lift the MAX_PATH limit; names are Shift_JIS like the rest of the tests.
std::wstring LongPath(const std::string& path)
{
    std::wstring wide(path.size(), L'\0');
    wide.resize(MultiByteToWideChar(932, 0, path.data(), int(path.size()), wide.data(), int(wide.size())));
    return L"\\\\?\\" + wide;
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + L"\\" + name);
        else DeleteFileW((folder + L"\\" + name).c_str());
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryW(folder.c_str());
}

HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileW(LongPath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TempFolder::TempFolder()
{
    char base[MAX_PATH] = ".\\";
    GetTempPathA(sizeof base, base);
    path_ = std::string(base) + "vorlin_test_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(g_folderCount++) + "_" + std::to_string(GetTickCount());
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(LongPath(path_)); }

std::string TempFolder::Write(std::string_view name, std::string_view bytes) const
{
    WriteWholeFile(File(name), bytes);
    return File(name);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes)
{
    HANDLE file = OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return CloseHandle(file) && ok && written == bytes.size();
}

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    HANDLE file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    char chunk[4096];
    for (DWORD got = 0; ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got;) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FileIsClosedByOthers(const std::string& path)
{
    HANDLE file = OpenFile(path, GENERIC_READ, 0, OPEN_EXISTING);
    return file != INVALID_HANDLE_VALUE && CloseHandle(file);
}

// Test programs live in <build>\tests.
std::string BuildFolderFile(const std::string& name)
{
    char path[MAX_PATH] = {};
    std::string folder(path, GetModuleFileNameA(nullptr, path, sizeof path));
    folder.erase(folder.find_last_of('\\'));
    return folder.erase(folder.find_last_of('\\') + 1) + name;
}
