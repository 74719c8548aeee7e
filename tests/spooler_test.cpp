// Jobs through a real CUPS scheduler of the test's own on 127.0.0.1: queues
// set up by lpadmin from the PPDs the build made, jobs submitted with lp and
// job options, and the bytes the file device received decoded.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

const std::string kSamples = PELTRIN_SAMPLES_DIR;
constexpr double kJobTimeout = 60;

class Spooler : public ::testing::Test {
protected:
    // A set-up that fails fails every test (GoogleTest would skip the suite's
    // tests after a failure here, and CTest count them as skipped).
    static void SetUpTestSuite()
    {
        if (geteuid() != 0) {
            setUpError = "a CUPS scheduler runs its filters as lp only when started by root";
            return;
        }
        // Test processes may run side by side: a port of this process's own.
        scheduler = new PrivateScheduler(20000 + getpid() % 5000);
        if (!scheduler->running()) {
            setUpError = "cupsd did not start on " + scheduler->host() + "\n" + scheduler->errorLog().substr(0, 6000);
            return;
        }
        for (const auto& [queue, model] : {std::pair{"m30", 30}, {"m86", 86}})
            if (std::string message; !scheduler->addQueue(queue, model, &message))
                setUpError += "lpadmin " + std::string(queue) + ": " + message;
    }
    static void TearDownTestSuite()
    {
        delete scheduler;
        scheduler = nullptr;
    }
    void SetUp() override { ASSERT_EQ(setUpError, ""); }

    std::string print(const std::string& queue, const std::vector<std::string>& lpArgs, const std::string& file)
    {
        std::string message;
        std::string bytes = scheduler->print(queue, lpArgs, file, kJobTimeout, &message);
        EXPECT_FALSE(bytes.empty()) << message << "\n" << scheduler->errorLog().substr(0, 6000);
        return bytes;
    }

    static PrivateScheduler* scheduler;
    static std::string setUpError;
};

PrivateScheduler* Spooler::scheduler = nullptr;
std::string Spooler::setUpError;

// The scheduler offers a driver for every model, named as the install names them.
TEST_F(Spooler, ListsEveryModel)
{
    const std::string drivers = scheduler->drivers();
    for (int model : {1, 30, 83, 86, 92, 268, 327}) {
        const std::string line = "peltrin/" + ppdFileName(model) + " Peltrin Model " + std::to_string(model) + ", ";
        EXPECT_NE(drivers.find(line), std::string::npos) << model;
    }
    // Lines that begin with the name: an installed driver package's PPDs are
    // listed too, as lsb/usr/peltrin/...
    std::size_t count = 0;
    for (std::size_t at = drivers.find("peltrin/peltrin-"); at != std::string::npos;
         at = drivers.find("peltrin/peltrin-", at + 1))
        count += at == 0 || drivers[at - 1] == '\n';
    EXPECT_EQ(count, 65u);
}

// Job options reach the filter through the scheduler (what each document
// prints on each model: CupsChain). The long receipt prints whole at its
// own size on a custom length.
TEST_F(Spooler, DocumentsAndJobOptions)
{
    struct Case {
        const char* name;
        const char* queue;
        std::vector<std::string> options;
        std::string document;
        Printout printout;
        std::string ending; // the last printer bytes
    };
    const std::string receipt = kSamples + "/receipt.pdf";
    const Case cases[] = {
        {"long receipt, custom length", "m30", {"-o", "media=Custom.80x1100mm"}, kSamples + "/long-receipt.pdf",
         {576, 8785, 8792, 4}, {}},
        {"cut after the page", "m30", {"-o", "PageCut=1"}, receipt, {576, 700, 760, 0},
         bytesFromHex("1D 56 41 01")},
        {"drawer, then feed and cut at the job's end", "m30", {"-o", "PageCut=4", "-o", "CashDrawer=1"}, receipt,
         {576, 700, 760, 0}, bytesFromHex("0A 1B 70 00 64 FF 0A 0A 0A 1D 56 41 01")},
        {"reduced to half", "m86", {"-o", "PaperReduction=Custom.50"}, receipt, {288, 350, 380, 0},
         bytesFromHex("0A 0A 1D 56 41 01")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = print(c.queue, c.options, c.document);
        EXPECT_EQ(printoutDifferences(printedMonochrome(parseCommands(bytes)), c.printout), "");
        EXPECT_TRUE(bytes.ends_with(c.ending)) << hexBytes(bytes.substr(bytes.size() - std::min<std::size_t>(16, bytes.size())));
    }
}

// A text file is printed as text; a job submitted as CUPS raster reaches the
// filter as a file and is printed as raster, the same bytes as on standard
// input.
TEST_F(Spooler, TextAndRasterFiles)
{
    const std::string text = print("m30", {}, kSamples + "/note.txt");
    EXPECT_EQ(text, "\x1b@" + readFile(kSamples + "/note.txt"));

    const std::string raster =
        print("m30", {"-o", "document-format=application/vnd.cups-raster", "-o", "PageCut=1"}, kSamples + "/receipt.ras");
    const FilterRun direct = runFilter(rasterJob(builtPpd(30), "PageCut=1", readFile(kSamples + "/receipt.ras")));
    EXPECT_TRUE(raster == direct.out) << raster.size() << " bytes against " << direct.out.size();
}

// CUPS's own count of a job's pages: the page_log line of the job and the
// job's job-impressions-completed both come from the filter's PAGE: lines.
TEST_F(Spooler, CountsEveryPrintedPage)
{
    std::string threePages = "%!PS\n";
    for (int page = 1; page <= 3; ++page)
        threePages += "/Helvetica findfont 24 scalefont setfont 20 100 moveto (Page " + std::to_string(page) +
                      ") show showpage\n";
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::string file;
        int pages;
    } cases[] = {
        {"a document of three pages", {}, writeTempFile("three-pages.ps", threePages), 3},
        {"two copies of a receipt", {"-n", "2"}, kSamples + "/receipt.pdf", 2},
        {"a text", {}, kSamples + "/note.txt", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        print("m30", c.options, c.file);
        const std::string job = std::to_string(scheduler->lastJob());
        const std::string log = scheduler->pageLog();
        EXPECT_NE(log.find("m30 root " + job + " ["), std::string::npos) << log;
        const std::size_t line = log.find("m30 root " + job + " [");
        EXPECT_NE(log.find("] total " + std::to_string(c.pages) + " ", line), std::string::npos) << log;
        EXPECT_NE(scheduler->jobAttributes("m30", scheduler->lastJob())
                      .find("job-impressions-completed (integer) = " + std::to_string(c.pages) + "\n"),
                  std::string::npos);
    }
}

// A page the filter refuses (a one-color page sent to the two-color path):
// the job's state message is the filter's reason.
TEST_F(Spooler, RefusedPageShowsItsReason)
{
    const std::string file = writeTempFile("one-color.ras", rasterStream({monoPage(64, 4, {0xFF})}));
    std::string message;
    scheduler->print("m30", {"-o", "document-format=application/vnd.cups-raster", "-o", "ColorModel=0"}, file,
                     kJobTimeout, &message);
    const std::string job = scheduler->jobAttributes("m30", scheduler->lastJob());
    EXPECT_NE(job.find("job-printer-state-message (textWithoutLanguage) = "
                       "Bad page header: bytes per line do not match the page width\n"),
              std::string::npos)
        << message << job;
}

} // namespace
