#include "engine/image/gray_pipeline.h"

#include <algorithm>
#include <cstring>

#include "engine/image/focus.h"
#include "engine/image/page_reader.h"
#include "engine/image/reduce.h"
#include "engine/image/rotate.h"
#include "engine/image/scale.h"
#include "engine/job/log.h"
#include "engine/output/gray_encoder.h"
#include "engine/output/page_output.h"

namespace {


uint64_t pageBytes(const cups_page_header_t& header)
{
    return uint64_t{header.cupsHeight} * header.cupsBytesPerLine;
}

std::span<uint8_t> pageOf(std::vector<uint8_t>& buffer, const cups_page_header_t& header)
{
    return {buffer.data(), static_cast<std::size_t>(pageBytes(header))};
}

// Downscale of the page in RasterBuffer to one third (96) or one half (101).
// The downscaled rows go to ScaleBuffer, which then takes RasterBuffer's
// place (the page before the downscale is not needed again).
bool downscale(JobState& job, cups_page_header_t& header, uint32_t factor)
{
    JobBuffers& buffers = job.buffers;
    const uint32_t h = header.cupsHeight;
    const uint32_t b = header.cupsBytesPerLine;
    if (!zeroedBuffer(buffers.ScaleBuffer, scaledSize(h, b, factor)))
        return false;
    auto scale = factor == 3 ? scale100 : scale50;
    scale(pageOf(buffers.RasterBuffer, header), buffers.ScaleBuffer, h, b, job.log);
    buffers.RasterBuffer.swap(buffers.ScaleBuffer);
    setDownscaledGeometry(header, h / factor, header.cupsWidth / factor, b / factor);
    return true;
}

// Rotation by the job's rotation from RasterBuffer into PageDataBuffer.
bool rotate(JobState& job, cups_page_header_t& header)
{
    JobBuffers& buffers = job.buffers;
    const int32_t rotation = job.settings.rotation;
    if (rotation == 1 || rotation == 3) {
        const uint32_t h = header.cupsHeight;
        const uint32_t b = header.cupsBytesPerLine;
        const uint32_t w = header.cupsWidth;
        if (!sizedBuffer(buffers.PageDataBuffer, quarterTurnSize(h, b)))
            return false;
        auto source = pageOf(buffers.RasterBuffer, header);
        if (rotation == 1)
            rotate90Degree(source, buffers.PageDataBuffer, h, b, job.log);
        else
            rotate270Degree(source, buffers.PageDataBuffer, h, b, job.log);
        job.Rotation = rotation;
        setQuarterTurnGeometry(header);
        // After a 270-degree turn the rows of fill bits come first; the
        // page's own columns follow them.
        const uint32_t first = rotation == 3 ? firstPageRowAfter270(b, w) : 0;
        if (first > 0 && pageBytes(header) > 0) {
            const uint64_t rowBytes = header.cupsBytesPerLine;
            std::memmove(buffers.PageDataBuffer.data(),
                         buffers.PageDataBuffer.data() + first * rowBytes,
                         static_cast<std::size_t>(pageBytes(header)));
        }
        return true;
    }
    if (rotation == 2) {
        rotate180Degree(pageOf(buffers.RasterBuffer, header));
        job.Rotation = 2;
    }
    // Rotation 0, 2 and any value outside 0..3 (the page goes unrotated):
    // the page moves to PageDataBuffer as it is.
    buffers.PageDataBuffer.swap(buffers.RasterBuffer);
    return true;
}

// A quarter-turned variable-length page has its former side margins at the
// top and bottom: drop the blank rows at both ends.
void trimRotatedPage(JobState& job, cups_page_header_t& header)
{
    logText(job.log, "PELTRIN DEBUG MSG: Graymode PageType Variable Start\n");
    const uint32_t h = header.cupsHeight;
    const uint32_t b = header.cupsBytesPerLine;
    if (h > 0 && b > 0)
        header.cupsHeight = trimBlankRows(pageOf(job.buffers.PageDataBuffer, header), h, b);
    logText(job.log, "PELTRIN DEBUG MSG: Graymode Page Type Variable End\n");
}

bool cropFocusArea(JobState& job, cups_page_header_t& header)
{
    JobBuffers& buffers = job.buffers;
    const uint32_t h = header.cupsHeight;
    const uint32_t b = header.cupsBytesPerLine;
    if (!zeroedBuffer(buffers.FocusBuffer, pageBytes(header)))
        return false;
    const bool center = job.settings.focusArea == 2;
    const FocusStrip strip = focusStrip(b, center, job.Rotation);
    auto source = pageOf(buffers.PageDataBuffer, header);
    if (center)
        SelectFocusAreaCenter(source, buffers.FocusBuffer, header);
    else
        SelectFocusArea(source, buffers.FocusBuffer, header, job.Rotation);
    header.cupsWidth = (8 * strip.width - 7) / header.cupsBitsPerPixel;
    header.cupsBytesPerLine = strip.width;
    if (h > 0)
        std::memcpy(buffers.PageDataBuffer.data(), buffers.FocusBuffer.data(),
                    static_cast<std::size_t>(uint64_t{h} * strip.width));
    return true;
}

} // namespace

