#include "logview/log_view.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "logging/traffic_record.h"
#include "logview/line_rule.h"
#include "logview/painter.h"
#include "logview/scrolling.h"
#include "logview/view_store.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "logview/key_state.h"

// Drawing while following is deferred: adding a record only notes which
// lines belong at the bottom of the back buffer. The buffer and the window
// are brought up to date at most once per frame interval while records
// stream in, and at once when the thread goes idle (WM_PAINT). At a few
// records a second that is every line or every record as the flip option
// says; at thousands a second it saves drawing lines nobody could see,
// which is what lets the view keep up with the line.
namespace {

constexpr double kFlipInterval = 0.015;       // seconds between window updates while streaming
constexpr double kScrollBarInterval = 0.1;    // a scroll bar redraw costs milliseconds under Wine
constexpr uint32_t kDefaultKanjiBuffer = 10240;

struct LogView {
    ViewSettings settings{};
    ViewStore store;
    Painter painter;
    LineOptions options;
    HWND hwnd = nullptr;
    HBRUSH classBrush = nullptr;
    bool cleared = false;
    int clientWidth = 0;
    int clientHeight = 0;
    int64_t page = 1;           // lines per page
    uint32_t hexPerLine = 1;
    uint32_t columnsPerLine = 1;
    int64_t drawPos = 0;        // rows drawn since the last clear or rebuild, up to a page
    int64_t position = 0;       // display line at the top
    uint32_t jisState = 0;      // carried from record to record
    uint64_t shownEndAbs = 0;   // absolute line after the last one shown at the bottom
    // Lines that following put at the bottom but that are not drawn yet.
    int64_t pendingScroll = 0;
    int64_t pendingLines = 0;
    uint64_t pendingEndAbs = 0;
    bool bufferAhead = false;   // the buffer holds what the window does not show yet
    bool invalidated = false;
    bool scrollBarStale = false;
    LONGLONG lastFlip = 0;
    LONGLONG lastScrollBar = 0;
};

LogView* g_view = nullptr;

double SecondsSince(LONGLONG then)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - then) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

bool ScrollLockOn() { return (GetTrackedKeyState(VK_SCROLL) & 1) != 0; }

void SanitizeSettings(ViewSettings& s)
{
    if (s.kanjiBufferSize < 1024) s.kanjiBufferSize = kDefaultKanjiBuffer;
    if (s.fontSize >= kFontSizeCount) s.fontSize = FONT_LL;
}

void UpdateOptions(LogView& v)
{
    v.options = MakeLineOptions(v.settings, v.hexPerLine, v.columnsPerLine);
    v.options.decodeBuffer = v.store.decodeBuffer;
    v.options.decodeSize = v.store.decodeSize;
    v.options.unitColumns = PainterUnitColumns;
    v.options.widthContext = &v.painter;
}

int RowY(const LogView& v, int64_t row) { return static_cast<int>(row) * v.painter.lineHeight; }

void BlankClient(LogView& v) { BlankRows(v.painter, 0, v.clientHeight, v.clientWidth); }

// Draws display lines [first, first + count) at rows from `row`; lines
// before the first held or at or past the total are drawn empty.
void DrawDisplayLines(LogView& v, int64_t first, int64_t count, int64_t row)
{
    const ViewStore& s = v.store;
    const int64_t total = static_cast<int64_t>(s.totalLines);
    const int lh = v.painter.lineHeight;
    int64_t line = first;
    const int64_t end = first + count;
    for (; line < end && line < 0; ++line, ++row) BlankRows(v.painter, RowY(v, row), lh, v.clientWidth);
    LinePlace place;
    if (line < end && line < total && FindDisplayLine(s, static_cast<uint64_t>(line), place)) {
        uint32_t entry = place.entry;
        uint32_t skip = place.line;
        for (;;) {
            const TrafficRecord* record = StoreRecord(s, entry);
            RecordLineWalker walker(v.options, record->data, record->length, s.startStates[StoreSlot(s, entry)]);
            LineRef ref;
            for (uint32_t j = 0; j < skip && walker.Next(ref); ++j) {
            }
            while (line < end && walker.Next(ref)) {
                DrawRecordLine(v.painter, v.settings, v.options, *record, ref, walker.Text(), RowY(v, row), v.clientWidth);
                ++line;
                ++row;
            }
            skip = 0;
            if (line >= end || entry == 0) break;
            --entry;
        }
    }
    for (; line < end; ++line, ++row) BlankRows(v.painter, RowY(v, row), lh, v.clientWidth);
}

