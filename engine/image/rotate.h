// Rotation of 1-bit page images: a 180-degree turn in place and the two
// quarter turns into a separate destination.
//
// Images are h rows of b bytes, most significant bit leftmost, 1 = dot.
// A quarter turn takes all 8*b pixel columns (fill bits included) and writes
// 8*b rows of ceil(h/8) bytes; bits past h in every output row are zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/job/log.h"

// Bytes a quarter turn of h rows of b bytes writes: 8 * b * ceil(h / 8).
uint64_t quarterTurnSize(uint32_t h, uint32_t b);

// Byte i becomes byte n-1-i with its bits reversed (n = buffer.size()).
void rotate180Degree(std::span<uint8_t> buffer);

// Quarter turn clockwise: destination pixel (x, k) = source pixel (h-1-k, x).
// Returns 0 when done, 1 when the buffers are too small (nothing written).
int rotate90Degree(std::span<const uint8_t> source, std::span<uint8_t> destination,
                   uint32_t h, uint32_t b, LogOutput* log);

// Quarter turn counter-clockwise: destination pixel (y, k) = source pixel
// (k, 8*b-1-y). Returns as rotate90Degree.
int rotate270Degree(std::span<const uint8_t> source, std::span<uint8_t> destination,
                    uint32_t h, uint32_t b, LogOutput* log);
