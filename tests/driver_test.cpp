// The job driver through the real executable: arguments, job kinds, the page
// loop, status lines, exit status and the refusal of unprintable pages.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

const std::string kVersion = "PELTRIN DEBUG MSG : drive version v1.4.8\n";
const std::string kDrawerDefaults = "PELTRIN DEBUG MSG : cashDrawer = 0\n"
                                    "PELTRIN DEBUG MSG : cashDrawerOpen = 3\n"
                                    "PELTRIN DEBUG MSG : cashDrawer1PulseWidth = 100\n"
                                    "PELTRIN DEBUG MSG : cashDrawer2PulseWidth = 200\n";
// The status line that follows always begins a line of its own.
const std::string kClose = "PELTRIN DEBUG MSG: fail_job Start\n";

std::string ppdFor(int model)
{
    return writeTempFile("driver-" + std::to_string(model) + ".ppd", TestPpd::full(model).text());
}

// Log lines of one page that the driver reads (heights before and after the trim).
std::string pageLines(int before, int result, int after, int number = 0)
{
    std::string s = "PELTRIN_DEBUG : cupsHeight = " + std::to_string(before) + "\n" +
                    "PELTRIN_DEBUG_MSG : removeNullLine return = " + std::to_string(result) + "\n" +
                    "PELTRIN_DEBUG : cupsHeight = " + std::to_string(after) + "\n";
    if (number > 0)
        s += "PELTRIN DEBUG MSG: PAGE: " + std::to_string(number) + " 1\n"
             "PAGE: " + std::to_string(number) + " 1\n";
    return s;
}

std::vector<uint8_t> rowsWithDot(uint32_t h, uint32_t b, std::initializer_list<uint32_t> dotRows)
{
    std::vector<uint8_t> pixels(h * b, 0);
    for (uint32_t r : dotRows)
        pixels[r * b] = 0x80;
    return pixels;
}

TEST(Driver, WrongArgumentCountPrintsUsage)
{
    for (int count : {0, 4, 7 + 1}) {
        FilterInvocation inv;
        for (int i = 0; i < count; ++i)
            inv.args.push_back("x");
        FilterRun run = runFilter(inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, kVersion + "PELTRIN DEBUG MSG: rastertoPeltrin job-id user title copies options [file]\n");
    }
}

TEST(Driver, InputFileThatDoesNotOpen)
{
    FilterRun run = runFilter({{"1", "u", "t", "1", "", "/nonexistent/job"}, ppdFor(1), ""});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kVersion + "PELTRIN DEBUG MSG : argv[6] = /nonexistent/job.\n"
                                  "PELTRIN DEBUG MSG: Unable to open raster file - : No such file or directory\n");
}

TEST(Driver, UnsupportedModelIsRefused)
{
    for (int model : {0, 2, 100, 290, 328}) {
        FilterRun run = runFilter(rasterJob(ppdFor(model), "", rasterStream({monoPage(8, 1, {0xFF})})));
        EXPECT_EQ(run.status, 1) << model;
        EXPECT_EQ(run.out, "") << model;
        EXPECT_EQ(run.err, kVersion + kDrawerDefaults +
                               "PELTRIN DEBUG MSG : This printer is not PELTRIN's printer.\n" + kClose +
                               "ERROR: No pages found!\n");
    }
}

TEST(Driver, PpdThatCannotBeOpenedRefusesTheJob)
{
    FilterInvocation inv = rasterJob("/nonexistent.ppd", "", rasterStream({monoPage(8, 1, {0xFF})}));
    FilterRun run = runFilter(inv);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with(kVersion + "ERROR: Unable to open PPD file /nonexistent.ppd")) << run.err;
    EXPECT_TRUE(run.err.ends_with("PELTRIN DEBUG MSG : This printer is not PELTRIN's printer.\n" + kClose +
                                  "ERROR: No pages found!\n"));
    inv.ppd.reset();
    run = runFilter(inv);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ERROR: No PPD file"), std::string::npos);
}

// Model 1 has only the two-color path: ColorModel 2 sends no image, so the
// driver's own lines are the whole log.
TEST(Driver, PageLoopCountsTrimsAndSkipsBlankPages)
{
    std::vector<TestPage> pages{
        monoPage(16, 5, rowsWithDot(5, 2, {1, 3})), // trimmed to 3 rows
        monoPage(16, 4, rowsWithDot(4, 2, {})),     // blank: skipped, not counted
        monoPage(8, 2, rowsWithDot(2, 1, {0, 1})),  // whole
    };
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", rasterStream(pages)));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, kVersion + kDrawerDefaults + "PELTRIN DEBUG MSG: The Printer Model is : 1\n" +
                           pageLines(5, 0, 3, 1) + "PELTRIN_DEBUG : cupsHeight = 4\n"
                           "PELTRIN DEBUG MSG : removeNullLine() NULLPAGE\n"
                           "PELTRIN_DEBUG_MSG : removeNullLine return = -1\n"
                           "PELTRIN_DEBUG : cupsHeight = 4\n" + pageLines(2, 0, 2, 2) + kClose +
                           "INFO: Ready to print.\n")
        << run.err;
}

