// Printer control commands: job start, page-end and job-end feeds and cuts,
// drawer kicks and eject, through the real executable across the whole model
// table, plus the few rules that only show in-process.
//
// Jobs through the executable use LogoPosition=4, which sends nothing for a
// page, so the printer bytes are exactly the control commands.
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/model_table.h"
#include "output/control.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

// What the printer models do, written out as lists of model numbers.
const std::set<int> kTwoFeedModels{10, 40, 41, 81, 91, 92, 105, 116, 117, 147, 289, 294};
constexpr int kFourFeedModel = 83;
// Models that never read PageCut (their pageCut stays 0).
const std::set<int> kNoPageCutModels{10, 33, 40, 41, 81, 83, 91, 92, 105, 116, 117, 147, 289, 294};
const std::set<int> kTwoFeedsBeforeCut{11, 30, 63, 86, 111, 156, 268, 284, 308, 310, 312};
const std::set<int> kOneFeedBeforeCut{61, 110, 152, 307, 309, 311};
const std::set<int> kPartialCutModels{22, 35};
const std::set<int> kEjectModels{259, 322};
const std::set<int> kNoJobEndCutModels{10, 40, 41, 81, 83, 91, 92, 105, 116, 117, 147, 289, 294};

const std::string kInit = "\x1B\x40";
const std::string kLF = "\n";
const std::string kFullCut = bytesOf({0x1D, 0x56, 0x41, 0x01});
const std::string kPartialCut = bytesOf({0x1D, 0x56, 0x42, 0x01});
const std::string kReady = "INFO: Ready to print.\n";
const std::string kNoPages = "ERROR: No pages found!\n";