void CopyToWindow(LogView& v)
{
    if (!v.hwnd || !v.painter.buffer) return;
    HDC dc = GetDC(v.hwnd);
    BitBlt(dc, 0, 0, v.clientWidth, v.clientHeight, v.painter.buffer, 0, 0, SRCCOPY);
    ReleaseDC(v.hwnd, dc);
    v.bufferAhead = false;
    v.lastFlip = Now();
}

void UpdateScrollBar(LogView& v, bool redraw)
{
    if (!v.hwnd) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (v.store.totalLines) {
        si.nMax = static_cast<int>(std::min<uint64_t>(v.store.totalLines - 1, INT_MAX));
        si.nPage = static_cast<UINT>(std::min<int64_t>(v.page, INT_MAX));
        si.nPos = static_cast<int>(std::min<int64_t>(v.position, INT_MAX));
    }
    v.scrollBarStale = false;
    v.lastScrollBar = Now();
    SetScrollInfo(v.hwnd, SB_VERT, &si, redraw);
}

// Puts the lines that following left pending into the back buffer: one
// scroll of the buffer for all of them, then the lines still visible.
void FlushPending(LogView& v)
{
    if (!v.pendingLines) return;
    const int64_t rowsEnd = std::min(v.drawPos, v.page);
    const int64_t lines = std::min(v.pendingLines, rowsEnd);
    const int64_t scroll = std::min(v.pendingScroll, v.page);
    const int lh = v.painter.lineHeight;
    if (lines >= v.page || scroll >= v.page) {
        BlankClient(v);
    } else if (scroll > 0 && v.painter.buffer) {
        RECT area{0, 0, v.clientWidth, RowY(v, v.page)};
        ScrollDC(v.painter.buffer, 0, -static_cast<int>(scroll) * lh, &area, &area, nullptr, nullptr);
        BlankRows(v.painter, RowY(v, v.page - scroll), static_cast<int>(scroll) * lh, v.clientWidth);
    }
    const int64_t firstLine =
        static_cast<int64_t>(v.pendingEndAbs) - static_cast<int64_t>(v.store.droppedLines) - lines;
    DrawDisplayLines(v, firstLine, lines, rowsEnd - lines);
    v.pendingLines = v.pendingScroll = 0;
    v.bufferAhead = true;
}

// Brings the window up to date now, or, within a frame of the last update,
// leaves it to the next one or to the idle WM_PAINT.
void MaybeFlip(LogView& v)
{
    if (!v.pendingLines && !v.bufferAhead && !v.scrollBarStale) return;
    if (SecondsSince(v.lastFlip) >= kFlipInterval) {
        FlushPending(v);
        if (v.bufferAhead) CopyToWindow(v);
        if (v.scrollBarStale && SecondsSince(v.lastScrollBar) >= kScrollBarInterval) UpdateScrollBar(v, true);
    }
    if ((v.pendingLines || v.bufferAhead || v.scrollBarStale) && !v.invalidated && v.hwnd) {
        InvalidateRect(v.hwnd, nullptr, FALSE);
        v.invalidated = true;
    }
}

void NoteShownEnd(LogView& v)
{
    v.shownEndAbs = v.store.droppedLines + std::min<uint64_t>(v.store.totalLines, v.position + v.page);
}

void PageRedraw(LogView& v, int64_t first)
{
    v.pendingLines = v.pendingScroll = 0;
    BlankClient(v);
    DrawDisplayLines(v, first, v.page, 0);
    v.bufferAhead = true;
    NoteShownEnd(v);
}

