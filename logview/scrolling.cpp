#include "logview/scrolling.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

int64_t LinesPerPage(int clientHeight, int lineHeight)
{
    if (lineHeight <= 0) return 1;
    return std::max<int64_t>(clientHeight / lineHeight, 1);
}

uint32_t AutoHexBytesPerLine(int clientWidth, int charWidth)
{
    if (charWidth <= 0 || clientWidth <= 0) return 1;
    // Two digits and a space per byte; the last byte needs no space.
    return std::max<uint32_t>(static_cast<uint32_t>((clientWidth / charWidth + 1) / 3), 1);
}

uint32_t AutoColumnsPerLine(int clientWidth, int charWidth)
{
    if (charWidth <= 0 || clientWidth <= 0) return 1;
    return std::max<uint32_t>(static_cast<uint32_t>(clientWidth / charWidth), 1);
}

int64_t ScrollTarget(int code, int64_t p, int64_t total, int64_t page, int64_t track)
{
    const int64_t bottom = BottomPosition(total, page);
    // A page step keeps one line of the old page in view; a one-line
    // window still moves by one.
    const int64_t step = std::max<int64_t>(page - 1, 1);
    int64_t target;
    switch (code) {
    case SB_LINEUP:
        if (p <= 0) return -1;
        target = p - 1;
        break;
    case SB_LINEDOWN:
        if (p >= bottom) return -1;
        target = p + 1;
        break;
    case SB_PAGEUP:
        if (p <= 0) return -1;
        target = std::max<int64_t>(p - step, 0);
        break;
    case SB_PAGEDOWN:
        if (p >= bottom) return -1;
        target = std::min(p + step, bottom);
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        target = std::clamp<int64_t>(track, 0, bottom);
        break;
    case SB_TOP: target = 0; break;
    case SB_BOTTOM: target = bottom; break;
    default: return -1;
    }
    return target;
}

int64_t PositionAfterResize(bool wasAtBottom, int64_t oldPosition, int64_t total, int64_t page)
{
    const int64_t bottom = BottomPosition(total, page);
    if (!wasAtBottom && oldPosition <= bottom) return oldPosition;
    return bottom;
}

uint64_t WheelSteps(int delta, uint32_t multiplier)
{
    return static_cast<uint64_t>(std::abs(delta) / WHEEL_DELTA) * multiplier;
}
