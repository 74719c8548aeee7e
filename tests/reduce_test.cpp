// Paper reduction: sizes from the truncated double-precision products, the
// sampled pixels against a per-pixel model of the sampling loop, the exact
// trace, and refused rates and geometries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/reduce.h"
#include "tests/support/bitmap.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

cups_page_header_t headerFor(uint32_t W, uint32_t H, uint32_t b)
{
    cups_page_header_t header = headerOf(W, H, b);
    header.Margins[0] = 12;
    header.Margins[1] = 34;
    return header;
}

struct Reduction {
    bool ok;
    Bitmap image;
    cups_page_header_t header;
    std::string log;
};

Reduction reduce(const Bitmap& page, uint32_t W, int32_t rate)
{
    JobCapture log(0);
    Reduction out{};
    out.header = headerFor(W, page.h, page.b);
    std::vector<uint8_t> result = {0xEE};
    out.ok = reducePage(page.bytes, result, out.header, rate, log.job.log);
    out.image = Bitmap(out.header.cupsHeight, out.header.cupsBytesPerLine);
    out.image.bytes = result;
    out.log = log.log();
    return out;
}

// Reduces the page and compares it with the per-pixel model; returns the
// rewritten header.
cups_page_header_t reducedAsTheModel(const Bitmap& page, uint32_t W, int32_t rate)
{
    const Reduction r = reduce(page, W, rate);
    uint32_t width = 0;
    const Bitmap expected = referenceReduce(page, W, rate, width);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.header.cupsWidth, width);
    EXPECT_EQ(r.header.cupsHeight, expected.h);
    EXPECT_EQ(r.image.bytes, expected.bytes) << "got\n"
                                             << bitmapToArt(r.image, width) << "want\n"
                                             << bitmapToArt(expected, width);
    return r.header;
}

TEST(Reduce, SizesAndPixelsFollowTheTruncatedSampling)
{
    const struct {
        int32_t rate;
        uint32_t W, H, b;
        uint32_t resW, resH, resB;
    } cases[] = {
        {50, 16, 10, 2, 8, 5, 1},      {99, 40, 12, 6, 39, 11, 5},    {70, 20, 7, 3, 14, 4, 2},
        {33, 576, 30, 72, 190, 9, 24}, {29, 100, 100, 13, 28, 28, 4}, {58, 50, 20, 7, 28, 11, 4},
        {100, 20, 3, 5, 20, 3, 3},     {100, 570, 4, 72, 570, 4, 72}, {1, 24, 5, 3, 0, 0, 0},
        {1, 576, 200, 72, 5, 2, 1},    {75, 13, 13, 2, 9, 9, 2},      {37, 9, 64, 9, 3, 23, 1},
    };
    uint32_t seed = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rate " << c.rate << " " << c.W << "x" << c.H << " b=" << c.b);
        // Random bits everywhere, also past the width: only the first W columns count.
        const cups_page_header_t header = reducedAsTheModel(randomBitmap(c.H, c.b, seed++), c.W, c.rate);
        EXPECT_EQ(header.cupsWidth, c.resW);
        EXPECT_EQ(header.cupsHeight, c.resH);
        EXPECT_EQ(header.cupsBytesPerLine, c.resB);
        EXPECT_EQ(header.cupsBitsPerPixel, 1u);
        EXPECT_EQ(header.Margins[0], 12u);
    }
    const Bitmap page = randomBitmap(23, 6, 77); // 45 of 48 columns used
    for (int32_t rate = 1; rate <= 100; ++rate) {
        SCOPED_TRACE(::testing::Message() << "every rate: " << rate);
        reducedAsTheModel(page, 45, rate);
    }
}

TEST(Reduce, FullRateKeepsThePixelsAndShortensLongRows)
{
    const Bitmap page = bitmapFromArt({"#.#.#.#.#.#XXXXXXXXXXXXXXX",
                                       ".#.#.#.#.#.XXXXXXXXXXXXXXX",
                                       "###########XXXXXXXXXXXXXXX"},
                                      5);
    const Reduction r = reduce(page, 11, 100);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.header.cupsBytesPerLine, 2u);
    EXPECT_EQ(bitmapToArt(r.image), "#.#.#.#.#.#.....\n"
                                    ".#.#.#.#.#......\n"
                                    "###########.....\n");
}

TEST(Reduce, TracesEveryStage)
{
    const Bitmap page = randomBitmap(10, 2, 3);
    const Reduction r = reduce(page, 16, 50);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.log,
              "PELTRIN DEBUG MSG: reducePage() : prevWidth  : 16\n"
              "PELTRIN DEBUG MSG: reducePage() : prevHeight : 10\n"
              "PELTRIN DEBUG MSG: reducePage() : info       : 1\n"
              "PELTRIN DEBUG MSG: reducePage() : header->cupsBytesPerLine : 2\n"
              "PELTRIN DEBUG MSG: reducePage() : resWidth : 8\n"
              "PELTRIN DEBUG MSG: reducePage() : resHeight : 5\n"
              "PELTRIN DEBUG MSG: reducePage() : resStride : 8\n"
              "PELTRIN DEBUG MSG: reducePage() : prevStride : 2\n"
              "PELTRIN DEBUG MSG: resblackBuff Size : 40\n"
              "PELTRIN DEBUG MSG: reducePage(): Memory initialize success\n"
              "PELTRIN DEBUG MSG: reducePage() : Enter convert 1 to 8\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : width : 16, height : 10, bytesPerLine : 2\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Enter for()..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit for()..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit...\n"
              "PELTRIN DEBUG MSG: reducePage() : End convert 1 to 8\n"
              "PELTRIN DEBUG MSG: reducePage() : start reduction : prevStride : 16, resStride : 8\n"
              "PELTRIN DEBUG MSG: Enter convert 8 to 1\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : enter for..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : exit for..\n"
              "PELTRIN DEBUG MSG: End convert 8 to 1\n"
              "PELTRIN DEBUG MSG : reducePage() : header->Margins[0] : 12\n"
              "PELTRIN DEBUG MSG : reducePage() : header->Margins[1] : 34\n");
}

