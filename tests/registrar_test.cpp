// The registrar on scripts of its own, under a key of the current user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "automation/registrar.h"

namespace {

const wchar_t kModule[] = L"C:\\Program Files\\Vorlin2\\Vorlin2.exe";

// Keys and values below `path`, one line each, sorted as the registry lists them.
std::wstring Dump(HKEY parent, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
    std::wstring out = path + L"\n";
    wchar_t name[512];
    BYTE data[8192];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512, size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        out += path + L" [" + name + L"] = " +
               (type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                  : std::wstring(reinterpret_cast<wchar_t*>(data))) + L"\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out += Dump(parent, path + L"\\" + name);
    }
    RegCloseKey(key);
    return out;
}

class Registrar : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    HRESULT Run(std::string_view script, RegistrarMode mode) { return RunRegistryScriptText(script, kModule, mode); }
    static constexpr const wchar_t* kRoot = L"Software\\Vorlin2RegistrarTest";
};

// The server script's shape: kept parent, replaced subtree, quoting, module path, expansions at the limit.
const char kScript[] =
    "HKCU\n"
    "{\n"
    "    NoRemove Software\n"
    "    {\n"
    "        NoRemove Vorlin2RegistrarTest\n"
    "        {\n"
    "            ForceRemove Server = s 'it''s a server'   // trailing comment\n"
    "            {\n"
    "                val Count = d 042\n"
    "                LocalServer32 = s '\"%MODULE%\"'\n"
    "                {\n"
    "                    val ThreadingModel = s 'Apartment'\n"
    "                }\n"
    "                Percent = s '100%%'\n"
    "                Longest = s '%VORLIN_4095%'\n"
    "                TooLong = s '%VORLIN_4095%x'\n"
    "                Delete Gone\n"
    "                Programmable\n"
    "            }\n"
    "        }\n"
    "    }\n"
    "}\n";

} // namespace

TEST_F(Registrar, RegistersOnceAndUnregistersBottomUpKeepingNoRemoveKeys)
{
    // Unregistering what was never registered leaves the registry as it was.
    HKEY root;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, kRoot, &root), ERROR_SUCCESS);
    RegCloseKey(root);
    std::wstring before = Dump(HKEY_CURRENT_USER, L"Software");
    Run(kScript, RegistrarMode::Unregister);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, L"Software"), before);

    SetEnvironmentVariableW(L"VORLIN_4095", std::wstring(4095, L'x').c_str());
    ASSERT_EQ(Run(kScript, RegistrarMode::Register), S_OK);
    std::wstring once = Dump(HKEY_CURRENT_USER, kRoot);
    const std::wstring server = std::wstring(kRoot) + L"\\Server";
    EXPECT_EQ(once, std::wstring(kRoot) + L"\n" +
                        server + L"\n" +
                        server + L" [] = it's a server\n" +
                        server + L" [Count] = 42\n" +
                        server + L"\\LocalServer32\n" +
                        server + L"\\LocalServer32 [] = \"C:\\Program Files\\Vorlin2\\Vorlin2.exe\"\n" +
                        server + L"\\LocalServer32 [ThreadingModel] = Apartment\n" +
                        server + L"\\Longest\n" +
                        server + L"\\Longest [] = " + std::wstring(4095, L'x') + L"\n" +
                        server + L"\\Percent\n" +
                        server + L"\\Percent [] = 100%\n" +
                        server + L"\\Programmable\n");

    // A stray key under the replaced subtree goes with the next registration.
    HKEY stray;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, (server + L"\\Stray").c_str(), &stray), ERROR_SUCCESS);
    RegCloseKey(stray);
    ASSERT_EQ(Run(kScript, RegistrarMode::Register), S_OK);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, kRoot), once);

    // Bottom-up, each key without its subkeys: one holding a key the script does not name stays.
    for (const std::wstring& path : {std::wstring(kRoot) + L"\\Other", server + L"\\Programmable\\Kept"}) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    Run(kScript, RegistrarMode::Unregister);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, kRoot), std::wstring(kRoot) + L"\n" +
                                                  kRoot + L"\\Other\n" +
                                                  server + L"\n" +
                                                  server + L" [] = it's a server\n" +
                                                  server + L" [Count] = 42\n" +
                                                  server + L"\\Programmable\n" +
                                                  server + L"\\Programmable\\Kept\n");
}

TEST_F(Registrar, BadLines)
{
    // Words out of place and lines over 65535 bytes drop their statement; a short line or unknown root stops the run.
    const std::string dropped = "HKCU\n{\n Software\n {\n Vorlin2RegistrarTest\n {\n"
                                "  NoRemove ForceRemove Twice\n"
                                "  Name Delete\n"
                                "  Data = x 'what type'\n"
                                "  { extra\n"
                                "  Good = d 7\n" +
                                std::string(65531, ' ') + "Near\n" + std::string(65532, ' ') + "Over\n"
                                " }\n }\n}\n";
    EXPECT_EQ(Run(dropped, RegistrarMode::Register), S_OK);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, kRoot), std::wstring(kRoot) + L"\n" + kRoot + L"\\Good\n" + kRoot +
                                                  L"\\Good [] = 7\n" + kRoot + L"\\Near\n");

    EXPECT_EQ(Run("HKCU\n{\n Software\n {\n val Name = s\n Vorlin2RegistrarTest\n }\n}\n", RegistrarMode::Register),
              E_FAIL);
    EXPECT_EQ(Run("HKEY_CURRENT_USERS\n{\n}\n", RegistrarMode::Register), E_FAIL);
    EXPECT_EQ(Run("hkcu\n", RegistrarMode::Register), E_FAIL);  // roots are spelled exactly
}
