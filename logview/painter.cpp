#include "logview/painter.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "base/text.h"
#include "resources/resource.h"

namespace {

constexpr int kFontHeights[kFontSizeCount] = {-5, -8, -13, -19, -23};
constexpr wchar_t kWebAddress[] = L"http://www.vorlin2.example/";
constexpr wchar_t kLoneLeadByte = 0x30FB;  // "・" for a lead byte seen alone

// Header words by record kind; every kind above 3 is an error.
constexpr const char* kHeaderWords[] = {"<送信>", "<受信>", "<送信エラー>", "<廃棄>", "<エラー>"};

bool IsCtrl(const LineOptions& o, uint32_t value) { return value < 256 && o.ctrlCodes && o.ctrlCodes->code[value]; }

void Reserve(Painter& p, size_t n)
{
    if (p.text.size() < n) {
        p.text.resize(n);
        p.advances.resize(n);
    }
}

void DrawPicture(Painter& p, uint8_t byte, int x, int y)
{
    int cw = p.charWidth, lh = p.lineHeight;
    if (p.pictureWidth <= cw && p.pictureHeight <= lh) {
        BitBlt(p.buffer, x + (cw - p.pictureWidth) / 2, y + (lh - p.pictureHeight) / 2, p.pictureWidth,
               p.pictureHeight, p.pictures, byte * p.pictureWidth, 0, SRCCOPY);
    } else {
        StretchBlt(p.buffer, x, y, cw, lh, p.pictures, byte * p.pictureWidth, 0, p.pictureWidth, p.pictureHeight,
                   SRCCOPY);
    }
}


// One text output for the whole line, then the pictures over their cells.
void Emit(Painter& p, int y, int width, size_t count, const std::vector<PendingPicture>& pictures)
{
    RECT band{0, y, width, y + p.lineHeight};
    ExtTextOutW(p.buffer, 0, y, ETO_OPAQUE | ETO_CLIPPED, &band, p.text.data(), static_cast<UINT>(count),
                p.advances.data());
    for (const auto& pic : pictures)
        if (pic.column * p.charWidth < width) DrawPicture(p, pic.byte, pic.column * p.charWidth, y);
}

void DrawHeader(Painter& p, const TrafficRecord& r, int y, int width)
{
    char narrow[128];
    const char* word = kHeaderWords[std::min<uint32_t>(r.kind, 4)];
    int n = snprintf(narrow, sizeof narrow, "%06lu %s %04u/%02u/%02u %02u:%02u:%02u.%03u データサイズ = %lu",
                     static_cast<unsigned long>(r.number), word, r.time.wYear, r.time.wMonth, r.time.wDay,
                     r.time.wHour, r.time.wMinute, r.time.wSecond, r.time.wMilliseconds,
                     static_cast<unsigned long>(r.length));
    n = std::clamp(n, 0, static_cast<int>(sizeof narrow) - 1);
    wchar_t wide[128];
    size_t w = SjisToWide(narrow, static_cast<size_t>(n), wide, 128);
    RECT band{0, y, width, y + p.lineHeight};
    ExtTextOutW(p.buffer, 0, y, ETO_OPAQUE | ETO_CLIPPED, &band, wide, static_cast<UINT>(w), nullptr);
}

void DrawHex(Painter& p, const uint8_t* bytes, uint32_t n, int y, int width)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    // A fixed wrap may ask for any number of bytes: the text is sized to it.
    Reserve(p, static_cast<size_t>(n) * 3);
    wchar_t* t = p.text.data();
    size_t k = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i) t[k++] = L' ';
        t[k++] = digits[bytes[i] >> 4];
        t[k++] = digits[bytes[i] & 15];
    }
    RECT band{0, y, width, y + p.lineHeight};
    // Only the characters that can show are handed to GDI.
    size_t visible = std::min<size_t>(k, static_cast<size_t>(width / std::max(p.charWidth, 1)) + 2);
    ExtTextOutW(p.buffer, 0, y, ETO_OPAQUE | ETO_CLIPPED, &band, t, static_cast<UINT>(visible), nullptr);
}

