// The arithmetic of scrolling the log view: page size, automatic wraps,
// where each scroll command goes, where a resize leaves the view, and how
// many steps a wheel turn makes. No window needed.
#pragma once
#include <cstdint>

// Lines per page for a client height: whole lines, at least one so a very
// small window still shows (part of) a line.
int64_t LinesPerPage(int clientHeight, int lineHeight);

// Automatic wraps for a client width; a window narrower than one character
// gives 1, never 0.
uint32_t AutoHexBytesPerLine(int clientWidth, int charWidth);
uint32_t AutoColumnsPerLine(int clientWidth, int charWidth);

// The last position that still fills a page (0 when everything fits).
inline int64_t BottomPosition(int64_t total, int64_t page) { return total > page ? total - page : 0; }

// New scroll position for a WM_VSCROLL code, or -1 when nothing moves.
// `track` is the thumb's 32-bit tracking position.
int64_t ScrollTarget(int code, int64_t position, int64_t total, int64_t page, int64_t track);

// Position after a resize: the old one when the view was scrolled up and
// that position still fills a page, else the bottom.
int64_t PositionAfterResize(bool wasAtBottom, int64_t oldPosition, int64_t total, int64_t page);

// Steps of one wheel message: |delta| / 120 notches times the multiplier.
uint64_t WheelSteps(int delta, uint32_t multiplier);
