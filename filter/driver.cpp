#include "filter/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "cupsraster/raster_stream.h"
#include "engine/image/page_reader.h"
#include "engine/job/job_state.h"
#include "engine/job/log.h"
#include "engine/job/raster_job.h"
#include "engine/output/control.h"
#include "engine/text/text_job.h"
#include "filter/cancel.h"
#include "filter/file_sink.h"
#include "filter/settings.h"

namespace {

constexpr char kMarkerTitle[] = "PELTRIN_API_MODE";

bool isMarkerTitle(const char* title)
{
    return std::strncmp(title, kMarkerTitle, sizeof kMarkerTitle - 1) == 0;
}

// The first bytes of a named input file, read to tell a raster stream from
// a text; they are handed on before the rest of the file.
struct InputStart {
    uint8_t bytes[4] = {};
    std::size_t size = 0;
    std::size_t used = 0;
};

struct Job {
    JobState& state;
    int fd = 0;
    cups_raster_t* stream = nullptr;
    InputStart start;
};

// Reads the first four bytes of the input (fewer at its end or on an error).
void readInputStart(Job& job)
{
    InputStart& start = job.start;
    while (start.size < sizeof start.bytes) {
        const ssize_t got = read(job.fd, start.bytes + start.size, sizeof start.bytes - start.size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        start.size += static_cast<std::size_t>(got);
    }
}

// A CUPS raster stream begins with one of its synchronization words.
bool startsAsRaster(const InputStart& start)
{
    static constexpr const char* kSyncWords[] = {"RaSt", "tSaR", "RaS2", "2SaR", "RaS3", "3SaR"};
    return start.size == 4 && std::any_of(std::begin(kSyncWords), std::end(kSyncWords), [&](const char* word) {
               return std::memcmp(start.bytes, word, 4) == 0;
           });
}

// Raster stream input: the bytes already read, then the rest of the input.
ssize_t readRasterInput(void* context, unsigned char* buffer, size_t length)
{
    Job& job = *static_cast<Job*>(context);
    InputStart& start = job.start;
    if (start.used < start.size) {
        const std::size_t n = std::min(length, start.size - start.used);
        std::memcpy(buffer, start.bytes + start.used, n);
        start.used += n;
        return static_cast<ssize_t>(n);
    }
    for (;;) {
        const ssize_t got = read(job.fd, buffer, length);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

void closeInput(Job& job)
{
    if (job.stream != nullptr) {
        cupsRasterClose(job.stream);
        job.stream = nullptr;
    }
    if (job.fd != 0) {
        close(job.fd);
        job.fd = 0;
    }
}

int rasterJob(Job& job)
{
    JobState& s = job.state;
    job.stream = cupsRasterOpenIO(readRasterInput, &job, CUPS_RASTER_READ);
    startRasterJob(s);
    const PagesEnd end = printRasterPages(s, job.stream);
    closeInput(job);
    return end == PagesEnd::failed ? failRasterJob(s) : endRasterJob(s);
}

} // namespace

int runFilter(int argc, char* argv[], FILE* out, LogOutput* log)
{
    logText(log, "PELTRIN DEBUG MSG : drive version v" PELTRIN_VERSION "\n");
    if (argc != 6 && argc != 7) {
        logText(log, "PELTRIN DEBUG MSG: rastertoPeltrin job-id user title copies options [file]\n");
        logFlush(log);
        return 1;
    }

    FileSink printerSink(out);
    PrinterOutput printer(printerSink);
    JobState state(printer, log);
    Job job{state, 0, nullptr, {}};

    if (argc == 7) {
        logFormat(log, "PELTRIN DEBUG MSG : argv[6] = %s.\n", argv[6]);
        job.fd = open(argv[6], O_RDONLY);
        if (job.fd < 0) {
            int error = errno;
            logFormat(log, "PELTRIN DEBUG MSG: Unable to open raster file - : %s\n", std::strerror(error));
            logFlush(log);
            sleep(1);
            return 1;
        }
    }

    if (initializeSettings(argv[5], state.settings, log) != 0) {
        state.PrinterModel = state.settings.modelNumber;
        logText(log, "PELTRIN DEBUG MSG : This printer is not PELTRIN's printer.\n");
        state.jobFailed = true;
        closeInput(job);
        return failRasterJob(state);
    }
    state.PrinterModel = state.settings.modelNumber;
    state.model = findModel(state.PrinterModel);

    installCancel(state);
    startJob(state);

    if (isMarkerTitle(argv[3])) {
        closeInput(job);
        return finishJob(state);
    }
    // A named file is a text job, unless it is a raster stream (a job
    // submitted as CUPS raster reaches its first filter as a file).
    if (argc == 7) {
        readInputStart(job);
    }
    if (argc == 7 && !startsAsRaster(job.start)) {
        printText(state, job.fd, {job.start.bytes, job.start.size});
        closeInput(job);
        printer.flush();
        logFlush(log);
        return 0;
    }
    return rasterJob(job);
}
