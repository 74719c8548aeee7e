// 1-bit page images for tests, made at random, and per-pixel reference
// models of the image transforms written straight from their pixel
// definitions.
//
// Pixel (r, c) is bit 7 - c % 8 of byte r * b + c / 8; 1 = dot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Bitmap {
    uint32_t h = 0;  // rows
    uint32_t b = 0;  // bytes per row
    std::vector<uint8_t> bytes;

    Bitmap() = default;
    Bitmap(uint32_t rows, uint32_t bytesPerRow) : h(rows), b(bytesPerRow), bytes(std::size_t{rows} * bytesPerRow) {}

    bool get(uint32_t r, uint32_t c) const { return (bytes[std::size_t{r} * b + c / 8] >> (7 - c % 8)) & 1; }
    void set(uint32_t r, uint32_t c, bool dot = true)
    {
        uint8_t& byte = bytes[std::size_t{r} * b + c / 8];
        byte = dot ? byte | (0x80 >> c % 8) : byte & ~(0x80 >> c % 8);
    }
    uint32_t columns() const { return 8 * b; }
    bool operator==(const Bitmap&) const = default;
};

// A random image; `density` is the chance of a dot (0..1).
Bitmap randomBitmap(uint32_t h, uint32_t b, uint32_t seed, double density = 0.5);

// Reference models.
// A quarter turn of the first `width` columns, one output row per column:
// clockwise (y, k) <- (h-1-k, y); counter-clockwise (y, k) <- (k, width-1-y).
Bitmap referenceQuarterTurn(const Bitmap& source, uint32_t width, bool clockwise);
Bitmap referenceRotate180(const Bitmap& source);  // (r, c) <- (h-1-r, 8b-1-c)
// Each output pixel is the OR of an f x f block; rows past h are blank.
Bitmap referenceScale(const Bitmap& source, uint32_t factor);
// Bytes [offset, offset + width) of every row.
Bitmap referenceCrop(const Bitmap& source, uint32_t offset, uint32_t width);
// Paper reduction of the first `width` columns: result (r, c) takes the last
// source pixel (i, j) in scan order with trunc(i*x) = r and trunc(j*x) = c,
// x = rate / 100.0; rows of ceil(resWidth/8) bytes.
Bitmap referenceReduce(const Bitmap& source, uint32_t width, int32_t rate, uint32_t& resWidth);
