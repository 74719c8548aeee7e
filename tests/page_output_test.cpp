// Page output: logo placement around the page in both stored-logo forms,
// the nv models' log lines, the choice of encoder and the refusals that
// leave a page out whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "output/color_encoder.h"
#include "output/gray_encoder.h"
#include "output/page_output.h"
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

struct Logo {
    int32_t position;
    int32_t justification = 0;
    int32_t image = 0;
    int32_t width = 0;
    int32_t lineFeed = 0;
};

void setLogo(JobState& job, const Logo& logo)
{
    job.settings.logoPosition = logo.position;
    job.settings.logoJustification = logo.justification;
    job.settings.logoImage = logo.image;
    job.settings.logoWidth = logo.width;
    job.settings.lineFeed = logo.lineFeed;
    job.settings.colorModel = 1;
    job.settings.compPrinting = 0;
}

// A two-row monochrome page: ## / .#  (16 dots).
const Bytes kPage{0xFF, 0x00, 0x00, 0xFF};
const cups_page_header_t kHeader = header(16, 2, 2);

std::string grayPageBytes(int32_t model)
{
    JobCapture cap(model);
    cap.job.settings.compPrinting = 0;
    printGrayPage(cap.job, kPage, kHeader, 0);
    return cap.out();
}

// ---------------------------------------------------------------- logo bytes

TEST(PrintPage, FspLogoBeforeThePage)
{
    JobCapture cap(1);
    setLogo(cap.job, {.position = 1, .justification = 1, .image = 0, .width = 0, .lineFeed = 3});
    EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0);
    EXPECT_EQ(hexBytes(cap.out()), "1B 61 01 1C 70 01 00 1B 40 0A 0A 0A " + hexBytes(grayPageBytes(1)));
    EXPECT_EQ(cap.log(), "Normal printing.\n");
}

struct LogoCase {
    const char* name;
    int32_t model;
    Logo logo;
    const char* block; // hex
};

TEST(SendLogoBlock, BytesOfBothForms)
{
    const LogoCase cases[] = {
        {"model 40 (key base '1'), image 2, quadruple", 40, {1, 0, 2, 3, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 33 02 02 1B 40"},
        {"model 33 (key base '0'), image 2, quadruple", 33, {1, 0, 2, 3, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40"},
        {"model 33, image 0, normal", 33, {1, 2, 0, 0, 1}, "1B 61 02 1D 28 4C 06 00 30 45 30 30 01 01 1B 40 0A"},
        {"model 10, image 0, double width", 10, {1, 1, 0, 1, 0}, "1B 61 01 1D 28 4C 06 00 30 45 30 31 02 01 1B 40"},
        {"model 289, image 1, double height", 289, {1, 0, 1, 2, 0}, "1B 61 00 1D 28 4C 06 00 30 45 30 32 01 02 1B 40"},
        {"model 82, image 1, double height", 82, {1, 0, 1, 2, 2}, "1B 61 00 1D 28 4C 06 00 30 45 30 31 01 02 1B 40 0A 0A"},
        {"fsp, image 2, quadruple", 1, {1, 2, 2, 3, 0}, "1B 61 02 1C 70 03 03 1B 40"},
        {"fsp sends out-of-range values as low bytes", 1, {1, 300, 255, 258, 0}, "1B 61 2C 1C 70 00 02 1B 40"},
        {"fsp, logoImage -1", 1, {1, -1, -1, -1, -1}, "1B 61 FF 1C 70 00 FF 1B 40"},
        {"fsp, logoImage INT32_MAX", 1, {1, 0, 2147483647, 0, 0}, "1B 61 00 1C 70 00 00 1B 40"},
    };
    for (const LogoCase& c : cases) {
        JobCapture cap(c.model);
        setLogo(cap.job, c.logo);
        EXPECT_TRUE(sendLogoBlock(cap.job, cap.job.model->pageLogo)) << c.name;
        EXPECT_EQ(hexBytes(cap.out()), c.block) << c.name;
        EXPECT_EQ(cap.log(), "") << c.name;
    }
}

// ---------------------------------------------------------------- placement

struct PlacementCase {
    int32_t position;
    int logosBefore;
    int logosAfter;
    bool page;
};

TEST(PrintPage, PlacementByLogoPosition)
{
    const PlacementCase cases[] = {
        {0, 0, 0, true}, {1, 1, 0, true}, {2, 0, 1, true}, {3, 1, 1, true},
        {-1, 0, 0, false}, {4, 0, 0, false}, {100, 0, 0, false},
    };
    const int32_t models[] = {1, 29, 33, 40, 13};
    for (int32_t model : models) {
        JobCapture logoCap(model);
        setLogo(logoCap.job, {1, 1, 1, 1, 2});
        sendLogoBlock(logoCap.job, logoCap.job.model->pageLogo);
        const std::string logo = logoCap.out();
        const std::string page = grayPageBytes(model);
        for (const PlacementCase& c : cases) {
            JobCapture cap(model);
            setLogo(cap.job, {c.position, 1, 1, 1, 2});
            EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0);
            std::string expected;
            for (int i = 0; i < c.logosBefore; ++i)
                expected += logo;
            if (c.page)
                expected += page;
            for (int i = 0; i < c.logosAfter; ++i)
                expected += logo;
            EXPECT_EQ(hexBytes(cap.out()), hexBytes(expected)) << "model " << model << " position " << c.position;
        }
    }
}

TEST(PrintPage, PositionThreeWithoutLineFeeds)
{
    JobCapture cap(1);
    setLogo(cap.job, {.position = 3, .justification = 0, .image = 1, .width = 2, .lineFeed = 0});
    printPage(cap.job, kPage, {}, kHeader);
    EXPECT_EQ(hexBytes(cap.out()),
              "1B 61 00 1C 70 02 02 1B 40 " + hexBytes(grayPageBytes(1)) + " 1B 61 00 1C 70 02 02 1B 40");
}

TEST(PrintPage, LogoAfterTheFinalPrintOfATwoColorPage)
{
    const Bytes black(300, 0x0F);
    const Bytes color(300, 0xF0);
    JobCapture cap(1);
    setLogo(cap.job, {.position = 2, .justification = 0, .image = 0, .width = 0, .lineFeed = 0});
    cap.job.settings.colorModel = 0;
    EXPECT_EQ(printPage(cap.job, black, color, header(8, 300, 4)), 0);
    const auto commands = parseCommands(cap.out());
    ASSERT_GE(commands.size(), 5u);
    const std::vector<CommandKind> tail{CommandKind::graphicsPrint, CommandKind::justify,
                                        CommandKind::storedLogo, CommandKind::initialize};
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), commands.end() - 4,
                           [](CommandKind k, const Command& c) { return c.kind == k; }))
        << describeCommands(commands);
    const PrintedPlanes printed = printedPlanes(commands);
    EXPECT_EQ(printed.black.data, black);
    EXPECT_EQ(printed.color.data, color);
}

