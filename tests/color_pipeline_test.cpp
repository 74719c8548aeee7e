// The two-color page pipeline in process: the split into planes, the header
// after every step, Scale and Rotation, both planes against the per-pixel
// model, and the log line (refusals: gray_pipeline_test).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "image/color_pipeline.h"
#include "tests/support/pipeline_model.h"
#include "tests/support/raster_writer.h"

namespace {

constexpr int kColorModel = 1; // colorPath

TEST(SplitPlanes, EachQuarterGoesToItsPlane)
{
    struct Case {
        uint32_t b;     // bytes per raster line
        uint32_t index; // byte of the line with a dot
        bool black;     // lands in the black plane
        int planeIndex; // byte of the plane row, -1 when ignored
    };
    const Case cases[] = {
        {288, 0, false, 0},    {288, 71, false, 71},  {288, 72, false, 0},  {288, 150, false, 6},
        {288, 215, false, 71}, {288, 216, true, 0},   {288, 287, true, 71}, {290, 0, false, 0},
        {290, 216, true, 0},   {290, 287, true, 71},  {290, 288, false, -1}, {290, 289, false, -1},
        {5, 1, false, 0},      {5, 3, true, 0},       {5, 4, false, -1},    {3, 2, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.b << " byte " << c.index);
        const uint32_t h = 3, q = c.b / 4;
        std::vector<uint8_t> raster(h * c.b, 0);
        raster[1 * c.b + c.index] = 0x5A; // row 1
        std::vector<uint8_t> color(h * q, 0xEE), black(h * q, 0xEE);
        splitPlanes(raster, h, c.b, color, black);
        std::vector<uint8_t> wantColor(h * q, 0), wantBlack(h * q, 0);
        if (c.planeIndex >= 0)
            (c.black ? wantBlack : wantColor)[1 * q + c.planeIndex] = 0x5A;
        EXPECT_EQ(color, wantColor);
        EXPECT_EQ(black, wantBlack);
    }
}

struct PageCase {
    const char* name;
    PipelineOptions o;
    uint32_t width, height, bytesPerLine; // bytesPerLine 0: four quarters of ceil(width / 8)
    uint32_t wantHeight, wantWidth, wantBytesPerLine; // width and bytes 0 when no row is left
    int32_t wantScale, wantRotation;
    double density = 0.2; // 1: black all over
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

const PageCase kPages[] = {
    {"Unscaled", {}, 575, 100, 0, 100, 575, 288, 0, 0},
    {"Line290", {}, 575, 100, 290, 100, 575, 290, 0, 0},
    {"Rotation2", {.rotation = 2}, 575, 100, 0, 100, 575, 288, 0, 2},
    {"RotationMinus1", {.rotation = -1}, 575, 100, 0, 100, 575, 288, 0, -1},
    {"Rotation1", {.rotation = 1}, 575, 100, 0, 575, 100, 13, 0, 1},
    {"Rotation3WholeBytes", {.rotation = 3}, 576, 100, 0, 576, 100, 13, 0, 3},
    {"Rotation3FillBitsLeftOut", {.rotation = 3}, 570, 21, 0, 570, 21, 3, 0, 3},
    {"Third575x999", {.pageSize = 96}, 575, 999, 0, 334, 192, 24, 96, 0},
    // 576 dots: (576 + 3) / 3 = 193 dots would need 25 bytes; the rows hold 24.
    {"Third576", {.pageSize = 96}, 576, 999, 0, 334, 192, 24, 96, 0},
    {"Half575x1000", {.pageSize = 101}, 575, 1000, 0, 501, 288, 36, 101, 0},
    {"HalfRotation3", {.pageSize = 101, .rotation = 3}, 575, 78, 0, 288, 40, 5, 101, 3},
    {"HalfFocus1Unrotated36BytesNotCropped", {.pageSize = 101, .focusArea = 1}, 575, 1000, 0, 501, 288, 36, 101, 0},
    {"HalfRotation1Focus1", {.pageSize = 101, .rotation = 1, .focusArea = 1}, 575, 1100, 0, 288, 505, 64, 101, 1},
    {"HalfRotation3Focus2", {.pageSize = 101, .rotation = 3, .focusArea = 2}, 575, 1100, 0, 288, 505, 64, 101, 3},
    {"HalfFocus2Wide", {.pageSize = 101, .focusArea = 2}, 2300, 10, 1152, 6, 505, 64, 101, 0},
    {"HalfFocus1Wide", {.pageSize = 101, .focusArea = 1}, 2300, 10, 1152, 6, 761, 96, 101, 0},
    {"HalfFocus1Rotation2", {.pageSize = 101, .rotation = 2, .focusArea = 1}, 2300, 41, 0, 21, 761, 96, 101, 2},
    {"ThirdFocusNotHalf", {.pageSize = 96, .focusArea = 1}, 2300, 10, 1152, 4, 767, 96, 96, 0},
    {"ThirdOneRow", {.pageSize = 96}, 575, 1, 0, 1, 192, 24, 96, 0},
    {"HalfOneRowTurned", {.pageSize = 101, .rotation = 1}, 575, 1, 0, 288, 1, 1, 101, 1},
    {"NarrowAtOneThird", {.pageSize = 96}, 16, 9, 8, 0, 0, 0, 96, 0},
    // The header can count one row more than the downscale wrote: that row
    // is blank in both planes, even on a page black all over.
    {"ThirdBlackExtraRowBlank", {.pageSize = 96}, 576, 30, 0, 11, 192, 24, 96, 0, 1.0},
    {"HalfBlackExtraRowBlank", {.pageSize = 101}, 576, 30, 0, 16, 288, 36, 101, 0, 1.0},
    {"ThirdBlackThreeRows", {.pageSize = 96}, 576, 3, 0, 2, 192, 24, 96, 0, 1.0},
    {"HalfBlackTwoRows", {.pageSize = 101}, 576, 2, 0, 2, 288, 36, 101, 0, 1.0},
};

class ColorPage : public testing::TestWithParam<PageCase> {};

TEST_P(ColorPage, HeaderAndPlanesMatchTheModel)
{
    const PageCase& c = GetParam();
    PipelineOptions o = c.o;
    o.model = kColorModel;
    PipelineJob m(o);
    cups_page_header_t header = twoColorHeader(c.width, c.height);
    if (c.bytesPerLine != 0)
        header.cupsBytesPerLine = c.bytesPerLine;
    const Bitmap raster = randomLines(c.width, c.height, header.cupsBytesPerLine, 4, 5, c.density);
    m.job.buffers.RasterBuffer = raster.bytes;
    ASSERT_EQ(colorPipeline(m.job, header), 0);
    const bool rows = header.cupsHeight > 0; // width and bytes per line mean nothing without rows
    EXPECT_EQ(std::tuple(header.cupsHeight, rows ? header.cupsWidth : 0, rows ? header.cupsBytesPerLine : 0,
                         m.job.Scale, m.job.Rotation),
              std::tuple(c.wantHeight, c.wantWidth, c.wantBytesPerLine, c.wantScale, c.wantRotation));
    EXPECT_EQ(m.log(), "PELTRIN DEBUG MSG: Color Mode Start");
    const ModelPlanes want = modelColorPage(raster, c.width, o);
    const uint64_t planeBytes = uint64_t{header.cupsHeight} * want.black.image.b;
    EXPECT_EQ(leading(m.job.buffers.blackPlane, planeBytes), want.black.image.bytes);
    EXPECT_EQ(leading(m.job.buffers.colorPlane, planeBytes), want.color.image.bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColorPage, testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
