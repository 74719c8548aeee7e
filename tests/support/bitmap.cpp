#include "tests/support/bitmap.h"

#include <algorithm>
#include <random>

Bitmap randomBitmap(uint32_t h, uint32_t b, uint32_t seed, double density)
{
    std::mt19937 rng(seed);
    std::bernoulli_distribution dot(density);
    Bitmap image(h, b);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < 8 * b; ++c)
            image.set(r, c, dot(rng));
    return image;
}

Bitmap referenceQuarterTurn(const Bitmap& source, uint32_t w, bool clockwise)
{
    Bitmap out(w, (source.h + 7) / 8);
    for (uint32_t y = 0; y < w; ++y)
        for (uint32_t k = 0; k < source.h; ++k)
            out.set(y, k, clockwise ? source.get(source.h - 1 - k, y) : source.get(k, w - 1 - y));
    return out;
}

Bitmap referenceRotate180(const Bitmap& source)
{
    Bitmap out(source.h, source.b);
    for (uint32_t r = 0; r < source.h; ++r)
        for (uint32_t c = 0; c < source.columns(); ++c)
            out.set(r, c, source.get(source.h - 1 - r, source.columns() - 1 - c));
    return out;
}

Bitmap referenceScale(const Bitmap& source, uint32_t factor)
{
    Bitmap out((source.h + factor - 1) / factor, source.b / factor);
    for (uint32_t r = 0; r < out.h; ++r)
        for (uint32_t c = 0; c < out.columns(); ++c)
            for (uint32_t sr = r * factor; sr < std::min(source.h, (r + 1) * factor); ++sr)
                for (uint32_t sc = c * factor; sc < (c + 1) * factor; ++sc)
                    if (source.get(sr, sc))
                        out.set(r, c);
    return out;
}

Bitmap referenceCrop(const Bitmap& source, uint32_t offset, uint32_t width)
{
    Bitmap out(source.h, width);
    for (uint32_t r = 0; r < source.h; ++r)
        for (uint32_t c = 0; c < 8 * width; ++c)
            out.set(r, c, source.get(r, 8 * offset + c));
    return out;
}

Bitmap referenceReduce(const Bitmap& source, uint32_t width, int32_t rate, uint32_t& resWidth)
{
    const double x = rate / 100.0;
    resWidth = static_cast<uint32_t>(width * x);
    Bitmap out(static_cast<uint32_t>(source.h * x), (resWidth + 7) / 8);
    // In scan order, so the last source pixel on a result pixel is the one kept.
    for (uint32_t i = 0; i < source.h; ++i)
        for (uint32_t j = 0; j < width; ++j) {
            const auto r = static_cast<uint32_t>(i * x), c = static_cast<uint32_t>(j * x);
            if (c < resWidth && r < out.h)
                out.set(r, c, source.get(i, j));
        }
    return out;
}
