// The two-color page pipeline in process: the split into planes, header
// rewrites, Scale and Rotation, the planes handed on, and the log line.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "filter/job_state.h"
#include "image/color_pipeline.h"
#include "tests/support/bitmap.h"
#include "tests/support/job_capture.h"
#include "tests/support/pipeline_model.h"

namespace {

constexpr int kColorModel = 1; // colorPath

// logoPosition 4 keeps printPage silent: the log is the pipeline's own.
struct MemoryJob : JobCapture {
    explicit MemoryJob(int model = kColorModel) : JobCapture(model) { job.settings.logoPosition = 4; }
};

// A banded two-color header: 4 quarters of ceil(width / 8) bytes unless
// bytesPerLine says otherwise.
cups_page_header_t colorHeader(uint32_t width, uint32_t height, uint32_t bytesPerLine = 0)
{
    cups_page_header_t header{};
    header.cupsWidth = width;
    header.cupsHeight = height;
    header.cupsBitsPerPixel = 1;
    header.cupsBitsPerColor = 1;
    header.cupsColorOrder = CUPS_ORDER_BANDED;
    header.cupsColorSpace = CUPS_CSPACE_CMYK;
    header.cupsBytesPerLine = bytesPerLine != 0 ? bytesPerLine : 4 * ((width + 7) / 8);
    return header;
}

// Raster lines with random dots in every quarter, blank past the width.
Bitmap randomRaster(uint32_t width, uint32_t height, uint32_t b, uint32_t seed, double density = 0.2)
{
    Bitmap raster = randomBitmap(height, b, seed, density);
    const uint32_t q = b / 4;
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t k = 0; k < 4; ++k)
            for (uint32_t c = width; c < 8 * q; ++c)
                raster.set(r, 8 * q * k + c, false);
    return raster;
}

Bitmap planeOf(const std::vector<uint8_t>& buffer, uint32_t rows, uint32_t rowBytes)
{
    Bitmap out(rows, rowBytes);
    std::copy_n(buffer.begin(), out.bytes.size(), out.bytes.begin());
    return out;
}

// Plane row length the header means when the pipeline hands the page on.
uint32_t planeRowBytes(const JobState& job, const cups_page_header_t& header)
{
    const bool planeGeometry = job.Rotation == 1 || job.Rotation == 3 || job.Scale == 96 || job.Scale == 101;
    return planeGeometry ? header.cupsBytesPerLine : header.cupsBytesPerLine / 4;
}

