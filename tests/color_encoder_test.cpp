// Two-color raster commands: paired stores and prints at the band
// boundaries, the exact log of each page height, the plane row width, round
// trips of both planes and the printer's 16-bit size fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/color_encoder.h"
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

Bytes randomPlane(std::size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes plane(size);
    for (uint8_t& b : plane)
        b = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 0);
    return plane;
}

// The log of a full 70-row band of P-byte rows, N bands on the page.
std::string bandLog(int n, uint32_t p)
{
    const std::string count = std::to_string(n);
    std::string log = "PELTRIN DEBUG MSG : enter Sending Black Data Height : " + count + "\n" +
                      "PELTRIN DEBUG MSG : exit Sending Black Data height : " + count + "\n" +
                      "PELTRIN DEBUG MSG : enter Sending Color Data Height : " + count + "\n" +
                      "PELTRIN DEBUG MSG : step1 pass...\n";
    for (uint32_t j = 0; j < 70 * p; ++j)
        log += "PELTRIN DEBUG MSG : page = " + std::to_string(j) + "\n";
    log += "PELTRIN DEBUG MSG : step2 pass...\n";
    log += "PELTRIN DEBUG MSG : exit Sending Color Data Height : " + count + "\n";
    return log;
}

std::string tallPageLog(uint32_t height, bool planeRows, uint32_t p)
{
    std::string log = "PELTRIN DEBUG MSG : before header->cupsHegiht = " + std::to_string(height) + "\n" +
                      "PELTRIN DEBUG MSG : header->cupsHegiht = " + std::to_string(height) + "\n" +
                      (planeRows ? "PELTRIN DEBUG MSG : ROTATION 90 OR 270 OR SCALE 100 OR SCALE 50\n"
                                 : "PELTRIN DEBUG MSG : ROTATION 90 NOR 270 NOR SCALE 100 NOR SCALE 50\n") +
                      "PELTRIN DEBUG MSG : enter Sending Data\n";
    const int n = static_cast<int>(height / 70);
    for (int i = 0; i < n; ++i)
        log += bandLog(n, p);
    return log;
}

// kind, color (stores), rows (stores)
using Shape = std::vector<std::tuple<CommandKind, uint32_t, uint32_t>>;

Shape shape(const std::vector<Command>& commands)
{
    Shape s;
    for (const Command& c : commands) {
        if (c.kind == CommandKind::graphicsStore)
            s.emplace_back(c.kind, c.fields[0], c.fields[2]);
        else
            s.emplace_back(c.kind, 0, 0);
    }
    return s;
}

constexpr auto S = CommandKind::graphicsStore;
constexpr auto P = CommandKind::graphicsPrint;

void addBand(Shape& s, uint32_t rows)
{
    s.emplace_back(S, 0x31, rows);
    s.emplace_back(S, 0x32, rows);
    s.emplace_back(P, 0, 0);
}

Shape bands(std::initializer_list<uint32_t> rows)
{
    Shape s;
    for (uint32_t r : rows)
        addBand(s, r);
    return s;
}

struct HeightCase {
    const char* name;
    uint32_t height;
    Shape commands;
};

TEST(PrintColorPage, BandsAndLogByHeight)
{
    // One plane byte per row (8 dots; four-band line of 4 bytes).
    const HeightCase cases[] = {
        {"255 rows: one pair and a print", 255, bands({255})},
        {"1 row", 1, bands({1})},
        {"256 rows: three bands and 46", 256, bands({70, 70, 70, 46})},
        {"280 rows: empty remainder stores", 280, bands({70, 70, 70, 70, 0})},
        {"300 rows: four bands and 20", 300, bands({70, 70, 70, 70, 20})},
        {"350 rows: five bands and empty stores", 350, bands({70, 70, 70, 70, 70, 0})},
    };
    for (const HeightCase& c : cases) {
        const Bytes black = randomPlane(c.height, c.height);
        const Bytes color = randomPlane(c.height, c.height + 1);
        JobCapture cap(1);
        ASSERT_EQ(printColorPage(cap.job, black, color, header(8, c.height, 4)), 0) << c.name;
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(shape(commands), c.commands) << c.name << "\n" << describeCommands(commands);
        const PrintedPlanes printed = printedPlanes(commands);
        EXPECT_EQ(printed.black.data, black) << c.name;
        EXPECT_EQ(printed.color.data, color) << c.name;
        const std::string log = c.height <= 255
                                    ? "PELTRIN DEBUG MSG : before header->cupsHegiht = " + std::to_string(c.height) + "\n"
                                    : tallPageLog(c.height, false, 1);
        EXPECT_EQ(cap.log(), log) << c.name;
    }
}

