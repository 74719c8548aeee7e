// Page reading: takes one page's pixels from the front end's reader and, for a
// variable-length page, trims its blank rows at the top and the bottom.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/image/page.h"
#include "engine/job/log.h"

// Why a page header cannot be printed (shared by the driver's check of each
// header and the pipelines' check of the page they are handed).
inline constexpr char kNotOneBitPerPixel[] = "ERROR: Unsupported page: only 1 bit per pixel can be printed\n";
inline constexpr char kBytesPerLineNotWidth[] =
    "ERROR: Bad page header: bytes per line do not match the page width\n";

enum : int {
    kPageRead = 0,
    kPageBlank = -1,
    kPageNotRead = -2,
};

// Reads the height x bytesPerLine bytes of `page` into `destination` with
// one call of `readRows`, which fills the span it is given and returns false
// when the page cannot be read. Page type 0 trims leading and trailing
// blank rows (the page's height becomes the rows kept) and reports an
// all-blank page as -1; any other page type is kept whole. Returns 0, -1 or
// -2 (nothing could be read). `destination` must hold the page; the bytes
// after the page stay as they were.
using PageRowReader = std::function<bool(std::span<uint8_t> rows)>;
int removeNullLine(const PageRowReader& readRows, std::span<uint8_t> destination,
                   PageGeometry& page, int32_t pageType, LogOutput* log);

// Trims the blank rows at both ends of h rows of b bytes in place (the kept
// rows move to the start). Returns the number of rows kept (0 when blank).
uint32_t trimBlankRows(std::span<uint8_t> page, uint32_t h, uint32_t b);
