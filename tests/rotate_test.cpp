// Rotation: exact bytes of small turns, random pages against the per-pixel
// model, round trips, and buffers that are too small.
#include <gtest/gtest.h>

#include <vector>

#include "image/rotate.h"
#include "tests/support/bitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A quarter turn into a destination of exactly quarterTurnSize bytes and 4
// guard bytes that must stay untouched.
Bitmap turn(const Bitmap& source, bool clockwise)
{
    Bytes destination(quarterTurnSize(source.h, source.b) + 4, 0x5A);
    const int rc = clockwise ? rotate90Degree(source.bytes, destination, source.h, source.b, nullptr)
                             : rotate270Degree(source.bytes, destination, source.h, source.b, nullptr);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(Bytes(destination.end() - 4, destination.end()), Bytes(4, 0x5A));
    Bitmap out(8 * source.b, (source.h + 7) / 8);
    EXPECT_EQ(destination.size() - 4, out.bytes.size());
    std::copy(destination.begin(), destination.end() - 4, out.bytes.begin());
    return out;
}

TEST(Rotate180, MatchesTheModelAndTurnsBack)
{
    Bytes worked = {0x01, 0x02, 0x03};
    rotate180Degree(worked);
    EXPECT_EQ(worked, (Bytes{0xC0, 0x40, 0x80}));
    // Single rows of every length up to 40 bytes cross the word-sized steps;
    // then whole pages.
    std::vector<std::pair<uint32_t, uint32_t>> sizes = {{17, 9}, {100, 72}};
    for (uint32_t n = 0; n <= 40; ++n)
        sizes.emplace_back(1, n);
    uint32_t seed = 1;
    for (auto [h, b] : sizes) {
        SCOPED_TRACE(::testing::Message() << h << "x" << b);
        const Bitmap page = randomBitmap(h, b, seed++);
        Bytes bytes = page.bytes;
        rotate180Degree(bytes);
        EXPECT_EQ(bytes, referenceRotate180(page).bytes);
        rotate180Degree(bytes);
        EXPECT_EQ(bytes, page.bytes);
    }
}

TEST(QuarterTurn, SmallPagesGiveExactBytes)
{
    Bytes rows16Cw(16, 0), rows16Ccw(16, 0);
    rows16Cw[0] = rows16Cw[15] = 0x20;
    rows16Ccw[0] = rows16Ccw[15] = 0x80;
    const struct {
        const char* name;
        uint32_t h, b;
        Bytes source, cw, ccw;
    } cases[] = {
        {"3x1 C0", 3, 1, {0xC0, 0, 0}, {0x20, 0x20, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x80, 0x80}},
        {"3x2 80 01", 3, 2, {0x80, 0x01, 0, 0, 0, 0}, rows16Cw, rows16Ccw},
        {"1x1 single row", 1, 1, {0x81}, {0x80, 0, 0, 0, 0, 0, 0, 0x80}, {0x80, 0, 0, 0, 0, 0, 0, 0x80}},
        {"1x1 column 1", 1, 1, {0x40}, {0, 0x80, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x80, 0}},
        {"8x1 diagonal", 8, 1, {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},
         {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}},
        {"8x1 top-left corner", 8, 1, {0xF0, 0xC0, 0x80, 0, 0, 0, 0, 0}, {0x07, 0x03, 0x01, 0x01, 0, 0, 0, 0},
         {0, 0, 0, 0, 0x80, 0x80, 0xC0, 0xE0}},
        {"0 rows", 0, 3, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap source(c.h, c.b);
        source.bytes = c.source;
        EXPECT_EQ(turn(source, true).bytes, c.cw);
        EXPECT_EQ(turn(source, false).bytes, c.ccw);
    }
}

// A 570-dot page in 72 bytes: the 6 fill columns become the last 6 rows of a
// clockwise turn and the first 6 of a counter-clockwise one.
TEST(QuarterTurn, FillBitsOfA570DotPageComeLastClockwiseAndFirstCounterClockwise)
{
    Bitmap page(20, 72);
    for (uint32_t r = 0; r < page.h; ++r)
        for (uint32_t c = 0; c < 570; ++c)
            page.set(r, c);
    const Bitmap cw = turn(page, true), ccw = turn(page, false);
    const Bytes dots = {0xFF, 0xFF, 0xF0}, blank = {0, 0, 0};
    for (uint32_t y = 0; y < 576; ++y) {
        EXPECT_EQ(Bytes(cw.bytes.begin() + 3 * y, cw.bytes.begin() + 3 * y + 3), y < 570 ? dots : blank) << y;
        EXPECT_EQ(Bytes(ccw.bytes.begin() + 3 * y, ccw.bytes.begin() + 3 * y + 3), y < 6 ? blank : dots) << y;
    }
}

TEST(QuarterTurn, RandomPagesMatchTheModelAndTurnBack)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1},  {1, 4},   {7, 3},  {8, 1},  {9, 2},  {17, 5},
                                                   {64, 9}, {100, 13}, {3, 72}, {45, 1}, {64, 8}, {31, 72}};
    uint32_t seed = 100;
    for (auto [h, b] : sizes) {
        SCOPED_TRACE(::testing::Message() << h << "x" << b);
        const Bitmap page = randomBitmap(h, b, seed++);
        for (bool clockwise : {true, false})
            EXPECT_EQ(turn(page, clockwise), referenceQuarterTurn(page, clockwise)) << clockwise;
        // Counter-clockwise then clockwise: the page over all 8*b columns,
        // then blank rows up to the next multiple of 8. Clockwise then
        // counter-clockwise: the blank rows come first.
        const Bitmap back = turn(turn(page, false), true), other = turn(turn(page, true), false);
        Bitmap expected(back.h, b), shifted(back.h, b);
        std::copy(page.bytes.begin(), page.bytes.end(), expected.bytes.begin());
        std::copy(page.bytes.begin(), page.bytes.end(), shifted.bytes.end() - page.bytes.size());
        EXPECT_EQ(back, expected);
        EXPECT_EQ(other, shifted);
    }
}

TEST(QuarterTurn, TooSmallBuffersWriteNothing)
{
    const struct {
        const char* name;
        uint32_t h, b;
        size_t sourceSize, destinationSize;
    } cases[] = {
        {"source one byte short", 9, 2, 17, 32},
        {"destination one byte short", 9, 2, 18, 31},
        {"both empty", 4, 4, 0, 0},
        {"huge geometry", 0xFFFFFFFFu, 0xFFFFFFFFu, 64, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes source(c.sourceSize, 0xFF);
        for (bool clockwise : {true, false}) {
            Bytes destination(c.destinationSize, 0x5A);
            const int rc = clockwise ? rotate90Degree(source, destination, c.h, c.b, nullptr)
                                     : rotate270Degree(source, destination, c.h, c.b, nullptr);
            EXPECT_EQ(rc, 1);
            EXPECT_EQ(destination, Bytes(c.destinationSize, 0x5A));
        }
    }
    // The size itself is computed in 64 bits.
    EXPECT_EQ(quarterTurnSize(0xFFFFFFFFu, 0xFFFFFFFFu), 8ull * 0xFFFFFFFFu * 0x20000000u);
}

} // namespace
