// The device-setting objects: automation views of a Port's private
// settings. Each holds a reference on its Port, so that the settings it
// points into stay valid while a client holds it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "serial/device_settings.h"
#include "vorlin2_h.h"

// True while the main window has the port open.
bool PortIsOpen();

// Each hands out a new object's primary interface in `out`.
HRESULT CreateDeviceControlBlock(IPort* parent, uint32_t portId, DCB* dcb, void** out);
HRESULT CreateCommTimeouts(IPort* parent, COMMTIMEOUTS* timeouts, void** out);
HRESULT CreateDeviceQueue(IPort* parent, DeviceSettings* settings, void** out);
HRESULT CreateCommProp(IPort* parent, COMMPROP* properties, void** out);
