#include "settings/settings_store.h"

#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/text.h"
#include "settings/ini_file.h"
#include "settings/value_forms.h"

// Only the main thread loads and saves settings, except the log thread's
// LoadLogSettings at its start; the path below is settled by the main
// thread's LocateIniFile at start-up, before the log thread exists.

namespace {

constexpr char kIniName[] = "Vorlin2.ini";
constexpr size_t kValueSize = 512;

char g_iniPath[MAX_PATH];
bool g_searchStopped;        // set by tests that name their own file
char g_programFolder[MAX_PATH];
bool g_programFolderSet;

void CopyText(char* out, size_t size, const char* text)
{
    if (!size) return;
    size_t n = strnlen(text, size - 1);
    memcpy(out, text, n);
    memset(out + n, 0, size - n);
}

bool HasSection(const char* section) { return section && *section; }

// The value text of a key, or the default (also while no file is known).
void ReadText(const char* section, const char* key, const char* fallback, char* out, size_t size)
{
    const char* path = LocateIniFile();
    if (!*path || !HasSection(section)) {
        CopyText(out, size, fallback);
        return;
    }
    ReadIniText(path, section, key, fallback, out, size);
}

// Writes go to the file found; while none is found, they create one in the
// program's folder, which the search then finds first.
void WriteText(const char* section, const char* key, const char* value)
{
    if (!HasSection(section)) return;
    const char* path = LocateIniFile();
    if (!*path) {
        char created[MAX_PATH];
        int n = snprintf(created, sizeof created, "%s\\%s", GetProgramFolder(), kIniName);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof created) return;
        CopyText(g_iniPath, sizeof g_iniPath, created);
        path = g_iniPath;
    }
    WriteIniText(path, section, key, value);
}

// Full path by the platform's search order, or the text unchanged.
void ResolveFolder(const char* text, char* out, size_t size)
{
    std::string full = SearchPathSjis(text);
    CopyText(out, size, !full.empty() && full.size() < MAX_PATH ? full.c_str() : text);
}

uint8_t ReadFlag(const char* section, const char* key, int fallback)
{
    return static_cast<uint8_t>(ReadInteger(section, key, fallback));
}

template <int N>
int ReadName(const char* section, const char* key, const char* const (&names)[N], bool mapped, int fallback)
{
    char text[kValueSize];
    ReadText(section, key, "", text, sizeof text);
    return ParseName(text, names, N, mapped, fallback);
}

// The DCB keys in the order they are saved. Bit fields cannot be reached
// through member pointers, so each row carries its own accessors.
struct DcbKey {
    const char* key;
    int fallback;
    void (*load)(DCB&, int);
    int (*save)(const DCB&);
};

const DcbKey kDcbKeys[] = {
    {"BaudRate", 9600, [](DCB& d, int v) { d.BaudRate = v; }, [](const DCB& d) { return int(d.BaudRate); }},
    {"fParity", 0, [](DCB& d, int v) { d.fParity = v & 1; }, [](const DCB& d) { return int(d.fParity); }},
    {"fOutxCtsFlow", 0, [](DCB& d, int v) { d.fOutxCtsFlow = v & 1; }, [](const DCB& d) { return int(d.fOutxCtsFlow); }},
    {"fOutxDsrFlow", 0, [](DCB& d, int v) { d.fOutxDsrFlow = v & 1; }, [](const DCB& d) { return int(d.fOutxDsrFlow); }},
    {"fDtrControl", 0, [](DCB& d, int v) { d.fDtrControl = v & 3; }, [](const DCB& d) { return int(d.fDtrControl); }},
    {"fDsrSensitivity", 0, [](DCB& d, int v) { d.fDsrSensitivity = v & 1; }, [](const DCB& d) { return int(d.fDsrSensitivity); }},
    {"fTXContinueOnXoff", 0, [](DCB& d, int v) { d.fTXContinueOnXoff = v & 1; }, [](const DCB& d) { return int(d.fTXContinueOnXoff); }},
    {"fOutX", 0, [](DCB& d, int v) { d.fOutX = v & 1; }, [](const DCB& d) { return int(d.fOutX); }},
    {"fInX", 0, [](DCB& d, int v) { d.fInX = v & 1; }, [](const DCB& d) { return int(d.fInX); }},
    {"fErrorChar", 0, [](DCB& d, int v) { d.fErrorChar = v & 1; }, [](const DCB& d) { return int(d.fErrorChar); }},
    {"fNull", 0, [](DCB& d, int v) { d.fNull = v & 1; }, [](const DCB& d) { return int(d.fNull); }},
    {"fRtsControl", 0, [](DCB& d, int v) { d.fRtsControl = v & 3; }, [](const DCB& d) { return int(d.fRtsControl); }},
    {"XonLim", 2048, [](DCB& d, int v) { d.XonLim = WORD(v); }, [](const DCB& d) { return int(d.XonLim); }},
    {"XoffLim", 512, [](DCB& d, int v) { d.XoffLim = WORD(v); }, [](const DCB& d) { return int(d.XoffLim); }},
    {"ByteSize", 8, [](DCB& d, int v) { d.ByteSize = BYTE(v); }, [](const DCB& d) { return int(d.ByteSize); }},
    {"Parity", 0, [](DCB& d, int v) { d.Parity = BYTE(v); }, [](const DCB& d) { return int(d.Parity); }},
    {"StopBits", 0, [](DCB& d, int v) { d.StopBits = BYTE(v); }, [](const DCB& d) { return int(d.StopBits); }},
    // Characters are written as signed bytes (255 as -1); the low 8 bits
    // read back give the code.
    {"XonChar", 17, [](DCB& d, int v) { d.XonChar = char(v); }, [](const DCB& d) { return int(static_cast<signed char>(d.XonChar)); }},
    {"XoffChar", 19, [](DCB& d, int v) { d.XoffChar = char(v); }, [](const DCB& d) { return int(static_cast<signed char>(d.XoffChar)); }},
    {"ErrorChar", 0, [](DCB& d, int v) { d.ErrorChar = char(v); }, [](const DCB& d) { return int(static_cast<signed char>(d.ErrorChar)); }},
};