TEST(Driver, AllBlankJobFindsNoPages)
{
    std::vector<TestPage> pages{monoPage(16, 3, {}), monoPage(16, 3, {})};
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", rasterStream(pages)));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.ends_with(kClose + "ERROR: No pages found!\n"));
    EXPECT_EQ(run.err.find("PAGE:"), std::string::npos);
}

TEST(Driver, EmptyOrTruncatedStreamEndsTheJob)
{
    FilterRun empty = runFilter(rasterJob(ppdFor(1), "", ""));
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(empty.err.ends_with("PELTRIN DEBUG MSG: The Printer Model is : 1\n" + kClose +
                                    "ERROR: No pages found!\n"));

    std::vector<TestPage> pages{monoPage(8, 2, {1, 1}), monoPage(8, 4, {1, 1, 1, 1})};
    pages[1].writtenBytes = 2;
    FilterRun truncated = runFilter(rasterJob(ppdFor(1), "ColorModel=2 PageType=1", rasterStream(pages)));
    EXPECT_EQ(truncated.status, 0);
    EXPECT_TRUE(truncated.err.ends_with(pageLines(2, 0, 2, 1) + "PELTRIN_DEBUG : cupsHeight = 4\n"
                                        "PELTRIN DEBUG MSG : removeNullLine() NULLIMAGE2\n" +
                                        "PELTRIN_DEBUG_MSG : removeNullLine return = -2\n"
                                        "PELTRIN_DEBUG : cupsHeight = 4\n" +
                                        kClose + "INFO: Ready to print.\n"))
        << truncated.err;
}

TEST(Driver, ZeroHeightHeaderEndsTheJobThere)
{
    std::vector<TestPage> pages{monoPage(8, 1, {1}), monoPage(8, 1, {1}), monoPage(8, 1, {1})};
    std::string stream = rasterStream(pages);
    patchHeaderField(stream, pages, 1, &cups_page_header_t::cupsHeight, 0);
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", stream));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.err.ends_with(pageLines(1, 0, 1, 1) + kClose + "INFO: Ready to print.\n")) << run.err;
}

TEST(Driver, MarkerJobReadsNoInput)
{
    std::string input = rasterStream({monoPage(8, 1, {1})});
    struct Case {
        std::vector<std::string> args;
    } cases[] = {
        {{"1", "u", "PELTRIN_API_MODE", "1", ""}},
        {{"1", "u", "PELTRIN_API_MODE status query", "1", ""}},
        {{"1", "u", "PELTRIN_API_MODE", "1", "", writeTempFile("marker.txt", "never read")}},
    };
    for (const Case& c : cases) {
        FilterRun run = runFilter({c.args, ppdFor(1), input});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.ends_with("PELTRIN DEBUG MSG: The Printer Model is : 1\nERROR: No pages found!\n"))
            << run.err;
        EXPECT_EQ(run.err.find("cupsHeight"), std::string::npos);
    }
    // Fifteen characters of the marker are an ordinary title.
    FilterRun run = runFilter({{"1", "u", "PELTRIN_API_MOD", "1", "ColorModel=2"}, ppdFor(1), input});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("PAGE: 1 1"), std::string::npos);
}

TEST(Driver, TextJobEndsWithoutStatusLine)
{
    FilterRun run = runFilter({{"1", "u", "receipt", "1", "", writeTempFile("text.txt", "Hello\n")}, ppdFor(1), ""});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err.find("Ready to print"), std::string::npos);
    EXPECT_EQ(run.err.find("No pages found"), std::string::npos);
    EXPECT_EQ(run.err.find("fail_job"), std::string::npos);
}

// A job submitted as CUPS raster reaches its first filter as a named file:
// a file that begins with a raster synchronization word is a raster job, the
// same as the stream on standard input; anything else is a text.
TEST(Driver, NamedFileThatIsRasterIsARasterJob)
{
    const std::string raster = rasterStream({monoPage(16, 3, rowsWithDot(3, 2, {0, 2})), monoPage(8, 1, {0xFF})});
    const FilterRun onStdin = runFilter(rasterJob(ppdFor(30), "PageCut=1", raster));
    ASSERT_EQ(onStdin.status, 0) << onStdin.err;
    struct Case {
        const char* name;
        std::string file;
        std::string input;
        std::size_t piece = 0;
    };
    const Case cases[] = {
        {"raster file", writeTempFile("job.ras", raster), ""},
        {"raster through a pipe in small pieces", "/dev/stdin", raster, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterInvocation job{{"1", "u", "receipt", "1", "PageCut=1", c.file}, ppdFor(30), c.input, c.piece};
        const FilterRun run = runFilter(job);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out == onStdin.out);
        EXPECT_EQ(run.err, kVersion + "PELTRIN DEBUG MSG : argv[6] = " + c.file + ".\n" +
                               onStdin.err.substr(kVersion.size()));
    }
    // Text that only looks like the start of a synchronization word.
    for (const std::string text : {"RaS", "RaSx and more", "RAST"}) {
        const FilterRun run = runFilter({{"1", "u", "t", "1", "", writeTempFile("job.txt", text)}, ppdFor(30), ""});
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out == bytesOf({0x1B, 0x40}) + text) << text;
    }
}

