#include "serial/port_names.h"

#include <algorithm>
#include <cstring>

#include "settings/settings_store.h"
#include "base/catalogue.h"
#include "base/text.h"

// The rows keep the order of the lists, which is ascending rate order, not
// the order of the capability bits (BAUD_57600 is 0x40000, BAUD_115200
// 0x20000, BAUD_128K 0x10000). "134" stands for 134.5 baud and writes 135.
// 256000 has no capability bit, so it is never offered.
const ValueRow kBaudRates[] = {
    {"75", 75, 0x1},          {"110", 110, 0x2},       {"134", 135, 0x4},
    {"150", 150, 0x8},        {"300", 300, 0x10},      {"600", 600, 0x20},
    {"1200", 1200, 0x40},     {"1800", 1800, 0x80},    {"2400", 2400, 0x100},
    {"4800", 4800, 0x200},    {"7200", 7200, 0x400},   {"9600", 9600, 0x800},
    {"14400", 14400, 0x1000}, {"19200", 19200, 0x2000}, {"38400", 38400, 0x4000},
    {"56000", 56000, 0x8000}, {"57600", 57600, 0x40000}, {"115200", 115200, 0x20000},
    {"128000", 128000, 0x10000}, {"256000", 256000, 0},
};
const size_t kBaudRateCount = std::size(kBaudRates);

// Bits of COMMPROP.wSettableData.
const ValueRow kByteSizes[] = {
    {"5", 5, 0x1}, {"6", 6, 0x2}, {"7", 7, 0x4}, {"8", 8, 0x8}, {"16", 16, 0x10}, {"16X", 32, 0x20},
};
const size_t kByteSizeCount = std::size(kByteSizes);

// Bits of COMMPROP.wSettableStopParity (parity half).
const ValueRow kParities[] = {
    {"なし", NOPARITY, 0x100},   {"奇数", ODDPARITY, 0x200},    {"偶数", EVENPARITY, 0x400},
    {"マーク", MARKPARITY, 0x800}, {"スペース", SPACEPARITY, 0x1000},
};
const size_t kParityCount = std::size(kParities);

// Bits of COMMPROP.wSettableStopParity (stop-bit half).
const ValueRow kStopBits[] = {
    {"1", ONESTOPBIT, 0x1}, {"1.5", ONE5STOPBITS, 0x2}, {"2", TWOSTOPBITS, 0x4},
};
const size_t kStopBitCount = std::size(kStopBits);

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;
constexpr wchar_t kPortListKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kRegistryText = 260;

// Appends text, always leaving room for the final NUL.
void Append(char* buffer, size_t size, size_t* used, const char* text)
{
    while (*text && *used + 1 < size) buffer[(*used)++] = *text++;
}

} // namespace

void MakeDevicePath(const char* name, char* buffer, size_t size)
{
    if (!buffer || size == 0) return;
    memset(buffer, 0, size);
    if (!name) return;
    size_t used = 0;
    if (strncmp(name, kDevicePrefix, kDevicePrefixLength) != 0) Append(buffer, size, &used, kDevicePrefix);
    Append(buffer, size, &used, name);
}

void AddPortsFromKey(HKEY key, std::vector<std::string>& list)
{
    for (DWORD index = 0;; ++index) {
        // Both sizes are in and out: they must be reset for every value, or
        // a short entry makes every later one look too long.
        wchar_t name[kRegistryText];
        wchar_t data[kRegistryText + 1];
        DWORD nameSize = kRegistryText;
        DWORD dataSize = kRegistryText * sizeof(wchar_t);
        DWORD type = 0;
        LONG rc = RegEnumValueW(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                &dataSize);
        // An entry too long for the buffers is skipped, not taken as the end.
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        // The stored text need not end in a NUL.
        data[std::min<DWORD>(dataSize / sizeof(wchar_t), kRegistryText)] = L'\0';
        // A device whose name has no Shift_JIS form could not be opened.
        std::string port = PathToSjis(data);
        if (!port.empty()) list.push_back(port);
    }
}

size_t EnumeratePorts(std::vector<std::string>& list)
{
    HKEY key;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortListKey, 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) {
        ShowSystemError(nullptr, kAppTitle, static_cast<DWORD>(rc));
        return 0;
    }
    AddPortsFromKey(key, list);
    RegCloseKey(key);
    // As the sorted list box of the dialog orders them: COM10 before COM2.
    std::sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpW(SjisToWide(a).c_str(), SjisToWide(b).c_str()) < 0;
    });
    return list.size();
}

namespace {

// The port name as a section name, cut at the field's end if it has no NUL.
void SectionOf(const DeviceSettings& record, char (&section)[sizeof(DeviceSettings::portName)])
{
    memcpy(section, record.portName, sizeof section);
    section[sizeof section - 1] = '\0';
}

} // namespace

void LoadPortSettings(DeviceSettings& record)
{
    record.dcb.DCBlength = sizeof(DCB);
    if (record.flags & DEVICE_OPEN) return;
    char section[sizeof record.portName];
    SectionOf(record, section);
    LoadDeviceSettings(section, record.dcb);
    LoadTimeouts(section, record.timeouts);
    LoadQueueSizes(section, record.outputQueueSize, record.inputQueueSize);
}

void SavePortSettings(const DeviceSettings& record)
{
    char section[sizeof record.portName];
    SectionOf(record, section);
    SaveDeviceSettings(section, record.dcb);
    SaveTimeouts(section, record.timeouts);
    SaveQueueSizes(section, record.outputQueueSize, record.inputQueueSize);
}