struct TimeoutKey {
    const char* key;
    int fallback;
    DWORD COMMTIMEOUTS::*field;
};

const TimeoutKey kTimeoutKeys[] = {
    {"ReadIntervalTimeout", 100, &COMMTIMEOUTS::ReadIntervalTimeout},
    {"ReadTotalTimeoutMultiplier", 50, &COMMTIMEOUTS::ReadTotalTimeoutMultiplier},
    {"ReadTotalTimeoutConstant", 100, &COMMTIMEOUTS::ReadTotalTimeoutConstant},
    {"WriteTotalTimeoutMultiplier", 50, &COMMTIMEOUTS::WriteTotalTimeoutMultiplier},
    {"WriteTotalTimeoutConstant", 100, &COMMTIMEOUTS::WriteTotalTimeoutConstant},
};

// Flags of the application section: key, default, bit of the flag word.
struct AppFlagKey {
    const char* key;
    int fallback;
    uint32_t bit;
};

const AppFlagKey kAppFlagKeys[] = {
    {"ABSOLUTELY_TRACING_KEYBOARD", 0, APP_TRACE_KEYBOARD},
    {"SHOW_TOOLBAR", 1, APP_SHOW_TOOLBAR},
    {"FLATTEN_TOOLBAR", 1, APP_FLAT_TOOLBAR},
    {"REOPEN_PORT", 1, APP_REOPEN_PORT},
};

// 8-bit flags of the log and view sections, in the order they are saved.
struct FlagKey {
    const char* key;
    int fallback;
    size_t offset;
};

const FlagKey kLogFlagKeys[] = {
    {"HEADER", 1, offsetof(LogSettings, header)},
    {"HEX", 1, offsetof(LogSettings, hex)},
    {"ASCII", 0, offsetof(LogSettings, ascii)},
    {"ALTERNATE_MODE", 0, offsetof(LogSettings, alternate)},
    {"UNICODE", 0, offsetof(LogSettings, unicode)},
    {"REPLACE_CTRL_CODE", 0, offsetof(LogSettings, replaceCtrlCode)},
};

const FlagKey kViewFlagKeys[] = {
    {"HEADER", 1, offsetof(ViewSettings, header)},
    {"HEX", 1, offsetof(ViewSettings, hex)},
    {"ASCII", 0, offsetof(ViewSettings, ascii)},
    {"STRING", 0, offsetof(ViewSettings, string)},
    {"ALTERNATE_MODE", 0, offsetof(ViewSettings, alternate)},
    {"KEEP_CUR_POS", 0, offsetof(ViewSettings, keepCurPos)},
    {"UNICODE", 0, offsetof(ViewSettings, unicode)},
};

struct ColourKey {
    const char* key;
    COLORREF fallback;
    COLORREF ViewSettings::*field;
};

