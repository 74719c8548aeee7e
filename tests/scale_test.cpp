// Downscaling: exact bytes of small pages, random pages against the OR-of-
// blocks model, the closing zero byte, and buffers that are too small.
#include <gtest/gtest.h>

#include <vector>

#include "image/scale.h"
#include "tests/support/bitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

int runScale(uint32_t factor, std::span<const uint8_t> source, std::span<uint8_t> destination,
             uint32_t h, uint32_t b)
{
    return factor == 3 ? scale100(source, destination, h, b, nullptr)
                       : scale50(source, destination, h, b, nullptr);
}

// Scales into a destination of exactly scaledSize bytes and 4 guard bytes
// that must stay untouched; returns the scaledSize bytes.
Bytes scaled(uint32_t factor, const Bitmap& page)
{
    Bytes destination(scaledSize(page.h, page.b, factor) + 4, 0x5A);
    EXPECT_EQ(runScale(factor, page.bytes, destination, page.h, page.b), 0);
    EXPECT_EQ(Bytes(destination.end() - 4, destination.end()), Bytes(4, 0x5A));
    destination.resize(destination.size() - 4);
    return destination;
}

TEST(Scale, SmallPagesGiveExactBytes)
{
    const struct {
        const char* name;
        uint32_t factor;
        std::vector<std::string> art;
        uint32_t b;
        Bytes expected; // the image and its closing zero byte
    } cases[] = {
        {"third: dot at row 4 column 5", 3, {"........................", "", "", "", ".....#", ""}, 3, {0x00, 0x40, 0}},
        {"third: (0,0) and (2,2) share pixel (0,0); (3,3) is pixel (1,1)", 3, {"#", "", "..#", "...#"}, 3,
         {0x80, 0x40, 0}},
        {"third: pixel 2 spans two bytes", 3, {"........#"}, 3, {0x20, 0}},
        {"third: pixel 5 spans two bytes", 3, {"...............#"}, 3, {0x04, 0}},
        {"third: byte 24 of a row is dropped", 3, {std::string(192, '.') + "########"}, 25, Bytes(9, 0)},
        {"third: last column of byte 23 is kept", 3, {std::string(191, '.') + "#"}, 25, {0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"third: one row, G = 1", 3, {"###.....................###"}, 4, {0x80, 0}},
        {"half: dot at row 1 column 15", 2, {"", "...............#", ""}, 2, {0x01, 0x00, 0}},
        {"half: columns 0 3 6 9 -> pixels 0 1 3 4", 2, {"#..#..#..#......", "#"}, 2, {0xD8, 0}},
        {"half: odd byte at row end is dropped", 2, {"................########"}, 3, {0x00, 0}},
        {"half: one row", 2, {"#", ""}, 2, {0x80, 0}},
        {"blank page stays blank", 3, {"", "", "", "", ""}, 6, {0, 0, 0, 0, 0}},
        // Rows shorter than the factor, or no rows: nothing at all, not even the zero byte.
        {"third: rows of 2 bytes", 3, {"################", "#"}, 2, {}},
        {"third: rows of 0 bytes", 3, {"", ""}, 0, {}},
        {"half: rows of 1 byte", 2, {"########", "#", "#"}, 1, {}},
        {"no rows", 3, {}, 72, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scaled(c.factor, bitmapFromArt(c.art, c.b)), c.expected);
    }
}

TEST(Scale, RandomPagesAreTheOrOfTheirBlocks)
{
    const struct {
        uint32_t factor, h, b;
        double density;
    } cases[] = {
        {3, 1000, 72, 0.02}, {3, 1, 3, 0.3}, {3, 2, 7, 0.1}, {3, 4, 9, 0.05}, {3, 31, 25, 0.08},
        {2, 999, 72, 0.05},  {2, 1, 2, 0.3}, {2, 2, 5, 0.2}, {2, 7, 36, 0.1},  {2, 30, 3, 0.5},
    };
    uint32_t seed = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "f=" << c.factor << " " << c.h << "x" << c.b);
        const Bitmap page = randomBitmap(c.h, c.b, seed++, c.density);
        Bytes expected = referenceScale(page, c.factor).bytes;
        expected.push_back(0);
        EXPECT_EQ(scaled(c.factor, page), expected);
    }
}

TEST(Scale, NothingPastThePageIsRead)
{
    // The page is the first h rows of a larger buffer whose later rows are
    // full of dots; only the span handed over may count.
    for (uint32_t factor : {3u, 2u})
        for (uint32_t h : {1u, 2u, 4u, 5u}) {
            Bytes buffer(static_cast<size_t>(h + 2) * 6, 0xFF);
            std::fill(buffer.begin(), buffer.begin() + h * 6, 0);
            const std::span<const uint8_t> page(buffer.data(), h * 6);
            Bytes destination(scaledSize(h, 6, factor), 0x5A);
            EXPECT_EQ(runScale(factor, page, destination, h, 6), 0);
            EXPECT_EQ(destination, Bytes(destination.size(), 0)) << factor << " " << h;
        }
}

TEST(Scale, TooSmallBuffersWriteNothing)
{
    const struct {
        const char* name;
        uint32_t factor, h, b;
        size_t sourceSize, destinationSize;
    } cases[] = {
        {"third: source one byte short", 3, 6, 9, 53, 7},
        {"third: no room for the zero byte", 3, 6, 9, 54, 6},
        {"half: source one byte short", 2, 3, 4, 11, 5},
        {"half: no room for the zero byte", 2, 3, 4, 12, 4},
        {"huge geometry", 3, 0xFFFFFFFFu, 0xFFFFFFFFu, 64, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes source(c.sourceSize, 0xFF);
        Bytes destination(c.destinationSize, 0x5A);
        EXPECT_EQ(runScale(c.factor, source, destination, c.h, c.b), 1);
        EXPECT_EQ(destination, Bytes(c.destinationSize, 0x5A));
    }
}

} // namespace
