// Randomised inputs for every parser of text that comes from outside, in page-fenced blocks so
// that a read or write one byte too far faults at once. The seed is fixed for the suite;
// scripts/fuzz sets VORLIN_FUZZ_SEED and VORLIN_FUZZ_SECONDS.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "automation/registrar.h"
#include "base/message_file.h"
#include "base/text.h"
#include "logging/kanji_convert.h"
#include "logview/text_utils.h"
#include "sending/send_forms.h"
#include "settings/ini_file.h"
#include "settings/value_forms.h"
#include "tunnel/tunnel_lines.h"

namespace {

// `size` bytes that end where a no-access page begins.
class Fenced {
public:
    explicit Fenced(size_t size) : size_(size)
    {
        const size_t page = 4096, pages = (size + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - size;
    }
    Fenced(const std::string& text, bool terminate) : Fenced(text.size() + terminate)
    {
        memcpy(data_, text.data(), text.size());
        if (terminate) data_[text.size()] = 0;
    }
    ~Fenced() { VirtualFree(base_, 0, MEM_RELEASE); }
    Fenced(const Fenced&) = delete;
    Fenced& operator=(const Fenced&) = delete;
    uint8_t* bytes() { return data_; }
    char* chars() { return reinterpret_cast<char*>(data_); }
    size_t size() const { return size_; }

private:
    uint8_t* base_;
    uint8_t* data_;
    size_t size_;
};

std::mt19937 g_random;
HKEY g_sandbox = nullptr;
bool g_registrySandboxed = false;

size_t Pick(size_t count) { return count ? std::uniform_int_distribution<size_t>(0, count - 1)(g_random) : 0; }

// The text up to the first NUL, as a C string function sees it.
std::string CText(const std::string& s) { return s.substr(0, s.find('\0')); }

struct Parser {
    const char* name;
    std::vector<std::string> samples, words;  // inputs to start from, and the parser's own words
    void (*check)(const std::string& input);
};
void PrintTo(const Parser& parser, std::ostream* out) { *out << parser.name; }

// Random bytes or a sample (joined, cut), then mutated with special bytes, random bytes, long
// runs, copies of itself and the parser's words.
std::string Mutate(const Parser& parser)
{
    static const char kSpecial[] = {'\0', '\n', '\r', '\\', '"', '%', '=', ',', '[', ']', ';', '#', ' ',
                                    '\x1b', '\x81', '\x8e', '\x8f', '\xe0', '\xfc', '\xff', '\x5c', '\x7f'};
    const auto& samples = parser.samples;
    std::string s = samples[Pick(samples.size())];
    switch (Pick(6)) {
    case 0:
        s.assign(Pick(300), '\0');
        for (char& c : s) c = static_cast<char>(Pick(256));
        break;
    case 1: s += samples[Pick(samples.size())]; break;
    case 2: s.resize(Pick(s.size() + 1)); break;
    default: break;
    }
    for (size_t n = Pick(8); n > 0; --n) {
        const size_t at = Pick(s.size() + 1);
        switch (Pick(6)) {
        case 0: s.insert(at, 1, kSpecial[Pick(sizeof kSpecial)]); break;
        case 1: if (at < s.size()) s[at] = static_cast<char>(Pick(256)); break;
        case 2: s.insert(at, parser.words[Pick(parser.words.size())]); break;
        case 3: s.erase(at, Pick(8)); break;
        case 4: s.insert(at, std::string(Pick(3000), static_cast<char>(Pick(256)))); break;
        default: s.insert(at, s.substr(0, Pick(s.size() + 1))); break;
        }
    }
    return s;
}

const Parser kParsers[] = {
    {"MessageFileLines",
     {"2020 開けるポートがありません。", "4001 %d 行目: \\n「%s」", "# comment", "12", "3001\t\\"},
     {"%d", "%s", "%n", "%*d", "%ld", "\\n", "\\0", "\\", "%%", "%5.2s"},
     [](const std::string& s) {
         Fenced line(CText(s).substr(0, kMessageLineSize - 1), true);
         uint32_t number = 0;
         char* text = nullptr;
         if (!ParseMessageLine(line.chars(), number, text) || !text) return;
         ASSERT_TRUE(text >= line.chars() && text < line.chars() + line.size());
         UnescapeMessageText(text);
         ASSERT_LE(strlen(text), line.size());
         Fenced inserts(8);
         if (FormatInserts(text, inserts.chars(), inserts.size())) {
             ASSERT_LT(strlen(inserts.chars()), inserts.size());
         }
     }},
    {"IniValues",
     {"[LOG]\r\nDIRECTORY=log\r\nKANJI=EUC\r\n", "[PREVIEW]\r\nCOLOR=#FF00ff\r\n", "#00FF7F", "AUTO",
      "11111111000000001", "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef", "-2147483649",
      "ＳＪＩＳ", "\"quoted\""},
     {"[", "]", "=", "\r\n", ";", "LOG", "KANJI", "＃", "0x", "-", "99999999999"},
     [](const std::string& s) {
         std::string text = s;
         const std::string section = Pick(2) ? "LOG" : CText(s).substr(0, Pick(6));
         const std::string key = Pick(2) ? "KANJI" : CText(s).substr(0, Pick(6));
         Fenced file(text, false);
         if (auto value = FindIniValue(std::string_view(file.chars(), file.size()), section, key)) {
             ASSERT_TRUE(value->data() >= file.chars() && value->end() <= file.chars() + file.size());
         }
         SetIniValue(text, section, key, CText(s).substr(0, 40));
         Fenced c(CText(s), true);
         Fenced mapped(1 + Pick(64));
         MapUpperHalfWidth(c.chars(), mapped.chars(), mapped.size());
         ASSERT_LT(strlen(mapped.chars()), mapped.size());
         ParseInteger(c.chars());
         ParseInteger64(c.chars());
         ParseName(c.chars(), kKanjiNames, 4, true, 0);
         ParseCharValue(c.chars(), '?');
         ParseColourValue(c.chars(), 0);
         CtrlCodeSet set{};
         if (ParseCtrlCodeSet(c.chars(), set)) {
             Fenced out(kCtrlCodeTextSize);
             FormatCtrlCodeSet(set, reinterpret_cast<char(&)[kCtrlCodeTextSize]>(*out.chars()));
             ASSERT_LT(strlen(out.chars()), out.size());
         }
         Fenced wrapText(12);
         FormatWrapSetting(ParseWrapSetting(c.chars()), reinterpret_cast<char(&)[12]>(*wrapText.chars()));
     }},
    {"ButtonAndFormFiles",
     {"Reset,1B40\nStatus query,05\n", "[s]\nEDIT STYLE=TEXT TITLE=\"a \"\"b\"\"\" CONVERT=HEX LENGTH=4 DATA=00ff\n",
      "[s]\nCOMBO STYLE=DROPDOWNLIST TITLE=t CONVERT=BIN LENGTH=8 DATA=\"1,10,11\"\n[t]\n",
      "[m]\nEDIT STYLE=MULTILINETEXT TITLE=x CONVERT=SJIS LENGTH=20 LINES=3\nEDIT STYLE=STATIC TITLE=y CONVERT=OCT LENGTH=3\n"},
     {"EDIT", "COMBO", "STYLE=", "TITLE=", "CONVERT=", "LENGTH=", "DATA=", "LINES=", "8191", "8192", "\"", "[", "]\n",
      "HEX", "OCT", "BIN", "SJIS", "4294967296"},
     [](const std::string& s) {
         Fenced fenced(s, false);
         std::vector<std::string> lines = SplitTextLines(std::string_view(fenced.chars(), fenced.size()));
         for (const ButtonEntry& entry : ParseButtonEntries(lines)) ButtonDataToBytes(entry.data);
         const size_t sections = ListSectionNames(lines).size();
         auto form = std::make_unique<MultiEditForm>();
         std::vector<FormMessage> messages;
         if (!ParseFormSection(lines, static_cast<int>(Pick(sections + 1)), *form, messages)) {
             ASSERT_EQ(form->fieldCount, 0u);
             return;
         }
         ASSERT_LE(form->fieldCount, static_cast<uint32_t>(kMaxFormFields));
         const uint64_t count = MultiEditFormByteCount(*form);
         if (count > 1u << 20) return;
         std::vector<std::string> texts;
         for (uint32_t i = 0; i < form->fieldCount; ++i) texts.push_back(CText(s).substr(0, Pick(40)));
         Fenced block(static_cast<size_t>(count));
         ASSERT_TRUE(BuildFormBytesFromTexts(*form, texts, block.bytes(), block.size()));
     }},
    {"DigitTexts",
     {"0123456789abcdefABCDEF", "01 1 0", "777 0", "４１", "a"},
     {" ", "0", "f", "\x82\x60"},
     [](const std::string& s) {
         Fenced text(CText(s), true);
         const size_t length = strlen(text.chars());
         const bool sanitize = Pick(2);
         struct { size_t (*convert)(const char*, uint8_t*, bool, char); size_t digitsPerByte; } forms[] = {
             {BitTextToBytes, 8}, {OctalTextToBytes, 4}, {HexTextToBytes, 2}};
         for (const auto& form : forms) {
             Fenced out((length + form.digitsPerByte - 1) / form.digitsPerByte + (length == 0));
             ASSERT_LE(form.convert(text.chars(), out.bytes(), sanitize, '.'), out.size());
         }
         Fenced bytes(length);
         memcpy(bytes.bytes(), text.bytes(), length);
         SanitizeBytes(bytes.bytes(), length, '.');
         ASSERT_LE(ButtonDataToBytes(CText(s)).size(), (length + 1) / 2);
     }},
    {"Converters",
     {"\x1b$B%F%9%H\x1b(B", "\x1b(I1]\x1b(BA", "\xa5\xc6\xa5\xb9\x8e\xb1", "25.3\xc2\xb0" "C",
      "\xe3\x83\x86\xef\xbd\xb1", "\x82\xa0\x82\xa2" "abc\x81"},
     {"\x1b$B", "\x1b$@", "\x1b(B", "\x1b(J", "\x1b(I", "\x8e", "\x8f", "\xef\xbf\xbf", "\xf0\x9f\x98\x80"},
     [](const std::string& s) {
         Fenced in(s, false);
         const size_t capacity = Pick(2) ? s.size() * 2 + 4 : Pick(8);
         Fenced out(capacity ? capacity : 1);
         CtrlCodeSet ctrl{};
         uint32_t shift = static_cast<uint32_t>(Pick(3));
         ASSERT_LE(ConvertEucToSjis(in.bytes(), in.size(), out.bytes(), capacity, ctrl, '?'), capacity);
         ASSERT_LE(ConvertJisToSjis(in.bytes(), in.size(), out.bytes(), capacity, ctrl, '?', &shift), capacity);
         ASSERT_LE(ConvertUtf8ToSjis(in.bytes(), in.size(), out.bytes(), capacity, '?'), capacity);
         // The text boundary's own converters and cutters.
         Fenced wide(sizeof(wchar_t) * (Pick(16) + 1));
         const size_t wideSize = wide.size() / sizeof(wchar_t);
         const size_t wrote = SjisToWide(in.chars(), in.size(), reinterpret_cast<wchar_t*>(wide.bytes()), wideSize);
         ASSERT_LE(wrote, wideSize);
         ASSERT_LE(WideToSjis(reinterpret_cast<wchar_t*>(wide.bytes()), wrote, out.chars(), out.size()), out.size());
         Fenced copy(Pick(20) + 1);
         CopySjis(copy.chars(), copy.size(), s);
         ASSERT_LT(strlen(copy.chars()), copy.size());
         Fenced cut(CText(s), true);
         const size_t limit = Pick(40), length = strlen(cut.chars());
         ASSERT_LE(CutText(cut.chars(), limit), std::min(limit, length));
     }},
    {"TunnelLines",
     {"DATA,01AB\r\n", "DATA\n", "PID,0000abcd\r\n", "DATA,0\nDATA,zz\r\nDATA,", "PID,\n"},
     {"DATA,", "PID,", "\r\n", "\n", "0", "F", "g", std::string(8200, 'A')},
     [](const std::string& s) {
         Fenced in(s, false);
         const size_t lines = CompleteLinesLength(in.chars(), in.size(), false);
         const size_t first = CompleteLinesLength(in.chars(), in.size(), true);
         ASSERT_LE(lines, in.size());
         ASSERT_LE(first, lines);
         // A peer's line as the tunnel reads it: one line, out of a buffer of its size.
         Fenced one(s.substr(0, std::min(first ? first : s.size(), kTunnelBufferBytes)), false);
         const size_t count = DataLineByteCount(one.chars(), one.size());
         ASSERT_LE(count, (one.size() + 1) / 2);
         Fenced out(count);
         ASSERT_EQ(DecodeDataLine(one.chars(), one.size(), out.bytes()), count);
         DWORD pid = 0;
         ParsePidLine(in.chars(), in.size(), &pid);
         // A block of any size goes out in lines that fit the buffer.
         Fenced line(kTunnelMaxLine);
         size_t taken = 0;
         ASSERT_LE(FormatDataLine(in.bytes(), in.size(), &taken, line.chars()), kTunnelMaxLine);
         ASSERT_LE(taken, std::min(in.size(), kTunnelPieceBytes));
     }},
    {"RegistryScripts",
     {"HKCU\n{\n  NoRemove Software\n  {\n    ForceRemove Fuzz = s 'it''s'\n    {\n      val n = d 5\n    }\n  }\n}\n",
      "HKCR\n{\n  Vorlin2.Fuzz = s '%MODULE%'\n  Delete Gone\n}\n"},
     {"{\n", "}\n", "'", "''", "%MODULE%", "%PATH%", "%%", "%", "= s ", "= d ", "val ", "Delete ", "NoRemove ",
      "ForceRemove ", "HKLM\n", std::string(5000, 'k')},
     [](const std::string& s) {
         ASSERT_TRUE(g_registrySandboxed) << "a script would write into the real registry";
         Fenced script(s, false);
         RunRegistryScriptText(std::string_view(script.chars(), script.size()), L"C:\\Vorlin2\\Vorlin2.exe",
                               Pick(2) ? RegistrarMode::Register : RegistrarMode::Unregister);
     }},
};

const wchar_t kSandbox[] = L"Software\\Vorlin2FuzzSandbox";
const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER};

class FuzzTest : public testing::TestWithParam<Parser> {
protected:
    // Registry scripts write where they say: every root this process opens is a key of its own for the run.
    static void SetUpTestSuite()
    {
        g_registrySandboxed = RegCreateKeyExW(HKEY_CURRENT_USER, kSandbox, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                              &g_sandbox, nullptr) == ERROR_SUCCESS;
        for (HKEY root : kRoots) g_registrySandboxed &= RegOverridePredefKey(root, g_sandbox) == ERROR_SUCCESS;
    }
    static void TearDownTestSuite()
    {
        for (HKEY root : kRoots) RegOverridePredefKey(root, nullptr);
        RegCloseKey(g_sandbox);
        RegDeleteTreeW(HKEY_CURRENT_USER, kSandbox);
        RegDeleteKeyW(HKEY_CURRENT_USER, kSandbox);
    }
};

} // namespace

// 3000 inputs of one parser in the suite, or as many as the time scripts/fuzz gives allows.
TEST_P(FuzzTest, Parser)
{
    const Parser& parser = GetParam();
    const char* seedText = getenv("VORLIN_FUZZ_SEED");
    const char* seconds = getenv("VORLIN_FUZZ_SECONDS");
    const uint32_t seed = seedText ? static_cast<uint32_t>(strtoul(seedText, nullptr, 10)) : 20261206u;
    g_random.seed(seed ^ static_cast<uint32_t>(std::hash<std::string>{}(parser.name)));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? atoi(seconds) : 0);
    for (unsigned round = 0; seconds ? std::chrono::steady_clock::now() < end : round < 3000; ++round) {
        parser.check(Mutate(parser));
        if (HasFailure()) {
            ADD_FAILURE() << "fuzz: " << parser.name << ", seed " << seed << " round " << round;
            return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Every, FuzzTest, testing::ValuesIn(kParsers),
                         [](const testing::TestParamInfo<Parser>& info) { return std::string(info.param.name); });
