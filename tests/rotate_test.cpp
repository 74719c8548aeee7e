// Rotation: exact bytes of small turns, random pages against the per-pixel
// model, round trips, and buffers that are too small.
#include <gtest/gtest.h>

#include <vector>

#include "image/rotate.h"
#include "tests/support/bitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bitmap turn(const Bitmap& source, bool clockwise)
{
    Bitmap out(8 * source.b, (source.h + 7) / 8);
    EXPECT_EQ(out.bytes.size(), quarterTurnSize(source.h, source.b));
    const int rc = clockwise ? rotate90Degree(source.bytes, out.bytes, source.h, source.b, nullptr)
                             : rotate270Degree(source.bytes, out.bytes, source.h, source.b, nullptr);
    EXPECT_EQ(rc, 0);
    return out;
}

Bytes turned180(Bytes bytes)
{
    rotate180Degree(bytes);
    return bytes;
}

TEST(Rotate180, ReversesBytesAndTheirBits)
{
    struct Case {
        Bytes in, out;
    };
    const Case cases[] = {
        {{}, {}},
        {{0x01}, {0x80}},
        {{0x01, 0x02}, {0x40, 0x80}},
        {{0x01, 0x02, 0x03}, {0xC0, 0x40, 0x80}},
        {{0xF0, 0x0F, 0xA5, 0x3C, 0x12}, {0x48, 0x3C, 0xA5, 0xF0, 0x0F}},
        {{0xFF, 0x00, 0x80, 0x01}, {0x80, 0x01, 0x00, 0xFF}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(turned180(c.in), c.out) << ::testing::PrintToString(c.in);
}

TEST(Rotate180, EveryLengthUpToFortyMatchesTheByteDefinition)
{
    // Byte i of the result is byte n-1-i with its bits reversed; lengths
    // around multiples of 8 and 16 cross the word-sized steps.
    for (size_t n = 0; n <= 40; ++n) {
        Bytes in(n);
        for (size_t i = 0; i < n; ++i)
            in[i] = static_cast<uint8_t>(37 * i + 11);
        Bytes expected(n);
        for (size_t i = 0; i < n; ++i) {
            uint8_t v = in[n - 1 - i], reversed = 0;
            for (int bit = 0; bit < 8; ++bit)
                reversed = static_cast<uint8_t>(reversed | (((v >> bit) & 1) << (7 - bit)));
            expected[i] = reversed;
        }
        EXPECT_EQ(turned180(in), expected) << "n=" << n;
    }
}

TEST(Rotate180, MatchesModelAndTurnsBackOnRandomPages)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {1, 7}, {3, 5}, {17, 9}, {100, 72}};
    uint32_t seed = 1;
    for (auto [h, b] : sizes) {
        const Bitmap page = randomBitmap(h, b, seed++);
        const Bytes once = turned180(page.bytes);
        EXPECT_EQ(once, referenceRotate180(page).bytes) << h << "x" << b;
        EXPECT_EQ(turned180(once), page.bytes) << h << "x" << b;
    }
}

