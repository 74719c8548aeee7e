// Paper reduction: shrinks a 1-bit page by a percentage from 1 to 100 by
// sampling (each result pixel takes the last source pixel that falls on it),
// tracing every stage on the log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include <cups/raster.h>

#include "engine/job/log.h"

// Reduces the page described by `header` (cupsWidth pixels, cupsHeight rows
// of cupsBytesPerLine bytes). On success `result` holds the packed reduced
// page ((new cupsWidth + 7) / 8 bytes per row, fill bits zero), the header
// describes it (cupsBytesPerLine, cupsWidth, cupsHeight) and the function
// returns true; a reduction to no rows or no columns gives an empty result
// and a header of 0 x 0 with 0 bytes per line. A rate outside 1..100, or
// memory that cannot be had, leaves the header alone and returns false (the
// caller goes on with the unreduced page). So does a page whose geometry does
// not hold together (cupsWidth above 8 * cupsBytesPerLine, or `page` shorter
// than cupsHeight * cupsBytesPerLine bytes): false after the rate check,
// with no log line. The sampling reads the packed page directly; the log
// still traces the unpack and pack stages of the two conversions below.
bool reducePage(std::span<const uint8_t> page, std::vector<uint8_t>& result,
                cups_page_header_t& header, int32_t rate, LogOutput* log);

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
