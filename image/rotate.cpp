#include "image/rotate.h"

#include <array>
#include <cstring>

namespace {

constexpr uint8_t reverseBits(uint8_t v)
{
    v = static_cast<uint8_t>((v >> 4) | (v << 4));
    v = static_cast<uint8_t>(((v & 0xCC) >> 2) | ((v & 0x33) << 2));
    v = static_cast<uint8_t>(((v & 0xAA) >> 1) | ((v & 0x55) << 1));
    return v;
}

constexpr std::array<uint8_t, 256> makeReverseTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
        table[i] = reverseBits(static_cast<uint8_t>(i));
    return table;
}

constexpr std::array<uint8_t, 256> ReverseTable = makeReverseTable();

// Transposes an 8x8 bit block. Row t of the block is byte t of `rows`, with
// column 0 in the most significant bit; on return byte j holds column j of
// the block, row 0 in its most significant bit.
inline void transpose8(const uint8_t rows[8], uint8_t columns[8])
{
    uint64_t x = 0;
    for (int t = 0; t < 8; ++t)
        x = (x << 8) | rows[t];
    uint64_t t;
    t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x = x ^ t ^ (t << 28);
    for (int j = 7; j >= 0; --j) {
        columns[j] = static_cast<uint8_t>(x);
        x >>= 8;
    }
}

bool quarterTurnFits(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                     uint32_t b)
{
    return source.size() >= static_cast<uint64_t>(h) * b &&
           destination.size() >= quarterTurnSize(h, b);
}

// Both quarter turns walk the page in 8x8 blocks: block (m, i) covers
// output bytes m of the eight output rows made from source byte column i.
// `clockwise` picks which source rows feed a block and where its columns go.
int quarterTurn(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                uint32_t b, bool clockwise)
{
    if (!quarterTurnFits(source, destination, h, b))
        return 1;
    const size_t R = (static_cast<size_t>(h) + 7) / 8;
    const uint8_t* src = source.data();
    uint8_t* dst = destination.data();
    uint8_t rows[8];
    uint8_t columns[8];
    for (size_t m = 0; m < R; ++m) {
        // Source rows of output columns 8m .. 8m+7; rows past h are blank.
        const uint8_t* rowStart[8];
        for (size_t t = 0; t < 8; ++t) {
            const size_t k = 8 * m + t;
            if (k >= h)
                rowStart[t] = nullptr;
            else
                rowStart[t] = src + (clockwise ? h - 1 - k : k) * static_cast<size_t>(b);
        }
        for (size_t i = 0; i < b; ++i) {
            for (size_t t = 0; t < 8; ++t)
                rows[t] = rowStart[t] != nullptr ? rowStart[t][i] : 0;
            transpose8(rows, columns);
            for (size_t j = 0; j < 8; ++j) {
                // Source column 8i+j becomes output row 8i+j (clockwise) or
                // 8b-1-(8i+j) (counter-clockwise).
                const size_t y = clockwise ? 8 * i + j : 8 * static_cast<size_t>(b) - 1 - (8 * i + j);
                dst[y * R + m] = columns[j];
            }
        }
    }
    return 0;
}

} // namespace

uint64_t quarterTurnSize(uint32_t h, uint32_t b)
{
    return 8ull * b * ((h + 7ull) / 8);
}

void rotate180Degree(std::span<uint8_t> buffer)
{
    if (buffer.empty())
        return;
    uint8_t* front = buffer.data();
    uint8_t* back = buffer.data() + buffer.size() - 1;
    while (front < back) {
        const uint8_t f = *front;
        *front++ = ReverseTable[*back];
        *back-- = ReverseTable[f];
    }
    if (front == back)
        *front = ReverseTable[*front];
}

// The block transpose needs no scratch memory, so the quarter turns never
// fail for want of memory and write nothing to the log.
int rotate90Degree(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                   uint32_t b, FILE*)
{
    return quarterTurn(source, destination, h, b, true);
}

int rotate270Degree(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                    uint32_t b, FILE*)
{
    return quarterTurn(source, destination, h, b, false);
}
