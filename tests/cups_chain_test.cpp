// Documents through the real CUPS chain: cupsfilter runs pdftopdf, the
// rasterizer and this build's filters with the PPDs the build made; the
// printer bytes are decoded and the printed picture checked against the
// document.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

namespace {

const std::string kSamples = PELTRIN_SAMPLES_DIR;

// A document of the samples folder, or any file by its absolute path.
FilterRun cupsfilter(int model, const std::string& document, const std::vector<std::string>& options,
                     int copies = 1)
{
    static const std::string conf = cupsFilesConf(cupsWorkFolder());
    std::vector<std::string> args{"-c", conf, "-p", builtPpd(model), "-m", "printer/peltrin", "-e", "-n",
                                  std::to_string(copies)};
    for (const std::string& o : options) {
        args.push_back("-o");
        args.push_back(o);
    }
    args.push_back(document.starts_with("/") ? document : kSamples + "/" + document);
    return runProgram("cupsfilter", args);
}

struct Job {
    const char* name;
    int model;
    const char* document;
    std::vector<std::string> options;
    Printout printout;
    std::string ending; // the last printer bytes, when given
};

// On each model's default settings the page is 297 mm long (2374 rows):
// CUPS's test page fills it, its frame along the edges; an A4 letter is
// shrunk to the roll's width, and a letter laid out on the default page
// prints at that size, each with its header at the top and its footer at
// the bottom. The receipt (320 pt = 901 dots tall, ink from 15 dots below
// the top) prints at its own size, trimmed to its ink. The long receipt
// (3118 pt = 8791 dots, bars at both edges) prints whole at its own size on
// any page size (PDF documents do not go through pdftopdf, which would
// shrink it to the page size).
TEST(CupsChain, DocumentsPrintWholeAtTheirSize)
{
    const std::string testPage = "/usr/share/cups/data/testprint";
    const Job jobs[] = {
        {"test page, graphics stores", 1, testPage.c_str(), {}, {576, 2300, 2374, 8}, {}},
        {"test page, two-color model", 30, testPage.c_str(), {}, {576, 2300, 2374, 8}, {}},
        {"test page, 58 mm mobile printer", 10, testPage.c_str(), {}, {384, 2300, 2374, 8}, {}},
        {"A4 letter", 1, "letter.pdf", {}, {576, 740, 780, 40}, {}},
        {"A4 letter, two-color model", 30, "letter.pdf", {}, {576, 740, 780, 40}, {}},
        {"letter laid out on the default page", 30, "letter.ps", {}, {576, 2250, 2374, 40}, {}},
        {"receipt, graphics stores, cut", 1, "receipt.pdf", {}, {576, 700, 760, 0},
         bytesFromHex("30 32 1D 56 41 01")},
        {"receipt, compressed bands", 30, "receipt.pdf", {}, {576, 700, 760, 0},
         bytesFromHex("0A 0A 1D 56 41 01")},
        {"receipt, GS v 0, cut at the job's end", 13, "receipt.pdf", {"PageCut=3"}, {576, 700, 760, 0},
         bytesFromHex("0A 1D 56 41 01")},
        {"receipt on 58 mm paper, mobile printer", 10, "receipt.pdf", {}, {384, 400, 760, 0}, bytesFromHex("0A 0A")},
        {"long receipt, default page size", 1, "long-receipt.pdf", {}, {576, 8785, 8792, 4}, {}},
        {"long receipt, long-receipt size", 1, "long-receipt.pdf", {"PageSize=802"}, {576, 8785, 8792, 4}, {}},
        {"long receipt, long-receipt size, two-color model", 30, "long-receipt.pdf", {"PageSize=802"},
         {576, 8785, 8792, 4}, bytesFromHex("0A 0A 1D 56 41 01")},
        {"long receipt, custom length", 1, "long-receipt.pdf", {"PageSize=Custom.80x1100mm"}, {576, 8785, 8792, 4},
         {}},
    };
    for (const Job& job : jobs) {
        SCOPED_TRACE(job.name);
        const FilterRun run = cupsfilter(job.model, job.document, job.options);
        ASSERT_EQ(run.status, 0) << run.err.substr(0, 4000);
        EXPECT_NE(run.err.find("INFO: Ready to print."), std::string::npos);
        EXPECT_EQ(printoutDifferences(printedMonochrome(parseCommands(run.out)), job.printout), "");
        EXPECT_TRUE(run.out.ends_with(job.ending))
            << hexBytes(run.out.substr(run.out.size() - std::min<std::size_t>(run.out.size(), 12)));
    }
}

// The copies of a PDF document are made by pdftoPeltrin, page by page.
TEST(CupsChain, CopiesArePrintedPageByPage)
{
    const FilterRun one = cupsfilter(30, "receipt.pdf", {"PageCut=1"});
    const FilterRun three = cupsfilter(30, "receipt.pdf", {"PageCut=1"}, 3);
    ASSERT_EQ(three.status, 0) << three.err.substr(0, 4000);
    EXPECT_NE(three.err.find("PAGE: 3 1\n"), std::string::npos);
    // ESC @, then the same page and cut three times.
    const std::string page = one.out.substr(2);
    EXPECT_TRUE(three.out == one.out.substr(0, 2) + page + page + page);
}

// Pure black prints in black only and pure red in the second color only:
// the two-color sample has a black box at the left and a red box at the
// right (80 x 80 pt each, 100 pt below the top of the ink); the picture is
// the same page at half the printer's resolution.
TEST(CupsChain, BlackAndRedGoToTheirOwnPlanes)
{
    const std::pair<int, const char*> jobs[] = {{30, "two-color.pdf"}, {1, "two-color.pdf"}, {30, "two-color.png"}};
    for (const auto& [model, document] : jobs) {
        SCOPED_TRACE(std::to_string(model) + " " + document);
        const FilterRun run = cupsfilter(model, document, {"ColorModel=0"});
        ASSERT_EQ(run.status, 0) << run.err.substr(0, 4000);
        const PrintedPlanes planes = printedPlanes(parseCommands(run.out));
        ASSERT_EQ(planes.black.width, 576u);
        ASSERT_EQ(planes.color.rows, planes.black.rows);
        ASSERT_GT(planes.black.rows, 400u);
        // Rows through the middle of the boxes: black box over columns
        // 28..253, red box over 321..546.
        const uint32_t middle = (182 - 100) * 203 / 72;
        for (uint32_t row : {middle - 60, middle, middle + 60}) {
            EXPECT_EQ(dotsIn(planes.black, row, 40, 240), 200u) << row;
            EXPECT_EQ(dotsIn(planes.black, row, 330, 540), 0u) << row;
            EXPECT_EQ(dotsIn(planes.color, row, 40, 240), 0u) << row;
            EXPECT_EQ(dotsIn(planes.color, row, 330, 540), 210u) << row;
        }
    }
}

} // namespace
