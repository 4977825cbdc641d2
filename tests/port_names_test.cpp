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

std::string DevicePath(const char* name, size_t size = 520)
{
    std::vector<char> buffer(size + 8, '#');
    MakeDevicePath(name, buffer.data(), size);
    // Nothing behind the buffer is touched.
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "byte " << i;
    return size ? std::string(buffer.data()) : std::string();
}

TEST(DevicePath, PrefixIsAddedOnceAndComparedCaseSensitively)
{
    EXPECT_EQ(DevicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(DevicePath("com12"), "\\\\.\\com12");
    EXPECT_EQ(DevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
    // Only the exact four characters count as the prefix.
    EXPECT_EQ(DevicePath("\\\\?\\COM3"), "\\\\.\\\\\\?\\COM3");
    EXPECT_EQ(DevicePath("//./COM3"), "\\\\.\\//./COM3");
    EXPECT_EQ(DevicePath(""), "\\\\.\\");
}

TEST(DevicePath, NeverWritesMoreThanTheBufferHolds)
{
    EXPECT_EQ(DevicePath("COM12", 7), "\\\\.\\CO");
    EXPECT_EQ(DevicePath("COM12", 3), "\\\\");
    EXPECT_EQ(DevicePath("COM12", 1), "");
    DevicePath("COM12", 0);
    std::string longName(1000, 'A');
    EXPECT_EQ(DevicePath(longName.c_str(), 520).size(), 519u);

    // The whole buffer is cleared first, not only up to the text's end.
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    MakeDevicePath("C", buffer, sizeof buffer);
    for (size_t i = 5; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0) << "byte " << i;
}

TEST(ValueTables, RowsThatDifferFromTheirTextOrBitOrder)
{
    auto find = [](const ValueRow* rows, size_t count, const char* text) -> const ValueRow* {
        for (size_t i = 0; i < count; ++i)
            if (strcmp(rows[i].text, text) == 0) return &rows[i];
        return nullptr;
    };
    ASSERT_EQ(kBaudRateCount, 20u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "134")->value, 135u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "57600")->capability, 0x40000u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "115200")->capability, 0x20000u);
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "128000")->capability, 0x10000u);
    // Whatever a port reports, 256000 is not offered.
    EXPECT_EQ(find(kBaudRates, kBaudRateCount, "256000")->capability & 0xFFFFFFFFu, 0u);
    for (size_t i = 1; i < kBaudRateCount; ++i) EXPECT_LT(kBaudRates[i - 1].value, kBaudRates[i].value);

    ASSERT_EQ(kByteSizeCount, 6u);
    EXPECT_EQ(find(kByteSizes, kByteSizeCount, "16X")->value, 32u);
    ASSERT_EQ(kParityCount, 5u);
    EXPECT_EQ(find(kParities, kParityCount, "スペース")->value, 4u);
    EXPECT_EQ(find(kParities, kParityCount, "なし")->capability, 0x100u);
    ASSERT_EQ(kStopBitCount, 3u);
    EXPECT_EQ(find(kStopBits, kStopBitCount, "1.5")->value, 1u);
    EXPECT_EQ(find(kStopBits, kStopBitCount, "2")->capability, 0x4u);
}

