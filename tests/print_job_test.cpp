// Whole raster jobs through the real executable: monochrome and two-color
// pages through the PPD's options, the driver's trim, downscale, rotation,
// focus crop and reduction, on every raster path. What the printer prints,
// decoded back from the job's bytes, is the page of the per-pixel model.
#include <gtest/gtest.h>

#include "engine/job/model_table.h"
#include "preview/dump.h"
#include "tests/support/filter_runner.h"
#include "tests/support/pipeline_model.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

constexpr int kGraphicsModel = 1; // GS ( L, colorPath only: ColorModel 1 sends monochrome pages
constexpr int kRasterModel = 13;  // GS v 0, grayPath only
constexpr int kCompressModel = 31;
constexpr int kReductionModel = 86;

const std::string kJobStart("\x1B\x40", 2);

struct JobCase {
    std::string name;
    int model = kGraphicsModel;
    int32_t pageSize = 1, rotation = 0 /* -1: the PPD has no Rotation option */, pageType = 1, focusArea = 0;
    int32_t compPrinting = 0, paperReduction = 0, colorModel = 1;
    uint32_t width = 575, height = 120;
};

FilterRun runJob(const JobCase& c, const std::vector<TestPage>& pages)
{
    TestPpd ppd = TestPpd::full(c.model);
    std::string options = "PageSize=" + std::to_string(c.pageSize) + " PageType=" + std::to_string(c.pageType) +
                          " FocusArea=" + std::to_string(c.focusArea) + " CompPrinting=" +
                          std::to_string(c.compPrinting) + " ColorModel=" + std::to_string(c.colorModel);
    if (c.rotation >= 0)
        options += " Rotation=" + std::to_string(c.rotation);
    else
        ppd.remove("Rotation");
    if (c.paperReduction > 0)
        options += " PaperReduction=Custom." + std::to_string(c.paperReduction);
    return runFilter(rasterJob(writeTempFile("job-" + c.name + ".ppd", ppd.text()), options, rasterStream(pages)));
}

// What the printer prints of a page (its rows moved: GCC 14 takes a copy's
// size for one beyond any object).
PrintedImage printedOf(ModelPage&& p)
{
    return p.image.h == 0 ? PrintedImage{} : PrintedImage{p.width, p.image.b, p.image.h, std::move(p.image.bytes)};
}

// A page of the job and what the printer prints of it: the model's page (a
// variable-length page loses its blank rows at both ends when read first),
// in raster commands of one kind (and graphics prints).
struct JobPage {
    TestPage page;
    PrintedImage black, color; // color: two-color pages only
    bool twoColor;
    CommandKind raster;
};

JobPage jobPage(const JobCase& c, uint32_t width, uint32_t height, uint32_t seed)
{
    const ModelRow& row = *findModel(c.model);
    const PipelineOptions o{.model = c.model, .pageSize = c.pageSize, .rotation = c.rotation, .pageType = c.pageType,
                            .focusArea = row.focusOption ? c.focusArea : 0,
                            .paperReduction = row.reductionOption ? c.paperReduction : 0};
    const bool twoColor = c.colorModel == 0 && row.colorPath;
    // Blank margins of a few rows and columns for the variable-length trims.
    const Bitmap page = randomLines(width, height, (twoColor ? 4 : 1) * ((width + 7) / 8), twoColor ? 4 : 1, seed,
                                    0.05, std::min(5u, height / 4));
    const Bitmap read = c.pageType == 0 ? pipeline_model::trimmed(page) : page;
    if (twoColor) {
        ModelPlanes want = modelColorPage(read, width, o);
        return {{twoColorHeader(width, height), page.bytes}, printedOf(std::move(want.black)),
                printedOf(std::move(want.color)), true, CommandKind::graphicsStore};
    }
    ModelPage want = modelGrayPage(read, width, o);
    if (row.rasterCommand == RasterCommand::gsv0) // rows of whole bytes
        return {monoPage(width, height, page.bytes), printedOf({std::move(want.image), 8 * want.image.b}), {}, false,
                CommandKind::rasterImage};
    return {monoPage(width, height, page.bytes), printedOf(std::move(want)), {}, false,
            c.compPrinting == 1 && row.compOption ? CommandKind::compressedBand : CommandKind::graphicsStore};
}

// The job's bytes: ESC @, then the raster commands of the job's path only,
// printing exactly the expected image or planes.
void expectPrinted(const std::string& out, const JobPage& want)
{
    const std::vector<Command> commands = parseCommands(out);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].kind, CommandKind::initialize);
    for (std::size_t i = 1; i < commands.size(); ++i)
        ASSERT_TRUE(commands[i].kind == want.raster || commands[i].kind == CommandKind::graphicsPrint)
            << dumpCommands(commands);
    if (want.twoColor) {
        const PrintedPlanes printed = printedPlanes(commands);
        EXPECT_EQ(printed.black, want.black);
        EXPECT_EQ(printed.color, want.color);
    } else {
        EXPECT_EQ(printedMonochrome(commands), want.black);
    }
}