// Headers that cannot be printed are refused with an ERROR: line; the job
// ends through the job close and what came before stays counted.
TEST(Driver, UnprintablePageHeadersAreRefused)
{
    using H = cups_page_header_t;
    struct Case {
        const char* name;
        unsigned H::*field;
        uint32_t value;
        const char* error;
    } cases[] = {
        {"eight bits per pixel", &H::cupsBitsPerPixel, 8, "ERROR: Unsupported page: only 1 bit per pixel"},
        {"bytes per line too short", &H::cupsBytesPerLine, 1, "ERROR: Bad page header: bytes per line"},
        {"bytes per line too long", &H::cupsBytesPerLine, 0x7ffffff0, "ERROR: Bad page header: bytes per line"},
        {"width zero", &H::cupsWidth, 0, "ERROR: Bad page header: bytes per line"},
        {"width past bytes", &H::cupsWidth, 536870913, "ERROR: Bad page header: bytes per line"},
        {"height overflows", &H::cupsHeight, 0xFFFFFFFF, "ERROR: Unsupported page: more than 256 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TestPage> pages{monoPage(16, 1, {0xFF, 0xFF}), monoPage(16, 2, {1, 2, 3, 4})};
        std::string stream = rasterStream(pages);
        patchHeaderField(stream, pages, 1, c.field, c.value);
        FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", stream));
        EXPECT_EQ(run.status, 1);
        std::string tail = run.err.substr(run.err.find(pageLines(1, 0, 1, 1)) + pageLines(1, 0, 1, 1).size());
        EXPECT_TRUE(tail.starts_with(c.error)) << tail;
        EXPECT_TRUE(tail.ends_with("\n" + kClose + "INFO: Ready to print.\n")) << tail;
    }
}

TEST(Driver, WideOrHugePagesAreRefused)
{
    struct Case {
        const char* name;
        uint32_t width, height;
        const char* error;
    } cases[] = {
        {"more than 65535 bytes per line", 65536 * 8, 1, "ERROR: Unsupported page: more than 65535 bytes per line\n"},
        {"more than 256 MiB", 65535 * 8, 5000, "ERROR: Unsupported page: more than 256 MiB of raster data\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestPage page = monoPage(c.width, c.height, {});
        page.writtenBytes = 0;
        FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", rasterStream({page})));
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.ends_with(std::string(c.error) + kClose + "ERROR: No pages found!\n")) << run.err;
    }
}

TEST(Driver, BandedTwoColorLinesAreAccepted)
{
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2",
                                        rasterStream({TestPage{twoColorHeader(576, 1), std::vector<uint8_t>(288, 1)}})));
    EXPECT_EQ(run.status, 0) << run.err;
}

} // namespace

namespace {

// Enumerated header fields hold whatever the stream says.
TEST(Driver, EnumeratedHeaderFieldsOutOfRangeAreReadSafely)
{
    std::vector<TestPage> pages{monoPage(16, 1, {0xFF, 0xFF})};
    std::string stream = rasterStream(pages);
    patchHeaderField(stream, pages, 0, &cups_page_header_t::cupsColorSpace, 0x7FFFFFFF);
    patchHeaderField(stream, pages, 0, &cups_page_header_t::cupsColorOrder, 0x7FFFFFFF);
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2", stream));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.signal, 0);
}

} // namespace

namespace {

// Page sizes whose pages are never turned by a quarter: rotation 1 and 3
// print as rotation 0, rotation 2 still turns the page.
TEST(Driver, QuarterTurnsDroppedForSomePageSizes)
{
    std::string page = rasterStream({monoPage(16, 3, {0xC0, 0, 0, 0, 0, 1})});
    auto run = [&](const std::string& options) {
        return runFilter(rasterJob(ppdFor(13), "PageType=1 " + options, page)).out;
    };
    for (const char* size : {"56", "75", "94", "110", "111", "112", "138", "139"}) {
        SCOPED_TRACE(size);
        const std::string size_ = std::string("PageSize=") + size;
        const std::string unrotated = run(size_ + " Rotation=0");
        EXPECT_EQ(run(size_ + " Rotation=1"), unrotated);
        EXPECT_EQ(run(size_ + " Rotation=3"), unrotated);
        EXPECT_NE(run(size_ + " Rotation=2"), unrotated);
    }
    EXPECT_NE(run("PageSize=1 Rotation=1"), run("PageSize=1 Rotation=0"));
}

// A counted page that no pipeline takes prints nothing but still ends with
// its page-end cut.
TEST(Driver, PageNoPipelineTakesStillGetsItsPageEnd)
{
    FilterRun run = runFilter(rasterJob(ppdFor(1), "ColorModel=2 PageCut=1", rasterStream({monoPage(8, 1, {1})})));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(hexBytes(run.out), "1B 40 1D 56 41 01");
}

} // namespace
