// Monochrome raster commands: the path choice, the exact bytes of each path,
// band boundaries, the run-length coder, round trips through the decoder and
// the printer's 16-bit size fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/gray_encoder.h"
#include "preview/dump.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Runs of 00, FF and other bytes, short and long, so every coder case occurs.
Bytes randomPage(std::size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes page;
    while (page.size() < size) {
        const uint32_t pick = rng() % 3;
        const std::size_t run = rng() % 2 ? rng() % 4 + 1 : rng() % 600 + 1;
        const uint8_t value = pick == 0 ? 0x00 : pick == 1 ? 0xFF : static_cast<uint8_t>(rng() % 254 + 1);
        page.insert(page.end(), std::min(run, size - page.size()), value);
    }
    return page;
}

// n - 1 copies of `run`, then `last`.
Bytes runThen(std::size_t n, uint8_t run, uint8_t last)
{
    Bytes b(n, run);
    b.back() = last;
    return b;
}

TEST(CompressData, CodesRunsOfZeroAndFullBytes)
{
    struct Case {
        const char* name;
        std::vector<Bytes> blocks; // coded one after another
        const char* out;
    };
    const Case cases[] = {
        {"worked example", {fromHex("00 00 00 41 FF 42")}, "00 03 41 FF 01 42"},
        {"empty block", {{}}, ""},
        {"other bytes unchanged", {fromHex("01 7F 80 FE 08")}, "01 7F 80 FE 08"},
        {"lone bytes grow to two", {fromHex("00 FF 00 FF")}, "00 01 FF 01 00 01 FF 01"},
        {"255 zeros are one run", {Bytes(255, 0)}, "00 FF"},
        {"256 zeros split 255 + 1", {Bytes(256, 0)}, "00 FF 00 01"},
        {"300 zeros split 255 + 45", {Bytes(300, 0)}, "00 FF 00 2D"},
        {"510 FF split 255 + 255", {Bytes(510, 0xFF)}, "FF FF FF FF"},
        {"zero run meets FF run", {fromHex("00 00 00 FF FF")}, "00 03 FF 02"},
        {"block ends inside an FF run", {fromHex("41 FF FF FF")}, "41 FF 03"},
        {"run of 255 then another byte", {runThen(256, 0xFF, 0x41)}, "FF FF 41"},
        {"a run never spans two blocks", {fromHex("FF FF FF"), fromHex("FF FF")}, "FF 03 FF 02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(29);
        for (const Bytes& block : c.blocks)
            EXPECT_EQ(CompressData(cap.printer, block), block.size());
        EXPECT_EQ(hexBytes(cap.out()), c.out);
    }
}

TEST(CompressData, RandomBlocksCodeGreedilyAndDecompressToThemselves)
{
    const Bytes source = randomPage(30000, 1);
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        // Blocks of any length at any offset (so at any alignment).
        const Bytes block(source.begin() + seed * 131 % 4099, source.begin() + seed * 131 % 4099 + seed * 397);
        JobCapture cap(29);
        CompressData(cap.printer, block);
        const std::string out = cap.out();
        const Bytes coded(out.begin(), out.end());
        EXPECT_EQ(decompressRuns(coded), block) << "seed " << seed;
        auto marker = [&](std::size_t i) { return coded[i] == 0x00 || coded[i] == 0xFF; };
        for (std::size_t i = 0; i + 2 < coded.size(); i += marker(i) ? 2 : 1)
            EXPECT_FALSE(marker(i) && coded[i + 1] < 255 && coded[i + 2] == coded[i]) << "run cut short at " << i;
    }
}

