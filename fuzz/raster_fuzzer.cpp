// libFuzzer harness: one raster job of the filter per input, run in process.
//
// The first 5 bytes choose the printer model (a PPD with every option,
// written once at start) and the job's options; the rest is the raster
// stream, which the job reads on its standard input (a memfd). Printer bytes
// go to /dev/null, the log too unless PELTRIN_FUZZ_LOG is set (then to
// standard error, with the job's options). The job must end with status 0 or 1.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "filter/driver.h"
#include "filter/file_sink.h"
#include "tests/support/ppd_writer.h"

namespace {

// Models with different paths: 30 two colors with compressed bands, 13 GS v 0,
// 33 gray only with 64-row bands, 83 reduction and four feeds, 86 both
// pipelines and reduction, 40 gray only with 10-row bands, 1 two colors
// without compression, 259 eject.
constexpr int kModels[8] = {30, 13, 33, 83, 86, 40, 1, 259};
constexpr int kPageSizes[11] = {1, 56, 75, 94, 96, 101, 110, 111, 112, 138, 139}; // TestPpd::full's
constexpr std::size_t kOptionBytes = 5;

std::string PpdPaths[8];
FILE* Sink = nullptr;
FILE* Log = nullptr;
int StdinFile = -1;

// Byte 0: model (3 bits), ColorModel (2), PageType, CompPrinting, LabelPrinting;
// byte 1: PageSize index; byte 2: Rotation (2), FocusArea (2), PageCut (3), reduce;
// byte 3: PaperReduction; byte 4: LogoPosition (3), LogoWidth (3), CashDrawer (2).
std::string jobOptions(const uint8_t* b)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "ColorModel=%u PageType=%u CompPrinting=%u LabelPrinting=%u PageSize=%d Rotation=%u "
                  "FocusArea=%u PageCut=%u LogoPosition=%u LogoWidth=%u CashDrawer=%u CashDrawerOpen=2",
                  (b[0] >> 3) & 3u, (b[0] >> 5) & 1u, (b[0] >> 6) & 1u, b[0] >> 7, kPageSizes[b[1] % 11u], b[2] & 3u,
                  (b[2] >> 2) & 3u, (b[2] >> 4) & 7u, b[4] & 7u, (b[4] >> 3) & 7u, b[4] >> 6);
    return std::string(text) + (b[2] >> 7 ? " PaperReduction=Custom." + std::to_string(b[3]) : "");
}

void die(const char* what)
{
    std::perror(what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    for (std::size_t i = 0; i < std::size(kModels); ++i)
        PpdPaths[i] = writeTempFile("model" + std::to_string(kModels[i]) + ".ppd", TestPpd::full(kModels[i]).text());
    Sink = std::fopen("/dev/null", "w");
    Log = std::getenv("PELTRIN_FUZZ_LOG") != nullptr ? stderr : Sink;
    StdinFile = memfd_create("raster", 0);
    if (Sink == nullptr || StdinFile < 0)
        die("fuzz setup");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kOptionBytes)
        return -1; // not added to the corpus
    // Standard input reads exactly the raster stream, from its start.
    if (ftruncate(StdinFile, 0) != 0 ||
        pwrite(StdinFile, data + kOptionBytes, size - kOptionBytes, 0) != static_cast<ssize_t>(size - kOptionBytes) ||
        lseek(StdinFile, 0, SEEK_SET) != 0 || dup2(StdinFile, 0) != 0)
        die("stdin");
    setenv("PPD", PpdPaths[data[0] & 7u].c_str(), 1);
    std::string options = jobOptions(data);
    char name[] = "rastertoPeltrin", id[] = "1", user[] = "fuzz", title[] = "fuzz", copies[] = "1";
    char* argv[] = {name, id, user, title, copies, options.data(), nullptr};
    if (Log != Sink)
        std::fprintf(Log, "== PPD model %d, options \"%s\"\n", kModels[data[0] & 7u], options.c_str());
    int status;
    {
        FileSink logSink(Log);
        LogOutput log(logSink);
        status = runFilter(6, argv, Sink, &log);
    }
    if (Log != Sink)
        std::fprintf(Log, "\n== exit status %d\n", status);
    if (status != 0 && status != 1) {
        std::fprintf(stderr, "exit status %d\n", status);
        std::abort();
    }
    return 0;
}
