// The settings store against real INI files of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_store.h"
#include "tests/support/temp_files.h"

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolderForTesting(folder.Path().c_str()); }
    void TearDown() override
    {
        SetIniFileForTesting(nullptr);
        SetProgramFolderForTesting(nullptr);
    }
    // Writes the INI text (Shift_JIS bytes) and points the store at it.
    // A new file each time, so no cached copy of an earlier one can answer.
    void UseIni(const std::string& text)
    {
        path = folder.Write("test" + std::to_string(++files) + ".ini", text);
        SetIniFileForTesting(path.c_str());
    }
    std::string Written() const { return ReadWholeFile(path); }

    TempFolder folder;
    std::string path;
    int files = 0;
};

// A record with guard bytes on both sides, to catch any write outside it.
template <class T>
struct Guarded {
    uint8_t before[64];
    T record;
    uint8_t after[64];
    Guarded()
    {
        memset(this, 0xA5, sizeof *this);
    }
    bool Intact() const
    {
        for (uint8_t b : before) if (b != 0xA5) return false;
        for (uint8_t b : after) if (b != 0xA5) return false;
        return true;
    }
};

const char* const kLogKeys[] = {"DIRECTORY", "LOGTYPE", "MAXLOGFILESIZE", "HEADER", "HEX", "ASCII",
                                "ALTERNATE_MODE", "UNICODE", "REPLACE_CTRL_CODE", "CTRL_CODE",
                                "SEPARATOR_CHAR", "KANJI", "DEFAULT_CHAR", "REPLACE_CHAR",
                                "HEX_BYTES_PER_LINE", "ASCII_BYTES_PER_LINE"};
const char* const kViewKeys[] = {"FLIP_PER_LINE", "FONT_SIZE", "HEADER", "HEX", "ASCII", "STRING",
                                 "ALTERNATE_MODE", "KEEP_CUR_POS", "UNICODE", "KANJI", "DEFAULT_CHAR",
                                 "NEWLINE", "WHEEL_MULTIPLIER", "KANJI_BUFFER_SIZE", "CTRL_CODE",
                                 "CTRL_BMP_SS", "CTRL_BMP_S", "CTRL_BMP_M", "CTRL_BMP_L", "CTRL_BMP_LL",
                                 "HEX_RETURN", "ASCII_RETURN", "COLORBACKGROUND", "COLORSEND", "COLORRECV",
                                 "COLORERROR", "COLORDISCARD", "MAXDATACOUNT", "CUSTOMCOLOR1",
                                 "CUSTOMCOLOR16"};
const char* const kDeviceKeys[] = {"BaudRate", "fParity", "fOutxCtsFlow", "fOutxDsrFlow", "fDtrControl",
                                   "fDsrSensitivity", "fTXContinueOnXoff", "fOutX", "fInX", "fErrorChar",
                                   "fNull", "fRtsControl", "XonLim", "XoffLim", "ByteSize", "Parity",
                                   "StopBits", "XonChar", "XoffChar", "ErrorChar", "ReadIntervalTimeout",
                                   "ReadTotalTimeoutMultiplier", "ReadTotalTimeoutConstant",
                                   "WriteTotalTimeoutMultiplier", "WriteTotalTimeoutConstant",
                                   "TxQueueSize", "RxQueueSize"};
const char* const kAppKeys[] = {"ABSOLUTELY_TRACING_KEYBOARD", "SHOW_TOOLBAR", "FLATTEN_TOOLBAR", "TOOLBAR"};

// Every key of every section set to the same value.
std::string EveryKey(const std::string& value)
{
    std::string ini;
    auto section = [&](const char* name, const auto& keys) {
        ini += std::string("[") + name + "]\r\n";
        for (const char* key : keys) ini += std::string(key) + "=" + value + "\r\n";
    };
    section("APPLICATION", kAppKeys);
    section("DATA", std::initializer_list<const char*>{"DIRECTORY"});
    section("LOG", kLogKeys);
    section("PREVIEW", kViewKeys);
    section("COM1", kDeviceKeys);
    section("LINE", std::initializer_list<const char*>{"X"});
    return ini;
}

