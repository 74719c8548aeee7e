// The monochrome page pipeline in process: header rewrites, Scale and
// Rotation, the page left in PageDataBuffer, and the log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "filter/job_state.h"
#include "filter/model_table.h"
#include "image/gray_pipeline.h"
#include "tests/support/bitmap.h"
#include "tests/support/job_capture.h"
#include "tests/support/pipeline_model.h"

namespace {

constexpr int kScalingModel = 31;   // grayScaling and focusOption
constexpr int kPlainModel = 10;     // neither
constexpr int kNoFocusModel = 41;   // grayScaling without focusOption

// A job whose printer bytes and log go to memory. logoPosition 4 keeps
// printPage silent, so the log holds the pipeline's own lines only.
struct MemoryJob : JobCapture {
    explicit MemoryJob(int model) : JobCapture(model)
    {
        job.settings.logoPosition = 4;
        setPageType(1);
    }
    void setPageType(int32_t type)
    {
        job.settings.pageType = type;
        job.PageType = type;
    }
};

cups_page_header_t pageHeader(uint32_t width, uint32_t height)
{
    cups_page_header_t header{};
    header.cupsWidth = width;
    header.cupsHeight = height;
    header.cupsBitsPerPixel = 1;
    header.cupsBitsPerColor = 1;
    header.cupsBytesPerLine = (width + 7) / 8;
    return header;
}

// The page as the driver hands it over: exactly its bytes, nothing after them.
void loadPage(JobState& job, const Bitmap& page)
{
    job.buffers.RasterBuffer = page.bytes;
}

// The page that the pipeline leaves in PageDataBuffer, as the header describes it.
Bitmap resultPage(const JobState& job, const cups_page_header_t& header)
{
    Bitmap out(header.cupsHeight, header.cupsBytesPerLine);
    std::copy_n(job.buffers.PageDataBuffer.begin(), out.bytes.size(), out.bytes.begin());
    return out;
}

// A page of `width` dots with random dots and blank fill bits.
Bitmap randomPage(uint32_t width, uint32_t height, uint32_t seed, double density = 0.3)
{
    Bitmap page = randomBitmap(height, (width + 7) / 8, seed, density);
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = width; c < page.columns(); ++c)
            page.set(r, c, false);
    return page;
}

struct GeometryCase {
    const char* name;
    int model;
    int32_t pageSize;
    int32_t rotation;
    int32_t focusArea;
    uint32_t width, height;
    uint32_t wantHeight, wantWidth, wantBytesPerLine;
    int32_t wantScale, wantRotation;
};

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.name; }