TEST(PrintColorPage, ExactBytesOfShortPage)
{
    // Two rows, 12 dots: black AB C0 / 00 10, color 01 00 / 80 F0.
    const Bytes black{0xAB, 0xC0, 0x00, 0x10};
    const Bytes color{0x01, 0x00, 0x80, 0xF0};
    JobCapture cap(1);
    cap.job.Rotation = 1;
    printColorPage(cap.job, black, color, header(12, 2, 2));
    EXPECT_EQ(hexBytes(cap.out()), "1D 28 4C 0E 00 30 70 30 01 01 31 0C 00 02 00 AB C0 00 10 "
                                   "1D 28 4C 0E 00 30 70 30 01 01 32 0C 00 02 00 01 00 80 F0 "
                                   "1D 28 4C 02 00 30 32");
}

TEST(PrintColorPage, EmptyRemainderStoresAndFinalPrint)
{
    const Bytes plane(280, 0x11);
    JobCapture cap(1);
    printColorPage(cap.job, plane, plane, header(8, 280, 4));
    const std::string out = cap.out();
    const std::string tail = bytesOf({0x1D, 0x28, 0x4C, 0x0A, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08, 0x00, 0x00, 0x00,
                                      0x1D, 0x28, 0x4C, 0x0A, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x32, 0x08, 0x00, 0x00, 0x00,
                                      0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32});
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(hexBytes(out.substr(out.size() - tail.size())), hexBytes(tail));
}

struct PlaneRowCase {
    const char* name;
    int32_t rotation;
    int32_t scale;
    uint32_t bytesPerLine;
    uint32_t planeBytes;
    bool planeRows;
};

TEST(PrintColorPage, PlaneRowBytesFollowRotationAndScale)
{
    const PlaneRowCase cases[] = {
        {"no turn, no downscale: a quarter", 0, 0, 8, 2, false},
        {"half turn: a quarter", 2, 0, 8, 2, false},
        {"scale 100: a quarter", 0, 100, 8, 2, false},
        {"quarter turn 1: whole line", 1, 0, 2, 2, true},
        {"quarter turn 3: whole line", 3, 0, 2, 2, true},
        {"scale 96: whole line", 0, 96, 2, 2, true},
        {"scale 101, half turn: whole line", 2, 101, 2, 2, true},
        {"quarter of 9 bytes is 2", 0, 0, 9, 2, false},
    };
    for (const PlaneRowCase& c : cases) {
        const uint32_t height = 256;
        const Bytes black = randomPlane(std::size_t{height} * c.planeBytes, 3);
        const Bytes color = randomPlane(std::size_t{height} * c.planeBytes, 4);
        JobCapture cap(1);
        cap.job.Rotation = c.rotation;
        cap.job.Scale = c.scale;
        EXPECT_EQ(planeBytesPerLine(cap.job, header(16, height, c.bytesPerLine)), c.planeBytes) << c.name;
        ASSERT_EQ(printColorPage(cap.job, black, color, header(16, height, c.bytesPerLine)), 0) << c.name;
        const PrintedPlanes printed = printedPlanes(parseCommands(cap.out()));
        EXPECT_EQ(printed.black.data, black) << c.name;
        EXPECT_EQ(printed.color.data, color) << c.name;
        EXPECT_EQ(cap.log(), tallPageLog(height, c.planeRows, c.planeBytes)) << c.name;
    }
}

TEST(PrintColorPage, RandomPlanesDecodeToBothPlanes)
{
    const uint32_t heights[] = {1, 69, 70, 71, 140, 255, 256, 279, 280, 281, 701};
    const uint32_t planeBytes[] = {1, 3, 72};
    uint32_t seed = 100;
    for (uint32_t h : heights) {
        for (uint32_t p : planeBytes) {
            const Bytes black = randomPlane(std::size_t{h} * p, ++seed);
            const Bytes color = randomPlane(std::size_t{h} * p, ++seed);
            JobCapture cap(42);
            ASSERT_EQ(printColorPage(cap.job, black, color, header(8 * p, h, 4 * p)), 0);
            const PrintedPlanes printed = printedPlanes(parseCommands(cap.out()));
            EXPECT_EQ(printed.black.rows, h) << "h=" << h << " p=" << p;
            EXPECT_TRUE(printed.black.data == black) << "h=" << h << " p=" << p;
            EXPECT_TRUE(printed.color.data == color) << "h=" << h << " p=" << p;
        }
    }
}

