// The monochrome page pipeline in process: the header after every step,
// Scale and Rotation, the page left in PageDataBuffer against the per-pixel
// model, the trim of turned variable-length pages, the log lines; and the
// pages both pipelines refuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <regex>
#include <string>
#include <tuple>

#include "image/color_pipeline.h"
#include "image/gray_pipeline.h"
#include "tests/support/pipeline_model.h"
#include "tests/support/raster_writer.h"

namespace {

constexpr int kPlain = 10;   // neither grayScaling nor focusOption (the default model 31 has both)
constexpr int kNoFocus = 41; // grayScaling without focusOption

const std::string kStart = "PELTRIN DEBUG MSG: Graymode Start\n";
const std::string kEnd = "PELTRIN DEBUG MSG: Graymode before call PrintPage\n"
                         "PELTRIN DEBUG MSG: Graymode End\n";
const std::string kTrimLog = kStart + "PELTRIN DEBUG MSG: Graymode PageType Variable Start\n"
                                      "PELTRIN DEBUG MSG: Graymode Page Type Variable End\n" + kEnd;

// Runs the pipeline on exactly the page's bytes, nothing after them.
int runPage(PipelineJob& m, cups_page_header_t& header, const Bitmap& page)
{
    m.job.buffers.RasterBuffer = page.bytes;
    return grayPipeline(m.job, header);
}

// The page left in PageDataBuffer, as the header describes it.
Bitmap resultPage(const JobState& job, const cups_page_header_t& header)
{
    Bitmap page(header.cupsHeight, header.cupsBytesPerLine);
    page.bytes = leading(job.buffers.PageDataBuffer, page.bytes.size());
    return page;
}

struct PageCase {
    const char* name;
    PipelineOptions o;
    uint32_t width, height;
    uint32_t wantHeight, wantWidth, wantBytesPerLine; // width and bytes 0 when no row is left
    int32_t wantScale, wantRotation;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

class GrayPage : public testing::TestWithParam<PageCase> {};

TEST_P(GrayPage, HeaderAndPageMatchTheModel)
{
    const PageCase& c = GetParam();
    PipelineJob m(c.o);
    cups_page_header_t header = monoHeader(c.width, c.height);
    const Bitmap page = randomLines(c.width, c.height, (c.width + 7) / 8, 1, 7, 0.3);
    ASSERT_EQ(runPage(m, header, page), 0);
    const bool rows = header.cupsHeight > 0; // width and bytes per line mean nothing without rows
    EXPECT_EQ(std::tuple(header.cupsHeight, rows ? header.cupsWidth : 0, rows ? header.cupsBytesPerLine : 0,
                         m.job.Scale, m.job.Rotation),
              std::tuple(c.wantHeight, c.wantWidth, c.wantBytesPerLine, c.wantScale, c.wantRotation));
    EXPECT_EQ(header.cupsBitsPerPixel, 1u);
    // The pipeline's lines (printPage logs its nv logo settings as "PELTRIN DEBUG MSG : ...").
    EXPECT_EQ(std::regex_replace(m.log(), std::regex("PELTRIN DEBUG MSG : .*\n"), ""), kStart + kEnd);
    EXPECT_EQ(resultPage(m.job, header).bytes, modelGrayPage(page, c.width, c.o).image.bytes);
}

const PageCase kPages[] = {
    {"Third576x1000", {.pageSize = 96}, 576, 1000, 333, 192, 24, 96, 0},
    {"Half575x999", {.pageSize = 101}, 575, 999, 499, 287, 36, 101, 0},
    {"NoScalingModelKeepsPage", {.model = kPlain, .pageSize = 96}, 576, 1000, 1000, 576, 72, 0, 0},
    {"NoScalingModelHalfSize", {.model = kPlain, .pageSize = 101}, 576, 1000, 1000, 576, 72, 0, 0},
    {"OtherPageSizeNotScaled", {}, 576, 1000, 1000, 576, 72, 0, 0},
    {"Rotation1", {.rotation = 1}, 576, 100, 576, 100, 13, 0, 1},
    {"Rotation3WholeBytes", {.rotation = 3}, 576, 100, 576, 100, 13, 0, 3},
    {"Rotation3FillBitsLeftOut", {.rotation = 3}, 570, 21, 570, 21, 3, 0, 3},
    {"Rotation2KeepsHeader", {.rotation = 2}, 575, 100, 100, 575, 72, 0, 2},
    {"RotationMinus1Unrotated", {.rotation = -1}, 575, 100, 100, 575, 72, 0, 0},
    {"Rotation7Unrotated", {.rotation = 7}, 575, 100, 100, 575, 72, 0, 0},
    // 640 dots on 80 bytes: the downscale writes rows of 26 bytes (208 dots),
    // one byte less than 213 dots would need.
    {"Third640RowsAsWritten", {.pageSize = 96}, 640, 30, 10, 208, 26, 96, 0},
    {"Half640", {.pageSize = 101}, 640, 30, 15, 320, 40, 101, 0},
    {"ThirdThenQuarterTurn", {.pageSize = 96, .rotation = 1}, 576, 300, 192, 100, 13, 96, 1},
    {"HalfThenRotation3", {.pageSize = 101, .rotation = 3}, 575, 77, 287, 38, 5, 101, 3},
    // Focus: halved 1152 dots -> 72 bytes; focus 1 unrotated keeps b - b/3.
    {"Focus1Unrotated", {.pageSize = 101, .focusArea = 1}, 1152, 100, 50, 377, 48, 101, 0},
    {"Focus2", {.pageSize = 101, .focusArea = 2}, 1152, 100, 50, 505, 64, 101, 0},
    {"Focus1Rotation2", {.pageSize = 101, .rotation = 2, .focusArea = 1}, 1152, 100, 50, 377, 48, 101, 2},
    {"Focus2Rotation2OddWidth", {.pageSize = 101, .rotation = 2, .focusArea = 2}, 1150, 60, 30, 505, 64, 101, 2},
    {"Focus64BytesNotCropped", {.pageSize = 101, .focusArea = 1}, 1024, 100, 50, 512, 64, 101, 0},
    {"Focus65Bytes", {.pageSize = 101, .focusArea = 2}, 1040, 100, 50, 505, 64, 101, 0},
    {"FocusAfterQuarterTurn", {.pageSize = 101, .rotation = 1, .focusArea = 1}, 575, 1100, 287, 505, 64, 101, 1},
    {"FocusAfterRotation3", {.pageSize = 101, .rotation = 3, .focusArea = 1}, 575, 1100, 287, 505, 64, 101, 3},
    {"FocusArea0NotCropped", {.pageSize = 101}, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusArea3NotCropped", {.pageSize = 101, .focusArea = 3}, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusNeedsFocusOption", {.model = kNoFocus, .pageSize = 101, .focusArea = 1}, 1152, 100, 50, 576, 72, 101, 0},
    {"FocusNeedsHalfSize", {.pageSize = 96, .focusArea = 1}, 1728, 90, 30, 576, 72, 96, 0},
    {"FocusUnscaledModel", {.model = kPlain, .pageSize = 101, .focusArea = 1}, 1152, 100, 100, 1152, 144, 0, 0},
    // Rates outside 1..100: no reduction and none of its lines.
    {"Reduction101Skipped", {.paperReduction = 101}, 576, 10, 10, 576, 72, 0, 0},
    {"ReductionMinus1Skipped", {.paperReduction = -1}, 576, 10, 10, 576, 72, 0, 0},
    {"Reduction1000Skipped", {.paperReduction = 1000}, 576, 10, 10, 576, 72, 0, 0},
    // Pages too small to keep a row or a byte.
    {"TwoRowsAtOneThird", {.pageSize = 96}, 576, 2, 0, 0, 0, 96, 0},
    {"NarrowAtOneThird", {.pageSize = 96}, 16, 9, 0, 0, 0, 96, 0},
    {"OneRowQuarterTurn", {.rotation = 1}, 576, 1, 576, 1, 1, 0, 1},
    {"NoRowsLeftThenTurned", {.pageSize = 96, .rotation = 3}, 576, 2, 0, 0, 0, 96, 3},
};

INSTANTIATE_TEST_SUITE_P(Cases, GrayPage, testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

// A 270-degree turn of 10 dots on 2 bytes keeps the page's own columns and
// leaves the fill bits out: row y is page column 9 - y, read top down.
TEST(GrayPipeline, QuarterTurnOfNarrowPageKeepsEdgeColumns)
{
    PipelineJob m({.rotation = 3});
    cups_page_header_t header = monoHeader(10, 3);
    ASSERT_EQ(runPage(m, header, bitmapFromArt({"#........#", "..........", "#........."}, 2)), 0);
    ASSERT_EQ(header.cupsWidth, 3u);
    EXPECT_EQ(bitmapToArt(resultPage(m.job, header), 3), "#..\n...\n...\n...\n...\n"
                                                         "...\n...\n...\n...\n#.#\n");
}

// Quarter turns of a variable-length page whose first 40 and last 25 turned
// rows are blank: exactly those 65 rows go, orientation kept, and a last row
// with one dot in its last byte stays.
TEST(GrayPipeline, TurnedVariablePageLosesItsBlankEnds)
{
    for (int32_t rotation : {1, 3}) {
        SCOPED_TRACE(rotation);
        PipelineJob m({.rotation = rotation, .pageType = 0});
        // Turned row x is page column x (rotation 1) or 575 - x (rotation 3).
        auto column = [&](uint32_t row) { return rotation == 1 ? row : 575 - row; };
        Bitmap page(100, 72);
        page.set(50, column(40));
        page.set(rotation == 1 ? 0 : 99, column(550)); // turned (550, 99)
        page.set(7, column(300));
        cups_page_header_t header = monoHeader(576, 100);
        ASSERT_EQ(runPage(m, header, page), 0);
        EXPECT_EQ(header.cupsWidth, 100u);
        const Bitmap turned = pipeline_model::quarterTurn(page, 576, rotation == 1);
        Bitmap want(576 - 40 - 25, 13);
        std::copy_n(turned.bytes.begin() + 40 * 13, want.bytes.size(), want.bytes.begin());
        EXPECT_EQ(resultPage(m.job, header), want);
        EXPECT_EQ(want.bytes.back(), 0x10);
        EXPECT_EQ(m.log(), kTrimLog);
    }
}

// The trim runs only for a variable-length page turned by a quarter: a
// 16 x 20 page with one dot keeps one row; a blank one keeps none.
TEST(GrayPipeline, TrimOnlyForQuarterTurnedVariablePages)
{
    struct Case {
        const char* name;
        int32_t rotation, pageType;
        bool dot, trims;
        uint32_t wantHeight;
    };
    const Case cases[] = {
        {"Rotation2Variable", 2, 0, true, false, 20},  {"Rotation0Variable", 0, 0, true, false, 20},
        {"RotationMinus1Variable", -1, 0, true, false, 20}, {"Rotation1Fixed", 1, 1, true, false, 16},
        {"Rotation3PageType2", 3, 2, true, false, 16}, {"Rotation1Variable", 1, 0, true, true, 1},
        {"Rotation3Variable", 3, 0, true, true, 1},    {"BlankTurnedToNoRows", 1, 0, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PipelineJob m({.rotation = c.rotation, .pageType = c.pageType});
        Bitmap page(20, 2);
        page.set(10, 5, c.dot);
        cups_page_header_t header = monoHeader(16, 20);
        ASSERT_EQ(runPage(m, header, page), 0);
        EXPECT_EQ(header.cupsHeight, c.wantHeight);
        EXPECT_EQ(m.log(), c.trims ? kTrimLog : kStart + kEnd);
    }
}

// The reduction's lines, with the page buffer's address before it and the
// reduced page's own buffer after it.
TEST(GrayPipeline, ReductionLinesAndAddresses)
{
    PipelineJob m({.paperReduction = 50});
    cups_page_header_t header = monoHeader(576, 10);
    ASSERT_EQ(runPage(m, header, randomLines(576, 10, 72, 1, 3, 0.3)), 0);
    EXPECT_EQ(std::tuple(header.cupsHeight, header.cupsWidth, header.cupsBytesPerLine), std::tuple(5u, 288u, 36u));
    const std::regex lines(kStart + "PELTRIN DEBUG MSG: Graymode before call reducePage\n"
                                    "PELTRIN DEBUG MSG: PageDataBuffer address before : (.*)\n"
                                    "(?:.*\n)*" // the reduction's own lines
                                    "PELTRIN DEBUG MSG: PageDataBuffer address after : (.*)\n"
                                    "PELTRIN DEBUG MSG: Graymode reducePage End\n" + kEnd);
    const std::string log = m.log();
    std::smatch address;
    ASSERT_TRUE(std::regex_match(log, address, lines)) << log;
    char before[32];
    std::snprintf(before, sizeof before, "%p", static_cast<const void*>(m.job.buffers.PageDataBuffer.data()));
    EXPECT_EQ(address[1], before);
    EXPECT_NE(address[2], before);
}

// Pages a pipeline cannot work on are refused before any step.
TEST(Pipelines, RefusePagesTheyCannotRead)
{
    const char* unsupported = "ERROR: Unsupported page: only 1 bit per pixel can be printed\n";
    const char* badWidth = "ERROR: Bad page header: bytes per line do not match the page width\n";
    const char* shortData = "ERROR: Page not printed: the page data is shorter than its header\n";
    struct Case {
        const char* name;
        bool twoColor;
        uint32_t bitsPerPixel, width, bytesPerLine;
        std::size_t bufferBytes;
        const char* line;
    };
    const Case cases[] = {
        {"EightBits", false, 8, 72, 72, 720, unsupported},    {"NoBits", false, 0, 72, 9, 90, unsupported},
        {"WiderThanRows", false, 1, 577, 72, 720, badWidth}, {"ShortBuffer", false, 1, 576, 72, 719, shortData},
        {"TwoColorEightBits", true, 8, 72, 288, 2880, unsupported},
        {"TwoColorWiderThanQuarters", true, 1, 577, 288, 2880, badWidth},
        {"TwoColorShortBuffer", true, 1, 576, 288, 2879, shortData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PipelineJob m({.model = c.twoColor ? 1 : 31});
        cups_page_header_t header = c.twoColor ? twoColorHeader(c.width, 10) : monoHeader(c.width, 10);
        header.cupsBitsPerPixel = c.bitsPerPixel;
        header.cupsBytesPerLine = c.bytesPerLine;
        m.job.buffers.RasterBuffer.assign(c.bufferBytes, 0xFF);
        EXPECT_EQ((c.twoColor ? colorPipeline : grayPipeline)(m.job, header), 1);
        EXPECT_TRUE(m.job.jobFailed);
        EXPECT_EQ(m.log(), (c.twoColor ? "PELTRIN DEBUG MSG: Color Mode Start\n" : kStart) + c.line);
        EXPECT_EQ(m.out(), "");
    }
}

} // namespace
