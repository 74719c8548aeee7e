// A page as the pipelines hand it from step to step: its geometry and its
// rows (one plane, or the black and the color plane of a two-color page),
// held in the job's buffers. A step takes a page and returns the new one.
#pragma once

#include <cstdint>
#include <span>

// 1-bit rows, most significant bit leftmost, 1 = dot.
struct PageGeometry {
    uint32_t width = 0;        // dots in a row
    uint32_t height = 0;       // rows
    uint32_t bytesPerLine = 0; // bytes in a row (of one plane)

    uint64_t bytes() const { return uint64_t{height} * bytesPerLine; }
    bool empty() const { return height == 0 || bytesPerLine == 0; }
};

// A monochrome page: `rows` holds bytes() bytes.
struct Page : PageGeometry {
    std::span<uint8_t> rows;
};

// A two-color page: each plane holds bytes() bytes.
struct PlanePage : PageGeometry {
    std::span<uint8_t> black;
    std::span<uint8_t> color;
};
