#include "image/focus.h"

FocusStrip focusStrip(uint32_t b, bool center, int32_t rotation)
{
    if (center)
        return {b / 2 - 32, 64};
    if (rotation == 1 || rotation == 3)
        return {b - 64, 64};
    return {b / 3, b - b / 3};
}

int SelectFocusArea(std::span<const uint8_t>, std::span<uint8_t>, const cups_page_header_t&, int32_t) { return 1; }
int SelectFocusAreaCenter(std::span<const uint8_t>, std::span<uint8_t>, const cups_page_header_t&) { return 1; }