const ColourKey kColourKeys[] = {
    {"COLORBACKGROUND", RGB(0xFF, 0xFF, 0xFF), &ViewSettings::colourBackground},
    {"COLORSEND", RGB(0x00, 0x7F, 0x00), &ViewSettings::colourSend},
    {"COLORRECV", RGB(0x00, 0x00, 0xFF), &ViewSettings::colourRecv},
    {"COLORERROR", RGB(0xFF, 0x00, 0x00), &ViewSettings::colourError},
    {"COLORDISCARD", RGB(0x7F, 0x7F, 0x7F), &ViewSettings::colourDiscard},
};

void SetCodes(CtrlCodeSet& set, int last, int extra)
{
    memset(set.code, 0, sizeof set.code);
    for (int c = 0; c <= last; ++c) set.code[c] = 1;
    set.code[extra] = 1;
}

constexpr char kLog[] = "LOG";
constexpr char kPreview[] = "PREVIEW";
constexpr char kApplication[] = "APPLICATION";

} // namespace

void SetIniFileForTesting(const char* path)
{
    g_searchStopped = path != nullptr;
    CopyText(g_iniPath, sizeof g_iniPath, path ? path : "");
}

void SetProgramFolderForTesting(const char* folder)
{
    g_programFolderSet = folder != nullptr;
    CopyText(g_programFolder, sizeof g_programFolder, folder ? folder : "");
}

const char* GetProgramFolder()
{
    if (!g_programFolderSet) {
        std::string path = ModuleFileNameSjis();
        if (path.empty() || path.size() >= MAX_PATH) return "";
        path.resize(std::min(path.size(), path.find_last_of('\\')));
        CopyText(g_programFolder, sizeof g_programFolder, path.c_str());
        g_programFolderSet = true;
    }
    return g_programFolder;
}

// Searched again at every access until found, so a file that appears while
// the program runs (or that a save created) is taken from then on.
const char* LocateIniFile()
{
    if (!*g_iniPath && !g_searchStopped) {
        std::string path = SearchPathSjis(kIniName);
        if (path.size() < sizeof g_iniPath) CopyText(g_iniPath, sizeof g_iniPath, path.c_str());
    }
    return g_iniPath;
}

int ReadInteger(const char* section, const char* key, int fallback)
{
    char text[kValueSize];
    ReadText(section, key, "", text, sizeof text);
    return ParseInteger(text).value_or(fallback);
}

void WriteInteger(const char* section, const char* key, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    WriteText(section, key, text);
}

char ReadCharValue(const char* section, const char* key, char fallback)
{
    char text[kValueSize];
    ReadText(section, key, "", text, sizeof text);
    return ParseCharValue(text, fallback);
}

void WriteCharValue(const char* section, const char* key, char c)
{
    char text[3];
    FormatCharValue(c, text);
    WriteText(section, key, text);
}

COLORREF ReadColourValue(const char* key, COLORREF fallback)
{
    char text[kValueSize];
    ReadText(kPreview, key, "", text, sizeof text);
    return ParseColourValue(text, fallback);
}

void WriteColourValue(const char* key, COLORREF colour)
{
    char text[8];
    FormatColourValue(colour, text);
    WriteText(kPreview, key, text);
}

bool ReadCtrlCodeSet(const char* section, CtrlCodeSet& set)
{
    char text[kValueSize];
    ReadText(section, "CTRL_CODE", "", text, sizeof text);
    return ParseCtrlCodeSet(text, set);
}

void WriteCtrlCodeSet(const char* section, const CtrlCodeSet& set)
{
    char text[kCtrlCodeTextSize];
    FormatCtrlCodeSet(set, text);
    WriteText(section, "CTRL_CODE", text);
}

uint8_t ReadKanjiName(const char* section)
{
    return static_cast<uint8_t>(ReadName(section, "KANJI", kKanjiNames, true, KANJI_SJIS));
}

void ReadWrapSetting(const char* key, WrapSetting& wrap)
{
    char text[kValueSize];
    ReadText(kPreview, key, "", text, sizeof text);
    wrap = ParseWrapSetting(text);
}

void WriteWrapSetting(const char* key, const WrapSetting& wrap)
{
    char text[12];
    FormatWrapSetting(wrap, text);
    WriteText(kPreview, key, text);
}

void LoadAppSettings(AppSettings& settings)
{
    memset(&settings, 0, sizeof settings);
    settings.flags = APP_AUTO_LOG_NAME | APP_MESSAGE_BOXES;
    for (const AppFlagKey& k : kAppFlagKeys)
        if (ReadInteger(kApplication, k.key, k.fallback) & 1) settings.flags |= k.bit;
    ReadText(kApplication, "TOOLBAR", "", settings.toolbarLayout, sizeof settings.toolbarLayout);
}