// ---------------------------------------------------------------- nv log

struct NvLogCase {
    const char* name;
    int32_t model;
    Logo logo;
    bool twoColor;
    std::string log;
};

TEST(PrintPage, NvModelLogLines)
{
    const std::string pos = "PELTRIN DEBUG MSG : Logo position set End\n";
    const std::string grayWrapped = "PELTRIN DEBUG MSG : Enter printGrayPage\nNormal printing.\n"
                                    "PELTRIN DEBUG MSG : Exit printGrayPage\n";
    const NvLogCase cases[] = {
        {"base '0', first image, normal, position 0", 33, {0, 0, 0, 0, 0}, false,
         pos + "PELTRIN DEBUG MSG : First logo Image set End\n" + "PELTRIN DEBUG MSG : Logo width(normal) set End\n" +
             grayWrapped},
        {"base '0', second image, double width, position 1", 33, {1, 0, 1, 1, 0}, false,
         pos + "PELTRIN DEBUG MSG : Second logo image set End\n" +
             "PELTRIN DEBUG MSG : Logo width(double width) set End\n" + "Normal printing.\n"},
        {"base '0', third image, double height, position 2", 83, {2, 0, 2, 2, 0}, false,
         pos + "PELTRIN DEBUG MSG : Third logo Image set End\n" +
             "PELTRIN DEBUG MSG : Logo width(double height) set End\n" + "Normal printing.\n"},
        {"base '1' logs no image line", 40, {0, 0, 2, 3, 0}, false,
         pos + "PELTRIN DEBUG MSG : Logo width(quardruple) set End\n" + grayWrapped},
        {"position -1 logs the settings only", 33, {-1, 0, 0, 3, 0}, false,
         pos + "PELTRIN DEBUG MSG : First logo Image set End\n" +
             "PELTRIN DEBUG MSG : Logo width(quardruple) set End\n"},
        {"two-color page at position 0", 42, {0, 0, 1, 0, 0}, true,
         pos + "PELTRIN DEBUG MSG : Second logo image set End\n" + "PELTRIN DEBUG MSG : Logo width(normal) set End\n" +
             "PELTRIN DEBUG MSG : Enter printColorPage\n" + "PELTRIN DEBUG MSG : before header->cupsHegiht = 2\n" +
             "PELTRIN DEBUG MSG : Exit printColorPage\n"},
        {"two-color page at position 3", 42, {3, 0, 1, 0, 0}, true,
         pos + "PELTRIN DEBUG MSG : Second logo image set End\n" + "PELTRIN DEBUG MSG : Logo width(normal) set End\n" +
             "PELTRIN DEBUG MSG : before header->cupsHegiht = 2\n"},
    };
    const Bytes plane{0x80, 0x01};
    for (const NvLogCase& c : cases) {
        JobCapture cap(c.model);
        setLogo(cap.job, c.logo);
        cap.job.settings.colorModel = c.twoColor ? 0 : 1;
        if (c.twoColor)
            EXPECT_EQ(printPage(cap.job, plane, plane, header(8, 2, 4)), 0) << c.name;
        else
            EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0) << c.name;
        EXPECT_EQ(cap.log(), c.log) << c.name;
    }
}