void ExpectViewDefaultsExceptText(const ViewSettings& v)
{
    EXPECT_EQ(v.fontSize, FONT_L);
    EXPECT_EQ(v.newline, NEWLINE_NONE);
    EXPECT_EQ(v.wheelMultiplier, 3u);
    EXPECT_EQ(v.kanjiBufferSize, 10240u);
    EXPECT_EQ(v.maxDataCount, 10000u);
    EXPECT_EQ(v.colourBackground, RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(v.colourSend, RGB(0, 0x7F, 0));
    EXPECT_EQ(v.colourRecv, RGB(0, 0, 0xFF));
    EXPECT_EQ(v.colourError, RGB(0xFF, 0, 0));
    EXPECT_EQ(v.colourDiscard, RGB(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(v.hexWrap.automatic, 1u);
    EXPECT_EQ(v.asciiWrap.automatic, 1u);
}

} // namespace

TEST_F(SettingsStore, EmptyFileGivesEveryDefault)
{
    UseIni("");
    AppSettings app;
    LoadAppSettings(app);
    EXPECT_EQ(app.flags, APP_AUTO_LOG_NAME | APP_MESSAGE_BOXES | APP_SHOW_TOOLBAR | APP_FLAT_TOOLBAR);
    EXPECT_STREQ(app.toolbarLayout, "");

    DCB dcb{};
    dcb.fBinary = 1;
    dcb.EofChar = 0x1A;
    LoadDeviceSettings("COM1", dcb);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.XonLim, 2048);
    EXPECT_EQ(dcb.XoffLim, 512);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.fBinary, 1u);      // fields without a key keep their value
    EXPECT_EQ(dcb.EofChar, 0x1A);
    COMMTIMEOUTS t{};
    LoadTimeouts("COM1", t);
    EXPECT_EQ(t.ReadIntervalTimeout, 100u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 50u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 50u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 100u);
    uint32_t tx = 0, rx = 0;
    LoadQueueSizes("COM1", tx, rx);
    EXPECT_EQ(tx, 2048u);
    EXPECT_EQ(rx, 2048u);

    LogSettings log;
    LoadLogSettings(log);
    EXPECT_EQ(log.logType, LOGTYPE_APPEND);
    EXPECT_EQ(log.maxFileSize, 0xFFFFFFFFLL);
    EXPECT_EQ(log.header, 1);
    EXPECT_EQ(log.hex, 1);
    EXPECT_EQ(log.ascii, 0);
    EXPECT_EQ(log.separator, ' ');
    EXPECT_EQ(log.defaultChar, '?');
    EXPECT_EQ(log.replaceChar, ' ');
    EXPECT_EQ(log.hexBytesPerLine, 26);
    EXPECT_EQ(log.asciiBytesPerLine, 26);
    for (int c = 0; c < 256; ++c) EXPECT_EQ(log.ctrlCode.code[c], c < 0x20 || c == 0x7F) << c;

    ViewSettings view;
    LoadViewSettings(view);
    ExpectViewDefaultsExceptText(view);
    EXPECT_EQ(view.flipPerLine, 1);
    EXPECT_EQ(view.header, 1);
    EXPECT_EQ(view.defaultChar, '?');
    for (int c = 0; c < 256; ++c) EXPECT_EQ(view.ctrlCode.code[c], c <= 0x20 || c == 0x7F) << c;

    COLORREF colours[16];
    memset(colours, 0x11, sizeof colours);
    LoadCustomColours(colours);
    for (COLORREF c : colours) EXPECT_EQ(c, 0u);
    EXPECT_FALSE(IsXonXoffPanelEnabled());
    char data[MAX_PATH];
    LoadDataDirectory(data, sizeof data);
    EXPECT_STREQ(data, "data");
}