// Character line under the hex columns: one cell per byte (or per UTF-16 unit).
void DrawCells(Painter& p, const LineOptions& o, const uint8_t* bytes, uint32_t n, int y, int width)
{
    const bool pictures = p.pictureWidth > 0;
    const size_t cells = o.unicode ? (static_cast<size_t>(n) + 1) / 2 : n;
    const int pitch = (o.unicode ? 6 : 3) * p.charWidth;
    const size_t visible = std::min<size_t>(cells, static_cast<size_t>(width / std::max(pitch, 1)) + 1);
    Reserve(p, visible + 1);
    std::vector<PendingPicture>& pics = p.pictureList;
    pics.clear();
    for (size_t i = 0; i < visible; ++i) {
        uint32_t value = o.unicode ? static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) : bytes[i];
        if (pictures && IsCtrl(o, value)) {
            p.text[i] = L' ';
            pics.push_back({static_cast<uint8_t>(value), static_cast<int>(i * (o.unicode ? 6 : 3))});
        } else {
            p.text[i] = o.unicode ? static_cast<wchar_t>(value) : p.byteChars[value];
        }
        p.advances[i] = pitch;
    }
    Emit(p, y, width, visible, pics);
}

// Flowing text: narrow Shift_JIS bytes (a pair takes two columns) or
// UTF-16 units (measured columns); control codes one column each.
void DrawText(Painter& p, const LineOptions& o, const uint8_t* bytes, size_t units, int y, int width)
{
    const bool pictures = p.pictureWidth > 0;
    const int maxColumns = width / std::max(p.charWidth, 1) + 2;
    Reserve(p, units + 1);
    std::vector<PendingPicture>& pics = p.pictureList;
    pics.clear();
    size_t k = 0;
    int column = 0;
    for (size_t i = 0; i < units && column < maxColumns; ++i) {
        int columns = 1;
        if (o.unicode) {
            uint16_t u = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            if (pictures && IsCtrl(o, u)) {
                pics.push_back({static_cast<uint8_t>(u), column});
                p.text[k] = L' ';
            } else {
                p.text[k] = static_cast<wchar_t>(u);
                columns = static_cast<int>(PainterUnitColumns(&p, u));
            }
        } else {
            uint8_t b = bytes[i];
            if (pictures && IsCtrl(o, b)) {
                pics.push_back({b, column});
                p.text[k] = L' ';
            } else if (i + 1 < units && IsSjisLeadByte(b) && bytes[i + 1] >= 0x40 && bytes[i + 1] != 0x7F &&
                       bytes[i + 1] <= 0xFC && !(pictures && IsCtrl(o, bytes[i + 1]))) {
                wchar_t w = 0;
                if (SjisToWide(reinterpret_cast<const char*>(bytes + i), 2, &w, 1) == 1) {
                    p.text[k] = w;
                    columns = 2;
                    ++i;
                } else {
                    p.text[k] = p.byteChars[b];
                }
            } else {
                p.text[k] = p.byteChars[b];
            }
        }
        p.advances[k] = columns * p.charWidth;
        column += columns;
        ++k;
    }
    Emit(p, y, width, k, pics);
}

HBITMAP LoadBitmapFile(const char* path)
{
    std::wstring name = SjisToWide(path);
    auto* b = static_cast<HBITMAP>(LoadImageW(nullptr, name.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!b)
        b = static_cast<HBITMAP>(
            LoadImageW(nullptr, name.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_MONOCHROME));
    return b;
}

} // namespace

void LoadViewBitmaps(Painter& p, const ViewSettings& s)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    p.splash = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_LOGVIEW_SPLASH), IMAGE_BITMAP, 0, 0, 0));
    for (int size = 0; size < kFontSizeCount; ++size) {
        char path[kPathSize + 1] = {};
        memcpy(path, s.ctrlBmp[size], kPathSize);  // the setting need not end in a zero
        if (path[0]) {
            p.ctrlBitmaps[size] = LoadBitmapFile(path);
        } else if (size == FONT_L || size == FONT_LL) {
            int id = size == FONT_L ? IDB_CTRL_CODES_L : IDB_CTRL_CODES_LL;
            p.ctrlBitmaps[size] =
                static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_MONOCHROME));
        }
    }
}

