// The settings store against real INI files of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/support/temp_files.h"

namespace {

using Values = std::vector<int64_t>;
using Lines = std::vector<std::string>;

Lines Split(const std::string& text)
{
    Lines words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// [name] and its lines, given as one text split at blanks.
std::string Section(const char* name, const std::string& lines)
{
    std::string ini = std::string("[") + name + "]\r\n";
    for (const std::string& line : Split(lines)) ini += line + "\r\n";
    return ini;
}

// A record with guard bytes on both sides, to catch any write outside it.
template <class T>
struct Guarded {
    uint8_t before[64];
    T record;
    uint8_t after[64];
    Guarded() { memset(this, 0xA5, sizeof *this); }
    bool Intact() const { return std::count(before, before + 64, 0xA5) + std::count(after, after + 64, 0xA5) == 128; }
};

// Every group loaded from the file in use; fields without a key keep the fill.
struct Loaded {
    Guarded<AppSettings> app;
    Guarded<DCB> dcb;
    Guarded<COMMTIMEOUTS> timeouts;
    Guarded<LogSettings> log;
    Guarded<ViewSettings> view;
    Guarded<COLORREF[16]> colours;
    uint32_t tx = 0, rx = 0;
    bool panel = true;
    char data[8] = "ZZZZZZZ";
    Loaded()
    {
        LoadAppSettings(app.record);
        LoadDeviceSettings("COM1", dcb.record);
        LoadTimeouts("COM1", timeouts.record);
        LoadQueueSizes("COM1", tx, rx);
        LoadLogSettings(log.record);
        LoadViewSettings(view.record);
        LoadCustomColours(colours.record);
        panel = IsXonXoffPanelEnabled();
        LoadDataDirectory(data, 6);
    }
    void Save() const
    {
        SaveDeviceSettings("COM1", dcb.record);
        SaveTimeouts("COM1", timeouts.record);
        SaveQueueSizes("COM1", tx, rx);
        SaveLogSettings(log.record);
        SaveViewSettings(view.record);
        SaveCustomColours(colours.record);
    }
    // Every field a key sets but the characters and texts, then 1 while all stayed in their fields.
    Values Numbers() const
    {
        const DCB& d = dcb.record;
        const COMMTIMEOUTS& t = timeouts.record;
        const LogSettings& l = log.record;
        const ViewSettings& v = view.record;
        Values out{app.record.flags, d.DCBlength, d.BaudRate, d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow, d.fDtrControl,
                   d.fDsrSensitivity, d.fTXContinueOnXoff, d.fOutX, d.fInX, d.fErrorChar, d.fNull, d.fRtsControl,
                   d.XonLim, d.XoffLim, d.ByteSize, d.Parity, d.StopBits, d.XonChar, d.XoffChar, d.ErrorChar,
                   t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                   t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, tx, rx,
                   l.logType, l.maxFileSize, l.header, l.hex, l.ascii, l.alternate, l.unicode, l.replaceCtrlCode,
                   l.kanji, l.hexBytesPerLine, l.asciiBytesPerLine, v.flipPerLine, v.fontSize, v.header, v.hex,
                   v.ascii, v.string, v.alternate, v.keepCurPos, v.unicode, v.kanji, v.newline, v.wheelMultiplier, v.kanjiBufferSize,
                   v.maxDataCount, v.hexWrap.automatic, v.hexWrap.count, v.asciiWrap.automatic, v.asciiWrap.count,
                   v.colourBackground, v.colourSend, v.colourRecv, v.colourError, v.colourDiscard, panel};
        out.insert(out.end(), colours.record, colours.record + 16);
        bool intact = app.Intact() && dcb.Intact() && timeouts.Intact() && log.Intact() && view.Intact() &&
                      colours.Intact() && strlen(app.record.toolbarLayout) < sizeof app.record.toolbarLayout &&
                      strlen(l.directory) < sizeof l.directory && data[5] == 0 && data[6] == 'Z';
        for (const auto& bmp : v.ctrlBmp) intact &= strlen(bmp) < sizeof bmp;
        return out.push_back(intact), out;
    }
    // The characters (any value gives its first one) and the data folder.
    std::string Texts() const
    {
        return std::string{log.record.separator, log.record.defaultChar, log.record.replaceChar, view.record.defaultChar} +
               data;
    }
};

// The defaults of every key, in the order of Numbers(): colours are 0x00BBGGRR.
const Values kDefaults = [] {
    Values v{APP_AUTO_LOG_NAME | APP_MESSAGE_BOXES | APP_SHOW_TOOLBAR | APP_FLAT_TOOLBAR | APP_REOPEN_PORT,
             sizeof(DCB), 9600, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2048, 512, 8, 0, 0, 17, 19, 0,
             100, 50, 100, 50, 100, 2048, 2048,
             0, 0xFFFFFFFFLL, 1, 1, 0, 0, 0, 0, 0, 26, 26,
             1, 3, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3, 10240, 10000, 1, 0, 1, 0,
             0xFFFFFF, 0x007F00, 0xFF0000, 0x0000FF, 0x7F7F7F, false};
    v.insert(v.end(), 16, 0);  // custom colours: black
    return v.push_back(1), v;
}();

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolderForTesting(folder.Path().c_str()); }
    void TearDown() override { SetIniFileForTesting(nullptr); SetProgramFolderForTesting(nullptr); }
    // A new file each time, so no cached copy of an earlier one can answer.
    void UseIni(const std::string& text)
    {
        path = folder.Write("test" + std::to_string(++files) + ".ini", text);
        SetIniFileForTesting(path.c_str());
    }
    TempFolder folder;
    std::string path;
    int files = 0;
};

} // namespace

