// Converter speed: EUC-JP, ISO-2022-JP and UTF-8 to Shift_JIS over the same
// mixed Japanese and ASCII text. Run by scripts/bench-kanji, which times
// iconv on the files written here and prints the ratios.
//
//   kanji_convert_bench.exe <folder> [megabytes of Shift_JIS text]
//
// Writes <folder>\{euc,jis,utf8}.txt (the inputs), <folder>\sjis.txt (the
// expected result) and <folder>\ours-{euc,jis,utf8}.txt (what the converters
// gave), then prints one line per encoding: "ours <name> <input bytes> <seconds>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "logging/kanji_convert.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Hiragana, katakana, the level-1 kanji, 、。 and the signs ° ± × ÷ § ¨ ´ ¶:
// text that every Shift_JIS flavour (and iconv's) writes the same way.
struct JisChar {
    uint8_t row, cell;
};

std::vector<JisChar> JapaneseRepertoire()
{
    std::vector<JisChar> chars;
    for (uint8_t cell = 0x21; cell <= 0x73; ++cell) chars.push_back({0x24, cell});  // hiragana
    for (uint8_t cell = 0x21; cell <= 0x76; ++cell) chars.push_back({0x25, cell});  // katakana
    for (uint8_t row = 0x30; row <= 0x4E; ++row)
        for (uint8_t cell = 0x21; cell <= 0x7E; ++cell) chars.push_back({row, cell});  // level-1 kanji
    for (uint8_t row = 0x4F, cell = 0x21; cell <= 0x53; ++cell) chars.push_back({row, cell});
    for (JisChar sign : {JisChar{0x21, 0x22}, {0x21, 0x23}, {0x21, 0x6B}, {0x21, 0x5E}, {0x21, 0x5F}, {0x21, 0x60},
                         {0x21, 0x78}, {0x21, 0x2F}, {0x21, 0x2D}, {0x22, 0x79}})
        chars.push_back(sign);
    return chars;
}

struct Corpus {
    Bytes sjis, euc, jis, utf8;
};

// Lines of ASCII words, Japanese runs and half-width katakana runs, about
// `size` bytes of Shift_JIS.
Corpus MakeCorpus(size_t size)
{
    std::mt19937 random(932);
    std::vector<JisChar> repertoire = JapaneseRepertoire();
    const char* words[] = {"COM1", "OK", "ERROR", "AT+CSQ", "temp=23.5", "id:0042", "ready", "status", "RX", "TX"};
    Corpus c;
    enum { Ascii, Kanji, Katakana } jisMode = Ascii;
    auto designate = [&](decltype(jisMode) mode, uint8_t final1, uint8_t final2) {
        if (jisMode != mode) c.jis.insert(c.jis.end(), {0x1B, final1, final2});
        jisMode = mode;
    };
    auto toAscii = [&] { designate(Ascii, '(', 'B'); };
    auto ascii = [&](const std::string& text) {
        toAscii();
        for (uint8_t b : text) {
            c.sjis.push_back(b);
            c.euc.push_back(b);
            c.jis.push_back(b);
        }
    };
    while (c.sjis.size() < size) {
        int pieces = 3 + random() % 6;
        for (int p = 0; p < pieces; ++p) {
            int kind = random() % 6;
            if (kind < 2) {
                ascii(std::string(words[random() % 10]) + " ");
            } else if (kind == 2) {
                designate(Katakana, '(', 'I');
                int n = 2 + random() % 8;
                for (int i = 0; i < n; ++i) {
                    uint8_t kana = static_cast<uint8_t>(0xA1 + random() % 63);
                    c.sjis.push_back(kana);
                    c.euc.insert(c.euc.end(), {0x8E, kana});
                    c.jis.push_back(static_cast<uint8_t>(kana & 0x7F));
                }
            } else {
                designate(Kanji, '$', 'B');
                int n = 2 + random() % 12;
                for (int i = 0; i < n; ++i) {
                    JisChar j = repertoire[random() % repertoire.size()];
                    uint16_t code = JisToSjis(j.row, j.cell);
                    c.sjis.push_back(static_cast<uint8_t>(code >> 8));
                    c.sjis.push_back(static_cast<uint8_t>(code));
                    c.euc.push_back(j.row | 0x80);
                    c.euc.push_back(j.cell | 0x80);
                    c.jis.push_back(j.row);
                    c.jis.push_back(j.cell);
                }
            }
        }
        ascii("\r\n");
    }
    int wideLength = MultiByteToWideChar(932, 0, reinterpret_cast<const char*>(c.sjis.data()),
                                         static_cast<int>(c.sjis.size()), nullptr, 0);
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(932, 0, reinterpret_cast<const char*>(c.sjis.data()), static_cast<int>(c.sjis.size()),
                        wide.data(), wideLength);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    c.utf8.resize(utf8Length);
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, reinterpret_cast<char*>(c.utf8.data()), utf8Length,
                        nullptr, nullptr);
    return c;
}

bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: kanji_convert_bench <folder> [megabytes]\n");
        return 2;
    }
    std::string folder = argv[1];
    size_t megabytes = argc > 2 ? strtoul(argv[2], nullptr, 10) : 10;
    Corpus corpus = MakeCorpus(megabytes << 20);
    if (!WriteBytes(folder + "\\sjis.txt", corpus.sjis) || !WriteBytes(folder + "\\euc.txt", corpus.euc) ||
        !WriteBytes(folder + "\\jis.txt", corpus.jis) || !WriteBytes(folder + "\\utf8.txt", corpus.utf8)) {
        fprintf(stderr, "cannot write into %s\n", folder.c_str());
        return 1;
    }

    CtrlCodeSet ctrl{};
    for (int i = 0; i < 0x20; ++i) ctrl.code[i] = 1;
    struct Case {
        const char* name;
        const Bytes* input;
    } cases[] = {{"euc", &corpus.euc}, {"jis", &corpus.jis}, {"utf8", &corpus.utf8}};
    Bytes out(corpus.utf8.size() * 2 + 16);
    int status = 0;
    for (const Case& c : cases) {
        double best = 1e9;
        size_t written = 0;
        for (int round = 0; round < 5; ++round) {
            LARGE_INTEGER from, to;
            QueryPerformanceCounter(&from);
            uint32_t state = 0;
            if (c.input == &corpus.euc)
                written = ConvertEucToSjis(c.input->data(), c.input->size(), out.data(), out.size(), ctrl, ' ');
            else if (c.input == &corpus.jis)
                written = ConvertJisToSjis(c.input->data(), c.input->size(), out.data(), out.size(), ctrl, ' ', &state);
            else
                written = ConvertUtf8ToSjis(c.input->data(), c.input->size(), out.data(), out.size(), '?');
            QueryPerformanceCounter(&to);
            best = std::min(best, Seconds(from, to));
        }
        Bytes result(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
        WriteBytes(folder + "\\ours-" + c.name + ".txt", result);
        if (result != corpus.sjis) {
            fprintf(stderr, "%s: the conversion differs from the expected Shift_JIS\n", c.name);
            status = 1;
        }
        printf("ours %s %zu %.6f\n", c.name, c.input->size(), best);
    }
    return status;
}