void FreeViewBitmaps(Painter& p)
{
    if (p.pictures && p.picturesOldBitmap) {
        SelectObject(p.pictures, p.picturesOldBitmap);
        p.picturesOldBitmap = nullptr;
    }
    for (HBITMAP& b : p.ctrlBitmaps) {
        if (b) DeleteObject(b);
        b = nullptr;
    }
    if (p.splash) DeleteObject(p.splash);
    p.splash = nullptr;
}

void ReleaseDrawingResources(Painter& p)
{
    if (p.buffer) {
        SelectObject(p.buffer, p.bufferOldBitmap);
        SelectObject(p.buffer, p.bufferOldFont);
        DeleteDC(p.buffer);
    }
    if (p.bufferBitmap) DeleteObject(p.bufferBitmap);
    if (p.pictures) {
        if (p.picturesOldBitmap) SelectObject(p.pictures, p.picturesOldBitmap);
        DeleteDC(p.pictures);
    }
    if (p.font) DeleteObject(p.font);
    if (p.background) DeleteObject(p.background);
    p.buffer = p.pictures = nullptr;
    p.bufferBitmap = nullptr;
    p.bufferOldBitmap = p.bufferOldFont = p.picturesOldBitmap = nullptr;
    p.font = nullptr;
    p.background = nullptr;
    p.pictureWidth = p.pictureHeight = 0;
    p.bufferWidth = p.bufferHeight = 0;
}

uint32_t CreateDrawingResources(Painter& p, const ViewSettings& s, int minWidth, int minHeight)
{
    const int size = std::min<int>(s.fontSize, kFontSizeCount - 1);
    HDC screen = GetDC(nullptr);
    if (!screen) return GetLastError();
    int width = std::max(GetSystemMetrics(SM_CXSCREEN), minWidth);
    int height = std::max(GetSystemMetrics(SM_CYSCREEN), minHeight);
    HFONT font = CreateFontW(kFontHeights[size], 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                             OUT_STRING_PRECIS, CLIP_STROKE_PRECIS, DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, L"Terminal");
    HDC buffer = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HBRUSH brush = CreateSolidBrush(s.colourBackground);
    HDC pictures = CreateCompatibleDC(screen);
    uint32_t error = (font && buffer && bitmap && brush && pictures) ? 0 : GetLastError();
    ReleaseDC(nullptr, screen);
    if (error || !(font && buffer && bitmap && brush && pictures)) {
        if (font) DeleteObject(font);
        if (buffer) DeleteDC(buffer);
        if (bitmap) DeleteObject(bitmap);
        if (brush) DeleteObject(brush);
        if (pictures) DeleteDC(pictures);
        return error ? error : ERROR_NOT_ENOUGH_MEMORY;
    }
    ReleaseDrawingResources(p);
    p.font = font;
    p.buffer = buffer;
    p.bufferBitmap = bitmap;
    p.bufferWidth = width;
    p.bufferHeight = height;
    p.background = brush;
    p.backgroundColour = s.colourBackground;
    p.pictures = pictures;
    p.bufferOldBitmap = SelectObject(buffer, bitmap);
    p.bufferOldFont = SelectObject(buffer, font);
    SelectObject(buffer, brush);
    SetBkColor(buffer, s.colourBackground);
    SetBkMode(buffer, OPAQUE);
    SetStretchBltMode(buffer, COLORONCOLOR);

    TEXTMETRICW tm{};
    GetTextMetricsW(buffer, &tm);
    p.lineHeight = std::max<int>(tm.tmHeight, 1);
    p.charWidth = std::max<int>(tm.tmAveCharWidth, 1);
    p.maxCharWidth = std::max<int>(tm.tmMaxCharWidth, 1);
    RECT all{0, 0, width, height};
    FillRect(buffer, &all, brush);

    if (HBITMAP strip = p.ctrlBitmaps[size]) {
        BITMAP info{};
        GetObjectW(strip, sizeof info, &info);
        if (info.bmWidth >= 256 && info.bmHeight > 0) {
            p.picturesOldBitmap = SelectObject(pictures, strip);
            p.pictureWidth = info.bmWidth / 256;
            p.pictureHeight = info.bmHeight;
        }
    }
    for (int b = 0; b < 256; ++b) {
        char c = static_cast<char>(b);
        wchar_t w = 0;
        p.byteChars[b] = SjisToWide(&c, 1, &w, 1) == 1 ? w : kLoneLeadByte;
    }
    p.unitColumns.assign(65536, 0xFF);
    return 0;
}