TEST_F(SettingsStore, MissingAndBadValuesGiveTheDefaultsAndStayInTheirFields)
{
    UseIni("");
    const Loaded empty;
    EXPECT_EQ(empty.Numbers(), kDefaults);
    EXPECT_EQ(empty.Texts(), " ? ?data");
    SetIniFileForTesting(ShippedFile("Vorlin2.ini").c_str());  // the shipped file documents the defaults
    const Loaded shipped;
    EXPECT_EQ(shipped.Numbers(), kDefaults);
    EXPECT_EQ(shipped.Texts(), " ? ?data");
    EXPECT_EQ(empty.dcb.record.EofChar, '\xA5');  // a field without a key keeps its value
    for (int c = 0; c < 256; ++c) {  // the view takes the space for a control code too
        EXPECT_EQ(empty.log.record.ctrlCode.code[c], c < 0x20 || c == 0x7F) << c;
        EXPECT_EQ(empty.view.record.ctrlCode.code[c], c <= 0x20 || c == 0x7F) << c;
    }
    // Every key the store reads: those it only reads, and what a save of every group adds.
    UseIni(Section("APPLICATION", "ABSOLUTELY_TRACING_KEYBOARD= SHOW_TOOLBAR= FLATTEN_TOOLBAR= REOPEN_PORT= TOOLBAR=") +
           Section("DATA", "DIRECTORY=") + Section("LINE", "X=") + Section("LOG", "DIRECTORY=") +
           Section("PREVIEW", "CTRL_BMP_SS= CTRL_BMP_S= CTRL_BMP_M= CTRL_BMP_L= CTRL_BMP_LL="));
    Loaded().Save();
    const Lines keys = Split(ReadWholeFile(path));
    ASSERT_GT(keys.size(), 80u);
    for (const std::string& value : {std::string(), std::string(10000, 'x'), std::string("\x01\x7F\xFE\x80\x1A\x81", 6),
                                     std::string("ＡＢＣ１２３"), std::string(10000, '\x82')}) {
        SCOPED_TRACE(value.substr(0, 12));
        std::string ini;
        for (const std::string& key : keys)
            ini += (key[0] == '[' ? key : key.substr(0, key.find('=') + 1) + value) + "\r\n";
        UseIni(ini);
        EXPECT_EQ(Loaded().Numbers(), kDefaults);
    }
}