TEST(QuarterTurn, SmallPagesGiveExactBytes)
{
    struct Case {
        const char* name;
        uint32_t h, b;
        Bytes source, cw, ccw;
    };
    Bytes rows16Cw(16, 0), rows16Ccw(16, 0);
    rows16Cw[0] = rows16Cw[15] = 0x20;
    rows16Ccw[0] = rows16Ccw[15] = 0x80;
    const Case cases[] = {
        {"3x1 C0", 3, 1, {0xC0, 0, 0}, {0x20, 0x20, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x80, 0x80}},
        {"3x2 80 01", 3, 2, {0x80, 0x01, 0, 0, 0, 0}, rows16Cw, rows16Ccw},
        {"1x1 single row", 1, 1, {0x81}, {0x80, 0, 0, 0, 0, 0, 0, 0x80}, {0x80, 0, 0, 0, 0, 0, 0, 0x80}},
        {"1x1 column 1", 1, 1, {0x40}, {0, 0x80, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0x80, 0}},
        {"8x1 diagonal", 8, 1, {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},
         {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},
         {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}},
        {"8x1 top-left corner", 8, 1, {0xF0, 0xC0, 0x80, 0, 0, 0, 0, 0},
         {0x07, 0x03, 0x01, 0x01, 0, 0, 0, 0}, {0, 0, 0, 0, 0x80, 0x80, 0xC0, 0xE0}},
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

TEST(QuarterTurn, NineRowsGiveTwoBytesWithBlankTail)
{
    Bitmap full(9, 2);
    std::fill(full.bytes.begin(), full.bytes.end(), 0xFF);
    for (bool clockwise : {true, false}) {
        const Bitmap out = turn(full, clockwise);
        ASSERT_EQ(out.h, 16u);
        ASSERT_EQ(out.b, 2u);
        for (uint32_t y = 0; y < out.h; ++y) {
            EXPECT_EQ(out.bytes[2 * y], 0xFF);
            EXPECT_EQ(out.bytes[2 * y + 1], 0x80);
        }
    }
}

TEST(QuarterTurn, FillBitsOfA570DotPageComeLastClockwiseAndFirstCounterClockwise)
{
    const uint32_t h = 20;
    Bitmap page(h, 72);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < 570; ++c)
            page.set(r, c);
    const Bitmap cw = turn(page, true);
    const Bitmap ccw = turn(page, false);
    ASSERT_EQ(cw.h, 576u);
    const Bytes dots = {0xFF, 0xFF, 0xF0}, blank = {0, 0, 0};
    for (uint32_t y = 0; y < 576; ++y) {
        const Bytes cwRow(cw.bytes.begin() + 3 * y, cw.bytes.begin() + 3 * y + 3);
        const Bytes ccwRow(ccw.bytes.begin() + 3 * y, ccw.bytes.begin() + 3 * y + 3);
        EXPECT_EQ(cwRow, y < 570 ? dots : blank) << "row " << y;
        EXPECT_EQ(ccwRow, y < 6 ? blank : dots) << "row " << y;
    }
}

TEST(QuarterTurn, RandomPagesMatchTheModel)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {1, 4}, {7, 3}, {8, 1}, {9, 2},
                                                   {17, 5}, {64, 9}, {100, 13}, {3, 72}, {45, 1}};
    uint32_t seed = 100;
    for (auto [h, b] : sizes) {
        SCOPED_TRACE(::testing::Message() << h << "x" << b);
        const Bitmap page = randomBitmap(h, b, seed++);
        EXPECT_EQ(turn(page, true), referenceRotate90(page));
        EXPECT_EQ(turn(page, false), referenceRotate270(page));
    }
}

TEST(QuarterTurn, TurningBackRestoresThePage)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {5, 3}, {8, 2}, {13, 9}, {64, 8}, {31, 72}};
    uint32_t seed = 200;
    for (auto [h, b] : sizes) {
        SCOPED_TRACE(::testing::Message() << h << "x" << b);
        const Bitmap page = randomBitmap(h, b, seed++);
        // Counter-clockwise then clockwise: the page over all 8*b columns,
        // followed by blank rows up to the next multiple of 8.
        const Bitmap back = turn(turn(page, false), true);
        ASSERT_EQ(back.b, b);
        Bitmap expected(back.h, b);
        std::copy(page.bytes.begin(), page.bytes.end(), expected.bytes.begin());
        EXPECT_EQ(back, expected);
        // Clockwise then counter-clockwise: the same page, the blank rows first.
        const Bitmap other = turn(turn(page, true), false);
        Bitmap shifted(other.h, b);
        std::copy(page.bytes.begin(), page.bytes.end(),
                  shifted.bytes.begin() + static_cast<ptrdiff_t>((other.h - h) * b));
        EXPECT_EQ(other, shifted);
    }
}

TEST(QuarterTurn, TooSmallBuffersWriteNothing)
{
    struct Case {
        const char* name;
        uint32_t h, b;
        size_t sourceSize, destinationSize;
    };
    const Case cases[] = {
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
}

TEST(QuarterTurn, WritesNoMoreThanItsOutput)
{
    const Bitmap page = randomBitmap(5, 2, 7);
    for (bool clockwise : {true, false}) {
        Bytes destination(quarterTurnSize(5, 2) + 4, 0x5A);
        const int rc = clockwise ? rotate90Degree(page.bytes, destination, 5, 2, nullptr)
                                 : rotate270Degree(page.bytes, destination, 5, 2, nullptr);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(Bytes(destination.end() - 4, destination.end()), Bytes(4, 0x5A));
    }
}

TEST(QuarterTurn, SizeOfTheOutput)
{
    EXPECT_EQ(quarterTurnSize(0, 72), 0u);
    EXPECT_EQ(quarterTurnSize(1, 72), 576u);
    EXPECT_EQ(quarterTurnSize(9, 2), 32u);
    EXPECT_EQ(quarterTurnSize(0xFFFFFFFFu, 0xFFFFFFFFu), 8ull * 0xFFFFFFFFu * 0x20000000u);
}

} // namespace
