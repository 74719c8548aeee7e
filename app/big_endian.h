// A 32-bit big-endian number in a document's bytes (raster headers, PNG
// chunks).
#pragma once

#include <cstdint>

inline uint32_t bigEndian(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}
