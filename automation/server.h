// The automation server as its objects see it: the main window they work
// through, the application settings, and the two sink tables.
#pragma once
#include <windows.h>

#include "automation/sink_table.h"
#include "settings/settings_types.h"

HWND ServerWindow();
AppSettings& ServerAppSettings();
SinkTable& ApplicationSinks();
SinkTable& PortSinks();

// Posts WM_CLOSE to the main window of a server started for automation once
// no lock and no object is left.
void CheckServerEnd();

// Creators behind the class factories (and IApplication::Port, IPort::Application).
HRESULT CreateApplicationObject(REFIID iid, void** out);
HRESULT CreatePortObject(REFIID iid, void** out);
