// pdftoPeltrin: the CUPS filter for PDF documents. The document layer
// renders the pages (MuPDF's mutool, a separate process) with the PPD's and
// the job's settings, and they print through the same engine steps as a
// raster job of rastertoPeltrin.
//
// The PPDs hand it application/pdf itself, before pdftopdf (cups-filters
// 1.28's pdftopdf places every page on the PPD's page size, turning a page
// wider than tall a quarter and shrinking one longer than the page, and
// only job options stop it, and none of a PPD). So it does what pdftopdf
// would have done for a receipt: the copies, the page ranges and the
// orientation the job asks for (landscape, orientation-requested), for a
// PDF document and for the PDF other filters make of PostScript or a
// banner. A picture's pages (application/vnd.cups-pdf from imagetopdf,
// CONTENT_TYPE image/...) come laid out, turned and copied already: they
// print as they come, once.
//
// A cancel (SIGTERM) ends this process as rastertoPeltrin's does; the
// renderer ends with it (it is killed when its parent dies).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <cups/cups.h>

#include "document/pdf_document.h"
#include "engine/job/job_state.h"
#include "engine/job/log.h"
#include "engine/job/raster_job.h"
#include "filter/cancel.h"
#include "filter/driver.h"
#include "filter/file_sink.h"
#include "filter/settings.h"

namespace {

// Standard input into an unlinked temporary file (the renderer needs a
// file it can seek in). Returns its descriptor, or -1 (ERROR: line).
int spoolStandardInput(LogOutput& log)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/pdftoPeltrin-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        logFormat(&log, "ERROR: Unable to create a temporary file: %s\n", std::strerror(errno));
        return -1;
    }
    unlink(path.c_str());
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            logFormat(&log, "ERROR: Unable to read the document: %s\n", std::strerror(errno));
            close(fd);
            return -1;
        }
        if (got == 0)
            return fd;
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = write(fd, buffer + done, static_cast<std::size_t>(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                logFormat(&log, "ERROR: Unable to write a temporary file: %s\n", std::strerror(errno));
                close(fd);
                return -1;
            }
            done += n;
        }
    }
}

// The job's own requests of a first filter: orientation, page ranges.
struct JobRequests {
    uint32_t turn = 0;
    std::string pages;
};

JobRequests jobRequests(const char* optionText)
{
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(optionText, 0, &options);
    JobRequests r;
    const char* landscape = cupsGetOption("landscape", count, options);
    const char* orientation = cupsGetOption("orientation-requested", count, options);
    if (landscape != nullptr && strcasecmp(landscape, "false") != 0 && strcasecmp(landscape, "no") != 0 &&
        strcasecmp(landscape, "off") != 0)
        r.turn = turnOfOrientation(4);
    else if (orientation != nullptr)
        r.turn = turnOfOrientation(std::atoi(orientation));
    // Page ranges as mutool reads them: digits, commas and dashes only.
    if (const char* ranges = cupsGetOption("page-ranges", count, options)) {
        r.pages = ranges;
        if (r.pages.find_first_not_of("0123456789,-") != std::string::npos || r.pages.size() > 256)
            r.pages.clear();
    }
    cupsFreeOptions(count, options);
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("pdftoPeltrin %s\n", PELTRIN_VERSION);
        return 0;
    }
    LogFileSink logSink(stderr);
    LogOutput log(logSink);
    if (argc != 6 && argc != 7)
        return runFilter(argc, argv, stdout, &log); // the usage line

    logText(&log, "PELTRIN DEBUG MSG : drive version v" PELTRIN_VERSION "\n");
    const bool firstFilter = argc == 7;
    const int document = firstFilter ? open(argv[6], O_RDONLY) : spoolStandardInput(log);
    if (document < 0) {
        if (firstFilter)
            logFormat(&log, "ERROR: Unable to open the document %s: %s\n", argv[6], std::strerror(errno));
        logFlush(&log);
        return 1;
    }

    FileSink printerSink(stdout);
    PrinterOutput printer(printerSink);
    JobState state(printer, &log);
    if (initializeSettings(argv[5], state.settings, &log) != 0) {
        state.PrinterModel = state.settings.modelNumber;
        logText(&log, "PELTRIN DEBUG MSG : This printer is not PELTRIN's printer.\n");
        state.jobFailed = true;
        close(document);
        return failRasterJob(state);
    }
    state.PrinterModel = state.settings.modelNumber;
    state.model = findModel(state.PrinterModel);

    DocumentRequest request;
    request.path = "/dev/fd/" + std::to_string(document);
    request.maxWidth = maxPageWidth(state.settings, *state.model);
    request.twoColors = state.settings.colorModel == 0 && state.model->colorPath;
    int copies = 1;
    const char* type = std::getenv("CONTENT_TYPE");
    if (type == nullptr || std::strncmp(type, "image/", 6) != 0) {
        const JobRequests asked = jobRequests(argv[5]);
        request.turn = asked.turn;
        request.pages = asked.pages;
        copies = std::max(1, std::min(std::atoi(argv[4]), 999));
    }

    installCancel(state);
    startJob(state);
    startRasterJob(state);
    DocumentEnd end = DocumentEnd::ended;
    for (int copy = 0; copy < copies && end == DocumentEnd::ended; ++copy)
        end = printPdfDocument(state, request);
    close(document);
    return end == DocumentEnd::failed ? failRasterJob(state) : endRasterJob(state);
}
