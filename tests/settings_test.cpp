// Print settings from real PPD files and job options.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "filter/settings.h"
#include "tests/support/ppd_writer.h"

namespace {

struct Read {
    int result;
    PrintSettings s;
    std::string log;
};

Read readSettings(const TestPpd& ppd, const char* options)
{
    static int counter = 0;
    std::string path = writeTempFile("settings" + std::to_string(counter++) + ".ppd", ppd.text());
    setenv("PPD", path.c_str(), 1);
    char* data = nullptr;
    size_t size = 0;
    FILE* log = open_memstream(&data, &size);
    Read r{};
    std::memset(&r.s, 0x5A, sizeof r.s); // every field must be written
    r.result = initializeSettings(options, r.s, log);
    fclose(log);
    r.log.assign(data, size);
    free(data);
    return r;
}

std::string drawerLines(int drawer, int open, int width1, int width2)
{
    return "PELTRIN DEBUG MSG : cashDrawer = " + std::to_string(drawer) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawerOpen = " + std::to_string(open) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawer1PulseWidth = " + std::to_string(width1) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawer2PulseWidth = " + std::to_string(width2) + "\n";
}

TEST(Settings, DefaultsOfAColorModel)
{
    Read r = readSettings(TestPpd::full(1), "");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.s.modelNumber, 1);
    EXPECT_EQ(r.s.pageSize, 1);
    EXPECT_EQ(r.s.pageType, 0);
    EXPECT_EQ(r.s.rotation, 0);
    EXPECT_EQ(r.s.colorModel, 1);
    EXPECT_EQ(r.s.compPrinting, 0) << "model 1 has no compressed raster";
    EXPECT_EQ(r.s.labelPrinting, 0);
    EXPECT_EQ(r.s.cashDrawerOpen, 3);
    EXPECT_EQ(r.s.cashDrawer1PulseWidth, 100);
    EXPECT_EQ(r.s.cashDrawer2PulseWidth, 200);
    EXPECT_EQ(r.s.paperReduction, 0);
    EXPECT_EQ(r.s.ejectOption, 0);
    EXPECT_EQ(r.log, drawerLines(0, 3, 100, 200) + "PELTRIN DEBUG MSG: The Printer Model is : 1\n");
}

TEST(Settings, JobOptionsWinOverDefaults)
{
    Read r = readSettings(TestPpd::full(30),
                          "PageCut=1 Rotation=2 FocusArea=2 CompPrinting=1 LogoPosition=3 "
                          "LogoJustification=2 LogoImage=1 LogoWidth=3 LineFeed=2 ColorModel=0 "
                          "CashDrawer=3 CashDrawerOpen=2 CashDrawer1PulseWidth=101 PageSize=101 PageType=1");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.s.pageCut, 1);
    EXPECT_EQ(r.s.rotation, 2);
    EXPECT_EQ(r.s.focusArea, 2);
    EXPECT_EQ(r.s.compPrinting, 1);
    EXPECT_EQ(r.s.logoPosition, 3);
    EXPECT_EQ(r.s.logoJustification, 2);
    EXPECT_EQ(r.s.logoImage, 1);
    EXPECT_EQ(r.s.logoWidth, 3);
    EXPECT_EQ(r.s.lineFeed, 2);
    EXPECT_EQ(r.s.colorModel, 0);
    EXPECT_EQ(r.s.cashDrawer, 3);
    EXPECT_EQ(r.s.cashDrawerOpen, 2);
    EXPECT_EQ(r.s.cashDrawer1PulseWidth, 101);
    EXPECT_EQ(r.s.pageSize, 101);
    EXPECT_EQ(r.s.pageType, 1);
}

TEST(Settings, OptionsMissingFromThePpdGiveMinusOne)
{
    TestPpd ppd = TestPpd::full(30);
    for (const char* k : {"PageSize", "PageType", "Rotation", "FocusArea", "CompPrinting", "LogoPosition",
                          "LogoJustification", "LogoImage", "LogoWidth", "LineFeed", "ColorModel", "PageCut",
                          "CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth", "CashDrawer2PulseWidth"})
        ppd.remove(k);
    Read r = readSettings(ppd, "Rotation=1 PageCut=2");
    ASSERT_EQ(r.result, 0);
    for (int32_t v : {r.s.pageSize, r.s.pageType, r.s.rotation, r.s.focusArea, r.s.compPrinting, r.s.logoPosition,
                      r.s.logoJustification, r.s.logoImage, r.s.logoWidth, r.s.lineFeed, r.s.colorModel,
                      r.s.pageCut, r.s.cashDrawer, r.s.cashDrawerOpen, r.s.cashDrawer1PulseWidth,
                      r.s.cashDrawer2PulseWidth})
        EXPECT_EQ(v, -1);
    EXPECT_EQ(r.s.labelPrinting, 0) << "not read for model 30";
    EXPECT_EQ(r.log, drawerLines(-1, -1, -1, -1) + "PELTRIN DEBUG MSG: The Printer Model is : 30\n");
}

TEST(Settings, ChoiceKeywordsAreReadAsNumbers)
{
    struct Case {
        const char* keyword;
        int32_t value;
    } cases[] = {{"101", 101}, {"abc", 0}, {"80x297", 80}, {"-3", -3}, {"007", 7}};
    for (const Case& c : cases) {
        TestPpd ppd = TestPpd::full(1);
        ppd.setDefault("PageSize", c.keyword);
        Read r = readSettings(ppd, "");
        EXPECT_EQ(r.s.pageSize, c.value) << c.keyword;
    }
}