TEST(SplitPlanes, EachQuarterGoesToItsPlane)
{
    struct Case {
        uint32_t b;        // bytes per raster line
        uint32_t index;    // byte of the line with a dot
        bool black;        // lands in the black plane
        int planeIndex;    // byte of the plane row, -1 when ignored
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

TEST(SplitPlanes, ColorIsTheOrOfTheFirstThreeQuarters)
{
    const std::vector<uint8_t> line = {0x80, 0x01, 0x02, 0x40, 0x10, 0x04, 0xF0, 0x0F, 0x00, 0x00, 0xAA, 0x55};
    std::vector<uint8_t> color(3), black(3);
    splitPlanes(line, 1, 12, color, black);
    EXPECT_EQ(color, (std::vector<uint8_t>{0x80 | 0x40 | 0xF0, 0x01 | 0x10 | 0x0F, 0x02 | 0x04}));
    EXPECT_EQ(black, (std::vector<uint8_t>{0x00, 0xAA, 0x55}));
}

struct GeometryCase {
    const char* name;
    int32_t pageSize, rotation, focusArea;
    uint32_t width, height, bytesPerLine;
    uint32_t wantHeight, wantWidth, wantBytesPerLine;
    int32_t wantScale, wantRotation;
};

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.name; }

const GeometryCase kGeometry[] = {
    {"Unscaled", 1, 0, 0, 575, 100, 288, 100, 575, 288, 0, 0},
    {"Line290", 1, 0, 0, 575, 100, 290, 100, 575, 290, 0, 0},
    {"Rotation2", 1, 2, 0, 575, 100, 288, 100, 575, 288, 0, 2},
    {"RotationMinus1", 1, -1, 0, 575, 100, 288, 100, 575, 288, 0, -1},
    {"Rotation1", 1, 1, 0, 575, 100, 288, 575, 100, 13, 0, 1},
    {"Rotation3", 1, 3, 0, 576, 100, 288, 576, 100, 13, 0, 3},
    {"Third575x999", 96, 0, 0, 575, 999, 288, 334, 192, 24, 96, 0},
    // 576 dots: (576 + 3) / 3 = 193 dots would need 25 bytes; the rows hold 24.
    {"Third576", 96, 0, 0, 576, 999, 288, 334, 192, 24, 96, 0},
    {"Half575x1000", 101, 0, 0, 575, 1000, 288, 501, 288, 36, 101, 0},
    {"HalfFocus1Unrotated36BytesNotCropped", 101, 0, 1, 575, 1000, 288, 501, 288, 36, 101, 0},
    {"HalfRotation1Focus1", 101, 1, 1, 575, 1100, 288, 288, 505, 64, 101, 1},
    {"HalfRotation3Focus2", 101, 3, 2, 575, 1100, 288, 288, 505, 64, 101, 3},
    {"HalfFocus2Wide", 101, 0, 2, 2300, 10, 1152, 6, 505, 64, 101, 0},
    {"HalfFocus1Wide", 101, 0, 1, 2300, 10, 1152, 6, 761, 96, 101, 0},
    {"ThirdFocusNotHalf", 96, 0, 1, 2300, 10, 1152, 4, 767, 96, 96, 0},
    {"ThirdOneRow", 96, 0, 0, 575, 1, 288, 1, 192, 24, 96, 0},
    {"HalfOneRowTurned", 101, 1, 0, 575, 1, 288, 288, 1, 1, 101, 1},
    {"NarrowAtOneThird", 96, 0, 0, 16, 9, 8, 0, 0, 0, 96, 0},
};

class ColorGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(ColorGeometry, HeaderScaleAndRotation)
{
    const GeometryCase& c = GetParam();
    MemoryJob m;
    m.job.settings.pageSize = c.pageSize;
    m.job.settings.rotation = c.rotation;
    m.job.Focus = c.focusArea;
    cups_page_header_t header = colorHeader(c.width, c.height, c.bytesPerLine);
    m.job.buffers.RasterBuffer = randomRaster(c.width, c.height, header.cupsBytesPerLine, 5).bytes;

    EXPECT_EQ(colorPipeline(m.job, header), 0);
    EXPECT_EQ(header.cupsHeight, c.wantHeight);
    if (c.wantHeight > 0) {
        EXPECT_EQ(header.cupsWidth, c.wantWidth);
        EXPECT_EQ(header.cupsBytesPerLine, c.wantBytesPerLine);
    }
    EXPECT_EQ(m.job.Scale, c.wantScale);
    EXPECT_EQ(m.job.Rotation, c.wantRotation);
    EXPECT_FALSE(m.job.jobFailed);
    const uint64_t planeBytes = uint64_t{header.cupsHeight} * planeRowBytes(m.job, header);
    EXPECT_GE(m.job.buffers.blackPlane.size(), planeBytes);
    EXPECT_GE(m.job.buffers.colorPlane.size(), planeBytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColorGeometry, testing::ValuesIn(kGeometry),
                         [](const auto& info) { return std::string(info.param.name); });

struct ContentCase {
    const char* name;
    int32_t pageSize, rotation, focusArea;
    uint32_t width, height, bytesPerLine;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

const ContentCase kContent[] = {
    {"Unscaled", 1, 0, 0, 575, 30, 0},
    {"Line290", 1, 0, 0, 575, 30, 290},
    {"Rotation1", 1, 1, 0, 570, 21, 0},
    {"Rotation3FillBitsLeftOut", 1, 3, 0, 570, 21, 0},
    {"Rotation2", 1, 2, 0, 570, 21, 0},
    {"RotationMinus1", 1, -1, 0, 570, 21, 0},
    {"Third", 96, 0, 0, 575, 99, 0},
    {"ThirdWidth576", 96, 0, 0, 576, 100, 0},
    {"HalfRotation3", 101, 3, 0, 575, 78, 0},
    {"HalfRotation1Focus1", 101, 1, 1, 575, 1100, 0},
    {"HalfFocus2", 101, 0, 2, 2300, 40, 0},
    {"HalfFocus1Rotation2", 101, 2, 1, 2300, 41, 0},
};

class ColorContent : public testing::TestWithParam<ContentCase> {};

TEST_P(ColorContent, PlanesMatchPixelModel)
{
    const ContentCase& c = GetParam();
    MemoryJob m;
    m.job.settings.pageSize = c.pageSize;
    m.job.settings.rotation = c.rotation;
    m.job.Focus = c.focusArea;
    cups_page_header_t header = colorHeader(c.width, c.height, c.bytesPerLine);
    const Bitmap raster = randomRaster(c.width, c.height, header.cupsBytesPerLine, 9, 0.05);
    m.job.buffers.RasterBuffer = raster.bytes;
    ASSERT_EQ(colorPipeline(m.job, header), 0);

    PipelineOptions o;
    o.pageSize = c.pageSize;
    o.rotation = c.rotation;
    o.focusArea = c.focusArea;
    const ModelPlanes want = modelColorPage(raster, c.width, o);
    ASSERT_EQ(header.cupsHeight, want.black.h);
    ASSERT_EQ(header.cupsBytesPerLine, want.bytesPerLine);
    EXPECT_EQ(header.cupsWidth, want.width);
    const uint32_t S = planeRowBytes(m.job, header);
    ASSERT_EQ(S, want.black.b);
    EXPECT_EQ(planeOf(m.job.buffers.blackPlane, header.cupsHeight, S), want.black);
    EXPECT_EQ(planeOf(m.job.buffers.colorPlane, header.cupsHeight, S), want.color);
}

INSTANTIATE_TEST_SUITE_P(Cases, ColorContent, testing::ValuesIn(kContent),
                         [](const auto& info) { return std::string(info.param.name); });

// A downscale can leave the header one row longer than the rows it wrote:
// that row is blank in both planes, even on a page black all over.
TEST(ColorPipeline, RowPastTheDownscaledRowsIsBlank)
{
    struct Case {
        int32_t pageSize;
        uint32_t height, wantHeight;
    };
    for (const Case& c : {Case{96, 30, 11}, Case{101, 30, 16}, Case{96, 3, 2}, Case{101, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << c.pageSize << " " << c.height);
        MemoryJob m;
        m.job.settings.pageSize = c.pageSize;
        cups_page_header_t header = colorHeader(576, c.height);
        m.job.buffers.RasterBuffer.assign(uint64_t{c.height} * 288, 0xFF);
        ASSERT_EQ(colorPipeline(m.job, header), 0);
        ASSERT_EQ(header.cupsHeight, c.wantHeight);
        const uint32_t S = header.cupsBytesPerLine;
        const Bitmap black = planeOf(m.job.buffers.blackPlane, header.cupsHeight, S);
        const Bitmap color = planeOf(m.job.buffers.colorPlane, header.cupsHeight, S);
        for (uint32_t r = 0; r + 1 < header.cupsHeight; ++r) {
            EXPECT_TRUE(std::all_of(black.bytes.begin() + r * S, black.bytes.begin() + (r + 1) * S,
                                    [](uint8_t v) { return v == 0xFF; }));
        }
        const auto lastRow = [&](const Bitmap& plane) {
            return std::vector<uint8_t>(plane.bytes.end() - S, plane.bytes.end());
        };
        EXPECT_EQ(lastRow(black), std::vector<uint8_t>(S, 0));
        EXPECT_EQ(lastRow(color), std::vector<uint8_t>(S, 0));
    }
}

TEST(ColorPipeline, LogsItsStartWithoutNewline)
{
    MemoryJob m;
    cups_page_header_t header = colorHeader(575, 10);
    m.job.buffers.RasterBuffer = randomRaster(575, 10, 288, 1).bytes;
    ASSERT_EQ(colorPipeline(m.job, header), 0);
    EXPECT_EQ(m.log(), "PELTRIN DEBUG MSG: Color Mode Start");
}

TEST(ColorPipeline, RefusesPagesItCannotRead)
{
    struct Case {
        const char* name;
        uint32_t bitsPerPixel, width, bytesPerLine;
        std::size_t bufferBytes;
        const char* line;
    };
    const Case cases[] = {
        {"EightBits", 8, 72, 288, 2880, "ERROR: Unsupported page: only 1 bit per pixel can be printed\n"},
        {"WiderThanQuarters", 1, 577, 288, 2880, "ERROR: Bad page header: bytes per line do not match the page width\n"},
        {"ShortBuffer", 1, 576, 288, 2879, "ERROR: Page not printed: the page data is shorter than its header\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryJob m;
        cups_page_header_t header = colorHeader(c.width, 10, c.bytesPerLine);
        header.cupsBitsPerPixel = c.bitsPerPixel;
        m.job.buffers.RasterBuffer.assign(c.bufferBytes, 0xFF);
        EXPECT_EQ(colorPipeline(m.job, header), 1);
        EXPECT_TRUE(m.job.jobFailed);
        EXPECT_EQ(m.log(), std::string("PELTRIN DEBUG MSG: Color Mode Start") + c.line);
        EXPECT_EQ(m.out(), "");
    }
}

// Plane, rotate and focus buffers serve later, larger pages; quarter turns
// of a page of a few rows need more than its h * b bytes.
TEST(ColorPipeline, BuffersGrowForLaterLargerPages)
{
    MemoryJob m;
    m.job.settings.pageSize = 101;
    m.job.settings.rotation = 3;
    m.job.Focus = 1;
    PipelineOptions o;
    o.pageSize = 101;
    o.rotation = 3;
    o.focusArea = 1;
    const uint32_t sizes[][2] = {{575, 1}, {575, 200}, {2000, 2}, {575, 1300}, {100, 7}};
    uint32_t seed = 20;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        cups_page_header_t header = colorHeader(width, height);
        const Bitmap raster = randomRaster(width, height, header.cupsBytesPerLine, ++seed);
        m.job.buffers.RasterBuffer = raster.bytes;
        ASSERT_EQ(colorPipeline(m.job, header), 0);
        const ModelPlanes want = modelColorPage(raster, width, o);
        ASSERT_EQ(header.cupsHeight, want.black.h);
        ASSERT_EQ(header.cupsBytesPerLine, want.black.b);
        EXPECT_EQ(planeOf(m.job.buffers.blackPlane, header.cupsHeight, want.black.b), want.black);
        EXPECT_EQ(planeOf(m.job.buffers.colorPlane, header.cupsHeight, want.black.b), want.color);
    }
}

} // namespace
