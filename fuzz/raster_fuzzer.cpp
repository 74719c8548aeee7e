// libFuzzer harness: one raster job of the filter per input, run in process.
//
// The first kOptionBytes bytes choose one of a few printer models (a PPD
// with every option, written once at start) and the job's options; the rest
// is the raster stream, which the job reads on its standard input. Printer
// bytes go to /dev/null, the log too unless PELTRIN_FUZZ_LOG is set (then it
// goes to standard error, with the job's options). The job must end with
// status 0 or 1.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "filter/driver.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/ppd_writer.h"

namespace {

std::string PpdPaths[8];
FILE* Sink = nullptr;
FILE* Log = nullptr;
int StdinFile = -1;

void die(const char* what)
{
    std::perror(what);
    std::abort();
}

// Makes standard input read exactly `size` bytes of `data` from the start.
void setStdin(const uint8_t* data, size_t size)
{
    if (ftruncate(StdinFile, 0) != 0)
        die("ftruncate");
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(StdinFile, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            die("pwrite");
        done += static_cast<size_t>(n);
    }
    if (lseek(StdinFile, 0, SEEK_SET) != 0 || dup2(StdinFile, 0) != 0)
        die("stdin");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    for (size_t i = 0; i < std::size(kFuzzModels); ++i) {
        TestPpd ppd = TestPpd::full(kFuzzModels[i]);
        PpdPaths[i] = writeTempFile("model" + std::to_string(kFuzzModels[i]) + ".ppd", ppd.text());
    }
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
    const FuzzOptions o = FuzzOptions::decode(data);
    setStdin(data + kOptionBytes, size - kOptionBytes);
    setenv("PPD", PpdPaths[o.model].c_str(), 1);

    std::string options = o.jobOptions();
    char name[] = "rastertoPeltrin", id[] = "1", user[] = "fuzz", title[] = "fuzz", copies[] = "1";
    char* argv[] = {name, id, user, title, copies, options.data(), nullptr};
    if (Log != Sink)
        std::fprintf(Log, "== PPD model %d, options \"%s\"\n", kFuzzModels[o.model], options.c_str());
    const int status = runFilter(6, argv, Sink, Log);
    if (Log != Sink)
        std::fprintf(Log, "\n== exit status %d\n", status);
    if (status != 0 && status != 1) {
        std::fprintf(stderr, "exit status %d\n", status);
        std::abort();
    }
    return 0;
}
