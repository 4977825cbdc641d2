// Errors of automation members: an error object the client reads (source,
// description, interface) and an HRESULT built from the message number.
#pragma once
#include <windows.h>

#include <cstdint>

enum class ErrorSource : uint8_t { Application, Port, DeviceControlBlock, CommTimeouts, CommProp, DeviceQueue };

// Formats message `number` of the catalogue with the arguments (at most 511
// bytes), makes it the thread's error object and returns
// 0x80040000 | number. With a nonzero help context the help file goes too.
HRESULT RaiseAutomationError(ErrorSource source, unsigned number, DWORD helpContext, ...);
// A Win32 error code as an HRESULT, without an error object.
constexpr HRESULT Win32ErrorResult(DWORD code) { return static_cast<HRESULT>(0x80070000u | (code & 0xFFFF)); }
