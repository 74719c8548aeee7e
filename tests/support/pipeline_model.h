// Per-pixel models of the two page pipelines for tests: the page that
// reaches the encoders, computed from the pixel definitions of every step
// (downscale by block OR, quarter turns of the page's own columns, blank-row
// trim, byte strip, reduction by sampling).
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/job/model_table.h"
#include "tests/support/bitmap.h"

struct PipelineOptions {
    int model = 31; // its grayScaling and focusOption steer the monochrome pipeline
    int32_t pageSize = 1, rotation = 0, pageType = 1, focusArea = 0, paperReduction = 0;
};

// Random dots on h rows of b bytes holding `quarters` line quarters of
// b / quarters bytes. Blank: the columns of a quarter past `width` dots, and
// a margin of rows at the top and bottom and of columns at both sides.
inline Bitmap randomLines(uint32_t width, uint32_t h, uint32_t b, uint32_t quarters, uint32_t seed,
                          double density, uint32_t margin = 0)
{
    Bitmap page = randomBitmap(h, b, seed, density);
    const uint32_t columns = 8 * (b / quarters);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < columns * quarters; ++c)
            if (r < margin || r + margin >= h || c % columns < margin || c % columns + margin >= width)
                page.set(r, c, false);
    return page;
}

// An image and the dots per row its header gives.
struct ModelPage {
    Bitmap image;
    uint32_t width = 0;
};

namespace pipeline_model {

// A page without rows or without bytes per row has nothing to print.
inline void dropIfEmpty(ModelPage& page)
{
    if (page.image.h == 0 || page.image.b == 0)
        page.image = Bitmap(0, page.image.b);
}

// Downscale by block OR to `rows` rows of b / f bytes; rows past the
// downscaled image are blank.
inline void downscale(ModelPage& page, uint32_t f, uint32_t rows, uint32_t width)
{
    const Bitmap scaled = referenceScale(page.image, f);
    Bitmap out(rows, page.image.b / f);
    for (uint32_t r = 0; r < rows && r < scaled.h; ++r)
        for (uint32_t c = 0; c < out.columns(); ++c)
            out.set(r, c, scaled.get(r, c));
    page = {out, std::min(width, out.columns())};
    dropIfEmpty(page);
}

inline void rotate(ModelPage& page, int32_t rotation)
{
    if (rotation == 1 || rotation == 3)
        page = {referenceQuarterTurn(page.image, page.width, rotation == 1), page.image.h};
    else if (rotation == 2)
        page.image = referenceRotate180(page.image);
    dropIfEmpty(page);
}

// The rows between the first and the last row with a dot.
inline Bitmap trimmed(const Bitmap& image)
{
    const auto row = [&](uint32_t r) { return image.bytes.begin() + std::size_t{r} * image.b; };
    const auto dotted = [&](uint32_t r) { return std::any_of(row(r), row(r + 1), [](uint8_t v) { return v != 0; }); };
    uint32_t first = 0, last = image.h;
    while (first < last && !dotted(first))
        ++first;
    while (last > first && !dotted(last - 1))
        --last;
    Bitmap out(last - first, image.b);
    std::copy(row(first), row(last), out.bytes.begin());
    return out;
}

// The focus strip: 64 bytes around the middle of the row (area 2), the last
// 64 bytes of a quarter-turned page, else all but the first third.
inline void crop(ModelPage& page, int32_t focusArea, int32_t rotation)
{
    const uint32_t b = page.image.b;
    const auto [offset, width] = focusArea == 2                    ? std::pair{b / 2 - 32, 64u}
                                 : rotation == 1 || rotation == 3 ? std::pair{b - 64, 64u}
                                                                  : std::pair{b / 3, b - b / 3};
    page = {referenceCrop(page.image, offset, width), 8 * width - 7};
}

} // namespace pipeline_model

// The monochrome page handed to the encoder, from the page the driver read.
inline ModelPage modelGrayPage(const Bitmap& page, uint32_t width, const PipelineOptions& o)
{
    using namespace pipeline_model;
    const ModelRow& row = *findModel(o.model);
    ModelPage p{page, width};
    if (row.grayScaling && (o.pageSize == 96 || o.pageSize == 101)) {
        const uint32_t f = o.pageSize == 96 ? 3 : 2;
        downscale(p, f, p.image.h / f, p.width / f);
    }
    rotate(p, o.rotation);
    if (o.pageType == 0 && (o.rotation == 1 || o.rotation == 3))
        p.image = trimmed(p.image);
    if (row.focusOption && o.pageSize == 101 && p.image.b > 64 && (o.focusArea == 1 || o.focusArea == 2))
        crop(p, o.focusArea, o.rotation);
    if (o.paperReduction >= 1 && o.paperReduction <= 100) {
        uint32_t resWidth = 0;
        p.image = referenceReduce(p.image, p.width, o.paperReduction, resWidth);
        p.width = resWidth;
    }
    return p;
}

// The black and the color plane handed to the encoder, from h raster lines
// of four quarters of q = b / 4 bytes each.
struct ModelPlanes {
    ModelPage black, color;
};

inline ModelPlanes modelColorPage(const Bitmap& raster, uint32_t width, const PipelineOptions& o)
{
    using namespace pipeline_model;
    const uint32_t q = raster.b / 4;
    ModelPage k{Bitmap(raster.h, q), width}, m{Bitmap(raster.h, q), width};
    for (uint32_t r = 0; r < raster.h; ++r)
        for (uint32_t c = 0; c < 8 * q; ++c) {
            k.image.set(r, c, raster.get(r, 24 * q + c));
            m.image.set(r, c, raster.get(r, c) || raster.get(r, 8 * q + c) || raster.get(r, 16 * q + c));
        }
    for (ModelPage* p : {&k, &m}) {
        if (o.pageSize == 96 || o.pageSize == 101) {
            const uint32_t f = o.pageSize == 96 ? 3 : 2;
            downscale(*p, f, (raster.h + f) / f, (width + f) / f);
        }
        rotate(*p, o.rotation);
        if (o.pageSize == 101 && p->image.b > 64 && (o.focusArea == 1 || o.focusArea == 2))
            crop(*p, o.focusArea, o.rotation);
    }
    return {k, m};
}