const GeometryCase kGeometry[] = {
    {"Third576x1000", kScalingModel, 96, 0, 0, 576, 1000, 333, 192, 24, 96, 0},
    {"Half575x999", kScalingModel, 101, 0, 0, 575, 999, 499, 287, 36, 101, 0},
    {"NoScalingModelKeepsPage", kPlainModel, 96, 0, 0, 576, 1000, 1000, 576, 72, 0, 0},
    {"NoScalingModelHalfSize", kPlainModel, 101, 0, 0, 576, 1000, 1000, 576, 72, 0, 0},
    {"OtherPageSizeNotScaled", kScalingModel, 1, 0, 0, 576, 1000, 1000, 576, 72, 0, 0},
    {"Rotation1", kScalingModel, 1, 1, 0, 576, 100, 576, 100, 13, 0, 1},
    {"Rotation3", kScalingModel, 1, 3, 0, 576, 100, 576, 100, 13, 0, 3},
    {"Rotation2KeepsHeader", kScalingModel, 1, 2, 0, 575, 100, 100, 575, 72, 0, 2},
    {"RotationMinus1Unrotated", kScalingModel, 1, -1, 0, 575, 100, 100, 575, 72, 0, 0},
    {"Rotation7Unrotated", kScalingModel, 1, 7, 0, 575, 100, 100, 575, 72, 0, 0},
    // 640 dots on 80 bytes: the downscale writes rows of 26 bytes (208 dots),
    // one byte less than 213 dots would need.
    {"Third640RowsAsWritten", kScalingModel, 96, 0, 0, 640, 30, 10, 208, 26, 96, 0},
    {"Half640", kScalingModel, 101, 0, 0, 640, 30, 15, 320, 40, 101, 0},
    {"ThirdThenQuarterTurn", kScalingModel, 96, 1, 0, 576, 300, 192, 100, 13, 96, 1},
    // Focus: halved 1152 dots -> 72 bytes; focus 1 unrotated keeps b - b/3.
    {"Focus1Unrotated", kScalingModel, 101, 0, 1, 1152, 100, 50, 377, 48, 101, 0},
    {"Focus2", kScalingModel, 101, 0, 2, 1152, 100, 50, 505, 64, 101, 0},
    {"Focus1Rotation2", kScalingModel, 101, 2, 1, 1152, 100, 50, 377, 48, 101, 2},
    {"Focus64BytesNotCropped", kScalingModel, 101, 0, 1, 1024, 100, 50, 512, 64, 101, 0},
    {"Focus65Bytes", kScalingModel, 101, 0, 2, 1040, 100, 50, 505, 64, 101, 0},
    {"FocusAfterQuarterTurn", kScalingModel, 101, 1, 1, 575, 1100, 287, 505, 64, 101, 1},
    {"FocusArea0NotCropped", kScalingModel, 101, 0, 0, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusArea3NotCropped", kScalingModel, 101, 0, 3, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusNeedsFocusOption", kNoFocusModel, 101, 0, 1, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusNeedsHalfSize", kScalingModel, 96, 0, 1, 1728, 90, 30, 576, 72, 96, 0},
    {"FocusUnscaledModel", kPlainModel, 101, 0, 1, 1152, 100, 100, 1152, 144, 0, 0},
    // Pages too small to keep a row or a byte.
    {"TwoRowsAtOneThird", kScalingModel, 96, 0, 0, 576, 2, 0, 192, 24, 96, 0},
    {"NarrowAtOneThird", kScalingModel, 96, 0, 0, 16, 9, 0, 0, 0, 96, 0},
    {"OneRowQuarterTurn", kScalingModel, 1, 1, 0, 576, 1, 576, 1, 1, 0, 1},
    {"NoRowsLeftThenTurned", kScalingModel, 96, 3, 0, 576, 2, 0, 0, 0, 96, 3},
};

class GrayGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(GrayGeometry, HeaderScaleAndRotation)
{
    const GeometryCase& c = GetParam();
    MemoryJob m(c.model);
    m.job.settings.pageSize = c.pageSize;
    m.job.settings.rotation = c.rotation;
    m.job.settings.focusArea = c.focusArea;
    m.job.Focus = c.focusArea == 1 || c.focusArea == 2 ? c.focusArea : 0;
    cups_page_header_t header = pageHeader(c.width, c.height);
    loadPage(m.job, randomPage(c.width, c.height, 7));

    EXPECT_EQ(grayPipeline(m.job, header), 0);
    EXPECT_EQ(header.cupsHeight, c.wantHeight);
    if (c.wantHeight > 0) {
        EXPECT_EQ(header.cupsWidth, c.wantWidth);
        EXPECT_EQ(header.cupsBytesPerLine, c.wantBytesPerLine);
    }
    EXPECT_EQ(header.cupsBitsPerPixel, 1u);
    EXPECT_EQ(m.job.Scale, c.wantScale);
    EXPECT_EQ(m.job.Rotation, c.wantRotation);
    EXPECT_FALSE(m.job.jobFailed);
    EXPECT_GE(m.job.buffers.PageDataBuffer.size(), uint64_t{header.cupsHeight} * header.cupsBytesPerLine);
}

INSTANTIATE_TEST_SUITE_P(Cases, GrayGeometry, testing::ValuesIn(kGeometry),
                         [](const auto& info) { return std::string(info.param.name); });

// The page left in PageDataBuffer against the per-pixel model, for every
// step that keeps the page in the job's buffers (the reduction is checked
// through the printer bytes).
struct ContentCase {
    const char* name;
    int model;
    int32_t pageSize, rotation, pageType, focusArea;
    uint32_t width, height;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

const ContentCase kContent[] = {
    {"Unrotated", kScalingModel, 1, 0, 1, 0, 575, 40},
    {"Rotation1", kScalingModel, 1, 1, 1, 0, 570, 21},
    {"Rotation3FillBitsLeftOut", kScalingModel, 1, 3, 1, 0, 570, 21},
    {"Rotation3WholeBytes", kScalingModel, 1, 3, 1, 0, 64, 13},
    {"Rotation2", kScalingModel, 1, 2, 1, 0, 570, 21},
    {"RotationMinus1", kScalingModel, 1, -1, 1, 0, 570, 21},
    {"Third", kScalingModel, 96, 0, 1, 0, 575, 100},
    {"ThirdOddWidth", kScalingModel, 96, 0, 1, 0, 640, 31},
    {"HalfRotation3", kScalingModel, 101, 3, 1, 0, 575, 77},
    {"HalfRotation1Variable", kScalingModel, 101, 1, 0, 0, 575, 77},
    {"ThirdRotation3Variable", kScalingModel, 96, 3, 0, 0, 640, 100},
    {"Focus1", kScalingModel, 101, 0, 1, 1, 1152, 60},
    {"Focus2Rotation2", kScalingModel, 101, 2, 1, 2, 1150, 60},
    {"Focus1Rotation3", kScalingModel, 101, 3, 1, 1, 575, 1100},
};

class GrayContent : public testing::TestWithParam<ContentCase> {};

TEST_P(GrayContent, PageMatchesPixelModel)
{
    const ContentCase& c = GetParam();
    MemoryJob m(c.model);
    m.job.settings.pageSize = c.pageSize;
    m.job.settings.rotation = c.rotation;
    m.job.settings.focusArea = c.focusArea;
    m.job.Focus = c.focusArea;
    m.setPageType(c.pageType);
    // Sparse dots so that a variable-length page has blank margins to trim.
    Bitmap page = randomPage(c.width, c.height, 11, 0.02);
    for (uint32_t r = 0; r < c.height; ++r)
        for (uint32_t col = 0; col < c.width / 10; ++col)
            page.set(r, col, false);
    cups_page_header_t header = pageHeader(c.width, c.height);
    loadPage(m.job, page);
    ASSERT_EQ(grayPipeline(m.job, header), 0);

    PipelineOptions o;
    o.grayScaling = m.job.model->grayScaling;
    o.focusOption = m.job.model->focusOption;
    o.pageSize = c.pageSize;
    o.rotation = c.rotation;
    o.pageType = c.pageType;
    o.focusArea = c.focusArea;
    const ModelPage want = modelGrayPage(page, c.width, o);
    ASSERT_EQ(header.cupsHeight, want.image.h);
    ASSERT_EQ(header.cupsBytesPerLine, want.image.b);
    EXPECT_EQ(header.cupsWidth, want.width);
    const Bitmap got = resultPage(m.job, header);
    EXPECT_EQ(got, want.image) << "got\n" << bitmapToArt(got) << "want\n" << bitmapToArt(want.image);
}

INSTANTIATE_TEST_SUITE_P(Cases, GrayContent, testing::ValuesIn(kContent),
                         [](const auto& info) { return std::string(info.param.name); });

// A 270-degree turn of a page whose width is not a multiple of 8: the page's
// own columns all stay, the fill bits are left out.
TEST(GrayPipeline, QuarterTurnOfNarrowPageKeepsEdgeColumns)
{
    MemoryJob m(kScalingModel);
    m.job.settings.rotation = 3;
    // 10 dots on 2 bytes: dots in the first and the last column.
    const Bitmap page = bitmapFromArt({
        "#........#",
        "..........",
        "#.........",
    }, 2);
    cups_page_header_t header = pageHeader(10, 3);
    loadPage(m.job, page);
    ASSERT_EQ(grayPipeline(m.job, header), 0);
    ASSERT_EQ(header.cupsHeight, 10u);
    ASSERT_EQ(header.cupsWidth, 3u);
    const Bitmap got = resultPage(m.job, header);
    // Row y is page column 9 - y, read from the top row down.
    EXPECT_EQ(bitmapToArt(got, 3), "#..\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "...\n"
                                   "#.#\n");
}

// Rotation 1 of a variable-length page whose first 40 and last 25 rotated
// rows are blank: exactly those 65 rows go, orientation kept, and a last
// row with one dot in its last byte stays.
TEST(GrayPipeline, RotatedVariablePageLosesItsBlankEnds)
{
    for (int32_t rotation : {1, 3}) {
        SCOPED_TRACE(rotation);
        MemoryJob m(kScalingModel);
        m.job.settings.rotation = rotation;
        m.setPageType(0);
        Bitmap page(100, 72);
        // Rotated row x is page column x (rotation 1) or 575 - x (rotation 3).
        auto column = [&](uint32_t row) { return rotation == 1 ? row : 575 - row; };
        page.set(50, column(40));
        // Rotated (550, 99): last byte of the row; page row 0 (rotation 1) or 99 (rotation 3).
        page.set(rotation == 1 ? 0 : 99, column(550));
        page.set(7, column(300));
        cups_page_header_t header = pageHeader(576, 100);
        loadPage(m.job, page);
        ASSERT_EQ(grayPipeline(m.job, header), 0);
        EXPECT_EQ(header.cupsHeight, 576u - 40 - 25);
        EXPECT_EQ(header.cupsWidth, 100u);
        EXPECT_EQ(header.cupsBytesPerLine, 13u);
        const Bitmap got = resultPage(m.job, header);
        const Bitmap full = pipeline_model::quarterTurn(page, 576, rotation == 1);
        for (uint32_t r = 0; r < got.h; ++r)
            for (uint32_t c = 0; c < got.columns(); ++c)
                ASSERT_EQ(got.get(r, c), full.get(r + 40, c)) << r << "," << c;
        EXPECT_EQ(got.bytes.back(), 0x10); // column 99 of the last row
        EXPECT_NE(m.log().find("PELTRIN DEBUG MSG: Graymode PageType Variable Start\n"
                               "PELTRIN DEBUG MSG: Graymode Page Type Variable End\n"),
                  std::string::npos);
    }
}

// The trim runs only for a variable-length page turned by a quarter.
TEST(GrayPipeline, TrimOnlyForQuarterTurnedVariablePages)
{
    struct Case {
        int32_t rotation, pageType;
        bool trimmed;
    };
    for (const Case& c : {Case{2, 0, false}, Case{0, 0, false}, Case{-1, 0, false}, Case{1, 1, false},
                          Case{3, 2, false}, Case{1, 0, true}, Case{3, 0, true}}) {
        SCOPED_TRACE(testing::Message() << c.rotation << " " << c.pageType);
        MemoryJob m(kScalingModel);
        m.job.settings.rotation = c.rotation;
        m.setPageType(c.pageType);
        Bitmap page(20, 2);
        page.set(10, 5); // blank rows and columns around one dot
        cups_page_header_t header = pageHeader(16, 20);
        loadPage(m.job, page);
        ASSERT_EQ(grayPipeline(m.job, header), 0);
        const bool logged = m.log().find("Graymode PageType Variable Start") != std::string::npos;
        EXPECT_EQ(logged, c.trimmed);
        const bool quarter = c.rotation == 1 || c.rotation == 3;
        EXPECT_EQ(header.cupsHeight, c.trimmed ? 1u : quarter ? 16u : 20u);
    }
}

// A rotated variable-length page without a dot is trimmed to nothing.
TEST(GrayPipeline, BlankRotatedVariablePageEndsWithNoRows)
{
    MemoryJob m(kScalingModel);
    m.job.settings.rotation = 1;
    m.setPageType(0);
    cups_page_header_t header = pageHeader(576, 9);
    loadPage(m.job, Bitmap(9, 72));
    ASSERT_EQ(grayPipeline(m.job, header), 0);
    EXPECT_EQ(header.cupsHeight, 0u);
    EXPECT_FALSE(m.job.jobFailed);
}

TEST(GrayPipeline, LogLinesOfAPlainPage)
{
    MemoryJob m(kScalingModel);
    cups_page_header_t header = pageHeader(576, 10);
    loadPage(m.job, randomPage(576, 10, 3));
    ASSERT_EQ(grayPipeline(m.job, header), 0);
    EXPECT_EQ(m.log(), "PELTRIN DEBUG MSG: Graymode Start\n"
                       "PELTRIN DEBUG MSG: Graymode before call PrintPage\n"
                       "PELTRIN DEBUG MSG: Graymode End\n");
}

// Rates outside 1..100 write none of the reduction's lines.
TEST(GrayPipeline, NoReductionOutsideOneToHundred)
{
    for (int32_t rate : {0, 101, -1, 1000}) {
        SCOPED_TRACE(rate);
        MemoryJob m(kScalingModel);
        m.job.settings.paperReduction = rate;
        cups_page_header_t header = pageHeader(576, 10);
        loadPage(m.job, randomPage(576, 10, 3));
        ASSERT_EQ(grayPipeline(m.job, header), 0);
        EXPECT_EQ(m.log().find("reducePage"), std::string::npos);
        EXPECT_EQ(header.cupsHeight, 10u);
    }
}

// The reduction's four lines, with the page buffer's address before and
// the reduced page's address after it.
TEST(GrayPipeline, ReductionLinesAndAddresses)
{
    MemoryJob m(kScalingModel);
    m.job.settings.paperReduction = 50;
    cups_page_header_t header = pageHeader(576, 10);
    loadPage(m.job, randomPage(576, 10, 3));
    ASSERT_EQ(grayPipeline(m.job, header), 0);
    const std::string log = m.log();
    char before[128];
    std::snprintf(before, sizeof before, "PELTRIN DEBUG MSG: PageDataBuffer address before : %p\n",
                  static_cast<const void*>(m.job.buffers.PageDataBuffer.data()));
    const std::string head = std::string("PELTRIN DEBUG MSG: Graymode Start\n"
                                         "PELTRIN DEBUG MSG: Graymode before call reducePage\n") +
                             before;
    ASSERT_EQ(log.substr(0, head.size()), head);
    const std::string tail = "PELTRIN DEBUG MSG: Graymode reducePage End\n"
                             "PELTRIN DEBUG MSG: Graymode before call PrintPage\n"
                             "PELTRIN DEBUG MSG: Graymode End\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    const std::string afterPrefix = "PELTRIN DEBUG MSG: PageDataBuffer address after : ";
    const std::size_t after = log.find(afterPrefix);
    ASSERT_NE(after, std::string::npos);
    const std::size_t afterEnd = log.find('\n', after) + 1;
    EXPECT_EQ(afterEnd, log.size() - tail.size()) << "the after line comes right before the end lines";
    // The reduced page is a buffer of its own: another address.
    const std::string beforeLine(before);
    const std::string beforeAddress = beforeLine.substr(beforeLine.rfind(" : ") + 3);
    const std::string afterAddress = log.substr(after + afterPrefix.size(), afterEnd - after - afterPrefix.size());
    EXPECT_NE(afterAddress, beforeAddress);
    EXPECT_EQ(header.cupsHeight, 5u);
    EXPECT_EQ(header.cupsWidth, 288u);
    EXPECT_EQ(header.cupsBytesPerLine, 36u);
}

// Pages the pipeline cannot work on are refused before any step.
TEST(GrayPipeline, RefusesPagesItCannotRead)
{
    struct Case {
        const char* name;
        uint32_t bitsPerPixel, width, height, bytesPerLine;
        std::size_t bufferBytes;
        const char* line;
    };
    const Case cases[] = {
        {"EightBits", 8, 72, 10, 72, 720, "ERROR: Unsupported page: only 1 bit per pixel can be printed\n"},
        {"NoBits", 0, 72, 10, 9, 90, "ERROR: Unsupported page: only 1 bit per pixel can be printed\n"},
        {"WiderThanRows", 1, 577, 10, 72, 720, "ERROR: Bad page header: bytes per line do not match the page width\n"},
        {"ShortBuffer", 1, 576, 10, 72, 719, "ERROR: Page not printed: the page data is shorter than its header\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryJob m(kScalingModel);
        cups_page_header_t header = pageHeader(c.width, c.height);
        header.cupsBitsPerPixel = c.bitsPerPixel;
        header.cupsBytesPerLine = c.bytesPerLine;
        m.job.buffers.RasterBuffer.assign(c.bufferBytes, 0xFF);
        EXPECT_EQ(grayPipeline(m.job, header), 1);
        EXPECT_TRUE(m.job.jobFailed);
        EXPECT_EQ(m.log(), std::string("PELTRIN DEBUG MSG: Graymode Start\n") + c.line);
        EXPECT_EQ(m.out(), "");
    }
}

// The job's buffers serve a small page and then a larger one: every buffer
// a step writes grows with the page (quarter turns need 8*b*ceil(h/8) bytes,
// more than h*b for a page of a few rows).
TEST(GrayPipeline, BuffersGrowForLaterLargerPages)
{
    MemoryJob m(kScalingModel);
    m.job.settings.pageSize = 101;
    m.job.settings.rotation = 3;
    m.job.settings.focusArea = 2;
    m.job.Focus = 2;
    PipelineOptions o;
    o.pageSize = 101;
    o.rotation = 3;
    o.focusArea = 2;
    const uint32_t sizes[][2] = {{575, 2}, {575, 180}, {1150, 3}, {575, 1400}, {600, 5}};
    uint32_t seed = 1;
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const Bitmap page = randomPage(width, height, ++seed);
        cups_page_header_t header = pageHeader(width, height);
        loadPage(m.job, page);
        ASSERT_EQ(grayPipeline(m.job, header), 0);
        const ModelPage want = modelGrayPage(page, width, o);
        ASSERT_EQ(header.cupsHeight, want.image.h);
        if (want.image.h > 0) {
            EXPECT_EQ(resultPage(m.job, header), want.image);
        }
    }
}

// Geometry helpers shared with the two-color pipeline.
TEST(PipelineGeometry, DownscaledRowsDescribeWhatWasWritten)
{
    struct Case {
        uint32_t height, width, rowBytes;
        uint32_t wantWidth;
    };
    for (const Case& c : {Case{333, 192, 24, 192}, Case{10, 213, 26, 208}, Case{5, 0, 0, 0}, Case{3, 7, 1, 7}}) {
        cups_page_header_t header = pageHeader(1, 1);
        setDownscaledGeometry(header, c.height, c.width, c.rowBytes);
        EXPECT_EQ(header.cupsHeight, c.height);
        EXPECT_EQ(header.cupsWidth, c.wantWidth);
        EXPECT_EQ(header.cupsBytesPerLine, c.rowBytes);
    }
    EXPECT_EQ(firstPageRowAfter270(72, 570), 6u);
    EXPECT_EQ(firstPageRowAfter270(72, 576), 0u);
    EXPECT_EQ(firstPageRowAfter270(0, 0), 0u);
}

} // namespace