TEST_F(SettingsStore, FlagsKeepTheirLowBits)
{
    UseIni("[APPLICATION]\r\nSHOW_TOOLBAR=2\r\nFLATTEN_TOOLBAR=3\r\nABSOLUTELY_TRACING_KEYBOARD=1\r\n"
           "TOOLBAR=1,2,0,5\r\n[LOG]\r\nHEADER=2\r\nHEX=0\r\nASCII=7\r\n[PREVIEW]\r\nHEADER=2\r\nSTRING=1\r\n");
    AppSettings app;
    LoadAppSettings(app);
    EXPECT_FALSE(app.flags & APP_SHOW_TOOLBAR);
    EXPECT_TRUE(app.flags & APP_FLAT_TOOLBAR);
    EXPECT_TRUE(app.flags & APP_TRACE_KEYBOARD);
    EXPECT_TRUE(app.flags & APP_MESSAGE_BOXES);
    EXPECT_STREQ(app.toolbarLayout, "1,2,0,5");
    LogSettings log;
    LoadLogSettings(log);
    EXPECT_TRUE(log.header);
    EXPECT_FALSE(log.hex);
    EXPECT_TRUE(log.ascii);
    ViewSettings view;
    LoadViewSettings(view);
    EXPECT_TRUE(view.header);
    EXPECT_TRUE(view.string);
}

TEST_F(SettingsStore, LogSizeLimitAndNames)
{
    struct Case {
        const char* value;
        int64_t size;
    } cases[] = {{"1000", 65536}, {"-5", 65536}, {"abc", 0xFFFFFFFFLL}, {"65536", 65536},
                 {"8589934592", 8589934592LL}, {"", 0xFFFFFFFFLL}};
    for (const Case& c : cases) {
        UseIni(std::string("[LOG]\r\nMAXLOGFILESIZE=") + c.value + "\r\nLOGTYPE=cyclic\r\nKANJI=ｕｔｆ－８\r\n");
        LogSettings log;
        LoadLogSettings(log);
        EXPECT_EQ(log.maxFileSize, c.size) << c.value;
        EXPECT_EQ(log.logType, LOGTYPE_APPEND);
        EXPECT_EQ(log.kanji, KANJI_UTF8);
    }
    UseIni("[LOG]\r\nLOGTYPE=CYCLIC\r\nKANJI=euc\r\n[PREVIEW]\r\nKANJI=ＪＩＳ\r\nFONT_SIZE=ｓｓ\r\nNEWLINE=crcrlf\r\n");
    LogSettings log;
    LoadLogSettings(log);
    EXPECT_EQ(log.logType, LOGTYPE_CYCLIC);
    EXPECT_EQ(log.kanji, KANJI_EUC);
    ViewSettings view;
    LoadViewSettings(view);
    EXPECT_EQ(view.kanji, KANJI_JIS);
    EXPECT_EQ(view.fontSize, FONT_SS);
    EXPECT_EQ(view.newline, NEWLINE_CRCRLF);
}

TEST_F(SettingsStore, ViewClampsKeepTheViewWorkable)
{
    struct Case {
        const char* key;
        const char* value;
        uint32_t ViewSettings::*field;
        uint32_t expected;
    } cases[] = {
        {"MAXDATACOUNT", "0", &ViewSettings::maxDataCount, 10000},
        {"MAXDATACOUNT", "1000001", &ViewSettings::maxDataCount, 10000},
        {"MAXDATACOUNT", "-3", &ViewSettings::maxDataCount, 10000},
        {"MAXDATACOUNT", "1000000", &ViewSettings::maxDataCount, 1000000},
        {"MAXDATACOUNT", "1", &ViewSettings::maxDataCount, 1},
        {"WHEEL_MULTIPLIER", "0", &ViewSettings::wheelMultiplier, 3},
        {"WHEEL_MULTIPLIER", "32", &ViewSettings::wheelMultiplier, 3},
        {"WHEEL_MULTIPLIER", "-1", &ViewSettings::wheelMultiplier, 3},
        {"WHEEL_MULTIPLIER", "1", &ViewSettings::wheelMultiplier, 1},
        {"WHEEL_MULTIPLIER", "31", &ViewSettings::wheelMultiplier, 31},
        {"KANJI_BUFFER_SIZE", "1023", &ViewSettings::kanjiBufferSize, 10240},
        {"KANJI_BUFFER_SIZE", "-1", &ViewSettings::kanjiBufferSize, 10240},
        {"KANJI_BUFFER_SIZE", "1024", &ViewSettings::kanjiBufferSize, 1024},
    };
    for (const Case& c : cases) {
        UseIni(std::string("[PREVIEW]\r\n") + c.key + "=" + c.value + "\r\n");
        ViewSettings view;
        LoadViewSettings(view);
        EXPECT_EQ(view.*c.field, c.expected) << c.key << "=" << c.value;
    }
}

