// The geometry both page pipelines share: what a downscale, a quarter turn,
// a focus strip and an empty page make of a page's geometry, and the pages
// that no pipeline takes.
#pragma once

#include <cstddef>
#include <cstdint>

#include <cups/raster.h>

#include "engine/image/page.h"

// After a downscale whose rows are `rowBytes` long (b/3 or b/2): `height`
// rows of rowBytes bytes holding `width` dots, at most the 8 * rowBytes dots
// those rows hold. (For the usual widths, 575 or 576 dots on 72 bytes, this
// is the bytes per line the new width asks for; for others, such as 640
// dots on 80 bytes at one third, the rows the downscale wrote are one byte
// shorter than that, and the geometry keeps to the rows.)
PageGeometry downscaledGeometry(uint32_t height, uint32_t width, uint32_t rowBytes);

// After a quarter turn: the old width becomes the height, the old height the
// width, and a row holds the old height's dots.
PageGeometry quarterTurnGeometry(const PageGeometry& page);

// First row of the page in the output of rotate270Degree of rows of b bytes
// holding `width` dots: the 8*b - width rows before it are the rows' fill
// bits. 0 when the width fills the rows.
uint32_t firstPageRowAfter270(uint32_t b, uint32_t width);

// After cropping a focus strip `stripBytes` wide: the page's rows, each as
// many dots as the strip holds but the last seven.
PageGeometry focusedGeometry(const PageGeometry& page, uint32_t stripBytes);

// A page with no rows or no bytes per line has nothing to print; it gets
// height 0 so that no step divides by its row length and no
// raster command goes out for it.
template <typename AnyPage>
AnyPage markEmptyPage(AnyPage page)
{
    if (page.empty())
        page.height = 0;
    if constexpr (requires { page.rows; })
        page.rows = page.rows.first(static_cast<std::size_t>(page.bytes()));
    return page;
}

// Why a page cannot go through a pipeline whose rows hold `rowBytes` bytes
// per plane (the bytes per line, or a quarter of them for two colors): not 1
// bit per pixel, more dots than the rows hold, or fewer bytes in the page
// buffer than the page needs. An ERROR: line, or null when the page is fine.
const char* pipelinePageRefusal(uint32_t bitsPerPixel, const PageGeometry& page,
                                std::size_t pageBufferBytes, uint32_t rowBytes);

// The page header the encoders read: `header` with the page's geometry.
cups_page_header_t encoderHeader(const cups_page_header_t& header, const PageGeometry& page);
