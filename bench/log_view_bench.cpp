// The log view under load, with the real view window:
//   1. 10,000 records of 64 bytes sent while following, flip per line on and
//      off, beside a reference that draws every line as it comes (scroll the
//      buffer, one text output, one copy to the window per line or record);
//   2. 4096-byte records (the serial engine's read size) posted from another
//      thread through a stand-in main window, flip per line on: the rate the
//      view absorbs, and whether the queue grows at a given line rate;
//   3. resize with 10,000 records held (recount and redraw), beside a bare
//      recount of the same records;
//   4. memory per held record, beside the record's own block.
//
//   log_view_bench [paced line rates in KB/s for part 2, default 1024 4096 16384]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "logging/traffic_record.h"
#include "logview/line_rule.h"
#include "logview/log_view.h"
#include "settings/settings_types.h"
#include "shell/messages.h"

namespace {

double Seconds()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

std::vector<TrafficRecord*> MakeRecords(int count, uint32_t length)
{
    std::vector<TrafficRecord*> out;
    std::vector<uint8_t> data(length);
    for (int i = 0; i < count; ++i) {
        for (uint32_t k = 0; k < length; ++k) data[k] = static_cast<uint8_t>(i * 7 + k);
        TrafficRecord* r = MakeTrafficRecord(i % 2, i, data.data(), length);
        GetLocalTime(&r->time);
        out.push_back(r);
    }
    return out;
}

// Bytes in busy blocks of every heap of the process, with their overhead.
size_t HeapBytes()
{
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < n && i < 64; ++i) {
        PROCESS_HEAP_ENTRY e{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData + e.cbOverhead;
        HeapUnlock(heaps[i]);
    }
    return total;
}

// --- the reference: every line drawn and shown as it comes ---------------

struct Reference {
    HWND window = nullptr;
    HDC buffer = nullptr;
    HBITMAP bitmap = nullptr;
    HFONT font = nullptr;
    int width = 0, height = 0, lineHeight = 1, page = 1, bytesPerLine = 1;
    int row = 0;

    void Open(HWND parent, int w, int h)
    {
        window = CreateWindowExA(WS_EX_CLIENTEDGE, "STATIC", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, w, h, parent,
                                 nullptr, nullptr, nullptr);
        RECT rc;
        GetClientRect(window, &rc);
        width = rc.right;
        height = rc.bottom;
        HDC screen = GetDC(nullptr);
        buffer = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        ReleaseDC(nullptr, screen);
        SelectObject(buffer, bitmap);
        font = CreateFontA(-19, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_STRING_PRECIS, CLIP_STROKE_PRECIS,
                           DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, "Terminal");
        SelectObject(buffer, font);
        TEXTMETRICA tm;
        GetTextMetricsA(buffer, &tm);
        lineHeight = tm.tmHeight;
        page = height / lineHeight;
        bytesPerLine = (width / tm.tmAveCharWidth + 1) / 3;
    }
    void Close()
    {
        DeleteDC(buffer);
        DeleteObject(bitmap);
        DeleteObject(font);
        DestroyWindow(window);
    }
    void Copy()
    {
        HDC dc = GetDC(window);
        BitBlt(dc, 0, 0, width, height, buffer, 0, 0, SRCCOPY);
        ReleaseDC(window, dc);
    }
    void Line(const wchar_t* text, int n, bool flip)
    {
        RECT area{0, 0, width, page * lineHeight};
        if (row >= page) ScrollDC(buffer, 0, -lineHeight, &area, &area, nullptr, nullptr);
        int y = (row < page ? row : page - 1) * lineHeight;
        RECT band{0, y, width, y + lineHeight};
        ExtTextOutW(buffer, 0, y, ETO_OPAQUE | ETO_CLIPPED, &band, text, n, nullptr);
        if (row < page) ++row;
        if (flip) Copy();
    }
    void Add(const TrafficRecord* r, bool flip)
    {
        wchar_t text[512];
        int n = swprintf(text, 512, L"%06u <受信> %04u/%02u/%02u %02u:%02u:%02u.%03u データサイズ = %u", r->number,
                         r->time.wYear, r->time.wMonth, r->time.wDay, r->time.wHour, r->time.wMinute, r->time.wSecond,
                         r->time.wMilliseconds, r->length);
        Line(text, n, flip);
        for (uint32_t at = 0; at < r->length; at += bytesPerLine) {
            int k = 0;
            for (uint32_t i = at; i < r->length && i < at + static_cast<uint32_t>(bytesPerLine); ++i)
                k += swprintf(text + k, 512 - k, i == at ? L"%02X" : L" %02X", r->data[i]);
            Line(text, k, flip);
        }
        if (!flip) Copy();
        SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, static_cast<int>(r->number) * 4, 20, 0, 0};
        SetScrollInfo(window, SB_VERT, &si, FALSE);
    }
};