void EnsureBufferSize(Painter& p, int width, int height)
{
    if (!p.buffer || (width <= p.bufferWidth && height <= p.bufferHeight)) return;
    HDC screen = GetDC(nullptr);
    int w = std::max(width, p.bufferWidth), h = std::max(height, p.bufferHeight);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    if (!bitmap) return;  // keep the old one; the part outside it stays blank
    SelectObject(p.buffer, bitmap);
    DeleteObject(p.bufferBitmap);
    p.bufferBitmap = bitmap;
    p.bufferWidth = w;
    p.bufferHeight = h;
    RECT all{0, 0, w, h};
    FillRect(p.buffer, &all, p.background);
}

uint32_t PainterUnitColumns(void* painter, uint16_t unit)
{
    auto& p = *static_cast<Painter*>(painter);
    if (p.unitColumns.empty() || !p.buffer) return DefaultUnitColumns(nullptr, unit);
    uint8_t& cached = p.unitColumns[unit];
    if (cached == 0xFF) {
        wchar_t w = static_cast<wchar_t>(unit);
        SIZE size{};
        GetTextExtentPoint32W(p.buffer, &w, 1, &size);
        cached = static_cast<uint8_t>(std::clamp<long>(size.cx / p.charWidth, 0, 16));
    }
    return cached;
}

COLORREF KindColour(const ViewSettings& s, uint32_t kind)
{
    switch (kind) {
    case RECORD_SEND: return s.colourSend;
    case RECORD_RECEIVE: return s.colourRecv;
    case RECORD_DISCARD: return s.colourDiscard;
    default: return s.colourError;
    }
}

void BlankRows(Painter& p, int top, int height, int width)
{
    if (!p.buffer) return;
    RECT r{0, top, width, top + height};
    FillRect(p.buffer, &r, p.background);
}

void DrawRecordLine(Painter& p, const ViewSettings& s, const LineOptions& o, const TrafficRecord& r,
                    const LineRef& line, TextSpan text, int y, int width)
{
    if (!p.buffer) return;
    SetTextColor(p.buffer, KindColour(s, r.kind));
    SetBkColor(p.buffer, s.colourBackground);
    switch (line.kind) {
    case LineKind::Header: DrawHeader(p, r, y, width); break;
    case LineKind::Hex: DrawHex(p, r.data + line.begin, line.end - line.begin, y, width); break;
    case LineKind::Chars: DrawCells(p, o, r.data + line.begin, line.end - line.begin, y, width); break;
    case LineKind::Text:
        DrawText(p, o, text.bytes + (o.unicode ? 2 * static_cast<size_t>(line.begin) : line.begin),
                 line.end - line.begin, y, width);
        break;
    case LineKind::AltText:
        DrawText(p, o, text.bytes, o.unicode ? (text.length + 1) / 2 : text.length, y, width);
        break;
    }
}

void DrawSplash(Painter& p, int width, int height)
{
    if (!p.buffer) return;
    BlankRows(p, 0, height, width);
    if (p.splash) {
        BITMAP info{};
        GetObjectW(p.splash, sizeof info, &info);
        HDC source = CreateCompatibleDC(p.buffer);
        HGDIOBJ old = SelectObject(source, p.splash);
        BitBlt(p.buffer, (width - info.bmWidth) / 2, (height - info.bmHeight) / 2, info.bmWidth, info.bmHeight, source,
               0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    int oldMode = SetBkMode(p.buffer, TRANSPARENT);
    UINT oldAlign = SetTextAlign(p.buffer, TA_RIGHT | TA_BOTTOM);
    SetTextColor(p.buffer, RGB(0, 0, 0x7F));
    TextOutW(p.buffer, width - p.maxCharWidth, height - p.lineHeight, kWebAddress,
             static_cast<int>(std::size(kWebAddress) - 1));
    SetTextAlign(p.buffer, oldAlign);
    SetBkMode(p.buffer, oldMode);
}
