// Port names, the registry port list, the stored settings of a port and its lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "automation/port_lock.h"
#include "serial/port_names.h"
#include "settings/settings_store.h"
#include "tests/support/temp_files.h"

// Each value table as "text=value/capability bit" rows, in list order.
std::string Rows(const ValueRow* rows, size_t count)
{
    std::string out;
    char row[64];
    for (size_t i = 0; i < count; ++i) {
        snprintf(row, sizeof row, "%s=%u/%x ", rows[i].text, rows[i].value, rows[i].capability);
        out += row;
    }
    return out;
}

// The drivers' bits are not in rate order, "134" is 134.5 baud, "16X" is 32 and 256000 is never offered.
TEST(ValueTables, RowsInListOrderWithTheDriversValuesAndBits)
{
    EXPECT_EQ(Rows(kBaudRates, kBaudRateCount),
              "75=75/1 110=110/2 134=135/4 150=150/8 300=300/10 600=600/20 1200=1200/40 1800=1800/80 2400=2400/100 "
              "4800=4800/200 7200=7200/400 9600=9600/800 14400=14400/1000 19200=19200/2000 38400=38400/4000 "
              "56000=56000/8000 57600=57600/40000 115200=115200/20000 128000=128000/10000 256000=256000/0 ");
    EXPECT_EQ(Rows(kByteSizes, kByteSizeCount), "5=5/1 6=6/2 7=7/4 8=8/8 16=16/10 16X=32/20 ");
    EXPECT_EQ(Rows(kParities, kParityCount), "なし=0/100 奇数=1/200 偶数=2/400 マーク=3/800 スペース=4/1000 ");
    EXPECT_EQ(Rows(kStopBits, kStopBitCount), "1=0/1 1.5=1/2 2=2/4 ");
}

TEST(DevicePath, PrefixedOnceAndNeverLongerThanTheBuffer)
{
    const std::string longName(1000, 'A');
    const struct { const char* name; size_t size; std::string expected; } cases[] = {
        {"COM1", 520, "\\\\.\\COM1"}, {"\\\\.\\COM3", 520, "\\\\.\\COM3"}, {"\\\\.COM3", 520, "\\\\.\\\\\\.COM3"},
        {"COM12", 7, "\\\\.\\CO"}, {"COM12", 0, ""},
        {longName.c_str(), 520, "\\\\.\\" + longName.substr(0, 515)}};
    for (const auto& c : cases) {
        std::vector<char> buffer(c.size + 8, 'x');
        MakeDevicePath(c.name, buffer.data(), c.size);
        // The rest of the buffer is cleared, and nothing behind it is touched.
        std::string expected = c.expected + std::string(c.size - c.expected.size(), '\0') + std::string(8, 'x');
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected) << c.name << " in " << c.size;
    }
}

// A key of our own with the shapes of value the real list may hold, a short entry first.
TEST(PortList, OddEntriesAreSkippedWithoutEndingTheList)
{
    const char kKey[] = "Software\\VorlinTests\\SerialComm";
    HKEY key = nullptr;
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    const struct { std::string name, data; } values[] = {  // data exactly as given: no NUL unless it has one
        {"\\Device\\A", std::string("COM1", 5)}, {"\\Device\\C" + std::string(40, 'c'), std::string("COM123", 7)},
        {"\\Device\\D" + std::string(300, 'N'), std::string("COM2", 5)},  // name too long
        {"\\Device\\E", std::string(300, 'D')},                          // data too long
        {"\\Device\\G", "COM7"}, {"\\Device\\J", std::string("COM8", 5)}};  // G: no NUL
    for (const auto& v : values)
        ASSERT_EQ(RegSetValueExA(key, v.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.data.data()),
                                 static_cast<DWORD>(v.data.size())), 0);
    std::vector<std::string> list;
    AddPortsFromKey(key, list);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM123", "COM7", "COM8"}));

    list = {"ZZZ"};  // the real list: every port of the test cables, sorted as text with what was there
    const size_t count = EnumeratePorts(list);
    EXPECT_EQ(count, list.size());
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    std::string cables = ReadWholeFile(BuildFolderFile("test_cables.txt")) + "ZZZ";
    ASSERT_NE(cables.find(':'), std::string::npos) << "no cables declared";
    std::replace(cables.begin(), cables.end(), ':', ' ');
    std::istringstream ports(cables);
    for (std::string port; ports >> port;) EXPECT_NE(std::find(list.begin(), list.end(), port), list.end()) << port;
}

TEST(StoredPortSettings, ComeBackUnderThePortsOwnSectionCutAtTheNamesField)
{
    TempFolder folder;
    const std::string ini = folder.File("Vorlin2.ini");
    SetIniFileForTesting(ini.c_str());
    DeviceSettings saved{}, loaded{};
    memset(saved.portName, 'P', sizeof saved.portName);  // no NUL: cut at the field's end
    LoadPortSettings(saved);
    saved.dcb.BaudRate = 19200;
    saved.inputQueueSize = 4096;
    SavePortSettings(saved);
    EXPECT_NE(ReadWholeFile(ini).find("[" + std::string(259, 'P') + "]\r\n"), std::string::npos);
    memcpy(loaded.portName, saved.portName, 259);
    LoadPortSettings(loaded);
    EXPECT_EQ(loaded.dcb.BaudRate * 10000 + loaded.inputQueueSize, 19200u * 10000 + 4096);
    loaded.flags = DEVICE_OPEN;  // the open port's record is not reloaded; its DCB length is set
    loaded.dcb.BaudRate = 300;
    loaded.dcb.DCBlength = 0;
    LoadPortSettings(loaded);
    EXPECT_EQ(loaded.dcb.BaudRate * 1000 + loaded.dcb.DCBlength, 300u * 1000 + sizeof(DCB));
    SetIniFileForTesting(nullptr);
}

TEST(PortLock, OneOwnerAtATimeAndNotCounted)
{
    EXPECT_TRUE(PortLock::Lock(7) && PortLock::Lock(7));  // again by the holder
    EXPECT_FALSE(PortLock::Lock(0) || PortLock::Unlock(0) || PortLock::LockedByMe(0));  // not by the user
    EXPECT_TRUE(PortLock::Unlock(7));  // one unlock releases both locks
    EXPECT_FALSE(PortLock::LockedByMe(7) || PortLock::Unlock(7));
    EXPECT_TRUE(PortLock::Lock(0) && PortLock::Unlock(0));
}
