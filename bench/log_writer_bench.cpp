// Log writer speed: random records (1 to 4,096 bytes) through WriteLogRecord
// in the default layout (header and hex, 26 bytes per line) and in the hex +
// text alternate mode. Run by scripts/bench-log-writer, which times
// `xxd -g1 -c26` on the same bytes and prints the ratios.
//
//   log_writer_bench.exe <folder> [megabytes of record data]
//
// Writes <folder>\data.bin (the records' bytes, back to back) and prints one
// line per layout: "ours <layout> <input bytes> <output bytes> <seconds>".
// Each layout is timed into memory (what the writer itself costs) and into a
// real file through WriteFile (what the log thread pays).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "logging/log_writer.h"
#include "settings/settings_store.h"

namespace {

struct Counter {
    uint64_t bytes = 0;
};

DWORD CountOnly(void* context, const void*, DWORD size)
{
    static_cast<Counter*>(context)->bytes += size;
    return size;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: log_writer_bench <folder> [megabytes]\n");
        return 2;
    }
    std::string folder = argv[1];
    uint64_t target = static_cast<uint64_t>(argc > 2 ? strtoul(argv[2], nullptr, 10) : 64) << 20;

    std::mt19937 random(26);
    std::vector<LogRecord*> records;
    std::string all;
    uint64_t total = 0;
    while (total < target) {
        uint32_t length = 1 + random() % 4096;
        std::string data(length, '\0');
        for (auto& c : data) c = static_cast<char>(random());
        LogRecord* r = MakeLogRecord(LOGREC_RECEIVE, static_cast<uint32_t>(records.size() + 1), data.data(), length);
        if (!r) return 1;
        records.push_back(r);
        all += data;
        total += length;
    }
    FILE* f = fopen((folder + "\\data.bin").c_str(), "wb");
    if (!f || fwrite(all.data(), 1, all.size(), f) != all.size() || fclose(f) != 0) {
        fprintf(stderr, "cannot write %s\\data.bin\n", folder.c_str());
        return 1;
    }

    LogSettings defaults;
    LoadLogSettings(defaults);
    defaults.header = 1;
    defaults.hex = 1;
    defaults.ascii = 0;
    defaults.alternate = 0;
    defaults.hexBytesPerLine = defaults.asciiBytesPerLine = 26;
    LogSettings alternate = defaults;
    alternate.alternate = 1;
    alternate.replaceCtrlCode = 1;

    struct Layout {
        const char* name;
        const LogSettings* settings;
    } layouts[] = {{"default", &defaults}, {"alternate", &alternate}};
    for (const Layout& layout : layouts) {
        double best = 1e9;
        uint64_t out = 0;
        for (int round = 0; round < 3; ++round) {
            Counter counter;
            LogOutput output(CountOnly, &counter);
            LARGE_INTEGER from, to;
            QueryPerformanceCounter(&from);
            for (LogRecord* r : records) WriteLogRecord(output, *layout.settings, *r);
            QueryPerformanceCounter(&to);
            best = std::min(best, Seconds(from, to));
            out = counter.bytes;
        }
        printf("ours %s-memory %llu %llu %.6f\n", layout.name, static_cast<unsigned long long>(total),
               static_cast<unsigned long long>(out), best);

        std::string path = folder + "\\ours-" + layout.name + ".log";
        best = 1e9;
        for (int round = 0; round < 2; ++round) {
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) return 1;
            LogOutput output(WriteToLogFile, file);
            uint64_t written = 0;
            LARGE_INTEGER from, to;
            QueryPerformanceCounter(&from);
            for (LogRecord* r : records) written += WriteLogRecord(output, *layout.settings, *r);
            QueryPerformanceCounter(&to);
            CloseHandle(file);
            best = std::min(best, Seconds(from, to));
            out = written;
        }
        printf("ours %s-file %llu %llu %.6f\n", layout.name, static_cast<unsigned long long>(total),
               static_cast<unsigned long long>(out), best);
    }
    for (LogRecord* r : records) free(r);
    return 0;
}
