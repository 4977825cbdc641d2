// Port names, the registry port list, the value tables and the stored
// settings of a port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "serial/port_names.h"
#include "settings/settings_store.h"
#include "tests/support/temp_files.h"

namespace {

TEST(DevicePath, PrefixedOnceAndNeverLongerThanTheBuffer)
{
    const std::string longName(1000, 'A');
    const struct {
        const char* name;
        size_t size;
        std::string expected;
    } cases[] = {
        {"COM1", 520, "\\\\.\\COM1"},
        {"\\\\.\\COM3", 520, "\\\\.\\COM3"},
        {"\\\\?\\COM3", 520, "\\\\.\\\\\\?\\COM3"},  // only the exact prefix counts
        {"", 520, "\\\\.\\"},
        {"COM12", 7, "\\\\.\\CO"},
        {"COM12", 3, "\\\\"},
        {"COM12", 1, ""},
        {"COM12", 0, ""},
        {longName.c_str(), 520, "\\\\.\\" + longName.substr(0, 515)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name).substr(0, 20) + " in " + std::to_string(c.size));
        std::vector<char> buffer(c.size + 8, 'x');
        MakeDevicePath(c.name, buffer.data(), c.size);
        if (c.size) {
            EXPECT_EQ(std::string(buffer.data()), c.expected);
        }
        // The rest of the buffer is cleared, and nothing behind it is touched.
        for (size_t i = c.size ? c.expected.size() : 0; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], i < c.size ? 0 : 'x') << "byte " << i;
    }
}

TEST(ValueTables, RowsThatDifferFromTheirTextOrBitOrder)
{
    auto find = [](const ValueRow* rows, size_t count, const char* text) {
        const ValueRow* row = std::find_if(rows, rows + count, [&](auto& r) { return !strcmp(r.text, text); });
        return row == rows + count ? ValueRow{"", 0xDEAD, 0xDEAD} : *row;
    };
    EXPECT_EQ(kBaudRateCount, 20u);
    EXPECT_EQ(kByteSizeCount, 6u);
    EXPECT_EQ(kParityCount, 5u);
    EXPECT_EQ(kStopBitCount, 3u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "134").value, 135u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "57600").capability, 0x40000u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "115200").capability, 0x20000u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "128000").capability, 0x10000u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "256000").capability, 0u);  // never offered
    for (size_t i = 1; i < kBaudRateCount; ++i) EXPECT_LT(kBaudRates[i - 1].value, kBaudRates[i].value);
    EXPECT_EQ(find(kByteSizes, kByteSizeCount, "16X").value, 32u);
    EXPECT_EQ(find(kParities, kParityCount, "スペース").value, 4u);
    EXPECT_EQ(find(kParities, kParityCount, "なし").capability, 0x100u);
    EXPECT_EQ(find(kStopBits, kStopBitCount, "1.5").value, 1u);
    EXPECT_EQ(find(kStopBits, kStopBitCount, "2").capability, 0x4u);
}

// A key of our own holding the shapes of value the real list may hold, in
// an order where a short entry comes before longer ones.
TEST(PortList, OddEntriesAreSkippedWithoutEndingTheList)
{
    const char kKey[] = "Software\\VorlinTests\\SerialComm";
    HKEY key = nullptr;
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const struct {
        std::string name, data;  // data exactly as given: no NUL unless it has one
        DWORD type;
    } values[] = {
        {"\\Device\\A", std::string("COM1", 5), REG_SZ},
        {"\\Device\\B0", std::string("COM10", 6), REG_SZ},
        {"\\Device\\C" + std::string(40, 'c'), std::string("COM123", 7), REG_SZ},
        {"\\Device\\D" + std::string(300, 'N'), std::string("COM2", 5), REG_SZ},  // name too long
        {"\\Device\\E", std::string(300, 'D'), REG_SZ},                          // data too long
        {"\\Device\\F", std::string(259, 'E'), REG_SZ},                          // full but for the NUL
        {"\\Device\\G", "COM7", REG_SZ},                                         // no NUL
        {"\\Device\\H", std::string("", 1), REG_SZ},                             // empty
        {"\\Device\\I", "\x01\x02", REG_BINARY},
        {"\\Device\\J", std::string("COM8", 5), REG_SZ},
    };
    for (const auto& v : values)
        ASSERT_EQ(RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                 static_cast<DWORD>(v.data.size())),
                  ERROR_SUCCESS);
    std::vector<std::string> list;
    AddPortsFromKey(key, list);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM10", "COM123", std::string(259, 'E'), "COM7", "COM8"}));
}

