// Whole raster jobs through the real executable: monochrome and two-color
// pages through downscale, rotation, trim, focus crop and reduction, checked
// byte for byte against the raster commands of the page meant to print (a
// per-pixel model of the pipeline), and decoded back into bitmaps.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "filter/model_table.h"
#include "tests/support/bitmap.h"
#include "tests/support/command_decoder.h"
#include "tests/support/filter_runner.h"
#include "tests/support/pipeline_model.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

constexpr int kGraphicsModel = 1; // gsL, colorPath only: ColorModel 1 sends monochrome pages
constexpr int kRasterModel = 13;  // GS v 0, grayPath only
constexpr int kCompressModel = 31;
constexpr int kReductionModel = 86;

// ---- The raster commands of a finished page, as the printer reads them ----

std::string le16(uint32_t value)
{
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string rowsOf(const Bitmap& image, uint32_t first, uint32_t rows)
{
    const auto* data = reinterpret_cast<const char*>(image.bytes.data());
    return std::string(data + std::size_t{first} * image.b, std::size_t{rows} * image.b);
}

std::string graphicsStore(char color, uint32_t width, const Bitmap& image, uint32_t first, uint32_t rows)
{
    const std::string data = rowsOf(image, first, rows);
    return "\x1D\x28\x4C" + le16(static_cast<uint32_t>(data.size()) + 10) + std::string("\x30\x70\x30\x01\x01") +
           color + le16(width) + le16(rows) + data;
}

const std::string kGraphicsPrint("\x1D\x28\x4C\x02\x00\x30\x32", 7);

// Graphics-buffer path: one store up to 255 rows, else bands of 70 rows.
std::string graphicsPage(const ModelPage& page)
{
    const uint32_t h = page.image.h;
    std::string out;
    if (h <= 255) {
        if (h > 0)
            out += graphicsStore('\x31', page.width, page.image, 0, h) + kGraphicsPrint;
        return out;
    }
    uint32_t row = 0;
    for (; row + 70 <= h; row += 70)
        out += graphicsStore('\x31', page.width, page.image, row, 70) + kGraphicsPrint;
    if (row < h)
        out += graphicsStore('\x31', page.width, page.image, row, h - row) + kGraphicsPrint;
    return out;
}

// Whole-page path: one GS v 0 image of all rows.
std::string rasterPage(const ModelPage& page)
{
    if (page.image.h == 0)
        return "";
    return std::string("\x1D\x76\x30\x00", 4) + le16(page.image.b) + le16(page.image.h) +
           rowsOf(page.image, 0, page.image.h);
}

std::string runLength(const std::string& block)
{
    std::string out;
    for (std::size_t i = 0; i < block.size();) {
        const char c = block[i];
        if (c != '\x00' && c != '\xFF') {
            out += c;
            ++i;
            continue;
        }
        std::size_t n = 1;
        while (i + n < block.size() && block[i + n] == c && n < 255)
            ++n;
        out += c;
        out += static_cast<char>(n);
        i += n;
    }
    return out;
}

// Run-length path: bands of `bandRows` rows.
std::string compressedPage(const ModelPage& page, uint32_t bandRows)
{
    std::string out;
    for (uint32_t row = 0; row < page.image.h; row += bandRows) {
        const uint32_t rows = std::min(bandRows, page.image.h - row);
        out += std::string("\x08\x43\x52\x00\x00\x00\x00\x00", 8) + le16(page.width) + le16(rows) +
               runLength(rowsOf(page.image, row, rows)) + std::string("\x08\x43\x52\xFF\x00", 5);
    }
    return out;
}

// Two-color stores: both planes per band, then a print; taller pages end
// with a store of the remaining rows of each plane (empty when none) and a
// print.
std::string colorPage(const ModelPlanes& planes)
{
    const uint32_t h = planes.black.h;
    const uint32_t w = planes.width;
    if (h == 0)
        return "";
    if (h <= 255)
        return graphicsStore('\x31', w, planes.black, 0, h) + graphicsStore('\x32', w, planes.color, 0, h) +
               kGraphicsPrint;
    std::string out;
    uint32_t row = 0;
    for (; row + 70 <= h; row += 70)
        out += graphicsStore('\x31', w, planes.black, row, 70) + graphicsStore('\x32', w, planes.color, row, 70) +
               kGraphicsPrint;
    out += graphicsStore('\x31', w, planes.black, row, h - row) +
           graphicsStore('\x32', w, planes.color, row, h - row) + kGraphicsPrint;
    return out;
}

const std::string kJobStart("\x1B\x40", 2);

// ---- Jobs ----

struct JobCase {
    const char* name;
    int model;
    int32_t pageSize = 1;
    int32_t rotation = 0; // -1: the PPD has no Rotation option
    int32_t pageType = 1;
    int32_t focusArea = 0;
    int32_t compPrinting = 0;
    int32_t paperReduction = 0;
    int32_t colorModel = 1;
    uint32_t width = 575;
    uint32_t height = 120;
};

void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

std::string optionsOf(const JobCase& c)
{
    std::string o = "PageSize=" + std::to_string(c.pageSize) + " PageType=" + std::to_string(c.pageType) +
                    " FocusArea=" + std::to_string(c.focusArea) + " CompPrinting=" + std::to_string(c.compPrinting) +
                    " ColorModel=" + std::to_string(c.colorModel);
    if (c.rotation >= 0)
        o += " Rotation=" + std::to_string(c.rotation);
    if (c.paperReduction > 0)
        o += " PaperReduction=Custom." + std::to_string(c.paperReduction);
    return o;
}

std::string ppdFor(const JobCase& c)
{
    TestPpd ppd = TestPpd::full(c.model);
    if (c.rotation < 0)
        ppd.remove("Rotation");
    return writeTempFile(std::string("job-") + c.name + ".ppd", ppd.text());
}

PipelineOptions pipelineOptions(const JobCase& c)
{
    const ModelRow* row = findModel(c.model);
    PipelineOptions o;
    o.grayScaling = row->grayScaling;
    o.focusOption = row->focusOption;
    o.pageSize = c.pageSize;
    o.rotation = c.rotation;
    o.pageType = c.pageType;
    o.focusArea = row->focusOption ? c.focusArea : 0;
    o.paperReduction = row->reductionOption ? c.paperReduction : 0;
    return o;
}

// The page as the driver reads it: a variable-length page loses its blank
// rows at both ends first.
Bitmap pageAsRead(const Bitmap& page, int32_t pageType)
{
    return pageType == 0 ? pipeline_model::trimmed(page) : page;
}

// A page with a frame, a diagonal and random dots, blank margins of a few
// rows and columns (for the variable-length trims), blank fill bits.
Bitmap testPage(uint32_t width, uint32_t height, uint32_t seed, uint32_t bytesPerLine = 0)
{
    const uint32_t b = bytesPerLine != 0 ? bytesPerLine : (width + 7) / 8;
    Bitmap page(height, b);
    const Bitmap noise = randomBitmap(height, b, seed, 0.05);
    const uint32_t margin = std::min(5u, height / 4);
    for (uint32_t r = margin; r + margin < height; ++r)
        for (uint32_t c = 3; c + 4 < width; ++c) {
            const bool frame = r == margin || r + margin + 1 == height || c == 3 || c + 5 == width;
            const bool diagonal = c == (r * 7) % width;
            page.set(r, c, frame || diagonal || noise.get(r, c));
        }
    return page;
}

FilterRun runJob(const JobCase& c, const std::vector<TestPage>& pages)
{
    return runFilter(rasterJob(ppdFor(c), optionsOf(c), rasterStream(pages)));
}

class MonochromeJob : public testing::TestWithParam<JobCase> {};

TEST_P(MonochromeJob, PrintsThePageMeantToPrint)
{
    const JobCase& c = GetParam();
    const Bitmap page = testPage(c.width, c.height, 42);
    const FilterRun run = runJob(c, {monoPage(c.width, c.height, page.bytes)});
    ASSERT_EQ(run.status, 0) << run.err;

    const ModelRow* row = findModel(c.model);
    const ModelPage want = modelGrayPage(pageAsRead(page, c.pageType), c.width, pipelineOptions(c));
    std::string commands;
    if (row->rasterCommand == RasterCommand::gsv0)
        commands = rasterPage(want);
    else if (c.compPrinting == 1 && row->compOption)
        commands = compressedPage(want, static_cast<uint32_t>(row->rleBandRows.value()));
    else
        commands = graphicsPage(want);
    const std::string expected = kJobStart + commands;
    ASSERT_EQ(run.out.size(), expected.size()) << run.err;
    EXPECT_TRUE(run.out == expected) << "first difference at byte "
                                     << std::mismatch(run.out.begin(), run.out.end(), expected.begin()).first -
                                            run.out.begin();

    // Decoded back, the printer prints exactly the model's page.
    const PrintedImage printed = printedMonochrome(parseCommands(run.out));
    EXPECT_EQ(printed.rows, want.image.h);
    EXPECT_EQ(printed.data, want.image.bytes);
    EXPECT_NE(run.err.find("PELTRIN DEBUG MSG: Graymode Start\n"), std::string::npos);
    EXPECT_NE(run.err.find("PELTRIN DEBUG MSG: Graymode End\n"), std::string::npos);
}

std::vector<JobCase> monochromeCases()
{
    std::vector<JobCase> cases;
    static const char* names[2][2][4] = {
        {{"GsL_Var_R0", "GsL_Var_R1", "GsL_Var_R2", "GsL_Var_R3"},
         {"GsL_Fixed_R0", "GsL_Fixed_R1", "GsL_Fixed_R2", "GsL_Fixed_R3"}},
        {{"Gsv0_Var_R0", "Gsv0_Var_R1", "Gsv0_Var_R2", "Gsv0_Var_R3"},
         {"Gsv0_Fixed_R0", "Gsv0_Fixed_R1", "Gsv0_Fixed_R2", "Gsv0_Fixed_R3"}},
    };
    for (int m = 0; m < 2; ++m)
        for (int32_t pageType = 0; pageType < 2; ++pageType)
            for (int32_t rotation = 0; rotation < 4; ++rotation) {
                JobCase c{names[m][pageType][rotation], m == 0 ? kGraphicsModel : kRasterModel};
                c.rotation = rotation;
                c.pageType = pageType;
                c.width = 570; // fill bits on every row
                c.height = 90;
                cases.push_back(c);
            }
    auto add = [&](JobCase c) { cases.push_back(c); };
    add({.name = "NoRotationOption", .model = kGraphicsModel, .rotation = -1, .pageType = 0});
    add({.name = "Gsv0ColorModel0", .model = kRasterModel, .rotation = 1, .pageType = 0, .colorModel = 0});
    add({.name = "Gsv0Third", .model = kRasterModel, .pageSize = 96, .rotation = 3, .pageType = 0, .height = 300});
    add({.name = "Third", .model = kGraphicsModel, .pageSize = 96, .width = 576, .height = 1000});
    add({.name = "ThirdOddWidth", .model = kGraphicsModel, .pageSize = 96, .width = 640, .height = 200});
    add({.name = "Half", .model = kGraphicsModel, .pageSize = 101, .width = 575, .height = 999});
    add({.name = "HalfRotation3Variable", .model = kGraphicsModel, .pageSize = 101, .rotation = 3, .pageType = 0});
    add({.name = "Focus1Unrotated", .model = kGraphicsModel, .pageSize = 101, .focusArea = 1, .width = 1152, .height = 100});
    add({.name = "Focus2", .model = kGraphicsModel, .pageSize = 101, .focusArea = 2, .width = 1152, .height = 100});
    add({.name = "Focus1Rotation1", .model = kGraphicsModel, .pageSize = 101, .rotation = 1, .focusArea = 1, .height = 1100});
    add({.name = "Focus2Rotation3Variable", .model = kGraphicsModel, .pageSize = 101, .rotation = 3, .pageType = 0,
         .focusArea = 2, .height = 1300});
    add({.name = "Bands255", .model = kGraphicsModel, .height = 255});
    add({.name = "Bands256", .model = kGraphicsModel, .height = 256});
    add({.name = "Bands280", .model = kGraphicsModel, .height = 280});
    add({.name = "Compressed", .model = kCompressModel, .compPrinting = 1, .height = 500});
    add({.name = "CompressedRotated", .model = kCompressModel, .rotation = 1, .pageType = 0, .compPrinting = 1});
    add({.name = "Reduction50", .model = kReductionModel, .paperReduction = 50, .height = 300});
    add({.name = "Reduction33Rotated", .model = kReductionModel, .rotation = 3, .pageType = 0, .paperReduction = 33});
    add({.name = "Reduction100", .model = kReductionModel, .paperReduction = 100, .width = 570});
    add({.name = "ReductionAfterHalving", .model = kReductionModel, .pageSize = 101, .paperReduction = 70, .height = 400});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Jobs, MonochromeJob, testing::ValuesIn(monochromeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class TwoColorJob : public testing::TestWithParam<JobCase> {};

// A raster line of four quarters: a test page in the black quarter, other
// shapes in the three color quarters.
Bitmap twoColorRaster(uint32_t width, uint32_t height, uint32_t seed)
{
    const uint32_t q = (width + 7) / 8;
    const Bitmap black = testPage(width, height, seed);
    const Bitmap c = randomBitmap(height, q, seed + 1, 0.03);
    const Bitmap m = randomBitmap(height, q, seed + 2, 0.03);
    Bitmap raster(height, 4 * q);
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t x = 0; x < width; ++x) {
            raster.set(r, 8 * q * 3 + x, black.get(r, x));
            raster.set(r, x, c.get(r, x) && r % 7 != 0);
            raster.set(r, 8 * q + x, m.get(r, x));
            raster.set(r, 8 * q * 2 + x, x == r % width);
        }
    return raster;
}

TEST_P(TwoColorJob, PrintsBothPlanes)
{
    const JobCase& c = GetParam();
    const Bitmap raster = twoColorRaster(c.width, c.height, 7);
    const FilterRun run = runJob(c, {TestPage{twoColorHeader(c.width, c.height), raster.bytes}});
    ASSERT_EQ(run.status, 0) << run.err;

    const ModelPlanes want = modelColorPage(pageAsRead(raster, c.pageType), c.width, pipelineOptions(c));
    const std::string expected = kJobStart + colorPage(want);
    ASSERT_EQ(run.out.size(), expected.size());
    EXPECT_TRUE(run.out == expected) << "first difference at byte "
                                     << std::mismatch(run.out.begin(), run.out.end(), expected.begin()).first -
                                            run.out.begin();
    const PrintedPlanes printed = printedPlanes(parseCommands(run.out));
    EXPECT_EQ(printed.black.data, want.black.bytes);
    EXPECT_EQ(printed.color.data, want.color.bytes);
    EXPECT_NE(run.err.find("PELTRIN DEBUG MSG: Color Mode Start"), std::string::npos);
}

std::vector<JobCase> twoColorCases()
{
    std::vector<JobCase> cases;
    auto add = [&](JobCase c) {
        c.model = kGraphicsModel;
        c.colorModel = 0;
        cases.push_back(c);
    };
    add({.name = "Plain", .model = 0, .height = 120});
    add({.name = "Band255", .model = 0, .height = 255});
    add({.name = "Band280", .model = 0, .height = 280});
    add({.name = "Band300", .model = 0, .height = 300});
    add({.name = "Rotation1", .model = 0, .rotation = 1, .height = 100});
    add({.name = "Rotation2", .model = 0, .rotation = 2, .width = 570});
    add({.name = "Rotation3", .model = 0, .rotation = 3, .width = 570, .height = 100});
    add({.name = "NoRotationOption", .model = 0, .rotation = -1});
    add({.name = "VariableLength", .model = 0, .pageType = 0, .height = 90});
    add({.name = "Third", .model = 0, .pageSize = 96, .height = 999});
    add({.name = "ThirdWidth576", .model = 0, .pageSize = 96, .width = 576, .height = 600});
    add({.name = "Half", .model = 0, .pageSize = 101, .height = 1000});
    add({.name = "HalfRotation1Focus1", .model = 0, .pageSize = 101, .rotation = 1, .focusArea = 1, .height = 1100});
    add({.name = "HalfRotation3Focus2", .model = 0, .pageSize = 101, .rotation = 3, .focusArea = 2, .height = 1100});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Jobs, TwoColorJob, testing::ValuesIn(twoColorCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A page that keeps no row after the downscale: no raster command, nothing
// divided by zero, and the page still counts; a later page prints.
TEST(PrintJob, PageWithNoRowsLeftSendsNoRaster)
{
    JobCase c{"NoRowsLeft", kGraphicsModel};
    c.pageSize = 96;
    c.rotation = 1;
    const Bitmap tiny = testPage(575, 2, 3);
    const Bitmap page = testPage(575, 60, 4);
    const FilterRun run = runJob(c, {monoPage(575, 2, tiny.bytes), monoPage(575, 60, page.bytes)});
    ASSERT_EQ(run.status, 0) << run.err;
    const ModelPage second = modelGrayPage(page, 575, pipelineOptions(c));
    EXPECT_EQ(hexBytes(run.out), hexBytes(kJobStart + graphicsPage(second)));
    EXPECT_NE(run.err.find("PELTRIN DEBUG MSG: PAGE: 2 1\n"), std::string::npos);
}

// Several pages of different sizes in one job: the job's buffers serve
// them all, each page printed as meant.
TEST(PrintJob, PagesOfGrowingSizesInOneJob)
{
    for (bool twoColor : {false, true}) {
        SCOPED_TRACE(twoColor);
        JobCase c{"Growing", kGraphicsModel};
        c.pageSize = 101;
        c.rotation = 3;
        c.focusArea = 1;
        c.colorModel = twoColor ? 0 : 1;
        const uint32_t sizes[][2] = {{575, 3}, {575, 1200}, {1000, 40}, {575, 1}};
        std::vector<TestPage> pages;
        std::string expected = kJobStart;
        uint32_t seed = 50;
        for (const auto& [w, h] : sizes) {
            if (twoColor) {
                const Bitmap raster = twoColorRaster(w, h, ++seed);
                pages.push_back(TestPage{twoColorHeader(w, h), raster.bytes});
                expected += colorPage(modelColorPage(raster, w, pipelineOptions(c)));
            } else {
                const Bitmap page = testPage(w, h, ++seed);
                pages.push_back(monoPage(w, h, page.bytes));
                expected += graphicsPage(modelGrayPage(page, w, pipelineOptions(c)));
            }
        }
        const FilterRun run = runJob(c, pages);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto at = std::mismatch(run.out.begin(), run.out.end(), expected.begin(), expected.end());
        EXPECT_TRUE(run.out == expected) << run.out.size() << " bytes, expected " << expected.size()
                                         << "; first difference at byte " << at.first - run.out.begin() << "\n"
                                         << describeCommands(parseCommands(run.out)) << "---\n"
                                         << describeCommands(parseCommands(expected));
    }
}

} // namespace

// Pages with nothing left to print once the pipeline is done: no raster
// command goes out (and nothing divides by zero), while the page's logo
// blocks still do and the page counts.
TEST(PrintJob, NothingLeftToPrintStillGetsItsLogo)
{
    struct Case {
        JobCase job;
        TestPage page;
    };
    Bitmap fillBitsOnly(40, 72); // 570 dots: only the 6 fill bits of each row have dots
    for (uint32_t r = 10; r < 30; ++r)
        fillBitsOnly.set(r, 573);
    const Case cases[] = {
        {{.name = "TwoRowsAtOneThird", .model = kGraphicsModel, .pageSize = 96}, monoPage(576, 2, std::vector<uint8_t>(144, 0xFF))},
        {{.name = "RotatedFillBitsOnly", .model = kGraphicsModel, .rotation = 1, .pageType = 0},
         monoPage(570, 40, fillBitsOnly.bytes)},
        {{.name = "Rotated270FillBitsOnly", .model = kRasterModel, .rotation = 3, .pageType = 0},
         monoPage(570, 40, fillBitsOnly.bytes)},
        {{.name = "ReducedToNothing", .model = kReductionModel, .paperReduction = 1},
         monoPage(576, 50, std::vector<uint8_t>(3600, 0xFF))},
        {{.name = "NarrowTwoColorAtOneThird", .model = kGraphicsModel, .pageSize = 96, .colorModel = 0},
         TestPage{twoColorHeader(16, 30), std::vector<uint8_t>(240, 0xFF)}},
    };
    const std::string logo("\x1B\x61\x00\x1C\x70\x01\x00\x1B\x40", 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job.name);
        const std::string options = optionsOf(c.job) + " LogoPosition=3";
        const FilterRun run = runFilter(rasterJob(ppdFor(c.job), options, rasterStream({c.page})));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(hexBytes(run.out), hexBytes(kJobStart + logo + logo));
        EXPECT_NE(run.err.find("INFO: Ready to print.\n"), std::string::npos);
    }
}

// A page the printer's 16-bit size fields cannot describe once turned (a
// 70000-row page becomes 70000 dots wide) is refused by the page output:
// the job ends there through the job close, with exit status 1.
TEST(PrintJob, PageRefusedAfterTurningEndsTheJob)
{
    JobCase c{"TooWideWhenTurned", kGraphicsModel};
    c.rotation = 1;
    Bitmap tall(70000, 1);
    for (uint32_t r = 0; r < tall.h; r += 3)
        tall.set(r, r % 8);
    const Bitmap next = testPage(575, 30, 1);
    const FilterRun run = runJob(c, {monoPage(8, 70000, tall.bytes), monoPage(575, 30, next.bytes)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(hexBytes(run.out), hexBytes(kJobStart));
    EXPECT_NE(run.err.find("ERROR: Page not printed: its width does not fit the printer's 16-bit size field\n"
                           "PELTRIN DEBUG MSG: Graymode End\n"
                           "PELTRIN DEBUG MSG: fail_job Start"),
              std::string::npos)
        << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
    EXPECT_EQ(run.err.find("PAGE: 2"), std::string::npos);
}