void OnRecord(LogView& v, TrafficRecord* record)
{
    if (!record) return;
    if (!v.cleared) {
        BlankClient(v);  // the splash goes
        v.cleared = true;
        v.bufferAhead = true;
    }
    int lock = -1;  // read once per record, and only when it matters
    auto lockOn = [&] {
        if (lock < 0) lock = ScrollLockOn() ? 1 : 0;
        return lock == 1;
    };
    ViewStore& s = v.store;
    const bool full = v.drawPos >= v.page;
    const bool follow =
        !full || (v.position == BottomPosition(static_cast<int64_t>(s.totalLines), v.page) && !lockOn());

    const uint8_t startState = static_cast<uint8_t>(v.jisState);
    const uint32_t lines = CountRecordLines(v.options, record->data, record->length, &v.jisState);
    const uint64_t base = s.droppedLines + s.totalLines;  // absolute number of its first line
    const uint64_t droppedBefore = s.droppedLines;
    InsertRecord(s, record, lines, startState);
    const uint64_t dropped = s.droppedLines - droppedBefore;

    if (follow) {
        for (uint32_t j = 0; j < lines; ++j) {
            if (v.drawPos >= v.page) {
                if (lockOn()) break;  // counted, not drawn
                v.pendingScroll = std::min(v.pendingScroll + 1, v.page);
            }
            if (v.pendingLines && v.pendingEndAbs != base + j) FlushPending(v);
            v.pendingLines = std::min(v.pendingLines + 1, v.page);
            v.pendingEndAbs = base + j + 1;
            v.shownEndAbs = base + j + 1;
            v.drawPos = std::min(v.drawPos + 1, v.page);
            if (v.settings.flipPerLine) MaybeFlip(v);
        }
        if (lines == 0) v.shownEndAbs = s.droppedLines + s.totalLines;
        // The top line is the one the screen shows: the bottom, unless
        // Scroll Lock stopped the drawing part way.
        int64_t shownEnd = static_cast<int64_t>(v.shownEndAbs) - static_cast<int64_t>(s.droppedLines);
        v.position = std::max<int64_t>(shownEnd - v.page, 0);
    } else if (dropped) {
        // Scrolled up while the oldest records go: stay on the same lines.
        if (static_cast<uint64_t>(v.position) >= dropped) {
            v.position -= static_cast<int64_t>(dropped);
        } else {
            v.position = 0;  // what was shown is gone; show the oldest held
            PageRedraw(v, 0);
        }
    }
    v.scrollBarStale = true;
    MaybeFlip(v);
}

void Recount(LogView& v)
{
    ViewStore& s = v.store;
    uint64_t total = 0;
    if (s.count) {
        // The shift state runs on from the oldest record held.
        uint32_t state = s.startStates[StoreSlot(s, s.count - 1)];
        for (uint32_t e = s.count; e-- > 0;) {
            uint32_t slot = StoreSlot(s, e);
            s.startStates[slot] = static_cast<uint8_t>(state);
            const TrafficRecord* r = s.records[slot];
            s.lineCounts[slot] = CountRecordLines(v.options, r->data, r->length, &state);
            total += s.lineCounts[slot];
        }
        v.jisState = state;
    }
    s.totalLines = total;
    s.droppedLines = 0;
}

