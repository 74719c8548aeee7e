// Focus area cropping: strip offsets and widths for each operation, random
// pages against a byte-strip model, and inputs that must be refused.
#include <gtest/gtest.h>

#include <vector>

#include "image/focus.h"
#include "tests/support/bitmap.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum class Op { Center, Focus };

// Crops a page of h rows of b bytes.
int crop(Op op, std::span<const uint8_t> source, std::span<uint8_t> destination, uint32_t h, uint32_t b,
         int32_t rotation)
{
    const cups_page_header_t header = headerOf(8 * b, h, b);
    return op == Op::Center ? SelectFocusAreaCenter(source, destination, header)
                            : SelectFocusArea(source, destination, header, rotation);
}

TEST(Focus, StripsKeepTheTabledBytesOfEveryRow)
{
    const struct {
        Op op;
        uint32_t b;
        int32_t rotation;
        uint32_t firstByte, width;
    } cases[] = {
        {Op::Focus, 72, 0, 24, 48},  {Op::Focus, 72, 1, 8, 64},   {Op::Focus, 72, 3, 8, 64},
        {Op::Center, 72, 0, 4, 64},  {Op::Center, 72, 1, 4, 64},  {Op::Center, 65, 0, 0, 64},
        {Op::Focus, 65, 3, 1, 64},   {Op::Focus, 65, 0, 21, 44},  {Op::Focus, 67, 2, 22, 45},
        {Op::Focus, 72, -1, 24, 48}, {Op::Focus, 72, 2, 24, 48},  {Op::Focus, 69, 1, 5, 64},
        {Op::Center, 69, 3, 2, 64},  {Op::Focus, 200, 4, 66, 134}, {Op::Center, 200, 0, 68, 64},
    };
    uint32_t seed = 1;
    for (const auto& c : cases) {
        for (uint32_t h : {0u, 1u, 7u}) { // an empty page writes nothing
            SCOPED_TRACE(::testing::Message() << (c.op == Op::Center ? "center" : "focus") << " b=" << c.b
                                              << " rotation=" << c.rotation << " h=" << h);
            const FocusStrip strip = focusStrip(c.b, c.op == Op::Center, c.rotation);
            EXPECT_EQ(strip.offset, c.firstByte);
            EXPECT_EQ(strip.width, c.width);

            const Bitmap page = randomBitmap(h, c.b, seed++);
            Bytes destination(h * c.width + 3, 0x5A);
            EXPECT_EQ(crop(c.op, page.bytes, destination, h, c.b, c.rotation), 0);
            Bytes expected = referenceCrop(page, c.firstByte, c.width).bytes;
            expected.insert(expected.end(), 3, 0x5A);
            EXPECT_EQ(destination, expected);
        }
    }
}

TEST(Focus, RefusesNarrowPagesAndShortBuffers)
{
    const struct {
        const char* name;
        Op op;
        uint32_t h, b;
        size_t sourceSize, destinationSize;
    } cases[] = {
        {"64 bytes is not cropped", Op::Focus, 2, 64, 128, 128},
        {"64 bytes is not cropped (center)", Op::Center, 2, 64, 128, 128},
        {"0 bytes", Op::Center, 2, 0, 0, 128},
        {"source one byte short", Op::Focus, 3, 72, 215, 3 * 48},
        {"destination one byte short", Op::Focus, 3, 72, 216, 3 * 48 - 1},
        {"center destination one byte short", Op::Center, 3, 72, 216, 3 * 64 - 1},
        {"huge geometry", Op::Center, 0xFFFFFFFFu, 0xFFFFFFFFu, 256, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes source(c.sourceSize, 0xFF);
        Bytes destination(c.destinationSize, 0x5A);
        EXPECT_EQ(crop(c.op, source, destination, c.h, c.b, 0), 1);
        EXPECT_EQ(destination, Bytes(c.destinationSize, 0x5A));
    }
}

} // namespace