// ---------------------------------------------------------------- 16-bit limits

struct SplitCase {
    const char* name;
    uint32_t height;
    uint32_t planeBytes;
    Shape commands;
};

TEST(PrintColorPage, StoresTooLargeForSixteenBitsAreSplitAtRows)
{
    const SplitCase cases[] = {
        {"255 rows of 256 bytes fit", 255, 256, bands({255})},
        // 65525 / 300 = 218 rows per store.
        {"255 rows of 300 bytes", 255, 300, bands({218, 37})},
        {"70-row bands of 936 bytes fit", 280, 936, bands({70, 70, 70, 70, 0})},
        // 65525 / 1000 = 65 rows per store; the remainder of 20 fits.
        {"70-row bands of 1000 bytes", 300, 1000, bands({65, 5, 65, 5, 65, 5, 65, 5, 20})},
        {"remainder of 69 rows of 1000 bytes", 279, 1000, bands({65, 5, 65, 5, 65, 5, 65, 4})},
        {"empty remainder after split bands", 280, 1000, bands({65, 5, 65, 5, 65, 5, 65, 5, 0})},
    };
    for (const SplitCase& c : cases) {
        const Bytes black = randomPlane(std::size_t{c.height} * c.planeBytes, c.height);
        const Bytes color = randomPlane(std::size_t{c.height} * c.planeBytes, c.planeBytes);
        JobCapture cap(1);
        cap.job.Rotation = 3;
        ASSERT_EQ(printColorPage(cap.job, black, color, header(8 * c.planeBytes, c.height, c.planeBytes)), 0)
            << c.name;
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(shape(commands), c.commands) << c.name << "\n" << describeCommands(commands);
        const PrintedPlanes printed = printedPlanes(commands);
        EXPECT_TRUE(printed.black.data == black) << c.name;
        EXPECT_TRUE(printed.color.data == color) << c.name;
        if (c.height > 255) { // the log describes 70-row bands, split or not
            EXPECT_EQ(cap.log(), tallPageLog(c.height, true, c.planeBytes)) << c.name;
        }
    }
}

TEST(PrintColorPage, RefusesRowsNoStoreCanHold)
{
    struct Case {
        const char* name;
        uint32_t width;
        uint32_t bytesPerLine;
        int32_t rotation;
        std::size_t blackSize;
        std::size_t colorSize;
    };
    const Case cases[] = {
        {"wider than 65535 dots", 65536, 4 * 8192, 0, 2 * 8192, 2 * 8192},
        {"plane row of 65526 bytes", 60000, 65526, 1, 2 * 65526, 2 * 65526},
        {"black plane shorter than the header", 16, 8, 0, 3, 4},
        {"color plane shorter than the header", 16, 8, 0, 4, 0},
    };
    for (const Case& c : cases) {
        const Bytes black(c.blackSize, 0x0F);
        const Bytes color(c.colorSize, 0xF0);
        JobCapture cap(1);
        cap.job.Rotation = c.rotation;
        EXPECT_EQ(printColorPage(cap.job, black, color, header(c.width, 2, c.bytesPerLine)), 1) << c.name;
        EXPECT_EQ(cap.out(), "") << c.name;
        const std::string log = cap.log();
        EXPECT_EQ(log.rfind("ERROR: ", 0), 0u) << c.name << ": " << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << c.name;
    }
}

TEST(PrintColorPage, PagesWithNothingToSendSendNoCommand)
{
    struct Case {
        const char* name;
        uint32_t height;
        uint32_t bytesPerLine;
    };
    const Case cases[] = {{"no rows", 0, 8}, {"tall page, no bytes", 300, 0}, {"quarter of 3 bytes is 0", 300, 3}};
    for (const Case& c : cases) {
        JobCapture cap(1);
        EXPECT_EQ(printColorPage(cap.job, {}, {}, header(16, c.height, c.bytesPerLine)), 0) << c.name;
        EXPECT_EQ(cap.out(), "") << c.name;
        EXPECT_EQ(cap.log(), "PELTRIN DEBUG MSG : before header->cupsHegiht = " + std::to_string(c.height) + "\n")
            << c.name;
    }
}

} // namespace
