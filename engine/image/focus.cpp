#include "engine/image/focus.h"

#include <cstring>

namespace {

// The strip lies on byte boundaries, so each output row is a plain copy of
// the strip's bytes of the source row.
int cropStrip(std::span<const uint8_t> source, std::span<uint8_t> destination,
              const PageGeometry& page, FocusStrip strip)
{
    const uint32_t h = page.height;
    const uint32_t b = page.bytesPerLine;
    if (b <= 64)
        return 1;
    if (source.size() < uint64_t{h} * b || destination.size() < uint64_t{h} * strip.width)
        return 1;
    const uint8_t* src = source.data() + strip.offset;
    uint8_t* dst = destination.data();
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(dst, src, strip.width);
        src += b;
        dst += strip.width;
    }
    return 0;
}

} // namespace

FocusStrip focusStrip(uint32_t b, bool center, int32_t rotation)
{
    if (center)
        return {b / 2 - 32, 64};
    if (rotation == 1 || rotation == 3)
        return {b - 64, 64};
    return {b / 3, b - b / 3};
}

int SelectFocusArea(std::span<const uint8_t> source, std::span<uint8_t> destination,
                    const PageGeometry& page, int32_t rotation)
{
    return cropStrip(source, destination, page, focusStrip(page.bytesPerLine, false, rotation));
}

int SelectFocusAreaCenter(std::span<const uint8_t> source, std::span<uint8_t> destination,
                          const PageGeometry& page)
{
    return cropStrip(source, destination, page, focusStrip(page.bytesPerLine, true, 0));
}
