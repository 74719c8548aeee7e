// Whole jobs through the real executable: wall time and peak memory of the
// filter on a 100-page receipt job, per encoder path, and of CUPS's own
// rastertolabel on the same raster when it is installed.
//
//   build/bench/peltrin_job_bench [pages] [rows] [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

struct Sample {
    double ms;
    long maxRssKiB;
};

// Runs `argv` with the file as standard input and /dev/null as output.
Sample runOnce(const std::vector<std::string>& args, const std::string& input, const std::string& ppd)
{
    // fork, not posix_spawn: a child that shares its parent's memory until
    // the exec inherits the parent's peak; a forked copy starts from what
    // the parent holds now (the job is freed before the runs).
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(input.c_str(), O_RDONLY);
        int null = open("/dev/null", O_WRONLY);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        setenv("PPD", ppd.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {ms, usage.ru_maxrss};
}

Sample best(const std::vector<std::string>& args, const std::string& input, const std::string& ppd, int runs)
{
    Sample out{1e30, 0};
    for (int i = 0; i < runs; ++i) {
        Sample s = runOnce(args, input, ppd);
        if (s.ms < out.ms)
            out.ms = s.ms;
        out.maxRssKiB = std::max(out.maxRssKiB, s.maxRssKiB);
    }
    return out;
}

// A receipt-like page: lines of "text" (short dot runs) separated by gaps.
std::vector<uint8_t> receiptPixels(uint32_t rows, uint32_t bytesPerLine, std::mt19937& rng)
{
    std::vector<uint8_t> pixels(size_t{rows} * bytesPerLine, 0);
    for (uint32_t r = 0; r < rows; ++r) {
        if ((r / 24) % 2 == 1)
            continue; // gap between text lines
        for (uint32_t i = 4; i + 4 < bytesPerLine; ++i)
            if (rng() % 3 == 0)
                pixels[size_t{r} * bytesPerLine + i] = static_cast<uint8_t>(rng());
    }
    return pixels;
}

} // namespace

int main(int argc, char* argv[])
{
    const int pages = argc > 1 ? std::atoi(argv[1]) : 100;
    const uint32_t rows = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 2000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;

    // The job is written to a file and freed before any run: a child's peak
    // memory starts from what its parent holds when it is spawned.
    std::string raster;
    {
        std::mt19937 rng(1);
        std::vector<TestPage> job;
        for (int p = 0; p < pages; ++p)
            job.push_back(monoPage(576, rows, receiptPixels(rows, 72, rng)));
        raster = writeTempFile("bench.ras", rasterStream(job));
    }
    malloc_trim(0);
    std::printf("%d pages of 576 x %u dots (%.1f MB of raster), best of %d runs\n", pages, rows,
                pages * 72.0 * rows / 1e6, runs);
    std::printf("%-44s %10s %12s\n", "job", "ms", "peak RSS KiB");

    struct Case {
        const char* name;
        int model;
        const char* options;
    } cases[] = {
        {"model 30, graphics stores", 30, "CompPrinting=0 PageCut=1"},
        {"model 30, compressed bands", 30, "CompPrinting=1 PageCut=1"},
        {"model 13, GS v 0", 13, "PageCut=1"},
        {"model 30, rotation 90", 30, "Rotation=1"},
        {"model 30, one third (size 96)", 30, "PageSize=96"},
        {"model 86, reduction 70%", 86, "PaperReduction=Custom.70"},
    };
    for (const Case& c : cases) {
        TestPpd ppd = TestPpd::full(c.model);
        std::string path = writeTempFile("bench-" + std::to_string(c.model) + ".ppd", ppd.text());
        Sample s = best({PELTRIN_FILTER_PATH, "1", "bench", "job", "1", c.options}, raster, path, runs);
        std::printf("%-44s %10.1f %12ld\n", c.name, s.ms, s.maxRssKiB);
    }

    // CUPS's own label filter on the same stream, for scale.
    const char* label = "/usr/lib/cups/filter/rastertolabel";
    const char* sampleDrv = "/usr/share/cups/drv/sample.drv";
    if (access(label, X_OK) == 0 && access(sampleDrv, R_OK) == 0 && access("/usr/bin/ppdc", X_OK) == 0) {
        std::string dir = writeTempFile("ppdc.stamp", "");
        dir = dir.substr(0, dir.rfind('/'));
        std::string cmd = "ppdc -d " + dir + "/ppds " + sampleDrv + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) {
            std::string ppd = dir + "/ppds/zebra.ppd";
            if (access(ppd.c_str(), R_OK) == 0) {
                Sample s = best({label, "1", "bench", "job", "1", ""}, raster, ppd, runs);
                std::printf("%-44s %10.1f %12ld\n", "rastertolabel (Zebra ZPL), same raster", s.ms, s.maxRssKiB);
            }
        }
    }
    return 0;
}