TEST_F(SettingsStore, BadValuesGiveDefaultsAndStayInTheirFields)
{
    const std::string values[] = {"", std::string(10000, 'x'), std::string("\x01\x02\x7F\xFE\xFD\x80\x1A\x81", 8),
                                  "ＡＢＣ１２３", std::string(10000, '\x82')};
    for (const std::string& value : values) {
        SCOPED_TRACE(value.substr(0, 12));
        UseIni(EveryKey(value));
        Guarded<AppSettings> app;
        LoadAppSettings(app.record);
        EXPECT_TRUE(app.Intact());
        EXPECT_TRUE(app.record.flags & APP_SHOW_TOOLBAR);
        EXPECT_LT(strlen(app.record.toolbarLayout), sizeof app.record.toolbarLayout);

        Guarded<DCB> dcb;
        LoadDeviceSettings("COM1", dcb.record);
        EXPECT_TRUE(dcb.Intact());
        EXPECT_EQ(dcb.record.BaudRate, 9600u);
        EXPECT_EQ(dcb.record.XonChar, 17);

        Guarded<LogSettings> log;
        LoadLogSettings(log.record);
        EXPECT_TRUE(log.Intact());
        EXPECT_EQ(log.record.logType, LOGTYPE_APPEND);
        EXPECT_EQ(log.record.maxFileSize, 0xFFFFFFFFLL);
        EXPECT_EQ(log.record.kanji, KANJI_SJIS);
        EXPECT_EQ(log.record.hexBytesPerLine, 26);
        EXPECT_LT(strlen(log.record.directory), sizeof log.record.directory);

        Guarded<ViewSettings> view;
        LoadViewSettings(view.record);
        EXPECT_TRUE(view.Intact());
        ExpectViewDefaultsExceptText(view.record);
        for (const auto& bmp : view.record.ctrlBmp) EXPECT_LT(strlen(bmp), sizeof bmp);

        Guarded<COLORREF[16]> colours;
        LoadCustomColours(colours.record);
        EXPECT_TRUE(colours.Intact());
        EXPECT_EQ(colours.record[0], 0u);
        EXPECT_FALSE(IsXonXoffPanelEnabled());
        char data[8];
        memset(data, 'Z', sizeof data);
        LoadDataDirectory(data, 6);
        EXPECT_EQ(data[5], 0);
        EXPECT_EQ(data[6], 'Z');
    }
}

