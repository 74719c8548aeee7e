// Paper reduction: shrinks a 1-bit page by a percentage from 1 to 100 by
// sampling (each result pixel takes the last source pixel that falls on it),
// tracing every stage on the log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include <cups/raster.h>

// Reduces the page described by `header` (cupsWidth pixels, cupsHeight rows
// of cupsBytesPerLine bytes). On success `result` holds the packed reduced
// page, the header describes it and the function returns true. A rate
// outside 1..100, or memory that cannot be had, leaves the header alone and
// returns false (the caller goes on with the unreduced page).
bool reducePage(std::span<const uint8_t> page, std::vector<uint8_t>& result,
                cups_page_header_t& header, int32_t rate, FILE* log);

// One byte per pixel (0 or 1) from 1-bit rows of bytesPerLine bytes; only the
// first W pixels of a row are kept. Sets bytesPerLine to W.
std::vector<uint8_t> convertPixelPerBits1to8(std::span<const uint8_t> image, uint32_t W,
                                             uint32_t H, uint32_t& bytesPerLine, FILE* log);

// 1-bit rows of (w+7)/8 bytes from rows of w one-byte pixels (not 0 = dot);
// fill bits zero. Sets bytesPerLine to (w+7)/8.
std::vector<uint8_t> convertPixelPerBits8to1(std::span<const uint8_t> image, uint32_t w,
                                             uint32_t h, uint32_t& bytesPerLine, FILE* log);
