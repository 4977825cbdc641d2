// The tunnel's line protocol between instances, as plain functions over
// buffers: "PID,%08x\r\n" once from a parent to its child, then "DATA,"
// lines both ways, each carrying one block as upper-case hex pairs.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

// A line carries at most this many bytes, so that the longest line
// (5 + 2 * 4086 + 2 = 8179 bytes) fits the pipe buffer and the read buffer.
constexpr size_t kTunnelPieceBytes = 4086;
constexpr size_t kTunnelBufferBytes = 8192;
constexpr size_t kTunnelMaxLine = 5 + 2 * kTunnelPieceBytes + 2;

// Writes the line of the first min(count, kTunnelPieceBytes) bytes into
// `line`, which holds kTunnelMaxLine bytes; returns its length (no
// terminator) and in `taken` the number of bytes it carries.
size_t FormatDataLine(const uint8_t* bytes, size_t count, size_t* taken, char* line);

// The number of bytes a peer's line carries: ceil(n / 2) for the n hex
// digits between "DATA," and the line end; 0 for a line that does not
// begin with "DATA".
size_t DataLineByteCount(const char* line, size_t length);
// Decodes the line into `out` (DataLineByteCount bytes); returns that count.
// A digit pair that holds no hex digit gives the value of the digits before it.
size_t DecodeDataLine(const char* line, size_t length, uint8_t* out);

// The parent's process id from its "PID,%08x" line; false when the line
// does not hold one.
bool ParsePidLine(const char* line, size_t length, DWORD* processId);

// True when "/tunnel" stands after the program's name (the first token) in
// the command line.
bool HasTunnelArgument(const wchar_t* commandLine);

// The length of the complete lines at the start of `bytes`: up to and
// including the last line feed (firstOnly: the first one); 0 without one.
size_t CompleteLinesLength(const char* bytes, size_t count, bool firstOnly);
