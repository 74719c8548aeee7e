// Printer control commands: job start, page-end and job-end feeds and cuts,
// drawer kicks and eject, through the real executable across the whole model
// table, plus the few rules that only show in-process.
//
// Jobs through the executable use LogoPosition=4, which sends nothing for a
// page, so the printer bytes are exactly the control commands.
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "filter/model_table.h"
#include "output/control.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

// Bytes from hexadecimal text: bytes("1B 40 0A").
std::string bytes(std::string_view hex)
{
    const std::vector<uint8_t> values = fromHex(hex);
    return {values.begin(), values.end()};
}

std::string lf(int n)
{
    return std::string(static_cast<std::size_t>(n), '\n');
}

// What the printer models do, written out as lists of model numbers.
const std::set<int> kTwoFeedModels{10, 40, 41, 81, 91, 92, 105, 116, 117, 147, 289, 294};
constexpr int kFourFeedModel = 83;
// These thirteen models have no job-end cut and read no PageCut; neither does 33.
bool noJobEndCut(int model)
{
    return kTwoFeedModels.contains(model) || model == kFourFeedModel;
}
const std::set<int> kTwoFeedsBeforeCut{11, 30, 63, 86, 111, 156, 268, 284, 308, 310, 312};
const std::set<int> kOneFeedBeforeCut{61, 110, 152, 307, 309, 311};
const std::set<int> kPartialCutModels{22, 35};
const std::set<int> kEjectModels{259, 322};

const std::string kInit = bytes("1B 40");
const std::string kReady = "INFO: Ready to print.\n";
const std::string kNoPages = "ERROR: No pages found!\n";

std::string cutOf(int model)
{
    return bytes(kPartialCutModels.contains(model) ? "1D 56 42 01" : "1D 56 41 01");
}

std::string feedsBeforeCut(int model)
{
    return lf(kTwoFeedsBeforeCut.contains(model) ? 2 : kOneFeedBeforeCut.contains(model) ? 1 : 0);
}

std::string expectedJobEndCut(int model, int pageCut)
{
    if (noJobEndCut(model) || (pageCut != 3 && pageCut != 4))
        return "";
    return (pageCut == 4 ? feedsBeforeCut(model) : "") + cutOf(model);
}

// The job through the executable, with LogoPosition=4. The PPD offers every
// choice the options name (so any number can be asked for) and leaves out
// `removed`.
FilterRun printJob(int model, const std::string& options, std::string input, const std::string& removed = "",
                   const char* title = "title", bool withFile = false)
{
    static int serial = 0;
    TestPpd ppd = TestPpd::full(model);
    std::istringstream words(options);
    for (std::string word; words >> word;)
        ppd.setDefault(word.substr(0, word.find('=')), word.substr(word.find('=') + 1));
    if (!removed.empty())
        ppd.remove(removed);
    const std::string path = writeTempFile("control-" + std::to_string(++serial) + ".ppd", ppd.text());
    FilterInvocation job{{"1", "user", title, "1", "LogoPosition=4 " + options}, path, std::move(input)};
    if (withFile)
        job.args.push_back(writeTempFile("marker-input", "not read"));
    return runFilter(job);
}

// Pages with ink on them are counted; blank variable-length pages are read,
// trimmed away and never counted.
std::string pages(int count, bool inked = true)
{
    const std::vector<uint8_t> pixels = inked ? std::vector<uint8_t>{0, 0, 0x80, 0x01, 0, 0} : std::vector<uint8_t>{};
    return rasterStream(std::vector<TestPage>(static_cast<std::size_t>(count), monoPage(16, 3, pixels)));
}

// ---------------------------------------------------------------------------
// Every model of the table (and three model numbers without a row), every
// PageCut, through the executable.

class EveryModel : public testing::TestWithParam<int> {};

