// Two-color raster commands: paired stores and prints at the band
// boundaries, the exact log of each page height, the plane row width, round
// trips of both planes and the printer's 16-bit size fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/color_encoder.h"
#include "preview/dump.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes randomPlane(std::size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes plane(size);
    for (uint8_t& b : plane)
        b = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 0);
    return plane;
}

// The log of a page of P-byte plane rows; planeRows when P is the whole line.
std::string pageLog(uint32_t height, bool planeRows, uint32_t p)
{
    const std::string msg = "PELTRIN DEBUG MSG : ", h = std::to_string(height), n = std::to_string(height / 70);
    std::string log = msg + "before header->cupsHegiht = " + h + "\n";
    if (height <= 255)
        return log;
    log += msg + "header->cupsHegiht = " + h + "\n" + msg +
           (planeRows ? "ROTATION 90 OR 270 OR SCALE 100 OR SCALE 50\n" : "ROTATION 90 NOR 270 NOR SCALE 100 NOR SCALE 50\n") +
           msg + "enter Sending Data\n";
    for (uint32_t band = 0; band < height / 70; ++band) {
        log += msg + "enter Sending Black Data Height : " + n + "\n" + msg + "exit Sending Black Data height : " + n +
               "\n" + msg + "enter Sending Color Data Height : " + n + "\n" + msg + "step1 pass...\n";
        for (uint32_t j = 0; j < 70 * p; ++j)
            log += msg + "page = " + std::to_string(j) + "\n";
        log += msg + "step2 pass...\n" + msg + "exit Sending Color Data Height : " + n + "\n";
    }
    return log;
}

// A store of each plane and a print per band, e.g. "K70 C70 P K20 C20 P".
std::string bands(std::initializer_list<uint32_t> rows)
{
    std::string s;
    for (uint32_t r : rows)
        s += (s.empty() ? "K" : " K") + std::to_string(r) + " C" + std::to_string(r) + " P";
    return s;
}