void OnSize(LogView& v, bool recount)
{
    if (!v.hwnd) return;
    v.pendingLines = v.pendingScroll = 0;  // everything is redrawn below
    const int64_t oldTotal = static_cast<int64_t>(v.store.totalLines);
    const bool wasAtBottom = !(oldTotal > v.page) || v.position == oldTotal - v.page;
    RECT rc;
    GetClientRect(v.hwnd, &rc);
    v.clientWidth = rc.right;
    v.clientHeight = rc.bottom;
    EnsureBufferSize(v.painter, v.clientWidth, v.clientHeight);
    v.page = LinesPerPage(v.clientHeight, v.painter.lineHeight);
    const int cw = v.painter.charWidth;
    uint32_t hex = v.settings.hexWrap.automatic ? AutoHexBytesPerLine(v.clientWidth, cw)
                                                : std::max<uint32_t>(v.settings.hexWrap.count, 1);
    uint32_t columns = v.settings.asciiWrap.automatic ? AutoColumnsPerLine(v.clientWidth, cw)
                                                      : std::max<uint32_t>(v.settings.asciiWrap.count, 1);
    if (recount || hex != v.hexPerLine || columns != v.columnsPerLine) {
        v.hexPerLine = hex;
        v.columnsPerLine = columns;
        UpdateOptions(v);
        Recount(v);
    }
    const int64_t total = static_cast<int64_t>(v.store.totalLines);
    v.drawPos = std::min(total, v.page);
    v.position = PositionAfterResize(wasAtBottom, v.position, total, v.page);
    if (total < v.page && !v.cleared) {
        DrawSplash(v.painter, v.clientWidth, v.clientHeight);
        v.bufferAhead = true;
    } else {
        PageRedraw(v, total < v.page ? 0 : v.position);
    }
    CopyToWindow(v);
    UpdateScrollBar(v, true);  // last: showing or hiding the bar sends WM_SIZE again
}

void LineUpStep(LogView& v)
{
    const int lh = v.painter.lineHeight;
    RECT area{0, 0, v.clientWidth, RowY(v, v.page)};
    ScrollDC(v.painter.buffer, 0, lh, &area, &area, nullptr, nullptr);
    BlankRows(v.painter, 0, lh, v.clientWidth);
    --v.position;
    DrawDisplayLines(v, v.position, 1, 0);
    v.bufferAhead = true;
}

void LineDownStep(LogView& v)
{
    const int lh = v.painter.lineHeight;
    RECT area{0, 0, v.clientWidth, RowY(v, v.page)};
    ScrollDC(v.painter.buffer, 0, -lh, &area, &area, nullptr, nullptr);
    BlankRows(v.painter, RowY(v, v.page - 1), lh, v.clientWidth);
    DrawDisplayLines(v, v.position + v.page, 1, v.page - 1);
    ++v.position;
    v.bufferAhead = true;
}

void JumpTo(LogView& v, int64_t target)
{
    v.position = target;
    PageRedraw(v, target);
    CopyToWindow(v);
}

void OnVScroll(LogView& v, int code)
{
    if (!v.painter.buffer) return;
    FlushPending(v);
    const int64_t total = static_cast<int64_t>(v.store.totalLines);
    int64_t track = 0;
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        // The message carries only 16 bits of the position; the scroll
        // bar keeps all 32.
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(v.hwnd, SB_VERT, &si);
        track = si.nTrackPos;
    }
    const int64_t target = ScrollTarget(code, v.position, total, v.page, track);
    if (target >= 0) {
        switch (code) {
        case SB_LINEUP:
        case SB_PAGEUP:
            while (v.position > target) {
                LineUpStep(v);
                if (v.settings.flipPerLine) CopyToWindow(v);
            }
            break;
        case SB_LINEDOWN:
        case SB_PAGEDOWN:
            while (v.position < target) {
                LineDownStep(v);
                if (v.settings.flipPerLine) CopyToWindow(v);
            }
            break;
        default: JumpTo(v, target); break;
        }
        NoteShownEnd(v);
        if (v.bufferAhead) CopyToWindow(v);
    }
    if (code != SB_THUMBTRACK) UpdateScrollBar(v, true);
}

void OnKeyDown(LogView& v, WPARAM key)
{
    if (v.drawPos < v.page) return;
    int code;
    switch (key) {
    case VK_PRIOR: code = SB_PAGEUP; break;
    case VK_NEXT: code = SB_PAGEDOWN; break;
    case VK_END: code = SB_BOTTOM; break;
    case VK_HOME: code = SB_TOP; break;
    case VK_UP: code = SB_LINEUP; break;
    case VK_DOWN: code = SB_LINEDOWN; break;
    default: return;
    }
    SendMessageW(v.hwnd, WM_VSCROLL, MAKEWPARAM(code, 0), 0);
}