void SaveToolbarLayout(const char* text)
{
    WriteText(kApplication, "TOOLBAR", text ? text : "");
}

void LoadDataDirectory(char* buffer, size_t size)
{
    if (!buffer || !size) return;
    memset(buffer, 0, size);
    ReadText("DATA", "DIRECTORY", "data", buffer, size);
}

void LoadDeviceSettings(const char* section, DCB& dcb)
{
    dcb.DCBlength = sizeof(DCB);
    for (const DcbKey& k : kDcbKeys) k.load(dcb, ReadInteger(section, k.key, k.fallback));
}

void SaveDeviceSettings(const char* section, const DCB& dcb)
{
    for (const DcbKey& k : kDcbKeys) WriteInteger(section, k.key, k.save(dcb));
}

void LoadTimeouts(const char* section, COMMTIMEOUTS& timeouts)
{
    for (const TimeoutKey& k : kTimeoutKeys)
        timeouts.*k.field = static_cast<DWORD>(ReadInteger(section, k.key, k.fallback));
}

void SaveTimeouts(const char* section, const COMMTIMEOUTS& timeouts)
{
    for (const TimeoutKey& k : kTimeoutKeys) WriteInteger(section, k.key, static_cast<int>(timeouts.*k.field));
}

void LoadQueueSizes(const char* section, uint32_t& tx, uint32_t& rx)
{
    tx = static_cast<uint32_t>(ReadInteger(section, "TxQueueSize", 2048));
    rx = static_cast<uint32_t>(ReadInteger(section, "RxQueueSize", 2048));
}

void SaveQueueSizes(const char* section, uint32_t tx, uint32_t rx)
{
    WriteInteger(section, "TxQueueSize", static_cast<int>(tx));
    WriteInteger(section, "RxQueueSize", static_cast<int>(rx));
}

void LoadLogSettings(LogSettings& s)
{
    memset(&s, 0, sizeof s);
    char text[kValueSize];
    ReadText(kLog, "DIRECTORY", "log", text, sizeof text);
    ResolveFolder(text, s.directory, sizeof s.directory);

    s.logType = ReadName(kLog, "LOGTYPE", kLogTypeNames, false, LOGTYPE_APPEND);

    ReadText(kLog, "MAXLOGFILESIZE", "", text, sizeof text);
    int64_t size = ParseInteger64(text).value_or(0xFFFFFFFFLL);
    if (size < 65536) size = 65536;  // a negative size too
    s.maxFileSize = size;

    for (const FlagKey& k : kLogFlagKeys)
        reinterpret_cast<uint8_t*>(&s)[k.offset] = ReadFlag(kLog, k.key, k.fallback);
    SetCodes(s.ctrlCode, 0x1F, 0x7F);
    ReadCtrlCodeSet(kLog, s.ctrlCode);
    s.separator = ReadCharValue(kLog, "SEPARATOR_CHAR", ' ');
    s.kanji = ReadKanjiName(kLog);
    s.defaultChar = ReadCharValue(kLog, "DEFAULT_CHAR", '?');
    s.replaceChar = ReadCharValue(kLog, "REPLACE_CHAR", ' ');
    s.hexBytesPerLine = static_cast<uint16_t>(ReadInteger(kLog, "HEX_BYTES_PER_LINE", 26));
    s.asciiBytesPerLine = static_cast<uint16_t>(ReadInteger(kLog, "ASCII_BYTES_PER_LINE", 26));
}

void SaveLogSettings(const LogSettings& s)
{
    char directory[kPathSize];
    CopyText(directory, sizeof directory, s.directory);
    WriteText(kLog, "DIRECTORY", LogFolderForSaving(directory, GetProgramFolder()));
    WriteText(kLog, "LOGTYPE", kLogTypeNames[s.logType < 3 ? s.logType : 0]);
    char text[24];
    snprintf(text, sizeof text, "%" PRId64, s.maxFileSize);
    WriteText(kLog, "MAXLOGFILESIZE", text);
    for (const FlagKey& k : kLogFlagKeys)
        WriteInteger(kLog, k.key, reinterpret_cast<const uint8_t*>(&s)[k.offset]);
    WriteCtrlCodeSet(kLog, s.ctrlCode);
    WriteCharValue(kLog, "SEPARATOR_CHAR", s.separator);
    WriteText(kLog, "KANJI", kKanjiNames[s.kanji < 4 ? s.kanji : 0]);
    WriteCharValue(kLog, "DEFAULT_CHAR", s.defaultChar);
    WriteCharValue(kLog, "REPLACE_CHAR", s.replaceChar);
    WriteInteger(kLog, "HEX_BYTES_PER_LINE", s.hexBytesPerLine);
    WriteInteger(kLog, "ASCII_BYTES_PER_LINE", s.asciiBytesPerLine);
}

