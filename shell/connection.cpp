#include "shell/connection.h"

// Placeholder until the connection commands are built.
LRESULT Connect(HWND, DeviceSettings*) { return ERROR_CALL_NOT_IMPLEMENTED; }
LRESULT Disconnect(HWND) { return 0; }