TEST(PortList, ListsTheVirtualPortsSortedAsTextAfterWhatWasThere)
{
    std::vector<std::string> list{"ZZZ"};
    const size_t count = EnumeratePorts(list);
    EXPECT_EQ(count, list.size());
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    auto at = [&](const char* port) { return std::find(list.begin(), list.end(), port); };
    for (const char* port : {"COM5", "COM6", "COM10", "COM16", "ZZZ"}) EXPECT_NE(at(port), list.end()) << port;
    EXPECT_LT(at("COM10"), at("COM5"));
}

TEST(StoredPortSettings, ComeBackUnderThePortsOwnSectionAndSpareTheOpenPort)
{
    TempFolder folder;
    const std::string ini = folder.File("Vorlin2.ini");
    SetIniFileForTesting(ini.c_str());
    auto record = [](const char* name, uint32_t flags = 0) {
        DeviceSettings r{};
        strcpy(r.portName, name);
        r.flags = flags;
        return r;
    };
    DeviceSettings saved = record("COM5"), loaded = record("COM5"), other = record("COM6");
    LoadPortSettings(saved);
    saved.dcb.BaudRate = 19200;
    saved.dcb.Parity = EVENPARITY;
    saved.dcb.fParity = TRUE;
    saved.timeouts.ReadIntervalTimeout = 7;
    saved.timeouts.WriteTotalTimeoutConstant = 900;
    saved.inputQueueSize = 4096;
    saved.outputQueueSize = 1024;
    SavePortSettings(saved);
    for (const char* line : {"[COM5]", "TxQueueSize=1024", "RxQueueSize=4096"})
        EXPECT_NE(ReadWholeFile(ini).find(line), std::string::npos) << line;
    LoadPortSettings(loaded);
    EXPECT_EQ(loaded.dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(memcmp(&loaded.dcb, &saved.dcb, sizeof(DCB)), 0);
    EXPECT_EQ(memcmp(&loaded.timeouts, &saved.timeouts, sizeof(COMMTIMEOUTS)), 0);
    EXPECT_EQ(loaded.inputQueueSize, 4096u);
    EXPECT_EQ(loaded.outputQueueSize, 1024u);
    LoadPortSettings(other);  // another port keeps the defaults
    EXPECT_EQ(other.dcb.BaudRate, 9600u);
    EXPECT_EQ(other.inputQueueSize, 2048u);

    DeviceSettings open = record("COM5", DEVICE_OPEN);  // the open port's record is left as it is
    open.dcb.BaudRate = 300;
    open.inputQueueSize = 77;
    LoadPortSettings(open);
    EXPECT_EQ(open.dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(open.dcb.BaudRate, 300u);
    EXPECT_EQ(open.inputQueueSize, 77u);

    // A name that fills its field without a NUL is cut at the field's end.
    DeviceSettings unterminated{};
    memset(unterminated.portName, 'P', sizeof unterminated.portName);
    LoadPortSettings(unterminated);
    EXPECT_EQ(unterminated.dcb.BaudRate, 9600u);
    SavePortSettings(unterminated);
    EXPECT_NE(ReadWholeFile(ini).find("[" + std::string(259, 'P') + "]"), std::string::npos);
    SetIniFileForTesting(nullptr);
}

} // namespace
