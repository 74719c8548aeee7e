// Monochrome raster commands: the path choice, the exact bytes of each path,
// band boundaries, the run-length coder, round trips through the decoder and
// the printer's 16-bit size fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/gray_encoder.h"
#include "tests/support/command_decoder.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

cups_page_header_t header(uint32_t width, uint32_t height, uint32_t bytesPerLine)
{
    cups_page_header_t h{};
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBytesPerLine = bytesPerLine;
    h.cupsBitsPerPixel = 1;
    return h;
}

// Page bytes with long runs of 00 and FF between other bytes, so every
// coder case occurs.
Bytes randomPage(std::size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes page;
    page.reserve(size);
    while (page.size() < size) {
        const uint32_t pick = rng() % 4;
        const std::size_t run = pick == 3 ? rng() % 600 + 1 : rng() % 4 + 1;
        const uint8_t value = pick == 0 ? 0x00 : pick == 1 ? 0xFF : static_cast<uint8_t>(rng());
        page.insert(page.end(), std::min(run, size - page.size()), value);
    }
    return page;
}

std::string str(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

std::string compress(const Bytes& block)
{
    JobCapture c(29);
    EXPECT_EQ(CompressData(c.printer, block), block.size());
    return c.out();
}

// ---------------------------------------------------------------- coder

struct CoderCase {
    const char* name;
    Bytes in;
    Bytes out;
};

Bytes run(std::size_t n, uint8_t b)
{
    return Bytes(n, b);
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(CompressData, CodesRunsOfZeroAndFullBytes)
{
    const CoderCase cases[] = {
        {"coder example", {0x00, 0x00, 0x00, 0x41, 0xFF, 0x42}, {0x00, 0x03, 0x41, 0xFF, 0x01, 0x42}},
        {"empty block", {}, {}},
        {"other bytes unchanged", {0x01, 0x7F, 0x80, 0xFE, 0x08}, {0x01, 0x7F, 0x80, 0xFE, 0x08}},
        {"lone bytes grow to two", {0x00, 0xFF, 0x00, 0xFF}, {0x00, 0x01, 0xFF, 0x01, 0x00, 0x01, 0xFF, 0x01}},
        {"255 zeros are one run", run(255, 0x00), {0x00, 0xFF}},
        {"256 zeros split 255 + 1", run(256, 0x00), {0x00, 0xFF, 0x00, 0x01}},
        {"300 zeros split 255 + 45", run(300, 0x00), {0x00, 0xFF, 0x00, 0x2D}},
        {"510 FF split 255 + 255", run(510, 0xFF), {0xFF, 0xFF, 0xFF, 0xFF}},
        {"zero run meets FF run", cat({run(3, 0x00), run(2, 0xFF)}), {0x00, 0x03, 0xFF, 0x02}},
        {"block ends inside an FF run", cat({{0x41}, run(3, 0xFF)}), {0x41, 0xFF, 0x03}},
        {"run after 255 then other", cat({run(255, 0xFF), {0x41}}), {0xFF, 0xFF, 0x41}},
    };
    for (const CoderCase& c : cases)
        EXPECT_EQ(hexBytes(compress(c.in)), hexBytes(str(c.out))) << c.name;
}

TEST(CompressData, RunNeverSpansTwoBlocks)
{
    JobCapture c(29);
    CompressData(c.printer, run(3, 0xFF));
    CompressData(c.printer, run(2, 0xFF));
    EXPECT_EQ(hexBytes(c.out()), "FF 03 FF 02");
}

TEST(CompressData, RandomBlocksDecompressToThemselves)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        const Bytes block = randomPage(seed * 397, seed);
        const std::string coded = compress(block);
        const Bytes codedBytes(coded.begin(), coded.end());
        EXPECT_EQ(decompressRuns(codedBytes), block) << "seed " << seed;
        EXPECT_LE(coded.size(), 2 * block.size());
    }
}

// ---------------------------------------------------------------- paths

struct PathCase {
    const char* name;
    int32_t model;
    int32_t compPrinting;
    const char* log;
    const char* out; // hex
};

