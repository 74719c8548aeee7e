#include "engine/image/gray_pipeline.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/image/focus.h"
#include "engine/image/page_geometry.h"
#include "engine/image/page_reader.h"
#include "engine/image/reduce.h"
#include "engine/image/rotate.h"
#include "engine/image/scale.h"
#include "engine/job/log.h"
#include "engine/output/page_output.h"

namespace {

// The page of geometry `geometry` whose rows start `buffer`.
Page pageIn(std::vector<uint8_t>& buffer, const PageGeometry& geometry)
{
    return {geometry, {buffer.data(), static_cast<std::size_t>(geometry.bytes())}};
}

// Downscale to one third (96) or one half (101). The downscaled rows go to
// ScaleBuffer, which then takes RasterBuffer's place (the page before the
// downscale is not needed again).
std::optional<Page> downscale(JobState& job, const Page& page, uint32_t factor)
{
    JobBuffers& buffers = job.buffers;
    const uint32_t h = page.height;
    const uint32_t b = page.bytesPerLine;
    if (!zeroedBuffer(buffers.ScaleBuffer, scaledSize(h, b, factor)))
        return std::nullopt;
    auto scale = factor == 3 ? scale100 : scale50;
    scale(page.rows, buffers.ScaleBuffer, h, b, job.log);
    buffers.RasterBuffer.swap(buffers.ScaleBuffer);
    return pageIn(buffers.RasterBuffer, downscaledGeometry(h / factor, page.width / factor, b / factor));
}

// Rotation by the job's rotation; the page ends in PageDataBuffer.
std::optional<Page> rotate(JobState& job, const Page& page)
{
    JobBuffers& buffers = job.buffers;
    const int32_t rotation = job.settings.rotation;
    if (rotation == 1 || rotation == 3) {
        const uint32_t h = page.height;
        const uint32_t b = page.bytesPerLine;
        if (!sizedBuffer(buffers.PageDataBuffer, quarterTurnSize(h, b)))
            return std::nullopt;
        if (rotation == 1)
            rotate90Degree(page.rows, buffers.PageDataBuffer, h, b, job.log);
        else
            rotate270Degree(page.rows, buffers.PageDataBuffer, h, b, job.log);
        job.Rotation = rotation;
        const Page turned = pageIn(buffers.PageDataBuffer, quarterTurnGeometry(page));
        // After a 270-degree turn the rows of fill bits come first; the
        // page's own columns follow them.
        const uint32_t first = rotation == 3 ? firstPageRowAfter270(b, page.width) : 0;
        if (first > 0 && !turned.rows.empty())
            std::memmove(turned.rows.data(), turned.rows.data() + first * uint64_t{turned.bytesPerLine},
                         turned.rows.size());
        return turned;
    }
    if (rotation == 2) {
        rotate180Degree(page.rows);
        job.Rotation = 2;
    }
    // Rotation 0, 2 and any value outside 0..3 (the page goes unrotated):
    // the page's buffer becomes PageDataBuffer as it is.
    buffers.PageDataBuffer.swap(buffers.RasterBuffer);
    return page;
}

// A quarter-turned variable-length page has its former side margins at the
// top and bottom: drop the blank rows at both ends.
Page trimRotatedPage(JobState& job, Page page)
{
    logText(job.log, "PELTRIN DEBUG MSG: Graymode PageType Variable Start\n");
    if (page.height > 0 && page.bytesPerLine > 0) {
        page.height = trimBlankRows(page.rows, page.height, page.bytesPerLine);
        page.rows = page.rows.first(static_cast<std::size_t>(page.bytes()));
    }
    logText(job.log, "PELTRIN DEBUG MSG: Graymode Page Type Variable End\n");
    return page;
}

// The focus strip, cropped through FocusBuffer back into PageDataBuffer.
std::optional<Page> cropFocusArea(JobState& job, const Page& page)
{
    JobBuffers& buffers = job.buffers;
    if (!zeroedBuffer(buffers.FocusBuffer, page.bytes()))
        return std::nullopt;
    const bool center = job.settings.focusArea == 2;
    const FocusStrip strip = focusStrip(page.bytesPerLine, center, job.Rotation);
    if (center)
        SelectFocusAreaCenter(page.rows, buffers.FocusBuffer, page);
    else
        SelectFocusArea(page.rows, buffers.FocusBuffer, page, job.Rotation);
    const Page cropped = pageIn(buffers.PageDataBuffer, focusedGeometry(page, strip.width));
    if (!cropped.rows.empty())
        std::memcpy(cropped.rows.data(), buffers.FocusBuffer.data(), cropped.rows.size());
    return cropped;
}

} // namespace

int grayPipeline(JobState& job, const cups_page_header_t& header, const PageGeometry& geometry)
{
    logText(job.log, "PELTRIN DEBUG MSG: Graymode Start\n");
    if (const char* refusal = pipelinePageRefusal(header.cupsBitsPerPixel, geometry,
                                                  job.buffers.RasterBuffer.size(), geometry.bytesPerLine))
        return failPage(job, refusal);

    const PrintSettings& settings = job.settings;
    const ModelRow* model = job.model;
    std::optional<Page> page = pageIn(job.buffers.RasterBuffer, geometry);

    if (model != nullptr && model->grayScaling && (settings.pageSize == 96 || settings.pageSize == 101)) {
        job.Scale = settings.pageSize;
        if (!(page = downscale(job, *page, settings.pageSize == 96 ? 3 : 2)))
            return failPage(job, kMemoryAllocationError);
    }
    if (!(page = rotate(job, markEmptyPage(*page))))
        return failPage(job, kMemoryAllocationError);
    page = markEmptyPage(*page);

    if (job.PageType == 0 && (settings.rotation == 1 || settings.rotation == 3))
        page = trimRotatedPage(job, *page);

    if (model != nullptr && model->focusOption && settings.pageSize == 101 &&
        page->bytesPerLine > kFocusMinBytes && (settings.focusArea == 1 || settings.focusArea == 2)) {
        if (!(page = cropFocusArea(job, *page)))
            return failPage(job, kMemoryAllocationError);
    }

    std::vector<uint8_t> reduced; // the reduced page belongs to this page only
    if (settings.paperReduction >= 1 && settings.paperReduction <= 100) {
        logText(job.log, "PELTRIN DEBUG MSG: Graymode before call reducePage\n");
        logFormat(job.log, "PELTRIN DEBUG MSG: PageDataBuffer address before : %p\n",
                  static_cast<const void*>(page->rows.data()));
        page = reducePage(*page, reduced, settings.paperReduction, header.Margins, job.log);
        logFormat(job.log, "PELTRIN DEBUG MSG: PageDataBuffer address after : %p\n",
                  static_cast<const void*>(page->rows.data()));
        logText(job.log, "PELTRIN DEBUG MSG: Graymode reducePage End\n");
    }
    page = markEmptyPage(*page);
    page->rows = page->rows.first(std::min<std::size_t>(page->rows.size(), page->bytes()));

    logText(job.log, "PELTRIN DEBUG MSG: Graymode before call PrintPage\n");
    const int refused = printPage(job, page->rows, {}, encoderHeader(header, *page));
    logText(job.log, "PELTRIN DEBUG MSG: Graymode End\n");
    if (refused != 0) {
        job.jobFailed = true;
        return 1;
    }
    return 0;
}
