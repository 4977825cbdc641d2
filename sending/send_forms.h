// The button and form files of the data folder: finding them, reading a
// button entry, parsing a form section and turning a form into bytes.
//
// Everything that only needs text is a plain function over lines, so the
// parsing can be checked without files or windows; the functions that take
// window handles fill the send data window's boxes and read its controls.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Start-up: resolves the data folder of the send forms.
void LocateDataDirectory();
const char* GetDataDirectory();
// Puts another folder in place of the located one (an empty text: none).
void SetDataDirectory(const char* folder);

constexpr int kMaxButtonFiles = 256;
constexpr int kMaxButtonEntries = 18;
constexpr int kMaxFileName = 259;
constexpr size_t kLineBufferSize = 8192;    // fgets buffer: pieces of 8191 bytes
constexpr int kMaxFormFields = 32;
constexpr int kFieldTitleSize = 32;
constexpr int kFieldDataSize = 8192;
constexpr int kMaxFieldLength = 8191;       // the longest LENGTH an input control can hold
constexpr int kFieldControlBase = 20000;
constexpr int kMaxSectionHeader = 128;      // "[name]" must be shorter than this

enum FieldKind : uint32_t { FIELD_EDIT = 0, FIELD_COMBO = 1 };
// Styles are indices in the kind's list.
enum EditStyle : uint32_t { EDIT_STATIC = 0, EDIT_TEXT = 1, EDIT_MULTILINETEXT = 2 };
enum ComboStyle : uint32_t { COMBO_DROPDOWN = 0, COMBO_DROPDOWNLIST = 1 };
enum FieldConversion : uint32_t { CONVERT_SJIS = 0, CONVERT_BIN = 1, CONVERT_OCT = 2, CONVERT_HEX = 3 };
enum FieldAttribute : uint32_t {
    ATTR_STYLE = 0x1,
    ATTR_TITLE = 0x2,
    ATTR_CONVERT = 0x4,
    ATTR_LENGTH = 0x8,
    ATTR_DATA = 0x10,
    ATTR_LINES = 0x10000,
};

struct FormField {
    HWND titleWindow;
    HWND conversionWindow;
    HWND inputWindow;
    uint32_t controlId;          // kFieldControlBase + field number
    uint32_t kind;               // FieldKind
    uint32_t style;              // EditStyle or ComboStyle
    char title[kFieldTitleSize];
    uint32_t conversion;         // FieldConversion
    uint32_t length;             // characters the user may enter
    char data[kFieldDataSize];   // initial text, or the comma-separated list items
    uint32_t lines;              // visible lines of a multi-line edit field
    uint32_t attributes;         // FieldAttribute bits given on the line
};

// The multi-edit page's store: one parsed section. After a parse error it
// holds no field at all, so nothing half-read is ever built or sent.
struct MultiEditForm {
    HWND owner;
    uint32_t fieldCount;
    FormField fields[kMaxFormFields];
};

// A report met while parsing: message number, line number (from 1) and
// the insert that follows the line number (text, or `value` when empty).
struct FormMessage {
    unsigned number;
    int line;
    std::string text;
    int value;
};

// ---- plain text functions ---------------------------------------------

// True when the last character of the text is a backslash, not the second
// byte of a double-byte character.
bool EndsWithBackslash(std::string_view text);
// folder + "\" (unless the folder ends with one) + name; false, with the
// buffer emptied, when the result does not fit in `size` bytes.
bool JoinPath(const char* folder, const char* name, char* buffer, size_t size);

// Splits text into the lines a text-mode reader with an 8192-byte buffer
// would give: each ends after its line feed or after 8191 bytes.
std::vector<std::string> SplitTextLines(std::string_view text);
// The same for a file (text mode); false when it cannot be opened.
bool ReadTextLines(const char* path, std::vector<std::string>& lines);

struct ButtonEntry {
    std::string caption;
    std::string data;
};
// The used lines of a button file, at most 18.
std::vector<ButtonEntry> ParseButtonEntries(const std::vector<std::string>& lines);
// Button data by the "HEX" rule: two digits a byte, a single last digit alone.
std::vector<uint8_t> ButtonDataToBytes(std::string_view text);

// Section names as the section box lists them ("[%d]" for repeats).
std::vector<std::string> ListSectionNames(const std::vector<std::string>& lines);
// Parses the n-th section (from 0). On failure the form holds no field.
bool ParseFormSection(const std::vector<std::string>& lines, int sectionIndex, MultiEditForm& form,
                      std::vector<FormMessage>& messages);
// One definition line into a field; `lineNumber` goes into the messages.
bool ParseDefinitionLine(std::string_view line, int lineNumber, FormField& field,
                         std::vector<FormMessage>& messages);
// The tokens of a definition line (quotes kept).
std::vector<std::string> TokenizeDefinitionLine(std::string_view line);

// Bytes a form sends, summed in 64 bits.
uint64_t MultiEditFormByteCount(const MultiEditForm& form);
// Bytes of one field's share (exactly its share of the count).
size_t FieldShare(const FormField& field);
void FieldTextToBytes(const FormField& field, std::string_view text, uint8_t* share);
// The form's bytes from the given field texts; false when a text is missing.
bool BuildFormBytesFromTexts(const MultiEditForm& form, const std::vector<std::string>& texts,
                             uint8_t* buffer, size_t size);

// ---- files and windows ------------------------------------------------

// Names of "*.<extension>" in the data folder, in enumeration order.
std::vector<std::string> FindDataFiles(const char* extension, size_t limit);

// The button-file list: lives as long as the process.
int ListButtonFiles();
const char* GetButtonFileName(int index);
int GetCurrentButtonFile();
bool SetCurrentButtonFile(int index);
// Entry 0 to 17 of the file; false when the file or entry does not exist.
bool ReadButtonEntry(int fileIndex, int entryIndex, ButtonEntry& entry);

// Fills a drop-down list with the form files and selects the first.
int ListFormFiles(HWND fileBox);
// Fills the section box with the sections of the file selected in the file box.
int ListFormSections(HWND fileBox, HWND sectionBox);
// Parses the section of the file; reports to `form.owner`. On failure the
// form holds no field.
bool LoadMultiEditForm(const char* fileName, int sectionIndex, MultiEditForm& form);
// Reads the input controls into the form's bytes. False (and nothing to
// send) when the form's controls have not been built.
bool BuildMultiEditFormBytes(const MultiEditForm& form, uint8_t* buffer, size_t size);
// The whole block to send: 0 with the bytes (none when there is nothing to
// send), or ERROR_NOT_ENOUGH_MEMORY when the total cannot be allocated.
DWORD MakeMultiEditFormBlock(const MultiEditForm& form, std::vector<uint8_t>& bytes);
// Sends the form's bytes through the main window; nothing when there is
// nothing to send. Errors are reported to `owner`; the result is 0 or the error.
DWORD SendMultiEditForm(HWND owner, const MultiEditForm& form, bool asynchronous);
