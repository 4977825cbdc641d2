#include "serial/engine.h"

#include <cstdlib>

// Placeholder until the engine threads are built: no thread ever runs, so
// every request is completed at once and nothing is written.
bool StartEngine(SerialEngine&) { SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return false; }
void StopEngine(SerialEngine&) {}
bool IsWriterRunning(const SerialEngine&) { return false; }

LRESULT ForwardSendRequest(SerialEngine&, SendRequest* request)
{
    if (!request) return 0;
    if (request->done) SetEvent(request->done);
    free(request);
    return 0;
}

void CancelWrite(SerialEngine&) {}
BOOL ExecuteLineFunction(SerialEngine&, DWORD) { return FALSE; }
BOOL ExecuteIoControl(SerialEngine&, EscapeRequest*) { return FALSE; }
DWORD SubmitSend(const void*, uint32_t, bool) { return 0; }
