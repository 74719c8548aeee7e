// Focus area cropping: a byte-aligned vertical strip of every row.
//
// SelectFocusAreaCenter keeps 64 bytes from b/2 - 32; SelectFocusArea keeps
// the last 64 bytes of a quarter-turned page (rotation 1 or 3) and otherwise
// the bytes from b/3 to the end of the row. Output: h rows of the strip
// width, packed. The callers crop only when b > 64.
#pragma once

#include <cstdint>
#include <span>

#include "engine/image/page.h"

// Rows of this many bytes or fewer are never cropped.
inline constexpr uint32_t kFocusMinBytes = 64;

struct FocusStrip {
    uint32_t offset;
    uint32_t width;
};

FocusStrip focusStrip(uint32_t b, bool center, int32_t rotation);

// Both crop the rows of an uncropped page of geometry `page`. Return 0 when
// done, 1 when the buffers are too small or b <= 64 (nothing written).
int SelectFocusArea(std::span<const uint8_t> source, std::span<uint8_t> destination,
                    const PageGeometry& page, int32_t rotation);
int SelectFocusAreaCenter(std::span<const uint8_t> source, std::span<uint8_t> destination,
                          const PageGeometry& page);
