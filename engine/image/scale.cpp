#include "engine/image/scale.h"

#include <array>

namespace {

// Output pixel p of a byte group covers f neighbouring source columns. Each
// table gives the output bits that one source byte of the group sets, so the
// output byte is the OR of the tables of its (already row-ORed) source bytes.
struct ScaleTables {
    std::array<uint8_t, 256> third0{};  // scale100, byte 0 of 3
    std::array<uint8_t, 256> third1{};  // scale100, byte 1 of 3
    std::array<uint8_t, 256> third2{};  // scale100, byte 2 of 3
    std::array<uint8_t, 256> half{};    // scale50, one byte -> 4 pixels (low nibble)
};

constexpr ScaleTables makeTables()
{
    ScaleTables t;
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((v & (0x80u >> bit)) == 0)
                continue;
            // Source column 8 * k + bit of the group falls on pixel column / f.
            t.third0[v] |= static_cast<uint8_t>(0x80u >> ((0 + bit) / 3));
            t.third1[v] |= static_cast<uint8_t>(0x80u >> ((8 + bit) / 3));
            t.third2[v] |= static_cast<uint8_t>(0x80u >> ((16 + bit) / 3));
            t.half[v] |= static_cast<uint8_t>(0x08u >> (bit / 2));
        }
    }
    return t;
}

constexpr ScaleTables Tables = makeTables();

// Rows missing from the last group of a page alias the group's first row:
// ORing a row with itself adds nothing, and nothing past the page is read.
template <uint32_t F>
int downscale(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
              uint32_t b)
{
    if (source.size() < static_cast<uint64_t>(h) * b)
        return 1;
    const uint64_t size = scaledSize(h, b, F);
    if (destination.size() < size)
        return 1;
    if (size == 0)
        return 0;
    const size_t G = b / F;
    const size_t groups = (static_cast<size_t>(h) + F - 1) / F;
    const uint8_t* src = source.data();
    uint8_t* out = destination.data();
    for (size_t g = 0; g < groups; ++g) {
        const size_t first = g * F;
        const uint8_t* row[F];
        for (size_t k = 0; k < F; ++k)
            row[k] = src + (first + k < h ? first + k : first) * static_cast<size_t>(b);
        for (size_t i = 0; i < G; ++i) {
            if constexpr (F == 3) {
                const size_t j = 3 * i;
                const uint8_t b0 = row[0][j] | row[1][j] | row[2][j];
                const uint8_t b1 = row[0][j + 1] | row[1][j + 1] | row[2][j + 1];
                const uint8_t b2 = row[0][j + 2] | row[1][j + 2] | row[2][j + 2];
                *out++ = Tables.third0[b0] | Tables.third1[b1] | Tables.third2[b2];
            } else {
                const size_t j = 2 * i;
                const uint8_t b0 = row[0][j] | row[1][j];
                const uint8_t b1 = row[0][j + 1] | row[1][j + 1];
                *out++ = static_cast<uint8_t>((Tables.half[b0] << 4) | Tables.half[b1]);
            }
        }
    }
    *out = 0;
    return 0;
}

} // namespace

uint64_t scaledSize(uint32_t h, uint32_t b, uint32_t factor)
{
    if (factor == 0)
        return 0;
    const uint64_t g = b / factor;
    const uint64_t rows = (h + factor - 1ull) / factor;
    if (g == 0 || rows == 0)
        return 0;
    return rows * g + 1;
}

// The downscales work straight from the source rows and take no scratch
// memory, so they never fail for want of memory and write nothing to the log.
int scale100(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
             uint32_t b, LogOutput* )
{
    return downscale<3>(source, destination, h, b);
}

int scale50(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
            uint32_t b, LogOutput* )
{
    return downscale<2>(source, destination, h, b);
}
