#include "filter/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "filter/job_state.h"
#include "filter/log.h"
#include "image/color_pipeline.h"
#include "image/gray_pipeline.h"
#include "image/page_reader.h"
#include "image/rotate.h"
#include "output/control.h"
#include "text/text_job.h"

namespace {

constexpr char kMarkerTitle[] = "PELTRIN_API_MODE";
constexpr uint64_t kMaxPageBytes = 256ull << 20;
constexpr uint32_t kMaxBytesPerLine = 65535;

// The header's enumerated fields come from the stream and may hold any
// value: read them as plain integers, never as out-of-range enumerators.
template <typename Enum>
uint32_t rawField(const Enum& field)
{
    static_assert(sizeof(Enum) == sizeof(uint32_t));
    uint32_t value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// Color bands of one banded raster line for a color space.
uint32_t bandCount(uint32_t space)
{
    switch (space) {
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_CMY:
    case CUPS_CSPACE_YMC:
    case CUPS_CSPACE_CIEXYZ:
    case CUPS_CSPACE_CIELab:
    case CUPS_CSPACE_ICC3:
    case CUPS_CSPACE_SRGB:
    case CUPS_CSPACE_ADOBERGB:
        return 3;
    case CUPS_CSPACE_RGBA:
    case CUPS_CSPACE_RGBW:
    case CUPS_CSPACE_CMYK:
    case CUPS_CSPACE_YMCK:
    case CUPS_CSPACE_KCMY:
    case CUPS_CSPACE_GMCK:
    case CUPS_CSPACE_GMCS:
    case CUPS_CSPACE_ICC4:
        return 4;
    case CUPS_CSPACE_KCMYcm:
        return 6;
    default:
        if (space >= CUPS_CSPACE_ICC1 && space <= CUPS_CSPACE_ICCF)
            return space - CUPS_CSPACE_ICC1 + 1;
        if (space >= CUPS_CSPACE_DEVICE1 && space <= CUPS_CSPACE_DEVICEF)
            return space - CUPS_CSPACE_DEVICE1 + 1;
        return 1;
    }
}

bool isMarkerTitle(const char* title)
{
    return std::strncmp(title, kMarkerTitle, sizeof kMarkerTitle - 1) == 0;
}

bool rotationDroppedFor(int32_t pageSize)
{
    static constexpr int32_t kSizes[] = {56, 75, 94, 110, 111, 112, 138, 139};
    return std::find(std::begin(kSizes), std::end(kSizes), pageSize) != std::end(kSizes);
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
    if (job.fd != 0) {
        close(job.fd);
        job.fd = 0;
    }
}

// Closes the input, sends the job-end cut and the status line.
int jobFinish(Job& job)
{
    JobState& s = job.state;
    closeInput(job);
    jobEndCut(s);
    s.out.flush();
    logText(s.log, s.pageCount == 0 ? "ERROR: No pages found!\n" : "INFO: Ready to print.\n");
    logFlush(s.log);
    return s.pageCount > 0 && !s.jobFailed ? 0 : 1;
}

int jobClose(Job& job)
{
    logText(job.state.log, "PELTRIN DEBUG MSG: fail_job Start");
    if (job.stream != nullptr) {
        cupsRasterClose(job.stream);
        job.stream = nullptr;
    }
    return jobFinish(job);
}

int normalJobEnd(Job& job)
{
    JobState& s = job.state;
    jobEndFeed(s);
    if (s.settings.cashDrawerOpen == 1 || s.settings.cashDrawerOpen == 2)
        openCashDrawer(s);
    if (s.settings.ejectOption != 0)
        ejectPaper(s);
    s.ALREADY_OPEN = 1;
    endPage(s);
    s.buffers.release();
    return jobClose(job);
}

int failJob(Job& job)
{
    job.state.jobFailed = true;
    return jobClose(job);
}

enum class PageOutcome { next, endJob, failJob };

PageOutcome runPipeline(JobState& s, cups_page_header_t& header)
{
    const ModelRow& row = *s.model;
    int failed = 0;
    if (s.settings.colorModel == 0 && row.colorPath)
        failed = colorPipeline(s, header);
    else if (s.settings.colorModel == 1 || row.grayPath)
        failed = grayPipeline(s, header);
    return failed != 0 ? PageOutcome::failJob : PageOutcome::next;
}

PageOutcome processPage(Job& job, cups_page_header_t& header)
{
    JobState& s = job.state;
    if (header.cupsHeight == 0 || header.cupsBytesPerLine == 0)
        return PageOutcome::endJob;

    if (const char* refusal = pageHeaderRefusal(header)) {
        logText(s.log, refusal);
        return PageOutcome::failJob;
    }

    const uint64_t size = pageBufferSize(header.cupsHeight, header.cupsBytesPerLine);
    JobBuffers& buffers = s.buffers;
    // The page is read into a zeroed RasterBuffer; the pipelines zero or
    // overwrite the other two where a step needs them, so here they only
    // get their room (allocated once, grown for a larger page).
    if (!zeroedBuffer(buffers.RasterBuffer, size) || !sizedBuffer(buffers.ScaleBuffer, size) ||
        !sizedBuffer(buffers.PageDataBuffer, size)) {
        logText(s.log, kMemoryAllocationError);
        return PageOutcome::failJob;
    }

    s.PageType = s.settings.pageType;
    logFormat(s.log, "PELTRIN_DEBUG : cupsHeight = %d\n", static_cast<int>(header.cupsHeight));
    int result = removeNullLine(job.stream, buffers.RasterBuffer, header, s.PageType, s.log);
    logFormat(s.log, "PELTRIN_DEBUG_MSG : removeNullLine return = %d\n", result);
    logFormat(s.log, "PELTRIN_DEBUG : cupsHeight = %d\n", static_cast<int>(header.cupsHeight));
    if (result == kPageNotRead)
        return PageOutcome::endJob;
    if (result == kPageBlank)
        return PageOutcome::next;

    ++s.pageCount;
    logFormat(s.log, "PELTRIN DEBUG MSG: PAGE: %d %d\n", s.pageCount, static_cast<int>(header.NumCopies));
    drawerKickBeforePrinting(s);

    if (runPipeline(s, header) == PageOutcome::failJob)
        return PageOutcome::failJob;
    pageEndFeedAndCut(s);
    logFormat(s.log, "PAGE: %d 1\n", s.pageCount);
    return PageOutcome::next;
}

int rasterJob(Job& job)
{
    JobState& s = job.state;
    job.stream = cupsRasterOpenIO(readRasterInput, &job, CUPS_RASTER_READ);
    s.pageCount = 0;
    s.jobFailed = false;

    if (rotationDroppedFor(s.settings.pageSize) && (s.settings.rotation == 1 || s.settings.rotation == 3))
        s.settings.rotation = 0;
    s.Focus = (s.settings.focusArea == 1 || s.settings.focusArea == 2) ? s.settings.focusArea : 0;

    cups_page_header_t header;
    for (;;) {
        std::memset(&header, 0, sizeof header);
        if (job.stream == nullptr || cupsRasterReadHeader(job.stream, &header) == 0)
            return normalJobEnd(job);
        switch (processPage(job, header)) {
        case PageOutcome::next:
            break;
        case PageOutcome::endJob:
            return normalJobEnd(job);
        case PageOutcome::failJob:
            return failJob(job);
        }
    }
}

} // namespace

uint64_t pageBufferSize(uint32_t h, uint32_t b)
{
    const uint64_t page = uint64_t{h} * b;
    return std::max(page, quarterTurnSize(h, b)) + 1;
}

const char* pageHeaderRefusal(const cups_page_header_t& header)
{
    const uint32_t h = header.cupsHeight;
    const uint32_t b = header.cupsBytesPerLine;
    if (header.cupsBitsPerPixel != 1)
        return kNotOneBitPerPixel;
    const uint32_t bands = bandCount(rawField(header.cupsColorSpace));
    const uint32_t order = rawField(header.cupsColorOrder);
    if (order == CUPS_ORDER_PLANAR && bands > 1)
        return "ERROR: Unsupported page: planar color order\n";
    const uint64_t perBand = (uint64_t{header.cupsWidth} * header.cupsBitsPerPixel + 7) / 8;
    const uint64_t expected = order == CUPS_ORDER_BANDED ? perBand * bands : perBand;
    if (header.cupsWidth == 0 || expected != b)
        return kBytesPerLineNotWidth;
    if (b > kMaxBytesPerLine)
        return "ERROR: Unsupported page: more than 65535 bytes per line\n";
    if (uint64_t{h} * b > kMaxPageBytes)
        return "ERROR: Unsupported page: more than 256 MiB of raster data\n";
    return nullptr;
}

int runFilter(int argc, char* argv[], FILE* out, LogOutput* log)
{
    logText(log, "PELTRIN DEBUG MSG : drive version v" PELTRIN_VERSION "\n");
    if (argc != 6 && argc != 7) {
        logText(log, "PELTRIN DEBUG MSG: rastertoPeltrin job-id user title copies options [file]\n");
        logFlush(log);
        return 1;
    }

    PrinterOutput printer(out);
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
        return jobClose(job);
    }
    state.PrinterModel = state.settings.modelNumber;
    state.model = findModel(state.PrinterModel);

    jobSetup(state);

    if (isMarkerTitle(argv[3]))
        return jobFinish(job);
    // A named file is a text job, unless it is a raster stream (a job
    // submitted as CUPS raster reaches its first filter as a file).
    if (argc == 7) {
        readInputStart(job);
    }
    if (argc == 7 && !startsAsRaster(job.start)) {
        const uint64_t printed = printText(state, job.fd, {job.start.bytes, job.start.size});
        closeInput(job);
        if (printed > 0)
            logText(log, "PAGE: 1 1\n");
        printer.flush();
        logFlush(log);
        return 0;
    }
    return rasterJob(job);
}
