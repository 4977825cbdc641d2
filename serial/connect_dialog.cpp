#include "serial/connect_dialog.h"

// Placeholder until the dialogs are built.
INT_PTR RunConnectDialog(HWND, DeviceSettings& record)
{
    record.flags &= ~DEVICE_SAVE;
    return 0;
}
void RunExtendedDialog(HWND, DeviceSettings&) {}
