// Per-pixel models of the two page pipelines, for tests: what a page looks
// like when it reaches the encoders, computed one pixel at a time from the
// pixel definitions of every step (downscale by block OR, quarter turns of
// the page's own columns, blank-row trim, byte strip, reduction by sampling).
#pragma once

#include <algorithm>
#include <cstdint>

#include "tests/support/bitmap.h"

struct PipelineOptions {
    bool grayScaling = true; // model column, monochrome pipeline only
    bool focusOption = true; // model column, monochrome pipeline only
    int32_t pageSize = 1;
    int32_t rotation = 0;
    int32_t pageType = 1;
    int32_t focusArea = 0;
    int32_t paperReduction = 0; // monochrome pipeline only
};

// An image and the dots per row its header gives.
struct ModelPage {
    Bitmap image;
    uint32_t width = 0;
};

namespace pipeline_model {

// Rows [0, rows) of an f-times downscale; rows past the downscaled image are blank.
inline Bitmap downscaled(const Bitmap& source, uint32_t factor, uint32_t rows)
{
    const Bitmap scaled = referenceScale(source, factor);
    Bitmap out(rows, source.b / factor);
    for (uint32_t r = 0; r < rows && r < scaled.h; ++r)
        for (uint32_t c = 0; c < out.columns(); ++c)
            out.set(r, c, scaled.get(r, c));
    return out;
}

// Quarter turn of a page of `width` dots: one output row per page column.
inline Bitmap quarterTurn(const Bitmap& source, uint32_t width, bool clockwise)
{
    Bitmap out(width, (source.h + 7) / 8);
    for (uint32_t y = 0; y < width; ++y)
        for (uint32_t k = 0; k < source.h; ++k)
            out.set(y, k, clockwise ? source.get(source.h - 1 - k, y) : source.get(k, width - 1 - y));
    return out;
}

inline bool blankRow(const Bitmap& image, uint32_t r)
{
    for (uint32_t c = 0; c < image.columns(); ++c)
        if (image.get(r, c))
            return false;
    return true;
}

// The rows between the first and the last row with a dot.
inline Bitmap trimmed(const Bitmap& image)
{
    uint32_t first = 0;
    while (first < image.h && blankRow(image, first))
        ++first;
    uint32_t last = image.h;
    while (last > first && blankRow(image, last - 1))
        --last;
    Bitmap out(last - first, image.b);
    for (uint32_t r = first; r < last; ++r)
        for (uint32_t c = 0; c < image.columns(); ++c)
            out.set(r - first, c, image.get(r, c));
    return out;
}

// Byte offset and width of the focus strip of rows of b bytes.
inline void focusStripOf(uint32_t b, int32_t focusArea, int32_t rotation, uint32_t& offset, uint32_t& width)
{
    if (focusArea == 2) {
        offset = b / 2 - 32;
        width = 64;
    } else if (rotation == 1 || rotation == 3) {
        offset = b - 64;
        width = 64;
    } else {
        offset = b / 3;
        width = b - b / 3;
    }
}

// A page without rows or without bytes per row has nothing to print.
inline void dropIfEmpty(ModelPage& page)
{
    if (page.image.h == 0 || page.image.b == 0)
        page.image = Bitmap(0, page.image.b);
}

inline void rotate(ModelPage& page, int32_t rotation)
{
    if (rotation == 1 || rotation == 3) {
        const uint32_t rows = page.image.h;
        page.image = quarterTurn(page.image, page.width, rotation == 1);
        page.width = rows;
    } else if (rotation == 2) {
        page.image = referenceRotate180(page.image);
    }
    dropIfEmpty(page);
}

} // namespace pipeline_model

// The monochrome page handed to the encoder, from the page the driver read.
inline ModelPage modelGrayPage(const Bitmap& page, uint32_t width, const PipelineOptions& o)
{
    using namespace pipeline_model;
    ModelPage p{page, width};
    if (o.grayScaling && (o.pageSize == 96 || o.pageSize == 101)) {
        const uint32_t f = o.pageSize == 96 ? 3 : 2;
        p.image = downscaled(p.image, f, p.image.h / f);
        p.width = std::min(p.width / f, p.image.columns());
        dropIfEmpty(p);
    }
    rotate(p, o.rotation);
    if (o.pageType == 0 && (o.rotation == 1 || o.rotation == 3))
        p.image = trimmed(p.image);
    if (o.focusOption && o.pageSize == 101 && p.image.b > 64 && (o.focusArea == 1 || o.focusArea == 2)) {
        uint32_t offset = 0, w = 0;
        focusStripOf(p.image.b, o.focusArea, o.rotation, offset, w);
        p.image = referenceCrop(p.image, offset, w);
        p.width = 8 * w - 7;
    }
    if (o.paperReduction >= 1 && o.paperReduction <= 100) {
        uint32_t resWidth = 0;
        p.image = referenceReduce(p.image, p.width, o.paperReduction, resWidth);
        p.width = resWidth;
    }
    return p;
}

// The two planes handed to the encoder and the header's bytes per line.
struct ModelPlanes {
    Bitmap black;
    Bitmap color;
    uint32_t width = 0;
    uint32_t bytesPerLine = 0; // the header's: a whole raster line until scaled or quarter-turned
};

// From h raster lines of b bytes, four quarters of b / 4 bytes each.
inline ModelPlanes modelColorPage(const Bitmap& raster, uint32_t width, const PipelineOptions& o)
{
    using namespace pipeline_model;
    const uint32_t q = raster.b / 4;
    Bitmap black(raster.h, q), color(raster.h, q);
    for (uint32_t r = 0; r < raster.h; ++r)
        for (uint32_t c = 0; c < 8 * q; ++c) {
            black.set(r, c, raster.get(r, 24 * q + c));
            color.set(r, c, raster.get(r, c) || raster.get(r, 8 * q + c) || raster.get(r, 16 * q + c));
        }
    ModelPage k{black, width}, m{color, width};
    uint32_t bytesPerLine = raster.b;
    if (o.pageSize == 96 || o.pageSize == 101) {
        const uint32_t f = o.pageSize == 96 ? 3 : 2;
        const uint32_t rows = (raster.h + f) / f;
        k.image = downscaled(k.image, f, rows);
        m.image = downscaled(m.image, f, rows);
        k.width = m.width = std::min((width + f) / f, k.image.columns());
        bytesPerLine = k.image.b;
        dropIfEmpty(k);
        dropIfEmpty(m);
    }
    rotate(k, o.rotation);
    rotate(m, o.rotation);
    if (o.rotation == 1 || o.rotation == 3)
        bytesPerLine = k.image.b;
    if (o.pageSize == 101 && bytesPerLine > 64 && (o.focusArea == 1 || o.focusArea == 2)) {
        uint32_t offset = 0, w = 0;
        focusStripOf(k.image.b, o.focusArea, o.rotation, offset, w);
        k.image = referenceCrop(k.image, offset, w);
        m.image = referenceCrop(m.image, offset, w);
        k.width = m.width = 8 * w - 7;
        bytesPerLine = w;
    }
    return {k.image, m.image, k.width, bytesPerLine};
}
