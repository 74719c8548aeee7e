#include "engine/image/color_pipeline.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/image/focus.h"
#include "engine/image/page_geometry.h"
#include "engine/image/rotate.h"
#include "engine/image/scale.h"
#include "engine/job/log.h"
#include "engine/output/page_output.h"

namespace {

// The planes of geometry `geometry` at the start of the plane buffers.
PlanePage planesIn(JobBuffers& buffers, const PageGeometry& geometry)
{
    const auto bytes = static_cast<std::size_t>(geometry.bytes());
    return {geometry, {buffers.blackPlane.data(), bytes}, {buffers.colorPlane.data(), bytes}};
}

// Room every plane buffer needs for a page of h lines with quarters of q
// bytes: the split planes, a quarter turn of them (8 * q * ceil(h / 8)
// bytes, more than h * q for a page of 1 to 7 rows), and the downscaled
// planes with their closing zero byte and the blank row the geometry may
// count past them.
uint64_t planeBufferSize(uint32_t h, uint32_t q)
{
    return std::max(uint64_t{h} * q, quarterTurnSize(h, q)) + 1;
}

// Downscale of both planes to one third (96) or one half (101). Each plane
// is downscaled into its rotate buffer, which was zeroed for the page and
// then takes the plane's place: a row the geometry counts past the rows the
// downscale wrote is blank in both planes.
PlanePage downscale(JobState& job, const PlanePage& page, uint32_t factor)
{
    JobBuffers& buffers = job.buffers;
    const uint32_t h = page.height;
    const uint32_t S = page.bytesPerLine;
    auto scale = factor == 3 ? scale100 : scale50;
    scale(page.black, buffers.BlackRotateBuffer, h, S, job.log);
    scale(page.color, buffers.ColorRotateBuffer, h, S, job.log);
    buffers.blackPlane.swap(buffers.BlackRotateBuffer);
    buffers.colorPlane.swap(buffers.ColorRotateBuffer);

    const uint32_t rows = static_cast<uint32_t>((uint64_t{h} + factor) / factor);
    const uint32_t width = static_cast<uint32_t>((uint64_t{page.width} + factor) / factor);
    return planesIn(buffers, downscaledGeometry(rows, width, S / factor));
}

// A quarter turn of one plane through its rotate buffer; after a 270-degree
// turn the rows of fill bits that come first are left out.
bool quarterTurn(JobState& job, std::vector<uint8_t>& plane, std::vector<uint8_t>& rotateBuffer,
                 const PageGeometry& page)
{
    const int32_t rotation = job.settings.rotation;
    const uint32_t h = page.height;
    const uint32_t S = page.bytesPerLine;
    if (!sizedBuffer(rotateBuffer, quarterTurnSize(h, S)))
        return false;
    std::span<const uint8_t> source(plane.data(), static_cast<std::size_t>(page.bytes()));
    if (rotation == 1)
        rotate90Degree(source, rotateBuffer, h, S, job.log);
    else
        rotate270Degree(source, rotateBuffer, h, S, job.log);
    const PageGeometry turned = quarterTurnGeometry(page);
    const uint64_t first = rotation == 3 ? firstPageRowAfter270(S, page.width) : 0;
    if (!sizedBuffer(plane, turned.bytes()))
        return false;
    if (turned.bytes() > 0)
        std::memcpy(plane.data(), rotateBuffer.data() + first * turned.bytesPerLine,
                    static_cast<std::size_t>(turned.bytes()));
    return true;
}

std::optional<PlanePage> rotate(JobState& job, const PlanePage& page)
{
    JobBuffers& buffers = job.buffers;
    const int32_t rotation = job.settings.rotation;
    if (rotation == 1 || rotation == 3) {
        job.Rotation = rotation;
        if (!quarterTurn(job, buffers.colorPlane, buffers.ColorRotateBuffer, page) ||
            !quarterTurn(job, buffers.blackPlane, buffers.BlackRotateBuffer, page))
            return std::nullopt;
        return planesIn(buffers, quarterTurnGeometry(page));
    }
    if (rotation == 2) {
        job.Rotation = 2;
        rotate180Degree(page.color);
        rotate180Degree(page.black);
    }
    // Any other rotation leaves the planes as they are.
    return page;
}

// The focus strip of both planes, cropped through the focus buffers back
// into the plane buffers.
std::optional<PlanePage> cropFocusArea(JobState& job, const PlanePage& page)
{
    JobBuffers& buffers = job.buffers;
    if (!zeroedBuffer(buffers.FocusBuffer, page.bytes()) || !zeroedBuffer(buffers.ColorFocusBuffer, page.bytes()))
        return std::nullopt;
    const bool center = job.Focus == 2;
    const FocusStrip strip = focusStrip(page.bytesPerLine, center, job.Rotation);
    if (center) {
        SelectFocusAreaCenter(page.black, buffers.FocusBuffer, page);
        SelectFocusAreaCenter(page.color, buffers.ColorFocusBuffer, page);
    } else {
        SelectFocusArea(page.black, buffers.FocusBuffer, page, job.Rotation);
        SelectFocusArea(page.color, buffers.ColorFocusBuffer, page, job.Rotation);
    }
    const PlanePage cropped = planesIn(buffers, focusedGeometry(page, strip.width));
    if (!cropped.black.empty()) {
        std::memcpy(cropped.black.data(), buffers.FocusBuffer.data(), cropped.black.size());
        std::memcpy(cropped.color.data(), buffers.ColorFocusBuffer.data(), cropped.color.size());
    }
    return cropped;
}

} // namespace

