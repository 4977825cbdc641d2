#include "settings/toolbar.h"

// Placeholder until the toolbar is built: the window has none.
HWND CreateToolbar(HWND, const AppSettings&) { return nullptr; }
LRESULT OnToolbarNotify(HWND, NMHDR*) { return 0; }
