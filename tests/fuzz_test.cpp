// Randomised inputs for every parser of text that comes from outside: the message file, INI
// values, button and form files, digit texts, the character converters, lines from tunnel
// peers and registry scripts. Inputs and outputs sit in page-fenced blocks, so a read or write
// one byte too far faults at once. The seed is fixed for the suite; scripts/fuzz runs the same
// cases with a random seed for as long as it is told (VORLIN_FUZZ_SEED, VORLIN_FUZZ_SECONDS).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
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

// What runs now, told by the fault handler when an input crashes the program.
struct Current {
    const char* parser = "";
    uint32_t seed = 0;
    unsigned round = 0;
    const std::string* input = nullptr;
} g_current;

LONG WINAPI TellCrash(EXCEPTION_POINTERS* info)
{
    // Faults only: debug output and C++ exceptions pass through here too.
    if (info->ExceptionRecord->ExceptionCode < 0xC0000000u || !g_current.input) return EXCEPTION_CONTINUE_SEARCH;
    fprintf(stderr, "fuzz: exception 0x%08lx in %s, seed %u round %u, input (%zu bytes):",
            info->ExceptionRecord->ExceptionCode, g_current.parser, g_current.seed, g_current.round,
            g_current.input->size());
    for (size_t i = 0; i < g_current.input->size() && i < 512; ++i)
        fprintf(stderr, " %02x", static_cast<unsigned char>((*g_current.input)[i]));
    fprintf(stderr, "\n");
    fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Inputs for one parser: random bytes, and samples joined, cut and mutated with special
// bytes, random bytes, long runs, copies of themselves and the parser's own words.
class Inputs {
public:
    Inputs(uint32_t seed, std::vector<std::string> samples, std::vector<std::string> words)
        : random_(seed), samples_(std::move(samples)), words_(std::move(words))
    {
    }
    size_t Pick(size_t count) { return count ? std::uniform_int_distribution<size_t>(0, count - 1)(random_) : 0; }
    std::string Next()
    {
        static const char kSpecial[] = {'\0', '\n', '\r', '\\', '"', '%', '=', ',', '[', ']', ';', '#', ' ',
                                        '\x1b', '\x81', '\x8e', '\x8f', '\xe0', '\xfc', '\xff', '\x5c', '\x7f'};
        std::string s = samples_[Pick(samples_.size())];
        switch (Pick(6)) {
        case 0:
            s.assign(Pick(300), '\0');
            for (char& c : s) c = static_cast<char>(Pick(256));
            break;
        case 1: s += samples_[Pick(samples_.size())]; break;
        case 2: s.resize(Pick(s.size() + 1)); break;
        default: break;
        }
        for (size_t n = Pick(8); n > 0; --n) {
            const size_t at = Pick(s.size() + 1);
            switch (Pick(6)) {
            case 0: s.insert(at, 1, kSpecial[Pick(sizeof kSpecial)]); break;
            case 1: if (at < s.size()) s[at] = static_cast<char>(Pick(256)); break;
            case 2: s.insert(at, words_[Pick(words_.size())]); break;
            case 3: s.erase(at, Pick(8)); break;
            case 4: s.insert(at, std::string(Pick(3000), static_cast<char>(Pick(256)))); break;
            default: s.insert(at, s.substr(0, Pick(s.size() + 1))); break;
            }
        }
        return s;
    }

private:
    std::mt19937 random_;
    std::vector<std::string> samples_, words_;
};

// Runs `check` on inputs of one parser: 3000 rounds in the suite, or until the time
// scripts/fuzz gives is up.
void Fuzz(const char* parser, std::vector<std::string> samples, std::vector<std::string> words,
          const std::function<void(const std::string&, Inputs&)>& check)
{
    const char* seedText = getenv("VORLIN_FUZZ_SEED");
    const char* seconds = getenv("VORLIN_FUZZ_SECONDS");
    const uint32_t seed = seedText ? static_cast<uint32_t>(strtoul(seedText, nullptr, 10)) : 20261206u;
    Inputs inputs(seed ^ static_cast<uint32_t>(std::hash<std::string>{}(parser)), std::move(samples), std::move(words));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? atoi(seconds) : 0);
    g_current = {parser, seed, 0, nullptr};
    for (unsigned round = 0; seconds ? std::chrono::steady_clock::now() < end : round < 3000; ++round) {
        const std::string input = inputs.Next();
        g_current.round = round;
        g_current.input = &input;
        check(input, inputs);
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << parser << ": seed " << seed << " round " << round;
            break;
        }
    }
    g_current.input = nullptr;
}