TEST(PrintColorPage, BandsLogAndPlaneRowsByHeightTurnAndScale)
{
    struct Case {
        const char* name;
        uint32_t height, bytesPerLine;
        int32_t rotation, scale;
        uint32_t planeBytes;
        std::string commands;
    };
    const Case cases[] = {
        {"255 rows: one pair and a print", 255, 4, 0, 0, 1, bands({255})},
        {"1 row", 1, 4, 0, 0, 1, bands({1})},
        {"256 rows: three bands and 46", 256, 4, 0, 0, 1, bands({70, 70, 70, 46})},
        {"280 rows: empty remainder stores", 280, 4, 0, 0, 1, bands({70, 70, 70, 70, 0})},
        {"300 rows: four bands and 20", 300, 4, 0, 0, 1, bands({70, 70, 70, 70, 20})},
        {"350 rows: five bands and empty stores", 350, 4, 0, 0, 1, bands({70, 70, 70, 70, 70, 0})},
        // Plane rows: a quarter of the four-band line until a turn or downscale rewrote it.
        {"no turn, no downscale: a quarter", 256, 8, 0, 0, 2, bands({70, 70, 70, 46})},
        {"half turn: a quarter", 256, 8, 2, 0, 2, bands({70, 70, 70, 46})},
        {"scale 100: a quarter", 256, 8, 0, 100, 2, bands({70, 70, 70, 46})},
        {"quarter of 9 bytes is 2", 256, 9, 0, 0, 2, bands({70, 70, 70, 46})},
        {"quarter turn 1: whole line", 256, 2, 1, 0, 2, bands({70, 70, 70, 46})},
        {"quarter turn 3: whole line", 256, 2, 3, 0, 2, bands({70, 70, 70, 46})},
        {"scale 96: whole line", 256, 2, 0, 96, 2, bands({70, 70, 70, 46})},
        {"scale 101, half turn: whole line", 256, 2, 2, 101, 2, bands({70, 70, 70, 46})},
        // A store's size field counts its data + 10 bytes in 16 bits; the log still tells of 70-row bands.
        {"255 rows of 256 bytes fit", 255, 256, 3, 0, 256, bands({255})},
        {"255 rows of 300 bytes: 65525 / 300 = 218 per store", 255, 300, 3, 0, 300, bands({218, 37})},
        {"70-row bands of 936 bytes fit", 280, 936, 3, 0, 936, bands({70, 70, 70, 70, 0})},
        {"70-row bands of 1000 bytes: 65 + 5", 300, 1000, 3, 0, 1000, bands({65, 5, 65, 5, 65, 5, 65, 5, 20})},
        {"remainder of 69 rows of 1000 bytes", 279, 1000, 3, 0, 1000, bands({65, 5, 65, 5, 65, 5, 65, 4})},
        {"empty remainder after split bands", 280, 1000, 3, 0, 1000, bands({65, 5, 65, 5, 65, 5, 65, 5, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes black = randomPlane(std::size_t{c.height} * c.planeBytes, c.height);
        const Bytes color = randomPlane(std::size_t{c.height} * c.planeBytes, c.height + 1);
        JobCapture cap(1);
        cap.job.Rotation = c.rotation;
        cap.job.Scale = c.scale;
        ASSERT_EQ(printColorPage(cap.job, black, color, headerOf(8 * c.planeBytes, c.height, c.bytesPerLine)), 0);
        const auto commands = parseCommands(cap.out());
        EXPECT_EQ(commandShape(commands), c.commands);
        const PrintedPlanes printed = printedPlanes(commands);
        EXPECT_TRUE(printed.black.data == black);
        EXPECT_TRUE(printed.color.data == color);
        EXPECT_TRUE(cap.log() == pageLog(c.height, c.bytesPerLine == c.planeBytes, c.planeBytes));
    }
}

TEST(PrintColorPage, ExactBytesOfShortPage)
{
    // Two rows of 12 dots: black AB C0 / 00 10, color 01 00 / 80 F0.
    JobCapture cap(1);
    cap.job.Rotation = 1;
    printColorPage(cap.job, fromHex("AB C0 00 10"), fromHex("01 00 80 F0"), headerOf(12, 2, 2));
    EXPECT_EQ(hexBytes(cap.out()), "1D 28 4C 0E 00 30 70 30 01 01 31 0C 00 02 00 AB C0 00 10 "
                                   "1D 28 4C 0E 00 30 70 30 01 01 32 0C 00 02 00 01 00 80 F0 "
                                   "1D 28 4C 02 00 30 32");
}

TEST(PrintColorPage, RefusedOrEmptyPagesSendNoCommand)
{
    struct Case {
        const char* name;
        uint32_t width, height, bytesPerLine;
        int32_t rotation;
        std::size_t blackSize, colorSize;
        bool refused; // with one ERROR: line
    };
    const Case cases[] = {
        {"wider than 65535 dots", 65536, 2, 4 * 8192, 0, 2 * 8192, 2 * 8192, true},
        {"plane row of 65526 bytes", 60000, 2, 65526, 1, 2 * 65526, 2 * 65526, true},
        {"black plane shorter than the header", 16, 2, 8, 0, 3, 4, true},
        {"color plane shorter than the header", 16, 2, 8, 0, 4, 0, true},
        {"no rows", 16, 0, 8, 0, 0, 0, false},
        {"tall page, no bytes", 16, 300, 0, 0, 0, 0, false},
        {"quarter of 3 bytes is 0", 16, 300, 3, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes black(c.blackSize, 0x0F), color(c.colorSize, 0xF0);
        JobCapture cap(1);
        cap.job.Rotation = c.rotation;
        EXPECT_EQ(printColorPage(cap.job, black, color, headerOf(c.width, c.height, c.bytesPerLine)), c.refused);
        EXPECT_EQ(cap.out(), "");
        const std::string log = cap.log();
        if (c.refused)
            EXPECT_TRUE(log.starts_with("ERROR: ") && std::count(log.begin(), log.end(), '\n') == 1) << log;
        else
            EXPECT_EQ(log, "PELTRIN DEBUG MSG : before header->cupsHegiht = " + std::to_string(c.height) + "\n");
    }
}

} // namespace
