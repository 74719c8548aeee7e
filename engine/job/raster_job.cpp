#include "engine/job/raster_job.h"

#include <algorithm>
#include <cstring>

#include "engine/image/color_pipeline.h"
#include "engine/image/gray_pipeline.h"
#include "engine/image/rotate.h"
#include "engine/job/log.h"
#include "engine/output/control.h"

namespace {

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

bool rotationDroppedFor(int32_t pageSize)
{
    static constexpr int32_t kSizes[] = {56, 75, 94, 110, 111, 112, 138, 139};
    return std::find(std::begin(kSizes), std::end(kSizes), pageSize) != std::end(kSizes);
}

PageOutcome runPipeline(JobState& s, const cups_page_header_t& header, const PageGeometry& page)
{
    const ModelRow& row = *s.model;
    int failed = 0;
    if (s.settings.colorModel == 0 && row.colorPath)
        failed = colorPipeline(s, header, page);
    else if (s.settings.colorModel == 1 || row.grayPath)
        failed = grayPipeline(s, header, page);
    return failed != 0 ? PageOutcome::failJob : PageOutcome::next;
}

} // namespace

PageOutcome printRasterPage(JobState& s, const cups_page_header_t& header, const PageRowReader& readRows)
{
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
    PageGeometry page{header.cupsWidth, header.cupsHeight, header.cupsBytesPerLine};
    int result = removeNullLine(readRows, buffers.RasterBuffer, page, s.PageType, s.log);
    logFormat(s.log, "PELTRIN_DEBUG_MSG : removeNullLine return = %d\n", result);
    logFormat(s.log, "PELTRIN_DEBUG : cupsHeight = %d\n", static_cast<int>(page.height));
    if (result == kPageNotRead)
        return PageOutcome::endJob;
    if (result == kPageBlank)
        return PageOutcome::next;

    ++s.pageCount;
    logFormat(s.log, "PELTRIN DEBUG MSG: PAGE: %d %d\n", s.pageCount, static_cast<int>(header.NumCopies));
    drawerKickBeforePrinting(s);

    if (runPipeline(s, header, page) == PageOutcome::failJob)
        return PageOutcome::failJob;
    pageEndFeedAndCut(s);
    logFormat(s.log, "PAGE: %d 1\n", s.pageCount);
    return PageOutcome::next;
}

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


void startJob(JobState& job)
{
    shutDown(job.out);
}

void startRasterJob(JobState& s)
{
    s.pageCount = 0;
    s.jobFailed = false;
    if (rotationDroppedFor(s.settings.pageSize) && (s.settings.rotation == 1 || s.settings.rotation == 3))
        s.settings.rotation = 0;
    s.Focus = (s.settings.focusArea == 1 || s.settings.focusArea == 2) ? s.settings.focusArea : 0;
}

int finishJob(JobState& s)
{
    jobEndCut(s);
    s.out.flush();
    logText(s.log, s.pageCount == 0 ? "ERROR: No pages found!\n" : "INFO: Ready to print.\n");
    logFlush(s.log);
    return s.pageCount > 0 && !s.jobFailed ? 0 : 1;
}

int failRasterJob(JobState& s)
{
    logText(s.log, "PELTRIN DEBUG MSG: fail_job Start");
    return finishJob(s);
}

int endRasterJob(JobState& s)
{
    jobEndFeed(s);
    if (s.settings.cashDrawerOpen == 1 || s.settings.cashDrawerOpen == 2)
        openCashDrawer(s);
    if (s.settings.ejectOption != 0)
        ejectPaper(s);
    s.ALREADY_OPEN = 1;
    endPage(s);
    s.buffers.release();
    return failRasterJob(s);
}
