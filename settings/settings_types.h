// The in-memory records filled from Vorlin2.ini. Plain fixed-size records,
// copied by value between threads and windows; none holds a pointer.
#pragma once
#include <windows.h>
#include <cstdint>

constexpr int kPathSize = 260;

// 256 flags, one per byte value: the codes shown or logged as control codes.
struct CtrlCodeSet {
    uint8_t code[256];
};

enum KanjiCode : uint8_t { KANJI_SJIS = 0, KANJI_EUC = 1, KANJI_JIS = 2, KANJI_UTF8 = 3 };

// Application flag word bits.
enum AppFlag : uint32_t {
    APP_AUTO_LOG_NAME = 1u << 0,       // automatic log file name
    APP_MESSAGE_BOXES = 1u << 1,       // reports in message boxes, else the status bar
    APP_STARTED_BY_AUTOMATION = 1u << 2,
    APP_TRACE_KEYBOARD = 1u << 3,      // ABSOLUTELY_TRACING_KEYBOARD
    APP_SHOW_TOOLBAR = 1u << 4,
    APP_FLAT_TOOLBAR = 1u << 5,
    APP_REOPEN_PORT = 1u << 6,         // reopen a port that went away when it comes back
};

struct AppSettings {
    char logFilePath[kPathSize];
    uint32_t flags;
    char toolbarLayout[1028];
};

enum LogType : uint32_t { LOGTYPE_APPEND = 0, LOGTYPE_CYCLIC = 1, LOGTYPE_AUTO = 2 };

struct LogSettings {
    char directory[kPathSize];
    uint32_t logType;           // LogType
    int64_t maxFileSize;        // bytes, at least 65536
    uint8_t header;
    uint8_t hex;
    uint8_t ascii;
    uint8_t alternate;
    uint8_t unicode;
    uint8_t replaceCtrlCode;
    CtrlCodeSet ctrlCode;
    char separator;
    uint8_t kanji;              // KanjiCode
    char defaultChar;
    char replaceChar;
    uint16_t hexBytesPerLine;
    uint16_t asciiBytesPerLine;
};

// A line width: fitted to the window (automatic) or a fixed byte count.
struct WrapSetting {
    uint32_t automatic;
    uint32_t count;
};

enum FontSize : uint8_t { FONT_SS = 0, FONT_S = 1, FONT_M = 2, FONT_L = 3, FONT_LL = 4 };
constexpr int kFontSizeCount = 5;

enum NewlineMode : uint32_t { NEWLINE_NONE = 0, NEWLINE_CR = 1, NEWLINE_CRLF = 2, NEWLINE_LF = 3, NEWLINE_CRCRLF = 4 };

struct ViewSettings {
    uint8_t flipPerLine;
    uint8_t fontSize;           // FontSize
    uint8_t header;
    uint8_t hex;
    uint8_t ascii;
    uint8_t string;             // character part as a string
    uint8_t alternate;
    uint8_t keepCurPos;
    uint8_t unicode;
    uint8_t kanji;              // KanjiCode
    char defaultChar;
    uint32_t newline;           // NewlineMode
    uint32_t wheelMultiplier;
    uint32_t kanjiBufferSize;
    CtrlCodeSet ctrlCode;
    char ctrlBmp[kFontSizeCount][kPathSize];
    WrapSetting hexWrap;
    WrapSetting asciiWrap;
    COLORREF colourBackground;
    COLORREF colourSend;
    COLORREF colourRecv;
    COLORREF colourError;
    COLORREF colourDiscard;
    uint32_t maxDataCount;
};
