// The identifiers of the automation interfaces and classes, defined once.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <initguid.h>

#include "vorlin2_h.h"
