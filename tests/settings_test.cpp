// Print settings from real PPD files and job options: the whole record and
// the exact log, one row per rule.
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/settings.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"

void PrintTo(const PrintSettings& s, std::ostream* os)
{
    const int32_t* f = &s.modelNumber;
    for (std::size_t i = 0; i < sizeof s / sizeof *f; ++i)
        *os << (i ? "," : "{") << f[i];
    *os << "}";
}

namespace {

struct Read {
    int result;
    PrintSettings s;
    std::string log;
};

Read readSettings(const TestPpd& ppd, const std::string& options)
{
    static int counter = 0;
    std::string path = writeTempFile("settings" + std::to_string(counter++) + ".ppd", ppd.text());
    setenv("PPD", path.c_str(), 1);
    JobCapture job(0);
    Read r{};
    std::memset(&r.s, 0x5A, sizeof r.s); // every field must be written
    r.result = initializeSettings(options.c_str(), r.s, job.job.log);
    r.log = job.log();
    return r;
}

std::string drawerLines(int drawer, int open, int width1, int width2)
{
    return "PELTRIN DEBUG MSG : cashDrawer = " + std::to_string(drawer) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawerOpen = " + std::to_string(open) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawer1PulseWidth = " + std::to_string(width1) + "\n" +
           "PELTRIN DEBUG MSG : cashDrawer2PulseWidth = " + std::to_string(width2) + "\n";
}

std::string modelLine(int model)
{
    return "PELTRIN DEBUG MSG: The Printer Model is : " + std::to_string(model) + "\n";
}

const std::vector<std::string> kEveryListOption{
    "PageSize", "PageType", "Rotation", "FocusArea", "CompPrinting", "LogoPosition", "LogoJustification",
    "LogoImage", "LogoWidth", "LineFeed", "ColorModel", "PageCut", "CashDrawer", "CashDrawerOpen",
    "CashDrawer1PulseWidth", "CashDrawer2PulseWidth", "PaperReduction"};

struct SettingsCase {
    const char* name;
    int model;
    std::string options;
    std::vector<std::string> removed; // options the PPD leaves out
    int result;
    // modelNumber, pageType, focusArea, rotation, colorModel, compPrinting,
    // labelPrinting, logoPosition, logoJustification, logoImage, logoWidth,
    // lineFeed, pageSize, pageCut, cashDrawer, cashDrawerOpen,
    // cashDrawer1PulseWidth, cashDrawer2PulseWidth, paperReduction, ejectOption
    PrintSettings expected;
    std::string log;
};

const SettingsCase kCases[] = {
    {"PpdDefaultsOfAColorModel", 1, "", {}, 0,
     {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, 0, 0},
     drawerLines(0, 3, 100, 200) + modelLine(1)},
    {"JobOptionsWinOverDefaults", 30,
     "PageCut=1 Rotation=2 FocusArea=2 CompPrinting=1 LogoPosition=3 LogoJustification=2 LogoImage=1 "
     "LogoWidth=3 LineFeed=2 ColorModel=0 CashDrawer=3 CashDrawerOpen=2 CashDrawer1PulseWidth=101 "
     "PageSize=101 PageType=1 LabelPrinting=1 EjectOption=5",
     {}, 0,
     {30, 1, 2, 2, 0, 1, 0, 3, 2, 1, 3, 2, 101, 1, 3, 2, 101, 200, 0, 0},
     drawerLines(3, 2, 101, 200) + modelLine(30)},
    {"OptionsMissingFromThePpdGiveMinusOne", 30, "Rotation=1 PageCut=2", kEveryListOption, 0,
     {30, -1, -1, -1, -1, -1, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0},
     drawerLines(-1, -1, -1, -1) + modelLine(30)},
    {"GrayForcedModelReadsNoColorOrDrawerOption", 10,
     "ColorModel=0 PageCut=3 CashDrawer=1 CashDrawerOpen=0 FocusArea=1 CompPrinting=1", {}, 0,
     {10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
     "Set Color model = GRAY" + modelLine(10)},
    {"LabelModelReadsLabelAndCompressionNotFocus", 92, "FocusArea=1 LabelPrinting=1 CompPrinting=1", {}, 0,
     {92, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
     "Set Color model = GRAY" + modelLine(92)},
    {"Model83IsMonochromeAndReadsDrawerAndReduction", 83,
     "ColorModel=0 PageCut=3 CashDrawer=2 PaperReduction=Custom.42", {}, 0,
     {83, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 3, 100, 200, 42, 0},
     drawerLines(2, 3, 100, 200) + modelLine(83) + "PELTRIN DEBUG MSG: Reduce Rate = 42\n"},
    {"ReductionFromTheCustomParameterSyntax", 268, "PaperReduction={Value=75}", {}, 0,
     {268, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, 75, 0},
     drawerLines(0, 3, 100, 200) + modelLine(268) + "PELTRIN DEBUG MSG: Reduce Rate = 75\n"},
    {"ReductionOutOfRangeArrivesAsGiven", 86, "PaperReduction=Custom.999", {}, 0,
     {86, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, 999, 0},
     drawerLines(0, 3, 100, 200) + modelLine(86) + "PELTRIN DEBUG MSG: Reduce Rate = 999\n"},
    {"ReductionMissingFromThePpd", 86, "PaperReduction=Custom.50", {"PaperReduction"}, 0,
     {86, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, -1, 0},
     drawerLines(0, 3, 100, 200) + modelLine(86) +
         "PELTRIN DEBUG MSG : ppd option is NULL\nPELTRIN DEBUG MSG: Reduce Rate = -1\n"},
    {"EjectOptionOnModel259", 259, "EjectOption=5", {}, 0,
     {259, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, 0, 5},
     drawerLines(0, 3, 100, 200) + modelLine(259) + "PELTRIN DEBUG MSG: Eject Option = 5\n"},
    {"EjectOptionOnModel322", 322, "EjectOption=3", {}, 0,
     {322, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 3, 100, 200, 0, 3},
     drawerLines(0, 3, 100, 200) + modelLine(322) + "PELTRIN DEBUG MSG: Eject Option = 3\n"},
    {"UnsupportedModelKeepsWhatWasRead", 328, "PageCut=4 EjectOption=5", {}, 1,
     {328, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 4, 0, 3, 100, 200, 0, 0},
     drawerLines(0, 3, 100, 200)},
};

class SettingsFromPpd : public testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFromPpd, RecordAndLogAreExact)
{
    const SettingsCase& c = GetParam();
    TestPpd ppd = TestPpd::full(c.model);
    for (const std::string& k : c.removed)
        ppd.remove(k);
    Read r = readSettings(ppd, c.options);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.s, c.expected);
    EXPECT_EQ(r.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsFromPpd, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(Settings, ChoiceKeywordsAreReadAsNumbers)
{
    struct Case {
        const char* keyword;
        int32_t value;
    } cases[] = {{"101", 101}, {"abc", 0}, {"80x297", 80}, {"-3", -3}, {"007", 7}};
    for (const Case& c : cases) {
        TestPpd ppd = TestPpd::full(1);
        ppd.setDefault("PageSize", c.keyword);
        EXPECT_EQ(readSettings(ppd, "").s.pageSize, c.value) << c.keyword;
    }
}

TEST(Settings, UnreadablePpdIsRefused)
{
    JobCapture job(0);
    LogOutput* log = job.job.log;
    PrintSettings s;
    unsetenv("PPD");
    EXPECT_EQ(initializeSettings("", s, log), 1);
    setenv("PPD", "/nonexistent/peltrin.ppd", 1);
    EXPECT_EQ(initializeSettings("", s, log), 1);
    setenv("PPD", writeTempFile("garbage.ppd", "this is not a PPD\n").c_str(), 1);
    EXPECT_EQ(initializeSettings("", s, log), 1);
    const std::string text = job.log();
    EXPECT_EQ(text.find("ERROR: No PPD file"), 0u) << text;
    EXPECT_NE(text.find("ERROR: Unable to open PPD file /nonexistent/peltrin.ppd"), std::string::npos);
    EXPECT_NE(text.find("garbage.ppd"), std::string::npos);
}

} // namespace