// The text up to the first NUL, as a C string function sees it.
std::string CText(const std::string& s) { return s.substr(0, s.find('\0')); }

class FuzzTest : public testing::Test {
protected:
    static void SetUpTestSuite() { AddVectoredExceptionHandler(1, TellCrash); }
};

} // namespace

TEST_F(FuzzTest, MessageFileLines)
{
    Fuzz("message file lines", {"2020 開けるポートがありません。", "4001 %d 行目: \\n「%s」", "# comment", "12", "3001\t\\"},
         {"%d", "%s", "%n", "%*d", "%ld", "\\n", "\\0", "\\", "%%", "%5.2s"},
         [](const std::string& s, Inputs&) {
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
         });
}

TEST_F(FuzzTest, IniTextsAndValueForms)
{
    Fuzz("INI values", {"[LOG]\r\nDIRECTORY=log\r\nKANJI=EUC\r\n", "[PREVIEW]\r\nCOLOR=#FF00ff\r\n", "#00FF7F", "AUTO",
                        "11111111000000001", "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef",
                        "-2147483649", "ＳＪＩＳ", "\"quoted\""},
         {"[", "]", "=", "\r\n", ";", "LOG", "KANJI", "＃", "0x", "-", "99999999999"},
         [](const std::string& s, Inputs& inputs) {
             std::string text = s;
             const std::string section = inputs.Pick(2) ? "LOG" : CText(s).substr(0, inputs.Pick(6));
             const std::string key = inputs.Pick(2) ? "KANJI" : CText(s).substr(0, inputs.Pick(6));
             {
                 Fenced fenced(text, false);
                 auto value = FindIniValue(std::string_view(fenced.chars(), fenced.size()), section, key);
                 if (value) {
                     ASSERT_TRUE(value->data() >= fenced.chars() && value->end() <= fenced.chars() + fenced.size());
                 }
             }
             SetIniValue(text, section, key, CText(s).substr(0, 40));
             Fenced c(CText(s), true);
             Fenced mapped(1 + inputs.Pick(64));
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
         });
}

TEST_F(FuzzTest, ButtonAndFormFiles)
{
    Fuzz("button and form files",
         {"Reset,1B40\nStatus query,05\n", "[s]\nEDIT STYLE=TEXT TITLE=\"a \"\"b\"\"\" CONVERT=HEX LENGTH=4 DATA=00ff\n",
          "[s]\nCOMBO STYLE=DROPDOWNLIST TITLE=t CONVERT=BIN LENGTH=8 DATA=\"1,10,11\"\n[t]\n",
          "[m]\nEDIT STYLE=MULTILINETEXT TITLE=x CONVERT=SJIS LENGTH=20 LINES=3\nEDIT STYLE=STATIC TITLE=y CONVERT=OCT LENGTH=3\n"},
         {"EDIT", "COMBO", "STYLE=", "TITLE=", "CONVERT=", "LENGTH=", "DATA=", "LINES=", "8191", "8192", "\"", "[", "]\n",
          "HEX", "OCT", "BIN", "SJIS", "4294967296"},
         [](const std::string& s, Inputs& inputs) {
             Fenced fenced(s, false);
             std::vector<std::string> lines = SplitTextLines(std::string_view(fenced.chars(), fenced.size()));
             for (const ButtonEntry& entry : ParseButtonEntries(lines)) ButtonDataToBytes(entry.data);
             const size_t sections = ListSectionNames(lines).size();
             auto form = std::make_unique<MultiEditForm>();
             std::vector<FormMessage> messages;
             if (!ParseFormSection(lines, static_cast<int>(inputs.Pick(sections + 1)), *form, messages)) {
                 ASSERT_EQ(form->fieldCount, 0u);
                 return;
             }
             ASSERT_LE(form->fieldCount, static_cast<uint32_t>(kMaxFormFields));
             const uint64_t count = MultiEditFormByteCount(*form);
             if (count > 1u << 20) return;
             std::vector<std::string> texts;
             for (uint32_t i = 0; i < form->fieldCount; ++i) texts.push_back(CText(s).substr(0, inputs.Pick(40)));
             Fenced block(static_cast<size_t>(count));
             ASSERT_TRUE(BuildFormBytesFromTexts(*form, texts, block.bytes(), block.size()));
         });
}

TEST_F(FuzzTest, DigitTexts)
{
    Fuzz("digit texts", {"0123456789abcdefABCDEF", "01 1 0", "777 0", "４１", "a"}, {" ", "0", "f", "\x82\x60"},
         [](const std::string& s, Inputs& inputs) {
             Fenced text(CText(s), true);
             const size_t length = strlen(text.chars());
             const bool sanitize = inputs.Pick(2);
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
         });
}

