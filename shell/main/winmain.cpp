#include <windows.h>

#include "shell/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showState)
{
    return RunApplication(instance, commandLine, showState);
}