TEST_P(EveryModel, PageEndAndJobEndFollowPageCut)
{
    const int model = GetParam();
    const bool supported = findModel(model) != nullptr;
    for (int asked = 0; asked <= 5; ++asked) {
        SCOPED_TRACE("PageCut=" + std::to_string(asked));
        // Every job asks for an eject; only the eject models read it.
        const FilterRun run = printJob(model, "EjectOption=5 PageCut=" + std::to_string(asked), pages(2));
        const int pageCut = noJobEndCut(model) || model == 33 ? 0 : asked;
        const std::string pageEnd = kTwoFeedModels.contains(model) ? lf(2)
                                    : model == kFourFeedModel    ? lf(4)
                                    : pageCut == 1               ? cutOf(model)
                                    : pageCut == 2               ? feedsBeforeCut(model) + cutOf(model)
                                    : pageCut == 3 || pageCut == 4 ? lf(1)
                                                                   : "";
        const std::string expected = kInit + pageEnd + pageEnd + (pageCut == 5 ? lf(6) : "") +
                                     (kEjectModels.contains(model) ? bytes("1D 65 05 00") : "") +
                                     expectedJobEndCut(model, pageCut);
        // A model number without a row: no job start and no pages, only the
        // job-end cut (no feeds, full cut).
        EXPECT_EQ(hexBytes(run.out), supported ? hexBytes(expected) : pageCut == 3 || pageCut == 4 ? "1D 56 41 01" : "");
        EXPECT_EQ(run.status, supported ? 0 : 1);
        EXPECT_TRUE(run.err.ends_with(supported ? kReady : kNoPages)) << run.err;

        const std::string fourFeedLog = "PELTRIN DEBUG MSG: QTX-9 4 putchar Start\n"
                                        "PELTRIN DEBUG MSG: QTX-9 4 putchar End\n";
        int logged = 0;
        for (std::size_t at = run.err.find(fourFeedLog); at != std::string::npos; at = run.err.find(fourFeedLog, at + 1))
            ++logged;
        EXPECT_EQ(logged, model == kFourFeedModel ? 2 : 0) << "once per page of model 83";
    }
}

INSTANTIATE_TEST_SUITE_P(Control, EveryModel, testing::ValuesIn([] {
                             std::vector<int> models{0, 2, 328};
                             for (const ModelRow& row : modelTable())
                                 models.push_back(row.model);
                             return models;
                         }()),
                         [](const testing::TestParamInfo<int>& info) { return "Model" + std::to_string(info.param); });

// ---------------------------------------------------------------------------
// Worked examples, the cash drawer, eject and marker jobs, byte for byte
// through the executable.

