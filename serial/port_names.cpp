#include "serial/port_names.h"

// Placeholder until the port list and tables are built.
const ValueRow kBaudRates[] = {{"9600", 9600, 0x800}};
const size_t kBaudRateCount = 1;
const ValueRow kByteSizes[] = {{"8", 8, 0x8}};
const size_t kByteSizeCount = 1;
const ValueRow kParities[] = {{"なし", 0, 0x100}};
const size_t kParityCount = 1;
const ValueRow kStopBits[] = {{"1", 0, 0x1}};
const size_t kStopBitCount = 1;

void MakeDevicePath(const char* name, char* buffer, size_t size)
{
    if (size) lstrcpynA(buffer, name, static_cast<int>(size));
}
size_t EnumeratePorts(std::vector<std::string>&) { return 0; }
void LoadPortSettings(DeviceSettings& record) { record.dcb.DCBlength = sizeof(DCB); }
void SavePortSettings(const DeviceSettings&) {}