void splitPlanes(std::span<const uint8_t> raster, uint32_t h, uint32_t b,
                 std::span<uint8_t> colorPlane, std::span<uint8_t> blackPlane)
{
    const std::size_t q = b / 4;
    const uint8_t* line = raster.data();
    uint8_t* color = colorPlane.data();
    uint8_t* black = blackPlane.data();
    for (uint32_t r = 0; r < h; ++r, line += b, color += q, black += q) {
        for (std::size_t i = 0; i < q; ++i)
            color[i] = line[i] | line[q + i] | line[2 * q + i];
        if (q > 0)
            std::memcpy(black, line + 3 * q, q);
    }
}

int colorPipeline(JobState& job, const cups_page_header_t& header, const PageGeometry& geometry)
{
    logText(job.log, "PELTRIN DEBUG MSG: Color Mode Start");
    job.Rotation = job.settings.rotation;

    JobBuffers& buffers = job.buffers;
    const uint32_t b = geometry.bytesPerLine;
    const PageGeometry planeGeometry{geometry.width, geometry.height, b / 4};
    if (const char* refusal = pipelinePageRefusal(header.cupsBitsPerPixel, geometry, buffers.RasterBuffer.size(),
                                                  planeGeometry.bytesPerLine))
        return failPage(job, refusal);

    const uint64_t size = planeBufferSize(planeGeometry.height, planeGeometry.bytesPerLine);
    if (!zeroedBuffer(buffers.colorPlane, size) || !zeroedBuffer(buffers.blackPlane, size) ||
        !zeroedBuffer(buffers.ColorRotateBuffer, size) || !zeroedBuffer(buffers.BlackRotateBuffer, size))
        return failPage(job, kMemoryAllocationError);

    std::optional<PlanePage> page = planesIn(buffers, planeGeometry);
    splitPlanes(buffers.RasterBuffer, page->height, b, page->color, page->black);

    const int32_t pageSize = job.settings.pageSize;
    if (!page->empty() && (pageSize == 96 || pageSize == 101)) {
        job.Scale = pageSize;
        page = downscale(job, *page, pageSize == 96 ? 3 : 2);
    }
    if (!page->empty() && !(page = rotate(job, *page)))
        return failPage(job, kMemoryAllocationError);

    if (!page->empty() && pageSize == 101 && page->bytesPerLine > kFocusMinBytes &&
        (job.Focus == 1 || job.Focus == 2)) {
        if (!(page = cropFocusArea(job, *page)))
            return failPage(job, kMemoryAllocationError);
    }
    page = markEmptyPage(*page);

    // The whole plane buffers go to the encoder, which reads the rows the
    // geometry gives from their start (a plane is never an empty span: that
    // would mean a monochrome page).
    const int refused = printPage(job, buffers.blackPlane, buffers.colorPlane, encoderHeader(header, *page));
    if (refused != 0) {
        job.jobFailed = true;
        return 1;
    }
    return 0;
}
