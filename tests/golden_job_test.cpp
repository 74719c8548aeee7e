// Whole jobs through the real executable against golden files: the exact
// printer bytes (tests/golden/<case>.hex) and the exact log
// (tests/golden/<case>.log) of one small job per raster path, band
// boundary and logo form. Each case is named after what it pins down.
//
// PELTRIN_UPDATE_GOLDEN=1 rewrites the files from the current filter; review
// the difference before committing it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

#ifndef PELTRIN_GOLDEN_DIR
#error "PELTRIN_GOLDEN_DIR must name the golden files' folder"
#endif

namespace {

struct GoldenCase {
    const char* name;
    int model;
    const char* options;
    uint32_t width;
    uint32_t height;
    bool twoColor = false;
};

// A page with scattered dots, runs of 00 and FF and, on taller pages, blank
// rows at both ends; the same for every run. Bits past the width are zero,
// as a raster from CUPS has them.
TestPage patternPage(const GoldenCase& c)
{
    cups_page_header_t header = c.twoColor ? twoColorHeader(c.width, c.height) : monoHeader(c.width, c.height);
    const uint32_t b = header.cupsBytesPerLine;
    const uint32_t bandBytes = (c.width + 7) / 8;
    const uint8_t lastByteMask = static_cast<uint8_t>(0xFF << ((8 - c.width % 8) % 8));
    const uint32_t margin = std::min<uint32_t>(2, c.height / 4);
    std::vector<uint8_t> pixels(std::size_t{c.height} * b, 0);
    for (uint32_t r = margin; r + margin < c.height; ++r) {
        for (uint32_t i = 0; i < b; ++i) {
            uint32_t x = (r * 2654435761u) ^ (i * 40503u + 0x9E37u);
            x ^= x >> 13;
            uint8_t v = (r / 5) % 3 == 1 ? 0xFF : (x % 3 == 0 ? static_cast<uint8_t>(x >> 7) : 0);
            if (i % bandBytes == bandBytes - 1)
                v &= lastByteMask;
            pixels[std::size_t{r} * b + i] = v;
        }
    }
    return TestPage{header, pixels};
}

std::string hexLines(const std::string& bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 32)
        out += hexBytes(bytes.substr(i, 32)) + "\n";
    return out;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class GoldenJob : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenJob, PrinterBytesAndLogAreExact)
{
    const GoldenCase& c = GetParam();
    const std::string ppd = writeTempFile(std::string("golden-") + c.name + ".ppd", TestPpd::full(c.model).text());
    FilterRun run = runFilter(rasterJob(ppd, c.options, rasterStream({patternPage(c)})));
    ASSERT_EQ(run.signal, 0);

    // The log names the temporary PPD nowhere; only the buffer addresses of
    // the reduction lines change from run to run.
    std::string log = run.err;
    for (std::size_t at = log.find("0x"); at != std::string::npos; at = log.find("0x", at + 1)) {
        std::size_t end = log.find('\n', at);
        log.replace(at, end - at, "ADDRESS");
    }
    const std::string base = std::string(PELTRIN_GOLDEN_DIR) + "/" + c.name;
    const std::string out = hexLines(run.out) + "exit " + std::to_string(run.status) + "\n";
    if (std::getenv("PELTRIN_UPDATE_GOLDEN") != nullptr) {
        writeFile(base + ".hex", out);
        writeFile(base + ".log", log);
    }
    EXPECT_EQ(out, readFile(base + ".hex"));
    EXPECT_EQ(log, readFile(base + ".log"));
}

const GoldenCase kCases[] = {
    {"GraphicsStore255RowsOneStore", 1, "PageType=1", 16, 255},
    {"GraphicsStore256RowsThreeBandsAndRest", 1, "PageType=1", 16, 256},
    {"GraphicsStore280RowsFourBandsNothingAfter", 1, "PageType=1", 16, 280},
    {"GraphicsStoreTrimmedVariablePage", 30, "PageType=0 PageCut=2", 24, 20},
    {"RasterImageRotated90DropsTrailingBlankRows", 13, "PageType=0 Rotation=1 PageCut=1", 20, 12},
    {"RasterImageRotated270KeepsPageColumns", 13, "PageType=1 Rotation=3", 13, 9},
    {"RasterImageRotated180", 13, "PageType=1 Rotation=2", 16, 6},
    {"Compressed246RowsOneBand", 30, "PageType=1 CompPrinting=1", 8, 246},
    {"Compressed247RowsTwoBands", 30, "PageType=1 CompPrinting=1", 8, 247},
    {"Compressed64RowBandsOnModel33", 33, "PageType=1", 16, 130},
    {"Compressed10RowBandsOnModel40", 40, "PageType=1 CompPrinting=1", 8, 25},
    {"CompPrinting2SendsNoRaster", 30, "PageType=1 CompPrinting=2 PageCut=1", 8, 4},
    {"LogoFspAroundPageWithLineFeeds", 1,
     "PageType=1 LogoPosition=3 LogoJustification=1 LogoImage=0 LogoWidth=0 LineFeed=3", 8, 2},
    {"LogoNvBase49BeforePage", 40, "PageType=1 LogoPosition=1 LogoImage=2 LogoWidth=3", 8, 2},
    {"LogoNvBase48AfterPage", 33, "PageType=1 LogoPosition=2 LogoImage=2 LogoWidth=3", 8, 2},
    {"LogoNvPosition0LogsOnly", 82, "PageType=1 LogoPosition=0 LogoImage=1 LogoWidth=1", 8, 2},
    {"LogoNvOutOfRangeLeftOut", 82, "PageType=1 LogoPosition=1 LogoImage=3 LogoWidth=4", 8, 2},
    {"LogoPositionOutOfRangeSendsNothing", 1, "PageType=1 LogoPosition=4 PageCut=1", 8, 2},
    {"DownscaleThirdOnModel30", 30, "PageType=1 PageSize=96", 48, 9},
    {"DownscaleHalfFocusCenterRotated", 31, "PageType=1 PageSize=101 Rotation=1 FocusArea=2 CompPrinting=1", 16, 1100},
    {"ReductionHalfOnModel86", 86, "PageType=1 PaperReduction=Custom.50", 16, 10},
    {"TwoColor255RowsOnePrint", 1, "PageType=1 ColorModel=0", 8, 255, true},
    {"TwoColor280RowsEmptyRemainderStores", 1, "PageType=1 ColorModel=0", 8, 280, true},
    {"TwoColor300RowsRemainder20", 1, "PageType=1 ColorModel=0", 8, 300, true},
    {"TwoColorHalfRotated", 1, "PageType=1 ColorModel=0 PageSize=101 Rotation=1", 16, 20, true},
    {"ColorModel0OnMonochromeModelPrintsMonochrome", 13, "PageType=1 ColorModel=0", 16, 4},
    {"DrawerKicksAndEjectAroundPage", 259,
     "PageType=1 CashDrawer=3 CashDrawerOpen=2 CashDrawer1PulseWidth=101 EjectOption=5 PageCut=4", 8, 2},
    {"LabelFormFeedOnModel92", 92, "PageType=1 LabelPrinting=1", 8, 2},
    {"FourFeedsOnModel83", 83, "PageType=1", 8, 2},
};

INSTANTIATE_TEST_SUITE_P(Jobs, GoldenJob, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

} // namespace
