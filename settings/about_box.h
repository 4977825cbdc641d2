// The about box: the program's title with its version, and its web address.
#pragma once
#include <windows.h>

void ShowAboutBox(HWND owner);