void OnWheel(LogView& v, WPARAM wParam)
{
    if (v.drawPos < v.page) return;
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    const uint64_t steps = WheelSteps(delta, v.settings.wheelMultiplier);
    if (!steps) return;
    const bool middle = (GET_KEYSTATE_WPARAM(wParam) & MK_MBUTTON) != 0;
    const int code = delta > 0 ? (middle ? SB_PAGEUP : SB_LINEUP) : (middle ? SB_PAGEDOWN : SB_LINEDOWN);
    // A turn that moves a page or more is one jump, not thousands of
    // one-line redraws.
    const uint64_t stride = middle ? static_cast<uint64_t>(std::max<int64_t>(v.page - 1, 1)) : 1;
    if (steps >= (static_cast<uint64_t>(v.page) + stride - 1) / stride) {
        const int64_t bottom = BottomPosition(static_cast<int64_t>(v.store.totalLines), v.page);
        const uint64_t distance = steps > static_cast<uint64_t>(INT64_MAX) / stride ? INT64_MAX : steps * stride;
        int64_t target = delta > 0 ? v.position - static_cast<int64_t>(std::min<uint64_t>(distance, v.position))
                                   : v.position + static_cast<int64_t>(std::min<uint64_t>(distance, bottom));
        target = std::clamp<int64_t>(target, 0, bottom);
        if (target != v.position) {
            FlushPending(v);
            JumpTo(v, target);
            UpdateScrollBar(v, true);
        }
        return;
    }
    for (uint64_t i = 0; i < steps; ++i) {
        const int64_t before = v.position;
        SendMessageW(v.hwnd, WM_VSCROLL, MAKEWPARAM(code, 0), 0);
        if (v.position == before) break;  // at an end: nothing more will move
    }
}

void OnClear(LogView& v)
{
    v.pendingLines = v.pendingScroll = 0;
    ClearStore(v.store);
    v.drawPos = 0;
    v.position = 0;
    v.shownEndAbs = 0;
    UpdateScrollBar(v, true);
    BlankClient(v);
    v.bufferAhead = true;
    if (v.hwnd) {
        InvalidateRect(v.hwnd, nullptr, FALSE);
        v.invalidated = true;
    }
    v.cleared = true;
}

void ReplaceClassBrush(LogView& v)
{
    HBRUSH brush = CreateSolidBrush(v.settings.colourBackground);
    if (!brush) return;
    if (v.hwnd) SetClassLongPtrW(v.hwnd, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(brush));
    if (v.classBrush) DeleteObject(v.classBrush);
    v.classBrush = brush;
}

LRESULT OnSetSettings(LogView& v, uint32_t* errorOut, const ViewSettings* settings)
{
    uint32_t error = ERROR_INVALID_PARAMETER;
    if (settings) {
        v.settings = *settings;  // in force even when the rebuild fails
        SanitizeSettings(v.settings);
        v.pendingLines = v.pendingScroll = 0;
        error = RebuildStore(v.store, v.settings.maxDataCount, v.settings.kanjiBufferSize);
        uint32_t drawing = CreateDrawingResources(v.painter, v.settings, v.clientWidth, v.clientHeight);
        if (!error) error = drawing;
        ReplaceClassBrush(v);
        v.drawPos = 0;
        UpdateOptions(v);
        OnSize(v, true);
    }
    if (errorOut) *errorOut = error;
    return error ? 0 : sizeof(ViewSettings);
}

void OnPaint(LogView& v)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(v.hwnd, &ps);
    FlushPending(v);
    if (v.painter.buffer)
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, v.painter.buffer, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    EndPaint(v.hwnd, &ps);
    v.invalidated = false;
    if (v.bufferAhead) CopyToWindow(v);
    if (v.scrollBarStale) UpdateScrollBar(v, true);
}

