// The log view's drawing resources and the drawing of one line into the
// back buffer. The window is touched only by copies of the buffer.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "logging/traffic_record.h"
#include "logview/line_rule.h"
#include "settings/settings_types.h"

// A control-code picture waiting to be drawn over its cell.
struct PendingPicture {
    uint8_t byte;
    int column;
};

struct Painter {
    HFONT font = nullptr;
    int lineHeight = 1;
    int charWidth = 1;
    int maxCharWidth = 1;
    HDC buffer = nullptr;          // back buffer, at least as large as the screen
    HBITMAP bufferBitmap = nullptr;
    HGDIOBJ bufferOldBitmap = nullptr;
    HGDIOBJ bufferOldFont = nullptr;
    int bufferWidth = 0;
    int bufferHeight = 0;
    HBRUSH background = nullptr;
    COLORREF backgroundColour = RGB(0xFF, 0xFF, 0xFF);
    HDC pictures = nullptr;        // holds the control-code bitmap of the font size
    HGDIOBJ picturesOldBitmap = nullptr;
    int pictureWidth = 0;          // one picture; 0 when the size has no bitmap
    int pictureHeight = 0;
    HBITMAP ctrlBitmaps[kFontSizeCount] = {};  // per font size, loaded at start
    HBITMAP splash = nullptr;
    wchar_t byteChars[256] = {};   // each byte alone as a character
    std::vector<uint8_t> unitColumns;  // per UTF-16 unit, 0xFF = not measured
    std::vector<wchar_t> text;     // one line's characters
    std::vector<int> advances;     // and their cell widths
    std::vector<PendingPicture> pictureList;
};

// Bitmaps that live from start to end: the splash and the control-code
// strips per font size (files named by the settings, else 502/503 for L/LL).
void LoadViewBitmaps(Painter& p, const ViewSettings& settings);
void FreeViewBitmaps(Painter& p);

// Creates font, back buffer, brush and picture selection for `settings`,
// replacing the old ones only when all could be made. 0 or an error code.
uint32_t CreateDrawingResources(Painter& p, const ViewSettings& settings, int minWidth, int minHeight);
void ReleaseDrawingResources(Painter& p);
// Grows the back buffer when a window is larger than it (never shrinks).
void EnsureBufferSize(Painter& p, int width, int height);

// Columns of a UTF-16 unit in the view font (measured once, then kept).
uint32_t PainterUnitColumns(void* painter, uint16_t unit);

COLORREF KindColour(const ViewSettings& s, uint32_t kind);

void BlankRows(Painter& p, int top, int height, int width);

// Draws line `line` of `record` at y, across `width` pixels.
void DrawRecordLine(Painter& p, const ViewSettings& settings, const LineOptions& options, const TrafficRecord& record,
                    const LineRef& line, TextSpan text, int y, int width);

// The splash: bitmap 501 centred and the web address line.
void DrawSplash(Painter& p, int width, int height);