TEST(ControlCommands, Jobs)
{
    const std::string start = "PELTRIN DEBUG MSG: rasterData Save Start", end = "PELTRIN DEBUG MSG: rasterData Save End";
    const auto drawer1Log = [](const char* half, const char* send) {
        return std::string("PELTRIN DEBUG MSG : cashDrawer1PulseWidth / 2 = ") + half +
               "\nPELTRIN DEBUG MSG : send " + send + "\n";
    };
    const struct {
        const char* name;
        int model = 1;
        std::string options = "";
        int pages = 1;
        std::string out = "";     // after ESC @
        std::string log = "";     // expected in the log
        bool blank = false;       // the pages are blank: none is counted
        std::string removed = ""; // PPD option left out
        bool marker = false;      // marker job: no page is read
        bool file = false;        // with a file argument
    } cases[] = {
        {.name = "two feeds before the cut", .model = 284, .options = "PageCut=2", .out = "0A 0A 1D 56 41 01"},
        {.name = "one feed before the cut", .model = 61, .options = "PageCut=2", .out = "0A 1D 56 41 01"},
        {.name = "partial cut", .model = 22, .options = "PageCut=1", .out = "1D 56 42 01"},
        {.name = "cut at the job end", .model = 11, .options = "PageCut=4", .pages = 3,
         .out = "0A 0A 0A  0A 0A 1D 56 41 01"},
        {.name = "six feeds at the job end", .model = 30, .options = "PageCut=5", .pages = 2, .out = "0A 0A 0A 0A 0A 0A"},
        {.name = "label form feeds", .model = 92, .options = "LabelPrinting=1", .pages = 3, .out = "0C 0C 0C"},
        {.name = "label model without labels", .model = 92, .options = "LabelPrinting=0", .out = "0A 0A"},
        {.name = "two feeds whatever the options", .model = 10, .options = "LabelPrinting=1 PageCut=2", .pages = 2,
         .out = "0A 0A 0A 0A"},
        {.name = "four feeds", .model = 83, .options = "PageCut=1", .out = "0A 0A 0A 0A"},
        {.name = "no PageCut read", .model = 33, .options = "PageCut=3", .pages = 2, .out = ""},
        {.name = "partial cut at the job end", .model = 35, .options = "PageCut=3", .out = "0A 1D 56 42 01"},
        // Last bytes of a job: job-end feed, drawer kick, eject, job-end cut.
        {.name = "last bytes, feeds and cut", .model = 259,
         .options = "PageCut=4 CashDrawer=2 CashDrawerOpen=1 EjectOption=3",
         .out = "0A  1B 70 01 64 FF  1D 65 03 00  1D 56 41 01"},
        {.name = "last bytes, six feeds", .model = 322, .options = "PageCut=5 CashDrawer=2 CashDrawerOpen=1 EjectOption=5",
         .out = "0A 0A 0A 0A 0A 0A  1B 70 01 64 FF  1D 65 05 00"},
        {.name = "eject 0", .model = 259, .options = "PageCut=3 EjectOption=0", .out = "0A 1D 56 41 01"},
        {.name = "eject 3", .model = 322, .options = "EjectOption=3", .out = "1D 65 03 00"},
        {.name = "eject 4", .model = 322, .options = "EjectOption=4", .out = ""},
        {.name = "eject 259, whose low byte is 3", .model = 322, .options = "EjectOption=259", .out = ""},
        {.name = "eject option missing", .model = 322, .options = "", .out = "", .removed = "EjectOption"},
        // Drawers (PageCut=1 shows the kick before printing in front of the first page's cut).
        {.name = "drawer 1 before printing", .options = "PageCut=1 CashDrawer=1 CashDrawerOpen=0", .pages = 2,
         .out = "1B 70 00 32 FF 0A  1D 56 41 01  1D 56 41 01", .log = start + drawer1Log("32", "1b70032ff") + end},
        {.name = "drawer 1, width 101, after printing",
         .options = "PageCut=1 CashDrawer=1 CashDrawerOpen=1 CashDrawer1PulseWidth=101", .pages = 2,
         .out = "1D 56 41 01  1D 56 41 01  1B 70 00 32 FF 0A", .log = drawer1Log("32", "1b70032ff")},
        {.name = "drawer 1, width 511", .options = "CashDrawer=1 CashDrawerOpen=1 CashDrawer1PulseWidth=511",
         .out = "1B 70 00 FF FF 0A", .log = drawer1Log("ff", "1b700ffff")},
        {.name = "drawer 1, width 513: low byte", .options = "CashDrawer=1 CashDrawerOpen=1 CashDrawer1PulseWidth=513",
         .out = "1B 70 00 00 FF 0A", .log = drawer1Log("100", "1b700100ff")},
        {.name = "drawer 1, width -3", .options = "CashDrawer=1 CashDrawerOpen=1 CashDrawer1PulseWidth=-3",
         .out = "1B 70 00 FF FF 0A", .log = drawer1Log("ffffffff", "1b700ffffffffff")},
        {.name = "drawer 1 width missing", .options = "CashDrawer=1 CashDrawerOpen=1", .out = "1B 70 00 00 FF 0A",
         .log = drawer1Log("0", "1b7000ff"), .removed = "CashDrawer1PulseWidth"},
        {.name = "drawer 2 before and after", .options = "PageCut=1 CashDrawer=2 CashDrawerOpen=2", .pages = 2,
         .out = "1B 70 01 64 FF  1D 56 41 01  1D 56 41 01  1B 70 01 64 FF", .log = start + end},
        {.name = "drawer 2, width 3", .options = "CashDrawer=2 CashDrawerOpen=1 CashDrawer2PulseWidth=3",
         .out = "1B 70 01 01 FF"},
        {.name = "both drawers", .options = "PageCut=1 CashDrawer=3 CashDrawerOpen=0", .pages = 2,
         .out = "1B 70 00 32 FF  1B 70 01 64 FF  1D 56 41 01  1D 56 41 01", .log = start + end},
        {.name = "both drawers, width 2 missing", .options = "CashDrawer=3 CashDrawerOpen=1",
         .out = "1B 70 00 32 FF  1B 70 01 00 FF", .removed = "CashDrawer2PulseWidth"},
        {.name = "drawer 0", .options = "CashDrawer=0 CashDrawerOpen=2", .out = "", .log = start + end},
        {.name = "drawer 4", .options = "CashDrawer=4 CashDrawerOpen=1", .out = ""},
        {.name = "drawer never", .options = "PageCut=1 CashDrawer=3 CashDrawerOpen=3", .out = "1D 56 41 01"},
        {.name = "CashDrawer missing", .options = "PageCut=1 CashDrawerOpen=2", .out = "1D 56 41 01",
         .log = start + end, .removed = "CashDrawer"},
        {.name = "blank job, before printing", .options = "CashDrawer=3 CashDrawerOpen=0", .pages = 2, .out = "",
         .blank = true},
        {.name = "blank job, before and after", .options = "CashDrawer=2 CashDrawerOpen=2", .pages = 2,
         .out = "1B 70 01 64 FF", .blank = true},
        // A model whose drawer options are never read still logs around the
        // kick before printing, and sends nothing.
        {.name = "gray-forced model: empty kick", .model = 10, .options = "CashDrawer=3 CashDrawerOpen=2", .pages = 2,
         .out = "0A 0A 0A 0A", .log = "PAGE: 1 1\n" + start + end},
        // Marker jobs read no page, file argument or not: job start and the job-end cut only.
        {.name = "marker, cut after feeds", .model = 11, .options = "PageCut=4", .out = "0A 0A 1D 56 41 01", .marker = true},
        {.name = "marker with a file", .model = 11, .options = "PageCut=3", .out = "1D 56 41 01", .marker = true,
         .file = true},
        {.name = "marker, partial cut", .model = 22, .options = "PageCut=3", .out = "1D 56 42 01", .marker = true},
        {.name = "marker, no page-end or drawer", .options = "PageCut=2 CashDrawer=3 CashDrawerOpen=2 EjectOption=5",
         .out = "", .marker = true},
        {.name = "marker, no job-end feed or eject", .model = 259,
         .options = "PageCut=5 CashDrawer=1 CashDrawerOpen=1 EjectOption=5", .out = "", .marker = true},
        {.name = "marker on the label model", .model = 92, .options = "LabelPrinting=1", .out = "", .marker = true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run = printJob(c.model, c.options, pages(c.pages, !c.blank), c.removed,
                                       c.marker ? "PELTRIN_API_MODE_STATUS" : "title", c.file);
        const bool counted = !c.blank && !c.marker;
        EXPECT_EQ(hexBytes(run.out), hexBytes(kInit + bytes(c.out)));
        EXPECT_EQ(run.status, counted ? 0 : 1);
        EXPECT_TRUE(run.err.ends_with(counted ? kReady : kNoPages)) << run.err;
        EXPECT_NE(run.err.find(c.log), std::string::npos) << run.err;
        // The kick before printing is logged at most once per job; for model 1,
        // which reads the drawer options, only where the row expects it.
        const std::size_t kick = run.err.find(start);
        EXPECT_TRUE(kick == std::string::npos || run.err.find(start, kick + 1) == std::string::npos);
        EXPECT_TRUE(c.model != 1 || (kick != std::string::npos) == (c.log.find(start) != std::string::npos)) << run.err;
    }
}

// ---------------------------------------------------------------------------
// In-process: the thirteen models without the job-end cut read no PageCut, so
// only here does a pageCut of 3 or 4 reach them (and model 33, which has the cut).

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
}

} // namespace
