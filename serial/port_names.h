// Port names, the list of ports, the line-setting value tables, and the
// stored settings of a port.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/device_settings.h"

// One row of a value table: the text of a list, the DCB value and the
// COMMPROP capability bit that must be set for the row to be offered.
struct ValueRow {
    const char* text;
    uint32_t value;
    uint32_t capability;
};

extern const ValueRow kBaudRates[];
extern const size_t kBaudRateCount;
extern const ValueRow kByteSizes[];
extern const size_t kByteSizeCount;
extern const ValueRow kParities[];
extern const size_t kParityCount;
extern const ValueRow kStopBits[];
extern const size_t kStopBitCount;

// The device path of a port name: "\\.\" in front unless the name starts
// with it (case-sensitive). The buffer is cleared first and always ends in
// a NUL; at most size - 1 characters are written.
void MakeDevicePath(const char* name, char* buffer, size_t size);
// Adds the ports of HARDWARE\DEVICEMAP\SERIALCOMM, sorted as text; returns the count.
// Shows the system's error text when the key cannot be opened.
size_t EnumeratePorts(std::vector<std::string>& list);
// The same for an open key whose values name ports (the registry list
// above, or a test's own key). Does not sort.
void AddPortsFromKey(HKEY key, std::vector<std::string>& list);
// Fills the DCB, timeouts and queue sizes from the port's stored settings,
// unless the record describes the open port.
void LoadPortSettings(DeviceSettings& record);
// Stores them under the port's section.
void SavePortSettings(const DeviceSettings& record);
