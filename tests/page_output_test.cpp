// Page output: logo placement around the page in both stored-logo forms,
// the nv models' log lines, the choice of encoder and the refusals that
// leave a page out whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "output/gray_encoder.h"
#include "output/page_output.h"
#include "preview/dump.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A two-row monochrome page of 16 dots, FF 00 / 00 FF, and its commands.
const Bytes kPage = fromHex("FF 00 00 FF");
const cups_page_header_t kHeader = headerOf(16, 2, 2);
const std::string kStores = "1D 28 4C 0E 00 30 70 30 01 01 31 10 00 02 00 FF 00 00 FF 1D 28 4C 02 00 30 32";
const std::string kImage = "1D 76 30 00 02 00 02 00 FF 00 00 FF";
// A two-color page of 2 rows of 8 dots, both planes 80 / 01.
const Bytes kPlane = fromHex("80 01");
const std::string kPlaneStores = "1D 28 4C 0C 00 30 70 30 01 01 31 08 00 02 00 80 01 "
                                 "1D 28 4C 0C 00 30 70 30 01 01 32 08 00 02 00 80 01 1D 28 4C 02 00 30 32";

const std::string kNv = "PELTRIN DEBUG MSG : ";
const std::string kPositionSet = kNv + "Logo position set End\n";

