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

void MakeDevicePath(const char* name, char* buffer, size_t size);
// Adds the ports of HARDWARE\DEVICEMAP\SERIALCOMM, sorted as text; returns the count.
size_t EnumeratePorts(std::vector<std::string>& list);
void LoadPortSettings(DeviceSettings& record);
void SavePortSettings(const DeviceSettings& record);