TEST(Reduce, ToNothingIsTracedToTheEnd)
{
    // Sizes and bytes as in the table above; the trace goes on to the end.
    const Reduction r = reduce(randomBitmap(5, 3, 9), 24, 1);
    EXPECT_NE(r.log.find("PELTRIN DEBUG MSG: resblackBuff Size : 0\n"
                         "PELTRIN DEBUG MSG: reducePage(): Memory initialize success\n"),
              std::string::npos);
    EXPECT_NE(r.log.find("header->Margins[1] : 34\n"), std::string::npos);
}

TEST(Reduce, RefusedRatesAndGeometriesChangeNothing)
{
    const struct {
        const char* name;
        int32_t rate;
        uint32_t W, H, b;
        size_t pageSize;
        std::string log;
    } cases[] = {
        {"rate 0", 0, 16, 4, 2, 8, "PELTRIN DEBUG MSG: Abnormal Reduce Rate : 0\n"},
        {"rate 101", 101, 16, 4, 2, 8, "PELTRIN DEBUG MSG: Abnormal Reduce Rate : 101\n"},
        {"rate -7", -7, 16, 4, 2, 8, "PELTRIN DEBUG MSG: Abnormal Reduce Rate : -7\n"},
        {"bad rate wins over bad geometry", 0, 99, 4, 2, 0, "PELTRIN DEBUG MSG: Abnormal Reduce Rate : 0\n"},
        {"width past the row", 50, 17, 4, 2, 8, ""},
        {"page one byte short", 50, 16, 4, 2, 7, ""},
        {"huge geometry", 50, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 64, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes page(c.pageSize, 0xFF);
        const cups_page_header_t before = headerFor(c.W, c.H, c.b);
        cups_page_header_t header = before;
        std::vector<uint8_t> result = {0xEE};
        JobCapture log(0);
        EXPECT_FALSE(reducePage(page, result, header, c.rate, log.job.log));
        EXPECT_EQ(log.log(), c.log);
        EXPECT_EQ(result, Bytes{0xEE});
        EXPECT_EQ(std::memcmp(&header, &before, sizeof header), 0);
    }
}

TEST(ConvertPixels, UnpackKeepsTheWidthAndPackZeroesTheFillBits)
{
    const Bitmap page = bitmapFromArt({"#..#.##XXXXXXXXX", "XXXXXXXXXX.....X", ".........#"}, 2);
    JobCapture log(0);
    uint32_t bytesPerLine = 2;
    const Bytes unpacked = convertPixelPerBits1to8(page.bytes, 10, 3, bytesPerLine, log.job.log);
    EXPECT_EQ(bytesPerLine, 10u);
    EXPECT_EQ(unpacked, (Bytes{1, 0, 0, 1, 0, 1, 1, 1, 1, 1,  //
                               1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    Bytes bytes = unpacked;
    bytes[2] = 7;  // any value but 0 is a dot
    const Bytes packed = convertPixelPerBits8to1(bytes, 10, 3, bytesPerLine, log.job.log);
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_EQ(packed, (Bytes{0xB7, 0xC0, 0xFF, 0xC0, 0x00, 0x40}));
    EXPECT_EQ(log.log(),
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : width : 10, height : 3, bytesPerLine : 2\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Enter for()..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit for()..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit...\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : enter for..\n"
              "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : exit for..\n");
}

TEST(ConvertPixels, RoundTripGivesTheFirstWColumns)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {8, 3}, {13, 7}, {570, 5}, {576, 2}};
    uint32_t seed = 60;
    for (auto [W, H] : sizes) {
        SCOPED_TRACE(W);
        const uint32_t b = (W + 7) / 8 + 1;  // one spare byte per row
        const Bitmap page = randomBitmap(H, b, seed++);
        uint32_t stride = b;
        const Bytes unpacked = convertPixelPerBits1to8(page.bytes, W, H, stride, nullptr);
        const Bytes packed = convertPixelPerBits8to1(unpacked, W, H, stride, nullptr);
        EXPECT_EQ(stride, (W + 7) / 8);
        uint32_t width = 0;
        EXPECT_EQ(packed, referenceReduce(page, W, 100, width).bytes);
    }
}

TEST(ConvertPixels, ShortImagesGiveNothing)
{
    JobCapture log(0);
    uint32_t bytesPerLine = 2;
    EXPECT_TRUE(convertPixelPerBits1to8(Bytes(5, 0xFF), 16, 3, bytesPerLine, log.job.log).empty());
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_TRUE(convertPixelPerBits8to1(Bytes(47, 1), 16, 3, bytesPerLine, log.job.log).empty());
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_EQ(log.log(), "");
}

} // namespace