class PrintJob : public testing::TestWithParam<JobCase> {};

TEST_P(PrintJob, PrintsThePageMeantToPrint)
{
    const JobCase& c = GetParam();
    const JobPage page = jobPage(c, c.width, c.height, 42);
    const FilterRun run = runJob(c, {page.page});
    ASSERT_EQ(run.status, 0) << run.err;
    expectPrinted(run.out, page);
}

std::vector<JobCase> jobCases()
{
    std::vector<JobCase> cases;
    // Both monochrome paths, fixed and variable length, every rotation; 570
    // dots leave fill bits on every row.
    for (int model : {kGraphicsModel, kRasterModel})
        for (int32_t pageType : {0, 1})
            for (int32_t rotation = 0; rotation < 4; ++rotation)
                cases.push_back({.name = std::string(model == kRasterModel ? "Gsv0" : "GsL") +
                                         (pageType == 0 ? "_Var_R" : "_Fixed_R") + std::to_string(rotation),
                                 .model = model, .rotation = rotation, .pageType = pageType, .width = 570,
                                 .height = 90});
    const JobCase more[] = {
        {.name = "NoRotationOption", .rotation = -1, .pageType = 0},
        {.name = "Gsv0ColorModel0", .model = kRasterModel, .rotation = 1, .pageType = 0, .colorModel = 0},
        {.name = "Gsv0Third", .model = kRasterModel, .pageSize = 96, .rotation = 3, .pageType = 0, .height = 300},
        {.name = "ThirdRotation3Variable640", .pageSize = 96, .rotation = 3, .pageType = 0, .width = 640},
        {.name = "HalfRotation3Variable", .pageSize = 101, .rotation = 3, .pageType = 0},
        {.name = "Focus2Rotation3Variable", .pageSize = 101, .rotation = 3, .pageType = 0, .focusArea = 2,
         .height = 1300},
        {.name = "Compressed", .model = kCompressModel, .compPrinting = 1, .height = 500},
        {.name = "CompressedRotated", .model = kCompressModel, .rotation = 1, .pageType = 0, .compPrinting = 1},
        {.name = "Reduction50", .model = kReductionModel, .paperReduction = 50, .height = 300},
        {.name = "Reduction33Rotated", .model = kReductionModel, .rotation = 3, .pageType = 0, .paperReduction = 33},
        {.name = "Reduction100", .model = kReductionModel, .paperReduction = 100, .width = 570},
        {.name = "ReductionAfterHalving", .model = kReductionModel, .pageSize = 101, .paperReduction = 70,
         .height = 400},
        // Two-color pages: the encoder reads the header's bytes per line as a
        // whole raster line or a plane row by the page's Scale and Rotation.
        {.name = "TwoColor", .colorModel = 0},
        {.name = "TwoColorRotation1", .rotation = 1, .colorModel = 0, .height = 100},
        {.name = "TwoColorRotation2", .rotation = 2, .colorModel = 0, .width = 570},
        {.name = "TwoColorRotation3", .rotation = 3, .colorModel = 0, .width = 570, .height = 100},
        {.name = "TwoColorNoRotationOption", .rotation = -1, .colorModel = 0},
        {.name = "TwoColorVariableLength", .pageType = 0, .colorModel = 0, .height = 90},
        {.name = "TwoColorThird", .pageSize = 96, .colorModel = 0, .height = 999},
        {.name = "TwoColorHalfRotation3Focus2", .pageSize = 101, .rotation = 3, .focusArea = 2, .colorModel = 0,
         .height = 1100},
    };
    cases.insert(cases.end(), std::begin(more), std::end(more));
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Jobs, PrintJob, testing::ValuesIn(jobCases()),
                         [](const auto& info) { return info.param.name; });

// Pages of different sizes in one job print as each would alone: the job's
// buffers serve them all. The first page keeps no row once halved in the
// monochrome pipeline: nothing is sent for it, nothing divides by zero, and
// the page still counts.
TEST(PrintJobs, PagesOfGrowingSizesPrintAsAlone)
{
    for (int32_t colorModel : {1, 0}) {
        SCOPED_TRACE(colorModel);
        const JobCase c{.name = "Growing", .pageSize = 101, .rotation = 3, .focusArea = 1, .colorModel = colorModel};
        const uint32_t sizes[][2] = {{575, 1}, {575, 1200}, {1000, 40}, {575, 3}};
        std::vector<TestPage> pages;
        std::string alone = kJobStart;
        uint32_t seed = 50;
        for (const auto& [width, height] : sizes) {
            const JobPage page = jobPage(c, width, height, ++seed);
            const FilterRun run = runJob(c, {page.page});
            expectPrinted(run.out, page);
            alone += run.out.substr(kJobStart.size());
            pages.push_back(page.page);
        }
        const FilterRun run = runJob(c, pages);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out == alone) << dumpCommands(parseCommands(run.out)) << "---\n"
                                      << dumpCommands(parseCommands(alone));
        EXPECT_NE(run.err.find("PELTRIN DEBUG MSG: PAGE: 4 1\n"), std::string::npos);
    }
}

} // namespace
