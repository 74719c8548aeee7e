// pdftoPeltrin with a stand-in for the rasterizer (CUPS_SERVERBIN names a
// folder of the test's own): what it hands the rasterizer, how it reports a
// rasterizer that is missing or fails, and that a cancelled job takes the
// rasterizer with it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace fs = std::filesystem;

namespace {

// A ServerBin folder whose filter/gstoraster is `script` (none when empty).
std::string serverBin(const std::string& name, const std::string& script)
{
    const fs::path dir = fs::path(writeTempFile("pdf-filter-marker", "")).parent_path() / name;
    fs::create_directories(dir / "filter");
    if (!script.empty()) {
        const fs::path rasterizer = dir / "filter" / "gstoraster";
        std::ofstream(rasterizer) << "#!/bin/sh\n" << script;
        chmod(rasterizer.c_str(), 0755);
    }
    return dir.string();
}

const std::string& ppd()
{
    static const std::string path = writeTempFile("pdf-filter.ppd", TestPpd::full(30).text());
    return path;
}

FilterRun pdfJob(const std::string& bin, const std::string& options)
{
    return runFilter({{"9", "user", "receipt", "1", options, "/dev/null"}, ppd(), "", 0, PELTRIN_PDF_FILTER_PATH,
                      {"CUPS_SERVERBIN=" + bin}});
}

TEST(PdfFilter, PrintsWhatTheRasterizerMakes)
{
    const std::string raster = writeTempFile("pdf-filter.ras", rasterStream({monoPage(8, 2, {0x80, 0x01})}));
    // The rasterizer gets the job's arguments, its options with color
    // management off, and the document.
    const std::string bin = serverBin("rasterizes", "echo \"rasterizer: ${0##*/} $1 $2 $3 $4 [$5] $6\" >&2\ncat " + raster + "\n");
    const FilterRun run = pdfJob(bin, "PageCut=1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("rasterizer: gstoraster 9 user receipt 1 [PageCut=1 cm-calibration=true] /dev/null\n"),
              std::string::npos)
        << run.err;
    const FilterRun direct = runFilter(rasterJob(ppd(), "PageCut=1", readFile(raster)));
    EXPECT_TRUE(run.out == direct.out) << hexBytes(run.out);
}

TEST(PdfFilter, ReportsARasterizerThatIsMissingOrFails)
{
    struct Case {
        const char* name;
        std::string script;
        std::string error;
    };
    const Case cases[] = {
        {"missing", "", "ERROR: Unable to start %s/filter/gstoraster: No such file or directory\n"},
        {"fails", "exit 3\n", "ERROR: %s/filter/gstoraster failed (exit status 3)\n"},
        {"killed", "kill -KILL $$\n", "ERROR: %s/filter/gstoraster failed (signal 9)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bin = serverBin(c.name, c.script);
        const FilterRun run = pdfJob(bin, "");
        EXPECT_EQ(run.status, 1);
        std::string error = c.error;
        error.replace(error.find("%s"), 2, bin);
        EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
    }
}

TEST(PdfFilter, CancelEndsTheRasterizerToo)
{
    const std::string bin = serverBin("cancel", "echo $$ > \"$CUPS_SERVERBIN/rasterizer.pid\"\nexec sleep 600\n");
    const pid_t filter = fork();
    ASSERT_GE(filter, 0);
    if (filter == 0) {
        setenv("CUPS_SERVERBIN", bin.c_str(), 1);
        setenv("PPD", ppd().c_str(), 1);
        if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr)
            _exit(127);
        execl(PELTRIN_PDF_FILTER_PATH, "pdftoPeltrin", "9", "user", "t", "1", "", "/dev/null",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto waitUntil = [](auto done) {
        for (int i = 0; i < 1000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return done();
    };
    pid_t rasterizer = 0;
    ASSERT_TRUE(waitUntil([&] {
        std::ifstream pid(bin + "/rasterizer.pid");
        return static_cast<bool>(pid >> rasterizer);
    }));
    kill(filter, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(filter, &status, 0), filter);
    EXPECT_TRUE(waitUntil([&] { return kill(rasterizer, 0) != 0; })) << "the rasterizer still runs";
}

} // namespace