TEST(Settings, GrayForcedModelIgnoresColorAndDrawerOptions)
{
    Read r = readSettings(TestPpd::full(10), "ColorModel=0 PageCut=3 CashDrawer=1 CashDrawerOpen=0 FocusArea=1");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.s.colorModel, 1);
    EXPECT_EQ(r.s.pageCut, 0);
    EXPECT_EQ(r.s.cashDrawer, 0);
    EXPECT_EQ(r.s.cashDrawerOpen, 0);
    EXPECT_EQ(r.s.cashDrawer1PulseWidth, 0);
    EXPECT_EQ(r.s.focusArea, 0);
    EXPECT_EQ(r.log, "Set Color model = GRAYPELTRIN DEBUG MSG: The Printer Model is : 10\n");
}

TEST(Settings, ModelWithoutFocusOrLabelOptionLeavesThemZero)
{
    Read label = readSettings(TestPpd::full(92), "FocusArea=1 LabelPrinting=1 CompPrinting=1");
    EXPECT_EQ(label.s.focusArea, 0);
    EXPECT_EQ(label.s.labelPrinting, 1);
    EXPECT_EQ(label.s.compPrinting, 1);
    Read other = readSettings(TestPpd::full(30), "LabelPrinting=1");
    EXPECT_EQ(other.s.labelPrinting, 0);
}

TEST(Settings, Model83IsMonochromeReadsDrawerAndReduction)
{
    Read r = readSettings(TestPpd::full(83), "ColorModel=0 PageCut=3 CashDrawer=2 PaperReduction=Custom.42");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.s.colorModel, 1);
    EXPECT_EQ(r.s.pageCut, 0);
    EXPECT_EQ(r.s.cashDrawer, 2);
    EXPECT_EQ(r.s.paperReduction, 42);
    EXPECT_EQ(r.log, drawerLines(2, 3, 100, 200) +
                         "PELTRIN DEBUG MSG: The Printer Model is : 83\n"
                         "PELTRIN DEBUG MSG: Reduce Rate = 42\n");
}

TEST(Settings, PaperReductionCustomValue)
{
    struct Case {
        int model;
        bool custom;
        const char* options;
        int32_t value;
        const char* extraLog;
    } cases[] = {
        {86, true, "PaperReduction=Custom.50", 50, ""},
        {268, true, "PaperReduction={Value=75}", 75, ""},
        {86, true, "PaperReduction=Custom.999", 999, ""},
        {86, false, "PaperReduction=Custom.50", -1, "PELTRIN DEBUG MSG : ppd option is NULL\n"},
        {30, true, "PaperReduction=Custom.50", 0, nullptr},
    };
    for (const Case& c : cases) {
        TestPpd ppd = TestPpd::full(c.model);
        if (!c.custom)
            ppd.remove("PaperReduction");
        Read r = readSettings(ppd, c.options);
        EXPECT_EQ(r.s.paperReduction, c.value) << c.model << " " << c.options;
        if (c.extraLog != nullptr) {
            std::string tail = std::string(c.extraLog) + "PELTRIN DEBUG MSG: Reduce Rate = " +
                               std::to_string(c.value) + "\n";
            EXPECT_TRUE(r.log.ends_with(tail)) << r.log;
        } else {
            EXPECT_EQ(r.log.find("Reduce Rate"), std::string::npos);
        }
    }
}

TEST(Settings, EjectOptionOnlyForEjectModels)
{
    for (int model : {259, 322}) {
        Read r = readSettings(TestPpd::full(model), "EjectOption=5");
        EXPECT_EQ(r.s.ejectOption, 5);
        EXPECT_TRUE(r.log.ends_with("PELTRIN DEBUG MSG: The Printer Model is : " + std::to_string(model) +
                                    "\nPELTRIN DEBUG MSG: Eject Option = 5\n"));
    }
    for (int model : {1, 30, 92}) {
        Read r = readSettings(TestPpd::full(model), "EjectOption=5");
        EXPECT_EQ(r.s.ejectOption, 0) << model;
        EXPECT_EQ(r.log.find("Eject"), std::string::npos);
    }
}

TEST(Settings, UnsupportedModelKeepsWhatWasRead)
{
    for (int model : {0, 2, 100, 290, 328}) {
        Read r = readSettings(TestPpd::full(model), "PageCut=4");
        EXPECT_EQ(r.result, 1) << model;
        EXPECT_EQ(r.s.modelNumber, model);
        EXPECT_EQ(r.s.pageCut, 4);
        EXPECT_EQ(r.log, drawerLines(0, 3, 100, 200));
    }
}

TEST(Settings, UnreadablePpdIsRefused)
{
    char* data = nullptr;
    size_t size = 0;
    PrintSettings s;
    FILE* log = open_memstream(&data, &size);

    unsetenv("PPD");
    EXPECT_EQ(initializeSettings("", s, log), 1);
    setenv("PPD", "/nonexistent/peltrin.ppd", 1);
    EXPECT_EQ(initializeSettings("", s, log), 1);
    setenv("PPD", writeTempFile("garbage.ppd", "this is not a PPD\n").c_str(), 1);
    EXPECT_EQ(initializeSettings("", s, log), 1);
    fclose(log);
    std::string text(data, size);
    free(data);
    EXPECT_EQ(text.find("ERROR: No PPD file"), 0u) << text;
    EXPECT_NE(text.find("ERROR: Unable to open PPD file /nonexistent/peltrin.ppd"), std::string::npos);
    EXPECT_NE(text.find("garbage.ppd"), std::string::npos);
}

} // namespace