LRESULT CALLBACK LogViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* v = static_cast<LogView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
        if (v) v->hwnd = hwnd;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    auto* v = reinterpret_cast<LogView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!v) {
        if (msg == WM_VORLIN_RECORD) free(reinterpret_cast<void*>(lParam));  // ours now, nowhere to keep it
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_LOGVIEW_CLEAR: OnClear(*v); return 0;
    case WM_LOGVIEW_GET_SETTINGS:
        if (lParam) memcpy(reinterpret_cast<void*>(lParam), &v->settings, sizeof v->settings);
        return sizeof(ViewSettings);
    case WM_LOGVIEW_SET_SETTINGS:
        return OnSetSettings(*v, reinterpret_cast<uint32_t*>(wParam), reinterpret_cast<const ViewSettings*>(lParam));
    case WM_VORLIN_RECORD: OnRecord(*v, reinterpret_cast<TrafficRecord*>(lParam)); return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) OnSize(*v, false);
        return 0;
    case WM_VSCROLL: OnVScroll(*v, LOWORD(wParam)); return 0;
    case WM_KEYDOWN: OnKeyDown(*v, wParam); return 0;
    case WM_MOUSEWHEEL:
    case WM_VORLIN_WHEEL: OnWheel(*v, wParam); return 0;
    case WM_PAINT: OnPaint(*v); return 0;
    case WM_PRINTCLIENT:
        // The view's picture into another DC (tests and screenshots).
        FlushPending(*v);
        if (v->painter.buffer)
            BitBlt(reinterpret_cast<HDC>(wParam), 0, 0, v->clientWidth, v->clientHeight, v->painter.buffer, 0, 0,
                   SRCCOPY);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: SetFocus(hwnd); return 0;
    case WM_DESTROY:
        if (v->hwnd == hwnd) v->hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

BOOL InitLogView(HINSTANCE instance)
{
    if (g_view) return TRUE;
    auto* v = new LogView;
    LoadViewSettings(v->settings);
    SanitizeSettings(v->settings);
    LoadViewBitmaps(v->painter, v->settings);
    v->cleared = v->painter.splash == nullptr;  // no splash to show
    uint32_t error = RebuildStore(v->store, v->settings.maxDataCount, v->settings.kanjiBufferSize);
    if (!error) error = CreateDrawingResources(v->painter, v->settings, 0, 0);
    v->classBrush = CreateSolidBrush(v->settings.colourBackground);
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = LogViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = v->classBrush;
    wc.lpszClassName = kLogViewClass;
    if (!error && !RegisterClassW(&wc)) error = GetLastError();
    g_view = v;
    UpdateOptions(*v);
    if (error) {
        ShutdownLogView();
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

void ShutdownLogView()
{
    LogView* v = g_view;
    if (!v) return;
    if (v->hwnd) {
        SetWindowLongPtrW(v->hwnd, GWLP_USERDATA, 0);
        v->hwnd = nullptr;
    }
    FreeStore(v->store);
    ReleaseDrawingResources(v->painter);
    FreeViewBitmaps(v->painter);
    UnregisterClassW(kLogViewClass, GetModuleHandleW(nullptr));
    if (v->classBrush) DeleteObject(v->classBrush);
    delete v;
    g_view = nullptr;
}

HWND CreateLogView(HWND parent)
{
    return CreateWindowExW(WS_EX_CLIENTEDGE, kLogViewClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG_VIEW)),
                           GetModuleHandleW(nullptr), g_view);
}

void ClearLogView(HWND view) { SendMessageW(view, WM_LOGVIEW_CLEAR, 0, 0); }

int GetViewSettings(HWND view, ViewSettings* buffer)
{
    SendMessageW(view, WM_LOGVIEW_GET_SETTINGS, 0, reinterpret_cast<LPARAM>(buffer));
    return 1;
}

int SetViewSettings(HWND view, const ViewSettings* settings)
{
    uint32_t error = 0;
    if (SendMessageW(view, WM_LOGVIEW_SET_SETTINGS, reinterpret_cast<WPARAM>(&error),
                     reinterpret_cast<LPARAM>(settings)))
        return 1;
    SetLastError(error ? error : ERROR_INVALID_PARAMETER);
    return 0;
}