TEST_F(SettingsStore, ValuesParseAndClamp)
{
    // Flags and bit fields keep their low bits.
    UseIni(Section("APPLICATION", "SHOW_TOOLBAR=2 FLATTEN_TOOLBAR=3 ABSOLUTELY_TRACING_KEYBOARD=1 REOPEN_PORT=2") +
           Section("LOG", "HEADER=2 HEX=0") +
           Section("COM1", "fParity=2 fOutX=3 fDtrControl=6 XonLim=65537 ByteSize=263 XonChar=255"));
    Loaded s;
    EXPECT_EQ(s.app.record.flags, APP_AUTO_LOG_NAME | APP_MESSAGE_BOXES | APP_FLAT_TOOLBAR | APP_TRACE_KEYBOARD);
    const DCB& d = s.dcb.record;
    EXPECT_EQ(Values({!!s.log.record.header, s.log.record.hex, d.fParity, d.fOutX, d.fDtrControl, d.XonLim, d.ByteSize,
                      uint8_t(d.XonChar)}),
              Values({1, 0, 0, 1, 2, 1, 7, 255}));
    // Every name of each list (LOGTYPE exactly); sizes and counts at their limits; bad colours and wraps.
    const struct { const char *log, *preview; Values expected; } cases[] = {
        {"LOGTYPE=CYCLIC KANJI=euc MAXLOGFILESIZE=1000",
         "KANJI=ｓｊｉｓ FONT_SIZE=ss NEWLINE=CR MAXDATACOUNT=0 WHEEL_MULTIPLIER=0 KANJI_BUFFER_SIZE=1023 HEX_RETURN=0 "
         "COLORSEND=#7F00ZZ",
         {1, 1, 0, 0, 1, 65536, 10000, 3, 10240, -1, 0x007F00}},
        {"LOGTYPE=AUTO KANJI=ＪＩＳ MAXLOGFILESIZE=-5",
         "KANJI=EUC FONT_SIZE=S NEWLINE=crlf MAXDATACOUNT=1000001 WHEEL_MULTIPLIER=32 KANJI_BUFFER_SIZE=-1 "
         "HEX_RETURN=x COLORSEND=#010203",
         {2, 2, 1, 1, 2, 65536, 10000, 3, 10240, -1, 0x030201}},
        {"LOGTYPE=cyclic KANJI=ｕｔｆ－８ MAXLOGFILESIZE=65535",
         "KANJI=UTF-8 FONT_SIZE=M NEWLINE=LF MAXDATACOUNT=1000000 WHEEL_MULTIPLIER=31 KANJI_BUFFER_SIZE=1024 HEX_RETURN=1",
         {0, 3, 3, 2, 3, 65536, 1000000, 31, 1024, 1, 0x007F00}},
        {"LOGTYPE=APPEND KANJI=UTF8 MAXLOGFILESIZE=65537",
         "KANJI=jis FONT_SIZE=ＬＬ NEWLINE=ＣＲＣＲＬＦ MAXDATACOUNT=1 WHEEL_MULTIPLIER=1 HEX_RETURN=16",
         {0, 0, 2, 4, 4, 65537, 1, 1, 10240, 16, 0x007F00}},
        {"LOGTYPE=x KANJI=SJIS MAXLOGFILESIZE=8589934592", "FONT_SIZE=XL NEWLINE=x HEX_RETURN=ａｕｔｏ",
         {0, 0, 0, 3, 0, 8589934592LL, 10000, 3, 10240, -1, 0x007F00}},
        {"MAXLOGFILESIZE=x", "FONT_SIZE=L NEWLINE=NONE", {0, 0, 0, 3, 0, 0xFFFFFFFFLL, 10000, 3, 10240, -1, 0x007F00}}};
    for (const auto& c : cases) {
        UseIni(Section("LOG", c.log) + Section("PREVIEW", c.preview));
        Loaded t;
        const LogSettings& l = t.log.record;
        const ViewSettings& v = t.view.record;
        EXPECT_EQ(Values({l.logType, l.kanji, v.kanji, v.fontSize, v.newline, l.maxFileSize, v.maxDataCount,
                          v.wheelMultiplier, v.kanjiBufferSize, v.hexWrap.automatic ? -1 : int64_t(v.hexWrap.count),
                          v.colourSend}),
                  c.expected)
            << c.log << " / " << c.preview;
    }
}

