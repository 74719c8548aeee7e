// Paper reduction: sizes from the truncated double-precision products, the
// sampled pixels against a per-pixel model of the sampling loop, the exact
// trace, and refused rates and geometries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/reduce.h"
#include "tests/support/bitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

class LogCapture {
public:
    LogCapture() : file_(open_memstream(&buffer_, &size_)) {}
    ~LogCapture()
    {
        fclose(file_);
        free(buffer_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    FILE* file() { return file_; }
    std::string text()
    {
        fflush(file_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

cups_page_header_t headerFor(uint32_t W, uint32_t H, uint32_t b)
{
    cups_page_header_t header{};
    header.cupsWidth = W;
    header.cupsHeight = H;
    header.cupsBytesPerLine = b;
    header.cupsBitsPerPixel = 1;
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
    LogCapture log;
    Reduction out{};
    out.header = headerFor(W, page.h, page.b);
    std::vector<uint8_t> result = {0xEE};
    out.ok = reducePage(page.bytes, result, out.header, rate, log.file());
    out.image = Bitmap(out.header.cupsHeight, out.header.cupsBytesPerLine);
    out.image.bytes = result;
    out.log = log.text();
    return out;
}

TEST(Reduce, SizesAndPixelsFollowTheTruncatedSampling)
{
    struct Case {
        int32_t rate;
        uint32_t W, H, b;
        uint32_t resW, resH, resB;
    };
    const Case cases[] = {
        {50, 16, 10, 2, 8, 5, 1},     {99, 40, 12, 6, 39, 11, 5},  {70, 20, 7, 3, 14, 4, 2},
        {33, 576, 30, 72, 190, 9, 24}, {29, 100, 100, 13, 28, 28, 4}, {58, 50, 20, 7, 28, 11, 4},
        {100, 20, 3, 5, 20, 3, 3},    {100, 570, 4, 72, 570, 4, 72}, {1, 24, 5, 3, 0, 0, 0},
        {1, 576, 200, 72, 5, 2, 1},   {75, 13, 13, 2, 9, 9, 2},     {37, 9, 64, 9, 3, 23, 1},
    };
    uint32_t seed = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rate " << c.rate << " " << c.W << "x" << c.H << " b=" << c.b);
        // Random bits everywhere, also past the width: only the first W columns count.
        const Bitmap page = randomBitmap(c.H, c.b, seed++);
        const Reduction r = reduce(page, c.W, c.rate);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.header.cupsWidth, c.resW);
        EXPECT_EQ(r.header.cupsHeight, c.resH);
        EXPECT_EQ(r.header.cupsBytesPerLine, c.resB);
        EXPECT_EQ(r.header.cupsBitsPerPixel, 1u);
        EXPECT_EQ(r.header.Margins[0], 12u);
        uint32_t modelWidth = 0;
        const Bitmap expected = referenceReduce(page, c.W, c.rate, modelWidth);
        EXPECT_EQ(modelWidth, c.resW);
        EXPECT_EQ(r.image.bytes, expected.bytes) << "got\n"
                                                 << bitmapToArt(r.image, c.resW) << "want\n"
                                                 << bitmapToArt(expected, c.resW);
    }
}

TEST(Reduce, EveryRateMatchesTheModel)
{
    const Bitmap page = randomBitmap(23, 6, 77);  // 45 of 48 columns used
    for (int32_t rate = 1; rate <= 100; ++rate) {
        const Reduction r = reduce(page, 45, rate);
        ASSERT_TRUE(r.ok) << rate;
        uint32_t modelWidth = 0;
        const Bitmap expected = referenceReduce(page, 45, rate, modelWidth);
        EXPECT_EQ(r.header.cupsWidth, modelWidth) << rate;
        EXPECT_EQ(r.header.cupsHeight, expected.h) << rate;
        EXPECT_EQ(r.image.bytes, expected.bytes) << rate;
    }
}

TEST(Reduce, HalfTakesTheOddPixelsAndNinetyNineDropsTheFirstRowAndColumn)
{
    struct Case {
        int32_t rate;
        uint32_t W, H, b, offset, step;
    };
    const Case cases[] = {{50, 16, 10, 2, 1, 2}, {99, 40, 12, 6, 1, 1}};
    for (const auto& c : cases) {
        const Bitmap page = randomBitmap(c.H, c.b, 7);
        const Reduction r = reduce(page, c.W, c.rate);
        ASSERT_TRUE(r.ok);
        for (uint32_t row = 0; row < r.header.cupsHeight; ++row)
            for (uint32_t col = 0; col < r.header.cupsWidth; ++col)
                EXPECT_EQ(r.image.get(row, col), page.get(c.step * row + c.offset, c.step * col + c.offset))
                    << "rate " << c.rate << " (" << row << "," << col << ")";
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

TEST(Reduce, ToNothingIsAnEmptyPage)
{
    const Reduction r = reduce(randomBitmap(5, 3, 9), 24, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.image.bytes.empty());
    EXPECT_EQ(r.header.cupsWidth, 0u);
    EXPECT_EQ(r.header.cupsHeight, 0u);
    EXPECT_EQ(r.header.cupsBytesPerLine, 0u);
    EXPECT_NE(r.log.find("PELTRIN DEBUG MSG: resblackBuff Size : 0\n"
                         "PELTRIN DEBUG MSG: reducePage(): Memory initialize success\n"),
              std::string::npos);
    EXPECT_NE(r.log.find("header->Margins[1] : 34\n"), std::string::npos);
}

TEST(Reduce, RefusedRatesAndGeometriesChangeNothing)
{
    struct Case {
        const char* name;
        int32_t rate;
        uint32_t W, H, b;
        size_t pageSize;
        std::string log;
    };
    const Case cases[] = {
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
        cups_page_header_t header = headerFor(c.W, c.H, c.b);
        std::vector<uint8_t> result = {0xEE};
        LogCapture log;
        EXPECT_FALSE(reducePage(page, result, header, c.rate, log.file()));
        EXPECT_EQ(log.text(), c.log);
        EXPECT_EQ(result, Bytes{0xEE});
        EXPECT_EQ(header.cupsWidth, c.W);
        EXPECT_EQ(header.cupsHeight, c.H);
        EXPECT_EQ(header.cupsBytesPerLine, c.b);
    }
}

TEST(ConvertPixels, UnpackKeepsTheWidthAndPackZeroesTheFillBits)
{
    const Bitmap page = bitmapFromArt({"#..#.##XXXXXXXXX", "XXXXXXXXXX.....X", ".........#"}, 2);
    LogCapture log;
    uint32_t bytesPerLine = 2;
    const Bytes unpacked = convertPixelPerBits1to8(page.bytes, 10, 3, bytesPerLine, log.file());
    EXPECT_EQ(bytesPerLine, 10u);
    EXPECT_EQ(unpacked, (Bytes{1, 0, 0, 1, 0, 1, 1, 1, 1, 1,  //
                               1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  //
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    Bytes bytes = unpacked;
    bytes[2] = 7;  // any value but 0 is a dot
    const Bytes packed = convertPixelPerBits8to1(bytes, 10, 3, bytesPerLine, log.file());
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_EQ(packed, (Bytes{0xB7, 0xC0, 0xFF, 0xC0, 0x00, 0x40}));
    EXPECT_EQ(log.text(),
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
    LogCapture log;
    uint32_t bytesPerLine = 2;
    EXPECT_TRUE(convertPixelPerBits1to8(Bytes(5, 0xFF), 16, 3, bytesPerLine, log.file()).empty());
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_TRUE(convertPixelPerBits8to1(Bytes(47, 1), 16, 3, bytesPerLine, log.file()).empty());
    EXPECT_EQ(bytesPerLine, 2u);
    EXPECT_EQ(log.text(), "");
}

} // namespace
