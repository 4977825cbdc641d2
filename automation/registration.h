// Entering the automation server in the registry: the registry scripts and
// the type library the program carries.
#pragma once
#include <windows.h>
#include <ole2.h>

// "<program path>\1": the name by which the system loads the type library
// resource of the program.
HRESULT TypeLibraryResourcePath(wchar_t* path, size_t size);
// Registers the type library resource under that name, without a help folder.
HRESULT RegisterTypeLibraryResource();