// --- a stand-in main window: records posted to it go on to the view -------

HWND g_view = nullptr;
std::atomic<long> g_handled{0};

LRESULT CALLBACK HubProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VORLIN_RECORD) {
        SendMessageA(g_view, WM_VORLIN_RECORD, 0, lParam);
        ++g_handled;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Time spent inside the view's own WM_SIZE handling (recount and redraw).
WNDPROC g_viewProc = nullptr;
double g_sizeSeconds = 0;
LRESULT CALLBACK TimedViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_SIZE) return CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
    double t0 = Seconds();
    LRESULT r = CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
    g_sizeSeconds += Seconds() - t0;
    return r;
}

ViewSettings Current()
{
    ViewSettings s{};
    GetViewSettings(g_view, &s);
    return s;
}

void Apply(const ViewSettings& s)
{
    if (!SetViewSettings(g_view, &s)) printf("settings refused: %lu\n", GetLastError());
}

double SendAll(std::vector<TrafficRecord*>& records)
{
    double t0 = Seconds();
    for (TrafficRecord* r : records) SendMessageA(g_view, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(r));
    UpdateWindow(g_view);
    double t = Seconds() - t0;
    records.clear();
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<double> rates;
    for (int i = 1; i < argc; ++i) rates.push_back(atof(argv[i]));
    if (rates.empty()) rates = {1024.0, 4096.0, 16384.0};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!InitLogView(instance)) {
        printf("InitLogView failed: %lu\n", GetLastError());
        return 1;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = HubProc;
    wc.hInstance = instance;
    wc.lpszClassName = "LogViewBenchHub";
    RegisterClassA(&wc);
    HWND hub = CreateWindowExA(0, wc.lpszClassName, "log view bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 820, 660,
                               nullptr, nullptr, instance, nullptr);
    g_view = CreateLogView(hub);
    MoveWindow(g_view, 0, 0, 800, 600, TRUE);
    Pump();
    RECT rc;
    GetClientRect(g_view, &rc);
    printf("view client %ldx%ld, font L, header and hex lines, automatic wrap\n", rc.right, rc.bottom);

    // 1. 64-byte records while following. The machine is shared, so each
    // figure is the best of three runs.
    const int kCount = 10000;
    const int kRuns = 3;
    for (int flip = 1; flip >= 0; --flip) {
        ViewSettings s = Current();
        s.flipPerLine = static_cast<uint8_t>(flip);
        Apply(s);
        double ours = 1e9, theirs = 1e9;
        for (int run = 0; run < kRuns; ++run) {
            ClearLogView(g_view);
            std::vector<TrafficRecord*> records = MakeRecords(kCount, 64);
            ours = std::min(ours, SendAll(records));
            Pump();

            Reference ref;
            ref.Open(hub, 800, 600);
            std::vector<TrafficRecord*> again = MakeRecords(kCount, 64);
            double t0 = Seconds();
            for (TrafficRecord* r : again) ref.Add(r, flip != 0);
            theirs = std::min(theirs, Seconds() - t0);
            for (TrafficRecord* r : again) free(r);
            ref.Close();
            Pump();
        }
        printf("64-byte records, flip per line %-3s: %8.0f records/s   reference (every line drawn and shown) %8.0f records/s   x%.1f\n",
               flip ? "on" : "off", kCount / ours, kCount / theirs, theirs / ours);
    }

    // 2. 4096-byte records through the stand-in main window, flip per line on.
    {
        ViewSettings s = Current();
        s.flipPerLine = 1;
        Apply(s);
        ClearLogView(g_view);
        const int burst = 1500;
        g_handled = 0;
        std::vector<TrafficRecord*> records = MakeRecords(burst, 4096);
        double t0 = Seconds();
        std::thread producer([&] {
            for (TrafficRecord* r : records)
                while (!PostMessageA(hub, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(r))) Sleep(1);
        });
        while (g_handled < burst) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            Pump();
        }
        double t = Seconds() - t0;
        producer.join();
        printf("4096-byte records, flip per line on, posted flat out: %8.0f records/s = %6.1f MB/s absorbed\n", burst / t,
               burst * 4096.0 / t / 1048576.0);

        // Paced at each line rate for 4 seconds: the backlog must not grow.
        for (double pacedKBps : rates) {
            const double seconds = 4.0;
            const int total = static_cast<int>(pacedKBps * 1024.0 / 4096.0 * seconds);
            g_handled = 0;
            std::vector<TrafficRecord*> paced = MakeRecords(total, 4096);
            std::atomic<long> posted{0};
            long maxBacklog = 0;
            long backlogAtHalf = -1, backlogAtEnd = -1;
            std::atomic<double> lastPost{0};
            t0 = Seconds();
            std::thread pacer([&] {
                for (int i = 0; i < total; ++i) {
                    double due = t0 + i * (seconds / total);
                    while (Seconds() < due) Sleep(0);
                    while (!PostMessageA(hub, WM_VORLIN_RECORD, 0, reinterpret_cast<LPARAM>(paced[i]))) Sleep(1);
                    ++posted;
                }
                lastPost = Seconds() - t0;
            });
            while (g_handled < total) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
                Pump();
                long backlog = posted - g_handled;
                maxBacklog = std::max(maxBacklog, backlog);
                double now = Seconds() - t0;
                if (backlogAtHalf < 0 && now >= seconds / 2) backlogAtHalf = backlog;
                if (backlogAtEnd < 0 && posted == total) backlogAtEnd = backlog;
            }
            double done = Seconds() - t0;
            pacer.join();
            double late = done - lastPost;
            printf("4096-byte records paced at %.0f KB/s (%d records, posted in %.2f s = %.0f KB/s): backlog at half time "
                   "%ld, at the last post %ld, largest %ld; all shown %.3f s after the last post\n",
                   pacedKBps, total, lastPost.load(), total * 4.0 / lastPost.load(), backlogAtHalf, backlogAtEnd,
                   maxBacklog, late);
        }
    }

    // 3. Resize with 10,000 records held.
    for (int string = 0; string <= 1; ++string) {
        ViewSettings s = Current();
        s.ascii = s.string = static_cast<uint8_t>(string);
        Apply(s);
        ClearLogView(g_view);
        std::vector<TrafficRecord*> records = MakeRecords(kCount, 64);
        SendAll(records);
        Pump();
        const int rounds = 20;
        double ours = 1e9, whole = 1e9;  // the quickest of the rounds
        g_viewProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(g_view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedViewProc)));
        for (int i = 0; i < rounds; ++i) {
            g_sizeSeconds = 0;
            double t0 = Seconds();
            MoveWindow(g_view, 0, 0, (i & 1) ? 800 : 760, 600, TRUE);
            UpdateWindow(g_view);
            whole = std::min(whole, Seconds() - t0);
            ours = std::min(ours, g_sizeSeconds);
        }
        SetWindowLongPtrA(g_view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));

        // Reference: the recount alone, over the same number of records.
        std::vector<TrafficRecord*> bare = MakeRecords(kCount, 64);
        std::vector<uint8_t> decode(10240);
        LineOptions o = MakeLineOptions(s, 25, 76);
        o.decodeBuffer = decode.data();
        o.decodeSize = decode.size();
        uint64_t lines = 0;
        double recount = 1e9;
        for (int i = 0; i < rounds; ++i) {
            double t0 = Seconds();
            uint32_t state = 0;
            for (TrafficRecord* r : bare) lines += CountRecordLines(o, r->data, r->length, &state);
            recount = std::min(recount, Seconds() - t0);
        }
        for (TrafficRecord* r : bare) free(r);
        printf("resize with %d records held (%s): %6.2f ms in the view to recount and redraw, %6.2f ms for the whole "
               "MoveWindow (quickest of 20)   reference (recount only) %6.2f ms\n",
               kCount, string ? "hex and string lines" : "hex lines", ours * 1000, whole * 1000, recount * 1000);
        (void)lines;
    }

    // 4. Memory per held record: the record's own heap block (with the
    // heap's overhead), what the view allocates on top while holding it, and
    // its entries in the store arrays (allocated once for the capacity).
    {
        ViewSettings s = Current();
        s.ascii = s.string = 0;
        Apply(s);
        ClearLogView(g_view);
        Pump();
        size_t empty = HeapBytes();
        std::vector<TrafficRecord*> records = MakeRecords(kCount, 64);
        size_t made = HeapBytes();
        SendAll(records);
        Pump();
        size_t held = HeapBytes();
        ClearLogView(g_view);
        size_t cleared = HeapBytes();
        const double block = sizeof(TrafficRecord) + 64 + kTrafficRecordTrailer;
        const unsigned entry = static_cast<unsigned>(sizeof(void*) + sizeof(uint32_t) + 1);
        printf("memory per held record (64 data bytes): %.1f bytes = heap block %.1f + view allocations %.1f + store "
               "entry %u   reference (the record's fields, data and trailer) %.0f bytes; clear gives back %.1f\n",
               (static_cast<double>(made) - static_cast<double>(empty)) / kCount +
                   (static_cast<double>(held) - static_cast<double>(made)) / kCount + entry,
               (static_cast<double>(made) - static_cast<double>(empty)) / kCount,
               (static_cast<double>(held) - static_cast<double>(made)) / kCount, entry, block,
               (static_cast<double>(held) - static_cast<double>(cleared)) / kCount);
    }

    DestroyWindow(hub);
    ShutdownLogView();
    return 0;
}