TEST(PrintGrayPage, ChoosesThePathByModelAndCompPrinting)
{
    // Two rows of two bytes, 16 dots: 00 00 / 41 FF.
    const Bytes page{0x00, 0x00, 0x41, 0xFF};
    const char* gsv0 = "1D 76 30 00 02 00 02 00 00 00 41 FF";
    const char* rle = "08 43 52 00 00 00 00 00 10 00 02 00 00 02 41 FF 01 08 43 52 FF 00";
    const char* gsl = "1D 28 4C 0E 00 30 70 30 01 01 31 10 00 02 00 00 00 41 FF 1D 28 4C 02 00 30 32";
    const PathCase cases[] = {
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
    for (const PathCase& c : cases) {
        JobCapture cap(c.model);
        EXPECT_EQ(printGrayPage(cap.job, page, header(16, 2, 2), c.compPrinting), 0) << c.name;
        EXPECT_EQ(hexBytes(cap.out()), c.out) << c.name;
        EXPECT_EQ(cap.log(), c.log) << c.name;
    }
}

// ---------------------------------------------------------------- bands

struct BandCase {
    const char* name;
    int32_t model;
    int32_t compPrinting;
    uint32_t height;
    std::vector<std::pair<CommandKind, uint32_t>> commands; // kind, rows (prints: 0)
};

std::vector<std::pair<CommandKind, uint32_t>> shape(const std::vector<Command>& commands)
{
    std::vector<std::pair<CommandKind, uint32_t>> s;
    for (const Command& c : commands) {
        uint32_t rows = 0;
        if (c.kind == CommandKind::graphicsStore)
            rows = c.fields[2];
        else if (c.kind == CommandKind::compressedBand)
            rows = c.fields[1];
        else if (c.kind == CommandKind::rasterImage)
            rows = c.fields[2];
        s.emplace_back(c.kind, rows);
    }
    return s;
}

constexpr auto S = CommandKind::graphicsStore;
constexpr auto P = CommandKind::graphicsPrint;
constexpr auto B = CommandKind::compressedBand;

TEST(PrintGrayPage, BandBoundaries)
{
    const BandCase cases[] = {
        {"graphics 255 rows: one store", 29, 0, 255, {{S, 255}, {P, 0}}},
        {"graphics 256 rows: 70-row bands and 46", 29, 0, 256,
         {{S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 46}, {P, 0}}},
        {"graphics 280 rows: nothing after the last band", 29, 0, 280,
         {{S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 70}, {P, 0}}},
        {"graphics 1 row", 1, 0, 1, {{S, 1}, {P, 0}}},
        {"RLE 246 rows: one band", 29, 1, 246, {{B, 246}}},
        {"RLE 247 rows: 246 and 1", 29, 1, 247, {{B, 246}, {B, 1}}},
        {"RLE 492 rows: two full bands", 29, 1, 492, {{B, 246}, {B, 246}}},
        {"RLE model 33, 130 rows: 64 64 2", 33, 1, 130, {{B, 64}, {B, 64}, {B, 2}}},
        {"RLE model 40, 25 rows: 10 10 5", 40, 1, 25, {{B, 10}, {B, 10}, {B, 5}}},
        {"RLE model 116, 10 rows: one band", 116, 1, 10, {{B, 10}}},
        {"RLE model 81, 20 rows", 81, 1, 20, {{B, 10}, {B, 10}}},
    };
    const uint32_t bytesPerLine = 3;
    for (const BandCase& c : cases) {
        const Bytes page = randomPage(std::size_t{c.height} * bytesPerLine, c.height);
        JobCapture cap(c.model);
        ASSERT_EQ(printGrayPage(cap.job, page, header(24, c.height, bytesPerLine), c.compPrinting), 0);
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(shape(commands), c.commands) << c.name << "\n" << describeCommands(commands);
        const PrintedImage printed = printedMonochrome(commands);
        EXPECT_EQ(printed.rows, c.height) << c.name;
        EXPECT_EQ(printed.data, page) << c.name;
    }
}

TEST(PrintGrayPage, SeventyRowBandHeaderBytes)
{
    // H = 256, one byte per row: the fourth store holds 46 rows (pL pH = 10 + 46).
    const Bytes page(256, 0x5A);
    JobCapture cap(29);
    printGrayPage(cap.job, page, header(8, 256, 1), 0);
    const std::string out = cap.out();
    const std::string print = bytesOf({0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32});
    const std::string band = bytesOf({0x1D, 0x28, 0x4C, 0x50, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08,
                                      0x00, 0x46, 0x00}) + std::string(70, 0x5A) + print;
    const std::string last = bytesOf({0x1D, 0x28, 0x4C, 0x38, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08,
                                      0x00, 0x2E, 0x00}) + std::string(46, 0x5A) + print;
    EXPECT_EQ(hexBytes(out), hexBytes(band + band + band + last));
}

// ---------------------------------------------------------------- GS v 0

struct DropCase {
    const char* name;
    int32_t pageType;
    int32_t rotation;
    uint32_t rows;
};

TEST(PrintGrayPage, WholePageDropsTrailingBlankRowsOfTurnedVariablePages)
{
    const Bytes page{
        0x12, 0x34, 0x56, //
        0x80, 0x00, 0x00, // ends in zero bytes, stays
        0x00, 0x00, 0x00, //
        0x00, 0x00, 0x00, //
    };
    const DropCase cases[] = {
        {"PageType 0, Rotation 1", 0, 1, 2}, {"PageType 0, Rotation 3", 0, 3, 2},
        {"PageType 0, Rotation 0", 0, 0, 4}, {"PageType 0, Rotation 2", 0, 2, 4},
        {"PageType 1, Rotation 1", 1, 1, 4}, {"PageType -1, Rotation 3", -1, 3, 4},
    };
    for (const DropCase& c : cases) {
        JobCapture cap(13);
        cap.job.PageType = c.pageType;
        cap.job.Rotation = c.rotation;
        ASSERT_EQ(printGrayPage(cap.job, page, header(24, 4, 3), 0), 0);
        const std::string expected = bytesOf({0x1D, 0x76, 0x30, 0x00, 0x03, 0x00, static_cast<int>(c.rows), 0x00}) +
                                     str(Bytes(page.begin(), page.begin() + 3 * c.rows));
        EXPECT_EQ(hexBytes(cap.out()), hexBytes(expected)) << c.name;
        EXPECT_EQ(cap.log(), "") << c.name;
    }
}

TEST(PrintGrayPage, WholePageBlankThroughoutAfterTheDropSendsNothing)
{
    const Bytes blank(12, 0);
    JobCapture dropped(52);
    dropped.job.Rotation = 1;
    EXPECT_EQ(printGrayPage(dropped.job, blank, header(24, 4, 3), 0), 0);
    EXPECT_EQ(dropped.out(), "");

    JobCapture kept(52); // no drop: the blank page goes out whole
    EXPECT_EQ(printGrayPage(kept.job, blank, header(24, 4, 3), 0), 0);
    EXPECT_EQ(hexBytes(kept.out()), hexBytes(bytesOf({0x1D, 0x76, 0x30, 0x00, 3, 0, 4, 0}) + std::string(12, '\0')));
}

TEST(PrintGrayPage, LastByteOfPageSetKeepsEveryRow)
{
    Bytes page(12, 0);
    page[11] = 0x01;
    JobCapture cap(13);
    cap.job.Rotation = 3;
    printGrayPage(cap.job, page, header(24, 4, 3), 0);
    EXPECT_EQ(parseCommands(cap.out()).at(0).fields, (std::vector<uint32_t>{0, 3, 4}));
}

// ---------------------------------------------------------------- round trips

struct RoundTripCase {
    const char* name;
    int32_t model;
    int32_t compPrinting;
};

TEST(PrintGrayPage, RandomPagesDecodeToThePage)
{
    const RoundTripCase paths[] = {
        {"GS v 0", 13, 0}, {"RLE 246", 29, 1}, {"RLE 64", 33, 1}, {"RLE 10", 40, 1}, {"graphics", 29, 0},
    };
    const uint32_t heights[] = {1, 9, 69, 70, 71, 139, 140, 255, 256, 301, 777};
    const uint32_t widths[] = {1, 7, 72};
    uint32_t seed = 0;
    for (const RoundTripCase& path : paths) {
        for (uint32_t h : heights) {
            for (uint32_t b : widths) {
                const Bytes page = randomPage(std::size_t{h} * b, ++seed);
                JobCapture cap(path.model);
                ASSERT_EQ(printGrayPage(cap.job, page, header(8 * b, h, b), path.compPrinting), 0);
                const PrintedImage printed = printedMonochrome(parseCommands(cap.out()));
                EXPECT_EQ(printed.rows, h) << path.name << " h=" << h << " b=" << b;
                EXPECT_EQ(printed.bytesPerLine, b) << path.name;
                EXPECT_TRUE(printed.data == page) << path.name << " h=" << h << " b=" << b;
            }
        }
    }
}

// ---------------------------------------------------------------- 16-bit limits

struct SplitCase {
    const char* name;
    int32_t model;
    int32_t compPrinting;
    uint32_t height;
    uint32_t bytesPerLine;
    std::vector<std::pair<CommandKind, uint32_t>> commands;
};

constexpr auto V = CommandKind::rasterImage;

TEST(PrintGrayPage, CommandsTooLargeForSixteenBitsAreSplitAtRows)
{
    const SplitCase cases[] = {
        // 255 x 256 + 10 = 65290 fits one store.
        {"255 rows of 256 bytes fit one store", 29, 0, 255, 256, {{S, 255}, {P, 0}}},
        // 255 x 300 + 10 > 65535: 65525 / 300 = 218 rows per store.
        {"255 rows of 300 bytes", 29, 0, 255, 300, {{S, 218}, {P, 0}, {S, 37}, {P, 0}}},
        // 70 x 936 + 10 = 65530 fits.
        {"70-row band of 936 bytes fits", 1, 0, 280, 936,
         {{S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 70}, {P, 0}, {S, 70}, {P, 0}}},
        // 70 x 937 + 10 = 65600: 69 rows, then 1.
        {"70-row band of 937 bytes", 1, 0, 256, 937,
         {{S, 69}, {P, 0}, {S, 1}, {P, 0}, {S, 69}, {P, 0}, {S, 1}, {P, 0}, {S, 69}, {P, 0}, {S, 1}, {P, 0}, {S, 46}, {P, 0}}},
        // The widest rows (65528 dots): 8 x 8191 + 10 > 65535, so 7 rows per store.
        {"rows of 8191 bytes", 1, 0, 20, 8191, {{S, 7}, {P, 0}, {S, 7}, {P, 0}, {S, 6}, {P, 0}}},
        {"GS v 0 of 65537 rows", 13, 0, 65537, 1, {{V, 65535}, {V, 2}}},
        {"GS v 0 of 65535 rows", 13, 0, 65535, 1, {{V, 65535}}},
        {"GS v 0 row of 65535 bytes", 13, 0, 2, 65535, {{V, 2}}},
        {"RLE rows of 8191 bytes", 29, 1, 2, 8191, {{B, 2}}},
    };
    for (const SplitCase& c : cases) {
        const Bytes page = randomPage(std::size_t{c.height} * c.bytesPerLine, c.bytesPerLine);
        JobCapture cap(c.model);
        ASSERT_EQ(printGrayPage(cap.job, page, header(8 * c.bytesPerLine, c.height, c.bytesPerLine),
                                c.compPrinting),
                  0)
            << c.name;
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(shape(commands), c.commands) << c.name << "\n" << describeCommands(commands);
        EXPECT_TRUE(printedMonochrome(commands).data == page) << c.name;
    }
}

struct RefusalCase {
    const char* name;
    int32_t model;
    int32_t compPrinting;
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerLine;
    std::size_t pageSize;
};

TEST(PrintGrayPage, RefusesRowsNoCommandCanHold)
{
    const RefusalCase cases[] = {
        {"graphics store wider than 65535 dots", 29, 0, 65536, 2, 8192, 2 * 8192},
        {"graphics store row of 65526 bytes", 1, 0, 8 * 65526 / 16, 1, 65526, 65526},
        {"GS v 0 row of 65536 bytes", 13, 0, 65535, 1, 65536, 65536},
        {"compressed band wider than 65535 dots", 29, 1, 65536, 3, 8192, 3 * 8192},
        {"page span shorter than the header", 29, 0, 16, 3, 2, 5},
        {"GS v 0 span shorter than the header", 13, 0, 16, 3, 2, 0},
    };
    for (const RefusalCase& c : cases) {
        const Bytes page(c.pageSize, 0x55);
        JobCapture cap(c.model);
        EXPECT_EQ(printGrayPage(cap.job, page, header(c.width, c.height, c.bytesPerLine), c.compPrinting), 1)
            << c.name;
        EXPECT_EQ(cap.out(), "") << c.name;
        const std::string log = cap.log();
        EXPECT_EQ(log.rfind("ERROR: ", 0), 0u) << c.name << ": " << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << c.name << ": " << log;
    }
}

TEST(PrintGrayPage, PagesWithNothingToSendSendNoCommand)
{
    struct Case {
        const char* name;
        int32_t model;
        int32_t compPrinting;
        uint32_t height;
        uint32_t bytesPerLine;
        const char* log;
    };
    const Case cases[] = {
        {"graphics, no rows", 29, 0, 0, 4, "Normal printing.\n"},
        {"graphics, no bytes per line", 29, 0, 5, 0, "Normal printing.\n"},
        {"RLE, no rows", 29, 1, 0, 4, "RLE printing.\n"},
        {"RLE, no bytes per line", 40, 1, 5, 0, "RLE printing.\n"},
        {"GS v 0, no rows", 13, 0, 0, 4, ""},
        {"GS v 0, no bytes per line", 13, 0, 5, 0, ""},
    };
    for (const Case& c : cases) {
        JobCapture cap(c.model);
        cap.job.Rotation = 1;
        EXPECT_EQ(printGrayPage(cap.job, {}, header(32, c.height, c.bytesPerLine), c.compPrinting), 0) << c.name;
        EXPECT_EQ(cap.out(), "") << c.name;
        EXPECT_EQ(cap.log(), c.log) << c.name;
    }
}

} // namespace