TEST_F(FuzzTest, CharacterConverters)
{
    Fuzz("converters", {"\x1b$B%F%9%H\x1b(B", "\x1b(I1]\x1b(BA", "\xa5\xc6\xa5\xb9\x8e\xb1", "25.3\xc2\xb0" "C",
                        "\xe3\x83\x86\xef\xbd\xb1", "\x82\xa0\x82\xa2" "abc\x81"},
         {"\x1b$B", "\x1b$@", "\x1b(B", "\x1b(J", "\x1b(I", "\x8e", "\x8f", "\xef\xbf\xbf", "\xf0\x9f\x98\x80"},
         [](const std::string& s, Inputs& inputs) {
             Fenced in(s, false);
             const size_t capacity = inputs.Pick(2) ? s.size() * 2 + 4 : inputs.Pick(8);
             Fenced out(capacity ? capacity : 1);
             CtrlCodeSet ctrl{};
             uint32_t shift = static_cast<uint32_t>(inputs.Pick(3));
             ASSERT_LE(ConvertEucToSjis(in.bytes(), in.size(), out.bytes(), capacity, ctrl, '?'), capacity);
             ASSERT_LE(ConvertJisToSjis(in.bytes(), in.size(), out.bytes(), capacity, ctrl, '?', &shift), capacity);
             ASSERT_LE(ConvertUtf8ToSjis(in.bytes(), in.size(), out.bytes(), capacity, '?'), capacity);
             // The text boundary's own converters and cutters.
             Fenced wide(sizeof(wchar_t) * (inputs.Pick(16) + 1));
             const size_t wideSize = wide.size() / sizeof(wchar_t);
             const size_t wrote = SjisToWide(in.chars(), in.size(), reinterpret_cast<wchar_t*>(wide.bytes()), wideSize);
             ASSERT_LE(wrote, wideSize);
             ASSERT_LE(WideToSjis(reinterpret_cast<wchar_t*>(wide.bytes()), wrote, out.chars(), out.size()), out.size());
             Fenced copy(inputs.Pick(20) + 1);
             CopySjis(copy.chars(), copy.size(), s);
             ASSERT_LT(strlen(copy.chars()), copy.size());
             Fenced cut(CText(s), true);
             const size_t limit = inputs.Pick(40), length = strlen(cut.chars());
             ASSERT_LE(CutText(cut.chars(), limit), std::min(limit, length));
         });
}

TEST_F(FuzzTest, TunnelLines)
{
    Fuzz("tunnel lines", {"DATA,01AB\r\n", "DATA\n", "PID,0000abcd\r\n", "DATA,0\nDATA,zz\r\nDATA,", "PID,\n"},
         {"DATA,", "PID,", "\r\n", "\n", "0", "F", "g", std::string(8200, 'A')},
         [](const std::string& s, Inputs&) {
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
         });
}

// Registry scripts write where they say: every root this process opens is turned to a key of
// its own for the run, so no mutation can touch the prefix's real entries.
TEST_F(FuzzTest, RegistryScripts)
{
    const wchar_t* kSandbox = L"Software\\Vorlin2FuzzSandbox";
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER};
    HKEY sandbox = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSandbox, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sandbox, nullptr),
              ERROR_SUCCESS);
    for (HKEY root : roots) ASSERT_EQ(RegOverridePredefKey(root, sandbox), ERROR_SUCCESS);
    Fuzz("registry scripts",
         {"HKCU\n{\n  NoRemove Software\n  {\n    ForceRemove Fuzz = s 'it''s'\n    {\n      val n = d 5\n    }\n  }\n}\n",
          "HKCR\n{\n  Vorlin2.Fuzz = s '%MODULE%'\n  Delete Gone\n}\n"},
         {"{\n", "}\n", "'", "''", "%MODULE%", "%PATH%", "%%", "%", "= s ", "= d ", "val ", "Delete ", "NoRemove ",
          "ForceRemove ", "HKLM\n", std::string(5000, 'k')},
         [](const std::string& s, Inputs& inputs) {
             Fenced script(s, false);
             RunRegistryScriptText(std::string_view(script.chars(), script.size()), L"C:\\Vorlin2\\Vorlin2.exe",
                                   inputs.Pick(2) ? RegistrarMode::Register : RegistrarMode::Unregister);
         });
    for (HKEY root : roots) RegOverridePredefKey(root, nullptr);
    RegCloseKey(sandbox);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSandbox);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSandbox);
}
