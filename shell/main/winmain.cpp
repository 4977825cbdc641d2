#include <windows.h>
#include <ole2.h>

#include "shell/app.h"

namespace {

// The main thread is a single-threaded apartment from before the program's
// entry function runs until the process exits: the automation server, the
// registration and every dialog that uses COM rely on it.
struct Apartment {
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
} g_apartment;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showState)
{
    return RunApplication(instance, commandLine, showState);
}
