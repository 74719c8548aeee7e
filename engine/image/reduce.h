// Paper reduction: shrinks a 1-bit page by a percentage from 1 to 100 by
// sampling (each result pixel takes the last source pixel that falls on it),
// tracing every stage on the log.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/image/page.h"
#include "engine/job/log.h"

// Reduces `page`. Returns the reduced page, its rows in `result` (packed,
// (new width + 7) / 8 bytes per row, fill bits zero); a reduction to no rows
// or no columns gives a page of 0 x 0 with 0 bytes per line. A rate outside
// 1..100, or memory that cannot be had, returns `page` itself (the caller
// goes on with the unreduced page). So does a page whose geometry does not
// hold together (a width above 8 * bytesPerLine, or fewer rows than its
// height): after the rate check, with no log line. The sampling reads the
// packed page directly; the log still traces the unpack and pack stages of
// the two conversions below, and the page header's `margins`.
Page reducePage(const Page& page, std::vector<uint8_t>& result, int32_t rate,
                const unsigned (&margins)[2], LogOutput* log);

// One byte per pixel (0 or 1) from 1-bit rows of bytesPerLine bytes; only the
// first W pixels of a row are kept (pixels past the row's 8 * bytesPerLine
// stay 0). Sets bytesPerLine to W. An image shorter than H rows, or no
// memory: an empty vector, bytesPerLine unchanged, nothing logged.
std::vector<uint8_t> convertPixelPerBits1to8(std::span<const uint8_t> image, uint32_t W,
                                             uint32_t H, uint32_t& bytesPerLine, LogOutput* log);

// 1-bit rows of (w+7)/8 bytes from rows of w one-byte pixels (not 0 = dot);
// fill bits zero. Sets bytesPerLine to (w+7)/8. An image shorter than w * h
// bytes, or no memory: an empty vector, bytesPerLine unchanged, nothing logged.
std::vector<uint8_t> convertPixelPerBits8to1(std::span<const uint8_t> image, uint32_t w,
                                             uint32_t h, uint32_t& bytesPerLine, LogOutput* log);