TEST(PrintPage, NvPositionZeroSendsNoLogoBytes)
{
    JobCapture cap(33);
    setLogo(cap.job, {.position = 0, .justification = 1, .image = 1, .width = 1, .lineFeed = 4});
    printPage(cap.job, kPage, {}, kHeader);
    EXPECT_EQ(hexBytes(cap.out()), hexBytes(grayPageBytes(33)));
}

TEST(PrintPage, FspModelsWriteNoLogLines)
{
    for (int32_t position : {0, 1, 2, 3, -1}) {
        JobCapture cap(13);
        setLogo(cap.job, {.position = position, .justification = 0, .image = 7, .width = 9, .lineFeed = 1});
        printPage(cap.job, kPage, {}, kHeader);
        EXPECT_EQ(cap.log(), "") << position;
    }
}

// ---------------------------------------------------------------- undefined nv logos

struct UndefinedLogoCase {
    const char* name;
    int32_t image;
    int32_t width;
};

TEST(PrintPage, NvLogoWithoutKeyOrScaleIsLeftOutAndThePagePrints)
{
    const UndefinedLogoCase cases[] = {
        {"logoImage 3", 3, 0}, {"logoImage -1", -1, 1}, {"logoWidth 4", 0, 4}, {"logoWidth -1", 2, -1},
        {"both out of range", 9, 9},
    };
    for (const UndefinedLogoCase& c : cases) {
        JobCapture cap(40);
        setLogo(cap.job, {.position = 3, .justification = 0, .image = c.image, .width = c.width, .lineFeed = 2});
        EXPECT_FALSE(sendLogoBlock(cap.job, LogoForm::nv)) << c.name;
        EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0) << c.name;
        EXPECT_EQ(hexBytes(cap.out()), hexBytes(grayPageBytes(40))) << c.name;
        const std::string log = cap.log();
        EXPECT_EQ(log.find("PELTRIN DEBUG MSG : Logo left out"), log.rfind("PELTRIN DEBUG MSG : Logo left out"))
            << c.name << ": one line, not one per logo block\n" << log;
        EXPECT_NE(log.find("PELTRIN DEBUG MSG : Logo left out"), std::string::npos) << c.name << "\n" << log;
    }
}

TEST(PrintPage, NvLogoLeftOutLineOnlyWhereALogoWasDue)
{
    JobCapture cap(40);
    setLogo(cap.job, {.position = 0, .justification = 0, .image = 5, .width = 0, .lineFeed = 0});
    printPage(cap.job, kPage, {}, kHeader);
    EXPECT_EQ(cap.log().find("Logo left out"), std::string::npos);
}

// ---------------------------------------------------------------- encoder choice

TEST(PrintPage, ColorModelZeroWithoutColorPlaneUsesTheMonochromeEncoder)
{
    for (int32_t model : {13, 52}) {
        JobCapture cap(model);
        setLogo(cap.job, {.position = 0});
        cap.job.settings.colorModel = 0;
        EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0);
        EXPECT_EQ(hexBytes(cap.out()), "1D 76 30 00 02 00 02 00 FF 00 00 FF") << model;
        EXPECT_EQ(cap.log(), "") << model;
    }
}