void setDownscaledGeometry(cups_page_header_t& header, uint32_t height, uint32_t width,
                           uint32_t rowBytes)
{
    header.cupsHeight = height;
    header.cupsWidth = static_cast<uint32_t>(
        std::min<uint64_t>(width, uint64_t{8} * rowBytes / header.cupsBitsPerPixel));
    header.cupsBytesPerLine = rowBytes;
}

void setQuarterTurnGeometry(cups_page_header_t& header)
{
    const uint32_t oldHeight = header.cupsHeight;
    header.cupsHeight = header.cupsWidth;
    header.cupsWidth = oldHeight;
    header.cupsBytesPerLine =
        static_cast<uint32_t>((uint64_t{header.cupsBitsPerPixel} * oldHeight + 7) / 8);
}

uint32_t firstPageRowAfter270(uint32_t b, uint32_t width)
{
    const uint64_t rows = uint64_t{8} * b;
    return rows > width ? static_cast<uint32_t>(rows - width) : 0;
}

void markEmptyPage(cups_page_header_t& header)
{
    if (header.cupsHeight == 0 || header.cupsBytesPerLine == 0)
        header.cupsHeight = 0;
}

const char* pipelinePageRefusal(const cups_page_header_t& header, std::size_t pageBufferBytes,
                                uint32_t rowBytes)
{
    if (header.cupsBitsPerPixel != 1)
        return kNotOneBitPerPixel;
    if (header.cupsWidth > uint64_t{8} * rowBytes)
        return kBytesPerLineNotWidth;
    if (pageBytes(header) > pageBufferBytes)
        return kPageShorterThanHeader;
    return nullptr;
}

int grayPipeline(JobState& job, cups_page_header_t& header)
{
    logText(job.log, "PELTRIN DEBUG MSG: Graymode Start\n");
    if (const char* refusal =
            pipelinePageRefusal(header, job.buffers.RasterBuffer.size(), header.cupsBytesPerLine))
        return failPage(job, refusal);

    const PrintSettings& settings = job.settings;
    const ModelRow* model = job.model;

    if (model != nullptr && model->grayScaling && (settings.pageSize == 96 || settings.pageSize == 101)) {
        job.Scale = settings.pageSize;
        if (!downscale(job, header, settings.pageSize == 96 ? 3 : 2))
            return failPage(job, kMemoryAllocationError);
    }
    markEmptyPage(header);

    if (!rotate(job, header))
        return failPage(job, kMemoryAllocationError);
    markEmptyPage(header);

    if (job.PageType == 0 && (settings.rotation == 1 || settings.rotation == 3))
        trimRotatedPage(job, header);

    if (model != nullptr && model->focusOption && settings.pageSize == 101 &&
        header.cupsBytesPerLine > kFocusMinBytes && (settings.focusArea == 1 || settings.focusArea == 2)) {
        if (!cropFocusArea(job, header))
            return failPage(job, kMemoryAllocationError);
    }

    std::span<const uint8_t> page = pageOf(job.buffers.PageDataBuffer, header);
    std::vector<uint8_t> reduced; // the reduced page belongs to this page only
    if (settings.paperReduction >= 1 && settings.paperReduction <= 100) {
        logText(job.log, "PELTRIN DEBUG MSG: Graymode before call reducePage\n");
        logFormat(job.log, "PELTRIN DEBUG MSG: PageDataBuffer address before : %p\n",
                  static_cast<const void*>(page.data()));
        if (reducePage(page, reduced, header, settings.paperReduction, job.log))
            page = std::span<const uint8_t>(reduced.data(),
                                            std::min<std::size_t>(reduced.size(), pageBytes(header)));
        logFormat(job.log, "PELTRIN DEBUG MSG: PageDataBuffer address after : %p\n",
                  static_cast<const void*>(page.data()));
        logText(job.log, "PELTRIN DEBUG MSG: Graymode reducePage End\n");
    }
    markEmptyPage(header);
    page = page.first(std::min<std::size_t>(page.size(), pageBytes(header)));

    logText(job.log, "PELTRIN DEBUG MSG: Graymode before call PrintPage\n");
    const int refused = printPage(job, page, {}, header);
    logText(job.log, "PELTRIN DEBUG MSG: Graymode End\n");
    if (refused != 0) {
        job.jobFailed = true;
        return 1;
    }
    return 0;
}