TEST_F(SettingsStore, DeviceSettingsRoundTrip)
{
    UseIni("");
    DCB dcb{};
    dcb.BaudRate = 115200;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fOutX = 1;
    dcb.fNull = 1;
    dcb.XonLim = 100;
    dcb.XoffLim = 65535;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = '\xFF';
    dcb.XoffChar = '\x80';
    dcb.ErrorChar = '?';
    SaveDeviceSettings("COM3", dcb);
    SaveTimeouts("COM3", COMMTIMEOUTS{MAXDWORD, 0, 7, 8, 9});
    SaveQueueSizes("COM3", 4096, 8192);

    std::string text = Written();
    EXPECT_NE(text.find("[COM3]"), std::string::npos);
    EXPECT_NE(text.find("XonChar=-1"), std::string::npos);
    EXPECT_NE(text.find("XoffChar=-128"), std::string::npos);
    EXPECT_NE(text.find("XoffLim=65535"), std::string::npos);
    EXPECT_NE(text.find("ReadIntervalTimeout=-1"), std::string::npos);
    // Written in the order of the table.
    EXPECT_LT(text.find("BaudRate="), text.find("fParity="));
    EXPECT_LT(text.find("fRtsControl="), text.find("XonLim="));
    EXPECT_LT(text.find("ErrorChar="), text.find("ReadIntervalTimeout="));

    DCB back{};
    LoadDeviceSettings("COM3", back);
    back.DCBlength = 0;
    EXPECT_EQ(memcmp(&dcb, &back, sizeof dcb), 0);
    COMMTIMEOUTS t{};
    LoadTimeouts("COM3", t);
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 9u);
    uint32_t tx = 0, rx = 0;
    LoadQueueSizes("COM3", tx, rx);
    EXPECT_EQ(tx, 4096u);
    EXPECT_EQ(rx, 8192u);
    // Each port has its own section.
    DCB other{};
    LoadDeviceSettings("COM4", other);
    EXPECT_EQ(other.BaudRate, 9600u);
}

TEST_F(SettingsStore, DeviceBitFieldsKeepOnlyTheirLowBits)
{
    UseIni("[COM1]\r\nfParity=2\r\nfOutX=3\r\nfDtrControl=6\r\nXonLim=65537\r\nByteSize=263\r\nXonChar=255\r\n");
    DCB dcb{};
    LoadDeviceSettings("COM1", dcb);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fDtrControl, 2u);
    EXPECT_EQ(dcb.XonLim, 1);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XonChar), 255);
}