TEST(PrintPage, ColorModelZeroWithColorPlaneUsesTheTwoColorEncoder)
{
    const Bytes black{0x80, 0x40};
    const Bytes color{0x01, 0x02};
    JobCapture cap(1);
    setLogo(cap.job, {.position = 0});
    cap.job.settings.colorModel = 0;
    EXPECT_EQ(printPage(cap.job, black, color, header(8, 2, 4)), 0);
    const PrintedPlanes printed = printedPlanes(parseCommands(cap.out()));
    EXPECT_EQ(printed.black.data, black);
    EXPECT_EQ(printed.color.data, color);
}

TEST(PrintPage, CompPrintingThatSelectsNoPathKeepsTheLogos)
{
    JobCapture cap(29);
    setLogo(cap.job, {.position = 3, .justification = 0, .image = 0, .width = 0, .lineFeed = 0});
    cap.job.settings.compPrinting = 2;
    EXPECT_EQ(printPage(cap.job, kPage, {}, kHeader), 0);
    EXPECT_EQ(hexBytes(cap.out()), "1B 61 00 1C 70 01 00 1B 40 1B 61 00 1C 70 01 00 1B 40");
}

// ---------------------------------------------------------------- empty and refused pages

TEST(PrintPage, PageWithNothingToSendKeepsItsLogos)
{
    struct Case {
        const char* name;
        int32_t model;
        cups_page_header_t header;
        int32_t rotation;
        int32_t colorModel;
    };
    const Bytes blank(8, 0);
    const Case cases[] = {
        {"no rows", 1, header(16, 0, 2), 0, 1},
        {"no bytes per line", 29, header(16, 4, 0), 0, 1},
        {"GS v 0 blank after the trailing drop", 13, header(16, 4, 2), 1, 1},
        {"two-color, no rows", 1, header(16, 0, 8), 0, 0},
    };
    for (const Case& c : cases) {
        JobCapture cap(c.model);
        setLogo(cap.job, {.position = 3, .justification = 0, .image = 0, .width = 0, .lineFeed = 1});
        cap.job.settings.colorModel = c.colorModel;
        cap.job.Rotation = c.rotation;
        EXPECT_EQ(printPage(cap.job, blank, c.colorModel == 0 ? std::span<const uint8_t>(blank) : std::span<const uint8_t>(),
                            c.header),
                  0)
            << c.name;
        EXPECT_EQ(hexBytes(cap.out()), "1B 61 00 1C 70 01 00 1B 40 0A 1B 61 00 1C 70 01 00 1B 40 0A") << c.name;
    }
}

TEST(PrintPage, RefusedPageSendsNothingAtAll)
{
    struct Case {
        const char* name;
        int32_t model;
        int32_t colorModel;
        cups_page_header_t header;
        std::size_t pageSize;
        std::size_t colorSize;
    };
    const Case cases[] = {
        {"GS v 0 row of 65536 bytes", 13, 1, header(65535, 1, 65536), 65536, 0},
        {"graphics store wider than 65535 dots", 33, 1, header(65536, 1, 8192), 8192, 0},
        {"compressed band wider than 65535 dots", 40, 1, header(65536, 1, 8192), 8192, 0},
        {"page span shorter than the header", 1, 1, header(16, 4, 2), 7, 0},
        {"color plane shorter than the header", 42, 0, header(8, 4, 4), 4, 3},
        {"two-color row of 65526 bytes", 1, 0, header(60000, 1, 4 * 65526), 65526, 65526},
    };
    for (const Case& c : cases) {
        JobCapture cap(c.model);
        setLogo(cap.job, {.position = 3, .justification = 0, .image = 0, .width = 0, .lineFeed = 1});
        cap.job.settings.colorModel = c.colorModel;
        cap.job.settings.compPrinting = c.model == 40 ? 1 : 0;
        const Bytes page(c.pageSize, 0xAA);
        const Bytes color(c.colorSize, 0x55);
        EXPECT_EQ(printPage(cap.job, page, color, c.header), 1) << c.name;
        EXPECT_EQ(cap.out(), "") << c.name;
        const std::string log = cap.log();
        EXPECT_EQ(log.rfind("ERROR: ", 0), 0u) << c.name << ": " << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << c.name << ": " << log;
    }
}

TEST(PrintPage, OutOfPlacePositionNeedsNoRefusal)
{
    // Nothing is sent for position -1, so nothing can overflow.
    JobCapture cap(13);
    setLogo(cap.job, {.position = -1});
    const Bytes page(65536, 0);
    EXPECT_EQ(printPage(cap.job, page, {}, header(65535, 1, 65536)), 0);
    EXPECT_EQ(cap.out(), "");
    EXPECT_EQ(cap.log(), "");
}

} // namespace
