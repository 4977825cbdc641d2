// The message file's line format and the inserts each message takes, as
// plain functions over text so they can be checked without the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Longest line read from the message file; the rest of a longer line is
// skipped, never read as a line of its own.
constexpr size_t kMessageLineSize = 2048;

// Splits one line (changed in place: trailing blanks removed). Returns false
// for a comment. A line without a number has number 0; exactly one character
// after the number is the separator, when there is one.
bool ParseMessageLine(char* line, uint32_t& number, char*& text);

// \n, \r, \0 and \<any> in place; the second byte of a double-byte
// character is never an escape, and a backslash that ends the text stays.
void UnescapeMessageText(char* text);

// The inserts a format text takes, one letter each: 'd' for an integer
// conversion, 's' for a string. False when the text holds a conversion the
// program never passes (%n, %f, %p, '*' widths, length modifiers ...).
bool FormatInserts(const char* text, char* inserts, size_t size);

// The inserts the program's callers pass with `number` ("" for none), or
// null for a number the program does not use.
const char* ExpectedInserts(uint32_t number);

// Every message number the program uses, in ascending order.
std::vector<uint32_t> UsedMessageNumbers();