// Each group loaded from values other than the defaults and saved into a new file writes what it loaded.
TEST_F(SettingsStore, SavesWriteWhatWasLoaded)
{
    // Every device key, in the order they are saved, each unlike the fill of the record.
    const std::string device =
        "BaudRate=115200 fParity=1 fOutxCtsFlow=0 fOutxDsrFlow=1 fDtrControl=1 fDsrSensitivity=1 fTXContinueOnXoff=0 "
        "fOutX=0 fInX=1 fErrorChar=0 fNull=1 fRtsControl=3 XonLim=100 XoffLim=65535 ByteSize=7 Parity=2 StopBits=2 "
        "XonChar=-1 XoffChar=-128 ErrorChar=63 ReadIntervalTimeout=-1 ReadTotalTimeoutMultiplier=0 "
        "ReadTotalTimeoutConstant=7 WriteTotalTimeoutMultiplier=8 WriteTotalTimeoutConstant=9 TxQueueSize=4096 "
        "RxQueueSize=8192";
    const std::string log =
        "LOGTYPE=AUTO MAXLOGFILESIZE=5000000000 HEADER=0 ASCII=1 ALTERNATE_MODE=1 UNICODE=1 REPLACE_CTRL_CODE=1 "
        "CTRL_CODE=00000000001001 SEPARATOR_CHAR=09 KANJI=JIS DEFAULT_CHAR=, REPLACE_CHAR=A5 HEX_BYTES_PER_LINE=16 "
        "ASCII_BYTES_PER_LINE=40";
    const std::string view =
        "FLIP_PER_LINE=0 FONT_SIZE=SS ASCII=1 STRING=1 KEEP_CUR_POS=1 KANJI=EUC DEFAULT_CHAR=20 NEWLINE=CRLF "
        "WHEEL_MULTIPLIER=7 KANJI_BUFFER_SIZE=4096 CTRL_CODE=1 HEX_RETURN=16 ASCII_RETURN=AUTO COLORSEND=#010203 "
        "COLORDISCARD=#FEDCBA MAXDATACOUNT=500 CUSTOMCOLOR1=#000000 CUSTOMCOLOR2=#01FE08 CUSTOMCOLOR16=#0FF078";
    UseIni(Section("COM1", device) + Section("LOG", log) + Section("PREVIEW", view));
    Loaded first;
    UseIni("[PREVIEW]\r\nCTRL_BMP_LL=big.bmp\r\n");
    first.Save();
    std::string text = ReadWholeFile(path);
    size_t at = 0;
    for (const std::string& line : Split(device)) {
        at = text.find("\n" + line + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << line << " (after the key before it)";
    }
    for (const std::string& line : Split(log + " " + view))
        EXPECT_NE(text.find("\n" + line + "\r\n"), std::string::npos) << line;
    EXPECT_EQ(text.find("CTRL_BMP_LL=big.bmp"), text.rfind("CTRL_BMP_"));  // read, never written
    EXPECT_STREQ(Loaded().view.record.ctrlBmp[FONT_LL], "big.bmp");
}

TEST_F(SettingsStore, SwitchToolbarAndTheFirstWriteWithoutAFile)
{
    UseIni(Section("APPLICATION", "SHOW_TOOLBAR=0") + Section("LINE", "X=enable"));
    EXPECT_FALSE(IsXonXoffPanelEnabled());  // the switch is compared exactly
    // The toolbar layout is the only application key written, cut to its field.
    SaveToolbarLayout(std::string(1500, '7').c_str());
    AppSettings app;
    LoadAppSettings(app);
    EXPECT_EQ(strlen(app.toolbarLayout), 1027u);
    EXPECT_FALSE(app.flags & APP_SHOW_TOOLBAR);
    EXPECT_EQ(ReadWholeFile(path).find("FLATTEN_TOOLBAR"), std::string::npos);

    UseIni("[LINE]\r\nX=ENABLE\r\n");
    EXPECT_TRUE(IsXonXoffPanelEnabled());
    // Without a file, the first write creates it in the program's folder.
    SetIniFileForTesting("");
    std::string created = folder.File("Vorlin2.ini");
    WriteInteger("PREVIEW", "MAXDATACOUNT", 1234);
    EXPECT_STRCASEEQ(LocateIniFile(), created.c_str());
    EXPECT_EQ(Loaded().view.record.maxDataCount, 1234u);
}