void LoadViewSettings(ViewSettings& s)
{
    memset(&s, 0, sizeof s);
    s.flipPerLine = ReadFlag(kPreview, "FLIP_PER_LINE", 1);
    s.fontSize = static_cast<uint8_t>(ReadName(kPreview, "FONT_SIZE", kFontSizeNames, true, FONT_L));
    for (const FlagKey& k : kViewFlagKeys)
        reinterpret_cast<uint8_t*>(&s)[k.offset] = ReadFlag(kPreview, k.key, k.fallback);
    s.kanji = ReadKanjiName(kPreview);
    s.defaultChar = ReadCharValue(kPreview, "DEFAULT_CHAR", '?');
    s.newline = ReadName(kPreview, "NEWLINE", kNewlineNames, true, NEWLINE_NONE);

    // The view divides by the multiplier's steps and sizes its store by the
    // record count, so values it cannot work with give the defaults.
    int wheel = ReadInteger(kPreview, "WHEEL_MULTIPLIER", 3);
    s.wheelMultiplier = wheel >= 1 && wheel <= 31 ? wheel : 3;
    int kanjiBuffer = ReadInteger(kPreview, "KANJI_BUFFER_SIZE", 10240);
    s.kanjiBufferSize = kanjiBuffer < 1024 ? 10240 : kanjiBuffer;

    SetCodes(s.ctrlCode, 0x20, 0x7F);
    ReadCtrlCodeSet(kPreview, s.ctrlCode);
    for (int i = 0; i < kFontSizeCount; ++i) {
        char key[32];
        snprintf(key, sizeof key, "CTRL_BMP_%s", kFontSizeNames[i]);
        ReadText(kPreview, key, "", s.ctrlBmp[i], sizeof s.ctrlBmp[i]);
    }
    ReadWrapSetting("HEX_RETURN", s.hexWrap);
    ReadWrapSetting("ASCII_RETURN", s.asciiWrap);
    for (const ColourKey& k : kColourKeys) s.*k.field = ReadColourValue(k.key, k.fallback);

    int count = ReadInteger(kPreview, "MAXDATACOUNT", 10000);
    s.maxDataCount = count >= 1 && count <= 1000000 ? count : 10000;
}

void SaveViewSettings(const ViewSettings& s)
{
    WriteInteger(kPreview, "FLIP_PER_LINE", s.flipPerLine);
    WriteText(kPreview, "FONT_SIZE", kFontSizeNames[s.fontSize < kFontSizeCount ? s.fontSize : int(FONT_L)]);
    for (const FlagKey& k : kViewFlagKeys)
        WriteInteger(kPreview, k.key, reinterpret_cast<const uint8_t*>(&s)[k.offset]);
    WriteText(kPreview, "KANJI", kKanjiNames[s.kanji < 4 ? s.kanji : 0]);
    WriteCharValue(kPreview, "DEFAULT_CHAR", s.defaultChar);
    WriteText(kPreview, "NEWLINE", kNewlineNames[s.newline < 5 ? s.newline : 0]);
    WriteInteger(kPreview, "WHEEL_MULTIPLIER", static_cast<int>(s.wheelMultiplier));
    WriteInteger(kPreview, "KANJI_BUFFER_SIZE", static_cast<int>(s.kanjiBufferSize));
    WriteCtrlCodeSet(kPreview, s.ctrlCode);
    WriteWrapSetting("HEX_RETURN", s.hexWrap);
    WriteWrapSetting("ASCII_RETURN", s.asciiWrap);
    for (const ColourKey& k : kColourKeys) WriteColourValue(k.key, s.*k.field);
    WriteInteger(kPreview, "MAXDATACOUNT", static_cast<int>(s.maxDataCount));
}

void LoadCustomColours(COLORREF colours[16])
{
    for (int i = 0; i < 16; ++i) {
        char key[24];
        snprintf(key, sizeof key, "CUSTOMCOLOR%d", i + 1);
        colours[i] = ReadColourValue(key, 0);
    }
}

void SaveCustomColours(const COLORREF colours[16])
{
    for (int i = 0; i < 16; ++i) {
        char key[24];
        snprintf(key, sizeof key, "CUSTOMCOLOR%d", i + 1);
        WriteColourValue(key, colours[i]);
    }
}

bool IsXonXoffPanelEnabled()
{
    char text[kValueSize];
    ReadText("LINE", "X", "", text, sizeof text);
    return strcmp(text, "ENABLE") == 0;
}