TEST(SendLogoBlock, BytesOfBothForms)
{
    struct Case {
        const char* name;
        int32_t model;
        LogoSettings logo;
        const char* block;
    };
    const Case cases[] = {
        {"model 40 (key base '1'), image 2, quadruple", 40, {1, 0, 2, 3, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 33 02 02 1B 40"},
        {"model 33 (key base '0'), image 2, quadruple", 33, {1, 0, 2, 3, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40"},
        {"model 33, image 0, normal", 33, {1, 2, 0, 0, 1}, "1B 61 02 1D 28 4C 06 00 30 45 30 30 01 01 1B 40 0A"},
        {"model 10, image 0, double width", 10, {1, 1, 0, 1, 0}, "1B 61 01 1D 28 4C 06 00 30 45 30 31 02 01 1B 40"},
        {"model 289, image 1, double height", 289, {1, 0, 1, 2, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 32 01 02 1B 40"},
        {"model 82, image 1, double height", 82, {1, 0, 1, 2, 2}, "1B 61 00 1D 28 4C 06 00 30 45 30 31 01 02 1B 40 0A 0A"},
        {"fsp, image 2, quadruple", 1, {1, 2, 2, 3, 0}, "1B 61 02 1C 70 03 03 1B 40"},
        {"fsp sends out-of-range values as low bytes", 1, {1, 300, 255, 258, 0}, "1B 61 2C 1C 70 00 02 1B 40"},
        {"fsp, all -1", 1, {1, -1, -1, -1, -1}, "1B 61 FF 1C 70 00 FF 1B 40"},
        {"fsp, logoImage INT32_MAX", 1, {1, 0, 2147483647, 0, 0}, "1B 61 00 1C 70 00 00 1B 40"},
        {"nv, logoImage 3: no block", 40, {1, 0, 3, 0, 0}, ""},
        {"nv, logoWidth -1: no block", 33, {1, 0, 0, -1, 0}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(c.model);
        cap.setLogo(c.logo);
        EXPECT_EQ(sendLogoBlock(cap.job, cap.job.model->pageLogo), *c.block != '\0');
        EXPECT_EQ(hexBytes(cap.out()), c.block);
        EXPECT_EQ(cap.log(), "");
    }
}

TEST(PrintPage, ExactBytesAndLog)
{
    struct Case {
        const char* name;
        int32_t model;
        LogoSettings logo;
        std::string out, log;
        int32_t colorModel = 1;
        Bytes color = {};
        int32_t compPrinting = 0;
    };
    const std::string grayTraced = kNv + "Enter printGrayPage\nNormal printing.\n" + kNv + "Exit printGrayPage\n";
    const Case cases[] = {
        {"fsp logo before the page", 1, {1, 1, 0, 0, 3}, "1B 61 01 1C 70 01 00 1B 40 0A 0A 0A " + kStores,
         "Normal printing.\n"},
        {"position 3 without line feeds", 1, {3, 0, 1, 2, 0},
         "1B 61 00 1C 70 02 02 1B 40 " + kStores + " 1B 61 00 1C 70 02 02 1B 40", "Normal printing.\n"},
        {"fsp model writes no log lines", 13, {3, 0, 7, 9, 1}, "1B 61 00 1C 70 08 09 1B 40 0A " + kImage + " 1B 61 00 1C 70 08 09 1B 40 0A", ""},
        {"fsp model, position -1: nothing", 13, {-1, 0, 7, 9, 1}, "", ""},
        {"fsp model, position 4: nothing", 29, {4, 0, 7, 9, 1}, "", ""},
        {"fsp model, position 100: nothing", 1, {100}, "", ""},
        {"fsp logo after the page", 29, {2, 1, 0, 3, 1}, kStores + " 1B 61 01 1C 70 01 03 1B 40 0A", "Normal printing.\n"},
        {"compPrinting selecting no path keeps the logos", 29, {3}, "1B 61 00 1C 70 01 00 1B 40 1B 61 00 1C 70 01 00 1B 40", "", 1, {}, 2},
        // nv models log their logo settings before every page, and the encoder call at position 0.
        {"nv base '0', position 0: no logo bytes", 33, {0, 1, 1, 1, 4}, kStores,
         kPositionSet + kNv + "Second logo image set End\n" + kNv + "Logo width(double width) set End\n" + grayTraced},
        {"nv base '0', first image, normal, position 0", 33, {0, 0, 0, 0, 0}, kStores,
         kPositionSet + kNv + "First logo Image set End\n" + kNv + "Logo width(normal) set End\n" + grayTraced},
        {"nv base '0', third image, double height, position 2", 83, {2, 0, 2, 2, 0},
         kStores + " 1B 61 00 1D 28 4C 06 00 30 45 30 32 01 02 1B 40",
         kPositionSet + kNv + "Third logo Image set End\n" + kNv + "Logo width(double height) set End\nNormal printing.\n"},
        {"nv base '1' logs no image line", 40, {0, 0, 2, 3, 0}, kStores,
         kPositionSet + kNv + "Logo width(quardruple) set End\n" + grayTraced},
        {"nv, position -1 logs the settings only", 33, {-1, 0, 0, 3, 0}, "",
         kPositionSet + kNv + "First logo Image set End\n" + kNv + "Logo width(quardruple) set End\n"},
        {"nv, position 4 logs the settings only", 40, {4, 0, 1, 1, 0}, "",
         kPositionSet + kNv + "Logo width(double width) set End\n"},
        {"nv base '1', position 1", 40, {1, 2, 0, 1, 1}, "1B 61 02 1D 28 4C 06 00 30 45 30 31 02 01 1B 40 0A " + kStores,
         kPositionSet + kNv + "Logo width(double width) set End\nNormal printing.\n"},
        {"nv two-color page, position 0", 42, {0, 0, 1, 0, 0}, kPlaneStores,
         kPositionSet + kNv + "Second logo image set End\n" + kNv + "Logo width(normal) set End\n" + kNv +
             "Enter printColorPage\n" + kNv + "before header->cupsHegiht = 2\n" + kNv + "Exit printColorPage\n",
         0, kPlane},
        {"nv two-color page, position 3", 42, {3, 0, 1, 0, 0},
         "1B 61 00 1D 28 4C 06 00 30 45 30 31 01 01 1B 40 " + kPlaneStores + " 1B 61 00 1D 28 4C 06 00 30 45 30 31 01 01 1B 40",
         kPositionSet + kNv + "Second logo image set End\n" + kNv + "Logo width(normal) set End\n" + kNv +
             "before header->cupsHegiht = 2\n",
         0, kPlane},
        // An nv logo without a key or a scale is left out, with one line; the page prints.
        {"nv logoImage 3", 40, {3, 0, 3, 0, 2}, kStores,
         kPositionSet + kNv + "Logo width(normal) set End\n" + kNv +
             "Logo left out: LogoImage 3 selects no stored logo\nNormal printing.\n"},
        {"nv logoImage -1", 40, {1, 0, -1, 1, 2}, kStores,
         kPositionSet + kNv + "Logo width(double width) set End\n" + kNv +
             "Logo left out: LogoImage -1 selects no stored logo\nNormal printing.\n"},
        {"nv logoWidth 4", 33, {2, 0, 0, 4, 2}, kStores,
         kPositionSet + kNv + "First logo Image set End\n" + kNv +
             "Logo left out: LogoWidth 4 selects no logo size\nNormal printing.\n"},
        {"nv both out of range", 40, {3, 0, 9, -1, 2}, kStores,
         kPositionSet + kNv + "Logo left out: LogoImage 9 selects no stored logo and LogoWidth -1 no logo size\n" +
             "Normal printing.\n"},
        {"nv left-out line only where a logo was due", 40, {0, 0, 5, 0, 0}, kStores,
         kPositionSet + kNv + "Logo width(normal) set End\n" + grayTraced},
        // colorModel 0 with no color plane (models 13 and 52) prints the page in monochrome.
        {"colorModel 0 without a color plane, model 13", 13, {0}, kImage, "", 0},
        {"colorModel 0 without a color plane, model 52", 52, {0}, kImage, "", 0},
        {"colorModel 0 with a color plane", 1, {0}, kPlaneStores, kNv + "before header->cupsHegiht = 2\n", 0, kPlane},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(c.model);
        cap.setLogo(c.logo);
        cap.job.settings.colorModel = c.colorModel;
        cap.job.settings.compPrinting = c.compPrinting;
        const bool twoColor = !c.color.empty();
        EXPECT_EQ(printPage(cap.job, twoColor ? kPlane : kPage, c.color, twoColor ? headerOf(8, 2, 4) : kHeader), 0);
        EXPECT_EQ(hexBytes(cap.out()), c.out);
        EXPECT_EQ(cap.log(), c.log);
    }
}

TEST(PrintPage, LogoAfterTheFinalPrintOfATallTwoColorPage)
{
    JobCapture cap(1);
    cap.setLogo({2});
    cap.job.settings.colorModel = 0;
    EXPECT_EQ(printPage(cap.job, Bytes(300, 0x0F), Bytes(300, 0xF0), headerOf(8, 300, 4)), 0);
    EXPECT_TRUE(commandShape(parseCommands(cap.out())).ends_with("K70 C70 P K20 C20 P justify fs-logo init"));
}

TEST(PrintPage, EmptyOrRefusedPages)
{
    struct Case {
        const char* name;
        int32_t model, colorModel;
        cups_page_header_t header;
        std::size_t pageSize, colorSize;
        int32_t rotation;
        int result; // 1: refused with one ERROR: line and nothing sent
    };
    const Case cases[] = {
        // Nothing to print: the logos still go out.
        {"no rows", 1, 1, headerOf(16, 0, 2), 8, 0, 0, 0},
        {"no bytes per line", 29, 1, headerOf(16, 4, 0), 8, 0, 0, 0},
        {"GS v 0 blank after the trailing drop", 13, 1, headerOf(16, 4, 2), 8, 0, 1, 0},
        {"two-color, no rows", 1, 0, headerOf(16, 0, 8), 8, 8, 0, 0},
        {"GS v 0 row of 65536 bytes", 13, 1, headerOf(65535, 1, 65536), 65536, 0, 0, 1},
        {"graphics store wider than 65535 dots", 33, 1, headerOf(65536, 1, 8192), 8192, 0, 0, 1},
        {"compressed band wider than 65535 dots", 40, 1, headerOf(65536, 1, 8192), 8192, 0, 0, 1},
        {"page span shorter than the header", 1, 1, headerOf(16, 4, 2), 7, 0, 0, 1},
        {"color plane shorter than the header", 42, 0, headerOf(8, 4, 4), 4, 3, 0, 1},
        {"two-color row of 65526 bytes", 1, 0, headerOf(60000, 1, 4 * 65526), 65526, 65526, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(c.model);
        cap.setLogo({3, 0, 0, 0, 1});
        cap.job.settings.colorModel = c.colorModel;
        cap.job.settings.compPrinting = c.model == 40 ? 1 : 0;
        cap.job.Rotation = c.rotation;
        EXPECT_EQ(printPage(cap.job, Bytes(c.pageSize, 0), Bytes(c.colorSize, 0x55), c.header), c.result);
        const std::string log = cap.log();
        if (c.result == 0) {
            EXPECT_EQ(hexBytes(cap.out()), "1B 61 00 1C 70 01 00 1B 40 0A 1B 61 00 1C 70 01 00 1B 40 0A");
        } else {
            EXPECT_EQ(cap.out(), "");
            EXPECT_TRUE(log.starts_with("ERROR: ") && std::count(log.begin(), log.end(), '\n') == 1) << log;
        }
    }
}

TEST(PrintPage, OutOfPlacePositionNeedsNoRefusal)
{
    // Nothing is sent for position -1, so nothing can overflow.
    JobCapture cap(13);
    cap.setLogo({-1});
    EXPECT_EQ(printPage(cap.job, Bytes(65536, 0), {}, headerOf(65535, 1, 65536)), 0);
    EXPECT_EQ(cap.out() + cap.log(), "");
}

} // namespace