std::string repeated(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

std::string ppdFile(const TestPpd& ppd)
{
    static int serial = 0;
    return writeTempFile("control-" + std::to_string(ppd.model) + "-" + std::to_string(++serial) + ".ppd",
                         ppd.text());
}

std::string ppdFor(int model)
{
    return ppdFile(TestPpd::full(model));
}

// Pages with ink on them: each one is counted.
std::string inkedPages(int count)
{
    std::vector<TestPage> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(monoPage(16, 3, {0x00, 0x00, 0x80, 0x01, 0x00, 0x00}));
    return rasterStream(pages);
}

// Blank variable-length pages: read, trimmed away, never counted.
std::string blankPages(int count)
{
    std::vector<TestPage> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(monoPage(16, 3, {}));
    return rasterStream(pages);
}

FilterRun printJob(const std::string& ppd, const std::string& options, std::string input)
{
    return runFilter(rasterJob(ppd, "LogoPosition=4 " + options, std::move(input)));
}

std::string cutCommand(int model)
{
    return kPartialCutModels.contains(model) ? kPartialCut : kFullCut;
}

int feedsBeforeCut(int model)
{
    return kTwoFeedsBeforeCut.contains(model) ? 2 : kOneFeedBeforeCut.contains(model) ? 1 : 0;
}

// The bytes a model sends after each page for the pageCut it ends up with.
std::string expectedPageEnd(int model, int pageCut, int labelPrinting)
{
    if (kTwoFeedModels.contains(model))
        return model == 92 && labelPrinting != 0 ? "\x0C" : "\n\n";
    if (model == kFourFeedModel)
        return "\n\n\n\n";
    switch (pageCut) {
    case 1: return cutCommand(model);
    case 2: return repeated(kLF, feedsBeforeCut(model)) + cutCommand(model);
    case 3:
    case 4: return kLF;
    default: return "";
    }
}

std::string expectedJobEndCut(int model, int pageCut)
{
    if (kNoJobEndCutModels.contains(model))
        return "";
    const std::string cut = findModel(model) != nullptr ? cutCommand(model) : kFullCut;
    if (pageCut == 3)
        return cut;
    if (pageCut == 4)
        return repeated(kLF, findModel(model) != nullptr ? feedsBeforeCut(model) : 0) + cut;
    return "";
}

std::vector<int> supportedModels()
{
    std::vector<int> models;
    for (const ModelRow& row : modelTable())
        models.push_back(row.model);
    return models;
}

std::string modelName(const testing::TestParamInfo<int>& info)
{
    return "Model" + std::to_string(info.param);
}

// ---------------------------------------------------------------------------
// Every model, every PageCut, through the executable.

class EveryModel : public testing::TestWithParam<int> {};

TEST_P(EveryModel, PageEndAndJobEndFollowPageCut)
{
    const int model = GetParam();
    const std::string ppd = ppdFor(model);
    const std::string input = inkedPages(2);
    for (int asked = 0; asked <= 5; ++asked) {
        SCOPED_TRACE("PageCut=" + std::to_string(asked));
        // Every job asks for an eject; only the eject models read it.
        FilterRun run = printJob(ppd, "EjectOption=5 PageCut=" + std::to_string(asked), input);
        const int pageCut = kNoPageCutModels.contains(model) ? 0 : asked;
        const std::string expected = kInit + repeated(expectedPageEnd(model, pageCut, 0), 2) +
                                     (pageCut == 5 ? repeated(kLF, 6) : "") +
                                     (kEjectModels.contains(model) ? bytesOf({0x1D, 0x65, 0x05, 0x00}) : "") +
                                     expectedJobEndCut(model, pageCut);
        EXPECT_EQ(hexBytes(run.out), hexBytes(expected));
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.err.ends_with(kReady)) << run.err;

        const std::string fourFeedLog = "PELTRIN DEBUG MSG: QTX-9 4 putchar Start\n"
                                        "PELTRIN DEBUG MSG: QTX-9 4 putchar End\n";
        std::size_t first = run.err.find(fourFeedLog);
        if (model == kFourFeedModel) {
            ASSERT_NE(first, std::string::npos) << run.err;
            EXPECT_NE(run.err.find(fourFeedLog, first + 1), std::string::npos) << "once per page";
        } else {
            EXPECT_EQ(first, std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Control, EveryModel, testing::ValuesIn(supportedModels()), modelName);

// ---------------------------------------------------------------------------
// Worked examples, byte for byte.

TEST(ControlCommands, WorkedExamples)
{
    struct Case {
        int model;
        std::string options;
        int pages;
        std::string out;
    } cases[] = {
        {284, "PageCut=2", 1, kInit + "\n\n" + kFullCut},
        {61, "PageCut=2", 1, kInit + "\n" + kFullCut},
        {22, "PageCut=1", 1, kInit + kPartialCut},
        {11, "PageCut=4", 3, kInit + "\n\n\n" + "\n\n" + kFullCut},
        {30, "PageCut=5", 2, kInit + std::string(6, '\n')},
        {92, "LabelPrinting=1", 3, kInit + "\x0C\x0C\x0C"},
        {92, "LabelPrinting=0", 1, kInit + "\n\n"},
        {10, "LabelPrinting=1 PageCut=2", 2, kInit + "\n\n\n\n"},
        {83, "PageCut=1", 1, kInit + "\n\n\n\n"},
        {33, "PageCut=3", 2, kInit},
        {35, "PageCut=3", 1, kInit + "\n" + kPartialCut},
        // Last bytes of a job: job-end feed, drawer kick, eject, job-end cut.
        {259, "PageCut=4 CashDrawer=2 CashDrawerOpen=1 EjectOption=3", 1,
         kInit + "\n" + bytesOf({0x1B, 0x70, 0x01, 0x64, 0xFF, 0x1D, 0x65, 0x03, 0x00}) + kFullCut},
        {322, "PageCut=5 CashDrawer=2 CashDrawerOpen=1 EjectOption=5", 1,
         kInit + std::string(6, '\n') + bytesOf({0x1B, 0x70, 0x01, 0x64, 0xFF, 0x1D, 0x65, 0x05, 0x00})},
        {259, "PageCut=3 EjectOption=0", 1, kInit + "\n" + kFullCut},
        {322, "EjectOption=3", 1, kInit + bytesOf({0x1D, 0x65, 0x03, 0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + " " + c.options);
        FilterRun run = printJob(ppdFor(c.model), c.options, inkedPages(c.pages));
        EXPECT_EQ(hexBytes(run.out), hexBytes(c.out));
        EXPECT_EQ(run.status, 0);
    }
}

// ---------------------------------------------------------------------------
// Cash drawer, through the executable (model 1, PageCut=1 so that the kick
// before printing shows its place in front of the first page's cut).

struct DrawerCase {
    const char* name;
    std::string options;
    std::string removeOption; // PPD option left out, if any
    bool inked;               // pages with ink, or only blank pages
    std::string out;          // after ESC @
    std::string log;          // expected somewhere in the log ("" to skip)
    bool kickLog;             // whether the "rasterData Save" lines appear
};

const std::string kStart = "PELTRIN DEBUG MSG: rasterData Save Start";
const std::string kEnd = "PELTRIN DEBUG MSG: rasterData Save End";
const std::string kKick1 = bytesOf({0x1B, 0x70, 0x00, 0x32, 0xFF});
const std::string kKick2 = bytesOf({0x1B, 0x70, 0x01, 0x64, 0xFF});
const std::string kDrawer1Log = "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = 32\n"
                                "PELTRIN DEBUG MSG : send 1b70032ff\n";

TEST(ControlCommands, DrawerKicks)
{
    const DrawerCase cases[] = {
        {"drawer 1 before printing", "CashDrawer=1 CashDrawerOpen=0", "", true,
         kKick1 + kLF + kFullCut + kFullCut, kStart + kDrawer1Log + kEnd, true},
        {"drawer 1, width 101, after printing", "CashDrawer=1 CashDrawerOpen=1 CashDrawer1PulseWidth=101", "",
         true, kFullCut + kFullCut + kKick1 + kLF, kDrawer1Log, false},
        {"drawer 2 before and after", "CashDrawer=2 CashDrawerOpen=2", "", true,
         kKick2 + kFullCut + kFullCut + kKick2, kStart + kEnd, true},
        {"drawer 2, width 201", "CashDrawer=2 CashDrawerOpen=1 CashDrawer2PulseWidth=201", "", true,
         kFullCut + kFullCut + kKick2, "", false},
        {"both drawers", "CashDrawer=3 CashDrawerOpen=0", "", true, kKick1 + kKick2 + kFullCut + kFullCut,
         kStart + kEnd, true},
        {"drawer 1 width missing", "CashDrawer=1 CashDrawerOpen=1", "CashDrawer1PulseWidth", true,
         kFullCut + kFullCut + bytesOf({0x1B, 0x70, 0x00, 0x00, 0xFF, 0x0A}),
         "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = 0\nPELTRIN DEBUG MSG : send 1b7000ff\n", false},
        {"drawer 2 width missing", "CashDrawer=2 CashDrawerOpen=1", "CashDrawer2PulseWidth", true,
         kFullCut + kFullCut + bytesOf({0x1B, 0x70, 0x01, 0x00, 0xFF}), "", false},
        {"no drawer, before printing", "CashDrawer=0 CashDrawerOpen=0", "", true, kFullCut + kFullCut,
         kStart + kEnd, true},
        {"drawer never", "CashDrawer=3 CashDrawerOpen=3", "", true, kFullCut + kFullCut, "", false},
        {"CashDrawer missing", "CashDrawerOpen=2", "CashDrawer", true, kFullCut + kFullCut, kStart + kEnd, true},
        {"blank job, before printing", "CashDrawer=3 CashDrawerOpen=0", "", false, "", "", false},
        {"blank job, after printing", "CashDrawer=2 CashDrawerOpen=1", "", false, kKick2, "", false},
        {"blank job, before and after", "CashDrawer=2 CashDrawerOpen=2", "", false, kKick2, "", false},
    };
    for (const DrawerCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestPpd ppd = TestPpd::full(1);
        if (!c.removeOption.empty())
            ppd.remove(c.removeOption);
        FilterRun run = printJob(ppdFile(ppd), "PageCut=1 " + c.options, c.inked ? inkedPages(2) : blankPages(2));
        EXPECT_EQ(hexBytes(run.out), hexBytes(kInit + c.out));
        EXPECT_EQ(run.status, c.inked ? 0 : 1);
        EXPECT_TRUE(run.err.ends_with(c.inked ? kReady : kNoPages)) << run.err;
        if (!c.log.empty()) {
            EXPECT_NE(run.err.find(c.log), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.err.find(kStart) != std::string::npos, c.kickLog) << run.err;
        // The kick before printing happens once per job.
        if (c.kickLog) {
            EXPECT_EQ(run.err.find(kStart, run.err.find(kStart) + 1), std::string::npos);
        }
    }
}

// A model whose drawer options are never read still logs around the kick
// before printing, and sends nothing.
TEST(ControlCommands, GrayForcedModelLogsAnEmptyKick)
{
    FilterRun run = printJob(ppdFor(10), "CashDrawer=3 CashDrawerOpen=2", inkedPages(2));
    EXPECT_EQ(hexBytes(run.out), hexBytes(kInit + "\n\n\n\n"));
    EXPECT_NE(run.err.find("PAGE: 1 1\n" + kStart + kEnd), std::string::npos)
        << run.err;
}

// ---------------------------------------------------------------------------
// Jobs that end without pages.

TEST(ControlCommands, UnsupportedModelGetsOnlyTheJobEndCut)
{
    for (int model : {0, 2, 328}) {
        for (int pageCut = 0; pageCut <= 5; ++pageCut) {
            SCOPED_TRACE(std::to_string(model) + " PageCut=" + std::to_string(pageCut));
            FilterRun run = printJob(ppdFor(model), "PageCut=" + std::to_string(pageCut), inkedPages(1));
            EXPECT_EQ(hexBytes(run.out), hexBytes(pageCut == 3 || pageCut == 4 ? kFullCut : ""));
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.err.ends_with(kNoPages)) << run.err;
        }
    }
}

TEST(ControlCommands, MarkerJobSendsJobStartAndJobEndCut)
{
    struct Case {
        int model;
        std::string options;
        bool withFile;
        std::string out;
    } cases[] = {
        {11, "PageCut=4", false, kInit + "\n\n" + kFullCut},
        {11, "PageCut=3", true, kInit + kFullCut},
        {22, "PageCut=3", false, kInit + kPartialCut},
        {1, "PageCut=2 CashDrawer=3 CashDrawerOpen=2 EjectOption=5", false, kInit},
        {259, "PageCut=5 CashDrawer=1 CashDrawerOpen=1 EjectOption=5", false, kInit},
        {92, "LabelPrinting=1", false, kInit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.model) + " " + c.options);
        FilterInvocation inv{{"1", "u", "PELTRIN_API_MODE_STATUS", "1", "LogoPosition=4 " + c.options},
                             ppdFor(c.model), inkedPages(2)};
        if (c.withFile)
            inv.args.push_back(writeTempFile("marker-input", "not read"));
        FilterRun run = runFilter(inv);
        EXPECT_EQ(hexBytes(run.out), hexBytes(c.out));
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.ends_with(kNoPages)) << run.err;
    }
}

// ---------------------------------------------------------------------------
// In-process: rules that no PPD can reach through the executable.

TEST(ControlInProcess, JobEndCutSkipsTheThirteenModels)
{
    for (const ModelRow& row : modelTable()) {
        for (int pageCut : {3, 4}) {
            SCOPED_TRACE(std::to_string(row.model) + " pageCut " + std::to_string(pageCut));
            JobCapture capture(row.model);
            capture.job.settings.pageCut = pageCut;
            jobEndCut(capture.job);
            EXPECT_EQ(hexBytes(capture.out()), hexBytes(expectedJobEndCut(row.model, pageCut)));
        }
    }
    // No row: no feeds, full cut.
    JobCapture unsupported(2);
    unsupported.job.settings.pageCut = 4;
    jobEndCut(unsupported.job);
    EXPECT_EQ(hexBytes(unsupported.out()), hexBytes(kFullCut));
}

TEST(ControlInProcess, DrawerPulseWidths)
{
    struct Case {
        int32_t drawer, width1, width2;
        std::string out;
        std::string log;
    } cases[] = {
        {1, 100, 0, kKick1 + kLF, kDrawer1Log},
        {1, 511, 0, bytesOf({0x1B, 0x70, 0x00, 0xFF, 0xFF, 0x0A}),
         "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = ff\nPELTRIN DEBUG MSG : send 1b700ffff\n"},
        {1, 513, 0, bytesOf({0x1B, 0x70, 0x00, 0x00, 0xFF, 0x0A}),
         "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = 100\nPELTRIN DEBUG MSG : send 1b700100ff\n"},
        {1, -1, 0, bytesOf({0x1B, 0x70, 0x00, 0x00, 0xFF, 0x0A}),
         "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = 0\nPELTRIN DEBUG MSG : send 1b7000ff\n"},
        {1, -3, 0, bytesOf({0x1B, 0x70, 0x00, 0xFF, 0xFF, 0x0A}),
         "PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = ffffffff\nPELTRIN DEBUG MSG : send 1b700ffffffffff\n"},
        {2, 0, 3, bytesOf({0x1B, 0x70, 0x01, 0x01, 0xFF}), ""},
        {2, 0, -1, bytesOf({0x1B, 0x70, 0x01, 0x00, 0xFF}), ""},
        {3, 100, 200, kKick1 + kKick2, ""},
        {3, -1, -1, bytesOf({0x1B, 0x70, 0x00, 0x00, 0xFF, 0x1B, 0x70, 0x01, 0x00, 0xFF}), ""},
        {0, 100, 200, "", ""},
        {4, 100, 200, "", ""},
        {-1, 100, 200, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.drawer) + " " + std::to_string(c.width1) + " " + std::to_string(c.width2));
        JobCapture capture(1);
        capture.job.settings.cashDrawer = c.drawer;
        capture.job.settings.cashDrawer1PulseWidth = c.width1;
        capture.job.settings.cashDrawer2PulseWidth = c.width2;
        openCashDrawer(capture.job);
        EXPECT_EQ(hexBytes(capture.out()), hexBytes(c.out));
        EXPECT_EQ(capture.log(), c.log);
    }
}

TEST(ControlInProcess, EjectOnlyForThreeAndFive)
{
    for (int32_t n : {-1, 0, 1, 2, 3, 4, 5, 6, 259}) {
        JobCapture capture(259);
        capture.job.settings.ejectOption = n;
        ejectPaper(capture.job);
        EXPECT_EQ(hexBytes(capture.out()), n == 3 || n == 5 ? hexBytes(bytesOf({0x1D, 0x65, n, 0x00})) : "") << n;
    }
}

void (*termHandler())(int)
{
    struct sigaction current {};
    sigaction(SIGTERM, nullptr, &current);
    return current.sa_handler;
}

// SIGTERM runs the cancel from the job start and is ignored from the normal
// job end on.
TEST(ControlInProcess, JobStartArmsTheCancelAndEndPageDisarmsIt)
{
    struct sigaction saved {};
    sigaction(SIGTERM, nullptr, &saved);
    {
        JobCapture capture(1);
        jobSetup(capture.job);
        EXPECT_EQ(termHandler(), &cancelJob);
        EXPECT_EQ(hexBytes(capture.out()), hexBytes(kInit));
        capture.job.out.put(0x55);
        endPage(capture.job);
        EXPECT_EQ(termHandler(), SIG_IGN);
        EXPECT_EQ(capture.outSize, 3u) << "endPage flushes";
        shutDown(capture.job.out);
        EXPECT_EQ(hexBytes(capture.out()), "1B 40 55 1B 40");
    }
    sigaction(SIGTERM, &saved, nullptr);
}

} // namespace
