// Downscaling of 1-bit page images: one third (scale100) and one half
// (scale50) in both directions; each output pixel is the OR of a 3x3 or 2x2
// block of source pixels.
//
// Output: ceil(h/f) rows of G = b/f bytes packed from the start of the
// destination, then one zero byte (nothing at all when G is 0). Rows past
// the source's h rows count as blank; they are never read.
#pragma once

#include <cstdint>
#include <span>

#include "engine/job/log.h"

// Bytes the downscale writes, the closing zero byte included (0 when G is 0
// or h is 0: an empty page writes nothing).
uint64_t scaledSize(uint32_t h, uint32_t b, uint32_t factor);

// Returns 0 when done, 1 when the buffers are too small (nothing written).
int scale100(std::span<const uint8_t> source, std::span<uint8_t> destination,
             uint32_t h, uint32_t b, LogOutput* log);
int scale50(std::span<const uint8_t> source, std::span<uint8_t> destination,
            uint32_t h, uint32_t b, LogOutput* log);