// A key of our own with the shapes of value the real list may hold.
class PortKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
    }
    void Put(const std::string& name, const std::string& data, DWORD type = REG_SZ)
    {
        // Exactly the given bytes: no terminating NUL unless the data has one.
        ASSERT_EQ(RegSetValueExA(key_, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    static constexpr char kKey[] = "Software\\VorlinTests\\SerialComm";
    HKEY key_ = nullptr;
};

TEST_F(PortKey, ShortEntryBeforeLongerOnesDoesNotEndTheList)
{
    Put("\\Device\\Serial0", std::string("COM1", 5));
    Put("\\Device\\Serial1", std::string("COM10", 6));
    Put("\\Device\\VeryLongDeviceNameForTheThirdPort", std::string("COM123", 7));
    std::vector<std::string> list;
    AddPortsFromKey(key_, list);
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM10", "COM123"}));
}

TEST_F(PortKey, OversizedEntriesAreSkippedAndUnterminatedDataIsCut)
{
    Put(std::string(300, 'N'), std::string("COM2", 5));       // name too long
    Put("\\Device\\Serial1", std::string(300, 'D'));           // data too long
    Put("\\Device\\Serial2", std::string(259, 'E'));           // full but for the NUL, no NUL
    Put("\\Device\\Serial3", "COM7");                          // no NUL
    Put("\\Device\\Serial4", std::string("", 1));              // empty
    Put("\\Device\\Serial5", std::string("\x01\x02", 2), REG_BINARY);
    Put("\\Device\\Serial6", std::string("COM8", 5));
    std::vector<std::string> list;
    AddPortsFromKey(key_, list);
    EXPECT_EQ(list, (std::vector<std::string>{std::string(259, 'E'), "COM7", "COM8"}));
}

TEST(PortList, ListsTheVirtualPortsSortedAsText)
{
    std::vector<std::string> list{"ZZZ"};
    size_t count = EnumeratePorts(list);
    EXPECT_EQ(count, list.size());
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    for (const char* port : {"COM5", "COM6", "COM10", "COM16"})
        EXPECT_NE(std::find(list.begin(), list.end(), port), list.end()) << port;
    // COM10 sorts before COM5 as text.
    EXPECT_LT(std::find(list.begin(), list.end(), "COM10"), std::find(list.begin(), list.end(), "COM5"));
    EXPECT_NE(std::find(list.begin(), list.end(), "ZZZ"), list.end());
}

class StoredPortSettings : public ::testing::Test {
protected:
    void SetUp() override { SetIniFileForTesting(folder_.File("Vorlin2.ini").c_str()); }
    void TearDown() override { SetIniFileForTesting(nullptr); }
    TempFolder folder_;
};

TEST_F(StoredPortSettings, SavedSettingsComeBackUnderThePortsOwnSection)
{
    DeviceSettings saved{};
    strcpy(saved.portName, "COM5");
    LoadPortSettings(saved);
    saved.dcb.BaudRate = 19200;
    saved.dcb.Parity = EVENPARITY;
    saved.dcb.fParity = TRUE;
    saved.timeouts.ReadIntervalTimeout = 7;
    saved.timeouts.WriteTotalTimeoutConstant = 900;
    saved.inputQueueSize = 4096;   // RxQueueSize
    saved.outputQueueSize = 1024;  // TxQueueSize
    SavePortSettings(saved);

    std::string ini = ReadWholeFile(folder_.File("Vorlin2.ini"));
    EXPECT_NE(ini.find("[COM5]"), std::string::npos);
    EXPECT_NE(ini.find("TxQueueSize=1024"), std::string::npos);
    EXPECT_NE(ini.find("RxQueueSize=4096"), std::string::npos);

    DeviceSettings loaded{};
    strcpy(loaded.portName, "COM5");
    LoadPortSettings(loaded);
    EXPECT_EQ(loaded.dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(loaded.dcb.BaudRate, 19200u);
    EXPECT_EQ(loaded.dcb.Parity, EVENPARITY);
    EXPECT_EQ(loaded.timeouts.ReadIntervalTimeout, 7u);
    EXPECT_EQ(loaded.timeouts.WriteTotalTimeoutConstant, 900u);
    EXPECT_EQ(loaded.inputQueueSize, 4096u);
    EXPECT_EQ(loaded.outputQueueSize, 1024u);

    // Another port keeps its defaults.
    DeviceSettings other{};
    strcpy(other.portName, "COM6");
    LoadPortSettings(other);
    EXPECT_EQ(other.dcb.BaudRate, 9600u);
    EXPECT_EQ(other.inputQueueSize, 2048u);
}

TEST_F(StoredPortSettings, TheOpenPortsRecordIsLeftAsItIs)
{
    DeviceSettings open{};
    strcpy(open.portName, "COM5");
    open.flags = DEVICE_OPEN;
    open.dcb.BaudRate = 300;
    open.inputQueueSize = 77;
    LoadPortSettings(open);
    EXPECT_EQ(open.dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(open.dcb.BaudRate, 300u);
    EXPECT_EQ(open.inputQueueSize, 77u);
}

TEST_F(StoredPortSettings, AnUnterminatedPortNameIsCutAtTheFieldsEnd)
{
    DeviceSettings record{};
    memset(record.portName, 'P', sizeof record.portName);
    record.dcb.BaudRate = 1;
    LoadPortSettings(record);
    EXPECT_EQ(record.dcb.BaudRate, 9600u);
    record.dcb.BaudRate = 2400;
    SavePortSettings(record);
    EXPECT_NE(ReadWholeFile(folder_.File("Vorlin2.ini")).find("[" + std::string(259, 'P') + "]"), std::string::npos);
}

} // namespace
