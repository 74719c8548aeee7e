#include "engine/image/rotate.h"

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

constexpr uint64_t reverse64(uint64_t v)
{
    v = __builtin_bswap64(v);
    v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
    v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
    v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
    return v;
}

// Transposes an 8x8 bit block held with row t in byte 7 - t (row 0 in the
// most significant byte) and column 0 in each byte's most significant bit.
constexpr uint64_t transpose8(uint64_t x)
{
    uint64_t t;
    t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x = x ^ t ^ (t << 28);
    return x;
}

bool quarterTurnFits(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                     uint32_t b)
{
    return source.size() >= static_cast<uint64_t>(h) * b &&
           destination.size() >= quarterTurnSize(h, b);
}

// Both quarter turns walk the page in 8x8 blocks: block (m, i) is source
// byte column i of the eight source rows that make output byte m of the
// eight output rows of that byte column. `clockwise` picks the order of the
// source rows and where the block's columns go. Output rows are written
// along their length (i outer, m inner), so each block adds one byte to
// eight rows that are being filled in order.
int quarterTurn(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                uint32_t b, bool clockwise)
{
    if (!quarterTurnFits(source, destination, h, b))
        return 1;
    const size_t R = (static_cast<size_t>(h) + 7) / 8;
    const size_t B = b;
    const uint8_t* src = source.data();
    for (size_t i = 0; i < B; ++i) {
        // Output rows of source columns 8i .. 8i+7, in column order.
        uint8_t* out[8];
        for (size_t j = 0; j < 8; ++j) {
            const size_t y = clockwise ? 8 * i + j : 8 * B - 1 - (8 * i + j);
            out[j] = destination.data() + y * R;
        }
        for (size_t m = 0; m < R; ++m) {
            // Output columns 8m .. 8m+7 come from source rows h-1-k (clockwise)
            // or k (counter-clockwise), k = 8m + t; rows past h are blank.
            uint64_t x = 0;
            const size_t k0 = 8 * m;
            if (k0 + 8 <= h) {
                if (clockwise) {
                    const uint8_t* p = src + (h - 1 - k0) * B + i;
                    for (int t = 0; t < 8; ++t, p -= B)
                        x = (x << 8) | *p;
                } else {
                    const uint8_t* p = src + k0 * B + i;
                    for (int t = 0; t < 8; ++t, p += B)
                        x = (x << 8) | *p;
                }
            } else {
                for (size_t t = 0; t < 8; ++t) {
                    const size_t k = k0 + t;
                    const uint8_t v = k < h ? src[(clockwise ? h - 1 - k : k) * B + i] : 0;
                    x = (x << 8) | v;
                }
            }
            x = transpose8(x);
            for (int j = 7; j >= 0; --j) {
                out[j][m] = static_cast<uint8_t>(x);
                x >>= 8;
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
    uint8_t* data = buffer.data();
    size_t front = 0;
    size_t back = buffer.size();  // one past the last byte not yet turned
    // Eight bytes from each end at a time: reversing all 64 bits of a word
    // reverses both its byte order and the bits of each byte, whatever the
    // machine's byte order.
    while (back - front >= 16) {
        uint64_t head;
        uint64_t tail;
        std::memcpy(&head, data + front, 8);
        std::memcpy(&tail, data + back - 8, 8);
        head = reverse64(head);
        tail = reverse64(tail);
        std::memcpy(data + front, &tail, 8);
        std::memcpy(data + back - 8, &head, 8);
        front += 8;
        back -= 8;
    }
    while (back - front >= 2) {
        const uint8_t f = data[front];
        data[front++] = ReverseTable[data[back - 1]];
        data[--back] = ReverseTable[f];
    }
    if (back - front == 1)
        data[front] = ReverseTable[data[front]];
}

// The block transpose needs no scratch memory, so the quarter turns never
// fail for want of memory and write nothing to the log.
int rotate90Degree(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                   uint32_t b, LogOutput* )
{
    return quarterTurn(source, destination, h, b, true);
}

int rotate270Degree(std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h,
                    uint32_t b, LogOutput* )
{
    return quarterTurn(source, destination, h, b, false);
}
