// The Port object. Its class factory is registered with the Application's;
// until the object is built, creating one fails.
#include "automation/server.h"

HRESULT CreatePortObject(REFIID, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