TEST_F(SettingsStore, LogSettingsRoundTrip)
{
    UseIni("");
    LogSettings log{};
    snprintf(log.directory, sizeof log.directory, "%s\\log", folder.Path().c_str());
    log.logType = LOGTYPE_AUTO;
    log.maxFileSize = 5000000000LL;
    log.header = 0;
    log.hex = 1;
    log.unicode = 1;
    log.ctrlCode.code[0x0D] = log.ctrlCode.code[0x0A] = 1;
    log.separator = '\t';
    log.kanji = KANJI_JIS;
    log.defaultChar = ',';
    log.replaceChar = '\xA5';
    log.hexBytesPerLine = 16;
    log.asciiBytesPerLine = 40;
    CreateDirectoryA(log.directory, nullptr);
    SaveLogSettings(log);

    std::string text = Written();
    EXPECT_NE(text.find("DIRECTORY=log\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("LOGTYPE=AUTO"), std::string::npos);
    EXPECT_NE(text.find("MAXLOGFILESIZE=5000000000"), std::string::npos);
    EXPECT_NE(text.find("SEPARATOR_CHAR=09"), std::string::npos);
    EXPECT_NE(text.find("DEFAULT_CHAR=,"), std::string::npos);
    EXPECT_NE(text.find("REPLACE_CHAR=A5"), std::string::npos);
    EXPECT_NE(text.find("KANJI=JIS"), std::string::npos);
    EXPECT_NE(text.find("CTRL_CODE=00000000001001\r\n"), std::string::npos);

    // The relative folder is resolved again by the search on loading; the
    // program's own folder (this test's exe) is not where it lies, so give
    // the full path for the round trip of the other fields.
    WritePrivateProfileStringA("LOG", "DIRECTORY", log.directory, path.c_str());
    LogSettings back;
    LoadLogSettings(back);
    EXPECT_STREQ(back.directory, log.directory);
    EXPECT_EQ(memcmp(&log, &back, sizeof log), 0);
}

TEST_F(SettingsStore, LogFolderOutsideTheProgramFolderIsSavedInFull)
{
    UseIni("");
    LogSettings log{};
    std::string sibling = folder.Path() + "Extra\\log";
    snprintf(log.directory, sizeof log.directory, "%s", sibling.c_str());
    SaveLogSettings(log);
    EXPECT_NE(Written().find("DIRECTORY=" + sibling + "\r\n"), std::string::npos);
    // A folder that the search cannot find is taken as written.
    LogSettings back;
    LoadLogSettings(back);
    EXPECT_EQ(back.directory, sibling);
}

TEST_F(SettingsStore, ViewSettingsRoundTrip)
{
    UseIni("[PREVIEW]\r\nCTRL_BMP_LL=big.bmp\r\n");
    ViewSettings view;
    LoadViewSettings(view);
    EXPECT_STREQ(view.ctrlBmp[FONT_LL], "big.bmp");
    view.flipPerLine = 0;
    view.fontSize = FONT_SS;
    view.keepCurPos = 1;
    view.kanji = KANJI_EUC;
    view.defaultChar = ' ';
    view.newline = NEWLINE_CRLF;
    view.wheelMultiplier = 7;
    view.kanjiBufferSize = 4096;
    view.ctrlCode.code[0x20] = 0;
    view.hexWrap = WrapSetting{0, 16};
    view.asciiWrap = WrapSetting{1, 0};
    view.colourSend = RGB(1, 2, 3);
    view.colourDiscard = RGB(0xFE, 0xDC, 0xBA);
    view.maxDataCount = 500;
    SaveViewSettings(view);

    std::string text = Written();
    EXPECT_NE(text.find("FONT_SIZE=SS"), std::string::npos);
    EXPECT_NE(text.find("NEWLINE=CRLF"), std::string::npos);
    EXPECT_NE(text.find("HEX_RETURN=16"), std::string::npos);
    EXPECT_NE(text.find("ASCII_RETURN=AUTO"), std::string::npos);
    EXPECT_NE(text.find("COLORSEND=#010203"), std::string::npos);
    EXPECT_NE(text.find("DEFAULT_CHAR=20"), std::string::npos);
    EXPECT_EQ(text.find("CTRL_BMP_S="), std::string::npos);  // never written
    EXPECT_EQ(text.find("CTRL_BMP_LL=big.bmp"), text.rfind("CTRL_BMP_LL"));

    ViewSettings back;
    LoadViewSettings(back);
    EXPECT_EQ(memcmp(&view, &back, sizeof view), 0);
}

TEST_F(SettingsStore, CustomColoursAndPanelSwitch)
{
    UseIni("[LINE]\r\nX=enable\r\n");
    EXPECT_FALSE(IsXonXoffPanelEnabled());
    COLORREF colours[16];
    for (int i = 0; i < 16; ++i) colours[i] = RGB(i, 255 - i, i * 8);
    SaveCustomColours(colours);
    EXPECT_NE(Written().find("CUSTOMCOLOR16=#0FF078"), std::string::npos);
    COLORREF back[16] = {};
    LoadCustomColours(back);
    EXPECT_EQ(memcmp(colours, back, sizeof back), 0);

    UseIni("[LINE]\r\nX=ENABLE\r\n[PREVIEW]\r\nCUSTOMCOLOR2=#12G456\r\nCUSTOMCOLOR3=#AbCdEf\r\n");
    EXPECT_TRUE(IsXonXoffPanelEnabled());
    LoadCustomColours(back);
    EXPECT_EQ(back[1], 0u);
    EXPECT_EQ(back[2], RGB(0xAB, 0xCD, 0xEF));
}

TEST_F(SettingsStore, ToolbarLayoutIsTheOnlyApplicationKeyWritten)
{
    UseIni("[APPLICATION]\r\nSHOW_TOOLBAR=0\r\n");
    std::string layout(1500, '7');
    SaveToolbarLayout(layout.c_str());
    AppSettings app;
    LoadAppSettings(app);
    EXPECT_EQ(strlen(app.toolbarLayout), 1027u);
    EXPECT_FALSE(app.flags & APP_SHOW_TOOLBAR);
    std::string text = Written();
    EXPECT_EQ(text.find("FLATTEN_TOOLBAR"), std::string::npos);
}

TEST_F(SettingsStore, WithoutAFileReadsGiveDefaultsAndTheFirstWriteCreatesIt)
{
    SetIniFileForTesting("");
    EXPECT_STREQ(LocateIniFile(), "");
    ViewSettings view;
    LoadViewSettings(view);
    ExpectViewDefaultsExceptText(view);
    std::string created = folder.File("Vorlin2.ini");
    EXPECT_FALSE(FileExists(created));

    WriteInteger("PREVIEW", "MAXDATACOUNT", 1234);
    EXPECT_TRUE(FileExists(created));
    EXPECT_STRCASEEQ(LocateIniFile(), created.c_str());
    LoadViewSettings(view);
    EXPECT_EQ(view.maxDataCount, 1234u);
}

TEST_F(SettingsStore, SectionlessCallsTouchNothing)
{
    UseIni("[COM1]\r\nBaudRate=300\r\n");
    std::string before = Written();
    SaveDeviceSettings("", DCB{});
    SaveDeviceSettings(nullptr, DCB{});
    EXPECT_EQ(Written(), before);
    DCB dcb{};
    LoadDeviceSettings("", dcb);
    EXPECT_EQ(dcb.BaudRate, 9600u);
}

TEST_F(SettingsStore, ShippedFileHoldsTheDefaults)
{
    std::string shipped = ShippedFile("Vorlin2.ini");
    ASSERT_TRUE(FileExists(shipped)) << shipped;
    UseIni("");
    AppSettings app[2];
    LogSettings log[2];
    ViewSettings view[2];
    DCB dcb[2] = {};
    for (int i = 0; i < 2; ++i) {
        LoadAppSettings(app[i]);
        LoadLogSettings(log[i]);
        LoadViewSettings(view[i]);
        LoadDeviceSettings("COM1", dcb[i]);
        SetIniFileForTesting(shipped.c_str());
    }
    // The shipped file starts the toolbar with the built-in layout.
    EXPECT_STREQ(app[1].toolbarLayout,
                 "MENU.CONNECT,MENU.DISCONNECT,,MENU.CLEAR,,MENU.SENDDATA,,MENU.LOGCHANGE,MENU.LOG_STOP_RESTART,"
                 "MENU.LOG_FLUSH,,MENU.SETTING,MENU.HELP_TOP,MENU.VERSION");
    EXPECT_EQ(app[0].flags, app[1].flags);
    EXPECT_EQ(memcmp(&view[0], &view[1], sizeof view[0]), 0);
    EXPECT_EQ(memcmp(&dcb[0], &dcb[1], sizeof dcb[0]), 0);
    // The log folder is resolved by a search, so compare the rest.
    EXPECT_EQ(memcmp(reinterpret_cast<char*>(&log[0]) + sizeof log[0].directory,
                     reinterpret_cast<char*>(&log[1]) + sizeof log[1].directory,
                     sizeof log[0] - sizeof log[0].directory), 0);
    EXPECT_FALSE(IsXonXoffPanelEnabled());
    char data[MAX_PATH];
    LoadDataDirectory(data, sizeof data);
    EXPECT_STREQ(data, "data");
}

TEST_F(SettingsStore, LogFolderIsResolvedBesideTheProgramFirst)
{
    // A folder beside this test program, where the search looks first.
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string beside = module;
    beside.erase(beside.find_last_of('\\') + 1);
    std::string name = "vorlin_logdir_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA((beside + name).c_str(), nullptr));
    UseIni("[LOG]\r\nDIRECTORY=" + name + "\r\n");
    LogSettings log;
    LoadLogSettings(log);
    RemoveDirectoryA((beside + name).c_str());
    EXPECT_STRCASEEQ(log.directory, (beside + name).c_str());
}