TEST(PrintGrayPage, ChoosesThePathByModelAndCompPrinting)
{
    struct Case {
        const char* name;
        int32_t model, compPrinting;
        const char *log, *out;
    };
    const char* gsv0 = "1D 76 30 00 02 00 02 00 00 00 41 FF";
    const char* rle = "08 43 52 00 00 00 00 00 10 00 02 00 00 02 41 FF 01 08 43 52 FF 00";
    const char* gsl = "1D 28 4C 0E 00 30 70 30 01 01 31 10 00 02 00 00 00 41 FF 1D 28 4C 02 00 30 32";
    const Case cases[] = {
        {"gsv0 model ignores compPrinting -1", 13, -1, "", gsv0},
        {"gsv0 model ignores compPrinting 1", 52, 1, "", gsv0},
        {"gsv0 model ignores compPrinting 0", 13, 0, "", gsv0},
        {"compOption model, compPrinting 1", 29, 1, "RLE printing.\n", rle},
        {"compOption model, compPrinting 0", 29, 0, "Normal printing.\n", gsl},
        {"compOption model, compPrinting 2", 29, 2, "", ""},
        {"compOption model, compPrinting -1", 29, -1, "", ""},
        {"no compOption, compPrinting 1", 1, 1, "", ""},
        {"no compOption, compPrinting 0", 1, 0, "Normal printing.\n", gsl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(c.model);
        // Two rows of 16 dots: 00 00 / 41 FF.
        EXPECT_EQ(printGrayPage(cap.job, fromHex("00 00 41 FF"), headerOf(16, 2, 2), c.compPrinting), 0);
        EXPECT_EQ(hexBytes(cap.out()), c.out);
        EXPECT_EQ(cap.log(), c.log);
    }
}

TEST(PrintGrayPage, BandsSixteenBitSplitsAndRefusals)
{
    struct Case {
        const char* name;
        int32_t model, compPrinting;
        uint32_t width, height, bytesPerLine;
        const char* commands;
        const char* log;      // "ERROR: " stands for one line refusing the page
        std::size_t missing = 0; // page bytes short of the header's
    };
    const char *N = "Normal printing.\n", *R = "RLE printing.\n", *E = "ERROR: ";
    const Case cases[] = {
        {"graphics 255 rows: one store", 29, 0, 24, 255, 3, "K255 P", N},
        {"graphics 256 rows: 70-row bands and 46", 29, 0, 24, 256, 3, "K70 P K70 P K70 P K46 P", N},
        {"graphics 280 rows: nothing after the last band", 29, 0, 24, 280, 3, "K70 P K70 P K70 P K70 P", N},
        {"graphics 1 row", 1, 0, 24, 1, 3, "K1 P", N},
        {"RLE 246 rows: one band", 29, 1, 24, 246, 3, "B246", R},
        {"RLE 247 rows: 246 and 1", 29, 1, 24, 247, 3, "B246 B1", R},
        {"RLE 492 rows: two full bands", 29, 1, 24, 492, 3, "B246 B246", R},
        {"RLE model 33, 130 rows", 33, 1, 24, 130, 3, "B64 B64 B2", R},
        {"RLE model 40, 25 rows of 7 bytes", 40, 1, 56, 25, 7, "B10 B10 B5", R},
        {"RLE model 116, 10 rows", 116, 1, 24, 10, 3, "B10", R},
        {"RLE model 81, 20 rows of 1 byte", 81, 1, 8, 20, 1, "B10 B10", R},
        // A store's size field counts its data + 10 bytes in 16 bits.
        {"255 rows of 256 bytes fit one store", 29, 0, 2048, 255, 256, "K255 P", N},
        {"255 rows of 300 bytes: 65525 / 300 = 218 per store", 29, 0, 2400, 255, 300, "K218 P K37 P", N},
        {"70-row bands of 936 bytes fit", 1, 0, 7488, 280, 936, "K70 P K70 P K70 P K70 P", N},
        {"70-row bands of 937 bytes: 69 + 1", 1, 0, 7496, 256, 937, "K69 P K1 P K69 P K1 P K69 P K1 P K46 P", N},
        {"widest rows (65528 dots): 7 per store", 1, 0, 65528, 20, 8191, "K7 P K7 P K6 P", N},
        {"GS v 0 of 65537 rows", 13, 0, 8, 65537, 1, "V65535 V2", ""},
        {"GS v 0 of 65535 rows", 13, 0, 8, 65535, 1, "V65535", ""},
        {"GS v 0 row of 65535 bytes", 13, 0, 524280, 2, 65535, "V2", ""},
        {"RLE rows of 8191 bytes", 29, 1, 65528, 2, 8191, "B2", R},
        // Nothing to send, or rows no command can hold.
        {"graphics, no rows", 29, 0, 32, 0, 4, "", N},
        {"graphics, no bytes per line", 29, 0, 32, 5, 0, "", N},
        {"RLE, no rows", 29, 1, 32, 0, 4, "", R},
        {"RLE, no bytes per line", 40, 1, 32, 5, 0, "", R},
        {"GS v 0, no rows", 13, 0, 32, 0, 4, "", ""},
        {"GS v 0, no bytes per line", 13, 0, 32, 5, 0, "", ""},
        {"graphics store wider than 65535 dots", 29, 0, 65536, 2, 8192, "", E},
        {"graphics store row of 65526 bytes", 1, 0, 8 * 65526 / 16, 1, 65526, "", E},
        {"GS v 0 row of 65536 bytes", 13, 0, 65535, 1, 65536, "", E},
        {"compressed band wider than 65535 dots", 29, 1, 65536, 3, 8192, "", E},
        {"page span shorter than the header", 29, 0, 16, 3, 2, "", E, 1},
        {"GS v 0 span shorter than the header", 13, 0, 16, 3, 2, "", E, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool refused = c.log == E;
        const Bytes page = randomPage(std::size_t{c.height} * c.bytesPerLine - c.missing, c.height + c.bytesPerLine);
        JobCapture cap(c.model);
        cap.job.Rotation = 1; // the GS v 0 trailing-row scan runs on empty pages only
        cap.job.PageType = page.empty() ? 0 : 1;
        EXPECT_EQ(printGrayPage(cap.job, page, headerOf(c.width, c.height, c.bytesPerLine), c.compPrinting), refused);
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(commandShape(commands), c.commands);
        EXPECT_TRUE(refused || printedMonochrome(commands).data == page);
        const std::string log = cap.log();
        if (refused)
            EXPECT_TRUE(log.starts_with(E) && std::count(log.begin(), log.end(), '\n') == 1) << log;
        else
            EXPECT_EQ(log, c.log);
    }
}

TEST(PrintGrayPage, WholePageDropsTrailingBlankRowsOfTurnedVariablePages)
{
    struct Case {
        const char* name;
        int32_t pageType, rotation;
        const char* page; // 4 rows of 3 bytes
        uint32_t rows;    // sent
    };
    const char* page = "12 34 56  80 00 00  00 00 00  00 00 00"; // the second row ends in zero bytes and stays
    const char* blank = "00 00 00  00 00 00  00 00 00  00 00 00";
    const Case cases[] = {
        {"PageType 0, Rotation 1", 0, 1, page, 2},
        {"PageType 0, Rotation 3", 0, 3, page, 2},
        {"PageType 0, Rotation 0", 0, 0, page, 4},
        {"PageType 0, Rotation 2", 0, 2, page, 4},
        {"PageType 1, Rotation 1", 1, 1, page, 4},
        {"PageType -1, Rotation 3", -1, 3, page, 4},
        {"blank throughout after the drop: nothing sent", 0, 1, blank, 0},
        {"blank page without the drop goes out whole", 0, 0, blank, 4},
        {"last byte of the page set keeps every row", 0, 3, "00 00 00  00 00 00  00 00 00  00 00 01", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(13);
        cap.job.PageType = c.pageType;
        cap.job.Rotation = c.rotation;
        const Bytes bytes = fromHex(c.page);
        ASSERT_EQ(printGrayPage(cap.job, bytes, headerOf(24, 4, 3), 0), 0);
        const std::string sent(bytes.begin(), bytes.begin() + 3 * c.rows);
        EXPECT_EQ(hexBytes(cap.out()), c.rows == 0 ? "" : hexBytes(bytesOf({0x1D, 0x76, 0x30, 0, 3, 0, int(c.rows), 0}) + sent));
        EXPECT_EQ(cap.log(), "");
    }
}

} // namespace
