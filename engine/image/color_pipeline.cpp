#include "engine/image/color_pipeline.h"

#include <algorithm>
#include <cstring>

#include "engine/image/focus.h"
#include "engine/image/gray_pipeline.h"
#include "engine/image/rotate.h"
#include "engine/image/scale.h"
#include "engine/job/log.h"
#include "engine/output/page_output.h"

namespace {


// The planes being worked on: h rows of S bytes each.
struct Planes {
    JobBuffers& buffers;
    uint32_t h;
    uint32_t S;

    uint64_t bytes() const { return uint64_t{h} * S; }
    std::span<uint8_t> color() { return {buffers.colorPlane.data(), static_cast<std::size_t>(bytes())}; }
    std::span<uint8_t> black() { return {buffers.blackPlane.data(), static_cast<std::size_t>(bytes())}; }
    bool empty() const { return h == 0 || S == 0; }
};

// Room every plane buffer needs for a page of h lines with quarters of q
// bytes: the split planes, a quarter turn of them (8 * q * ceil(h / 8)
// bytes, more than h * q for a page of 1 to 7 rows), and the downscaled
// planes with their closing zero byte and the blank row the header may
// count past them.
uint64_t planeBufferSize(uint32_t h, uint32_t q)
{
    return std::max(uint64_t{h} * q, quarterTurnSize(h, q)) + 1;
}

// Downscale of both planes to one third (96) or one half (101). Each plane
// is downscaled into its rotate buffer, which was zeroed for the page and
// then takes the plane's place: a row the header counts past the rows the
// downscale wrote is blank in both planes.
void downscale(JobState& job, cups_page_header_t& header, Planes& planes, uint32_t factor)
{
    JobBuffers& buffers = job.buffers;
    const uint32_t h = planes.h;
    const uint32_t S = planes.S;
    auto scale = factor == 3 ? scale100 : scale50;
    scale(planes.black(), buffers.BlackRotateBuffer, h, S, job.log);
    scale(planes.color(), buffers.ColorRotateBuffer, h, S, job.log);
    buffers.blackPlane.swap(buffers.BlackRotateBuffer);
    buffers.colorPlane.swap(buffers.ColorRotateBuffer);

    const uint32_t rows = static_cast<uint32_t>((uint64_t{h} + factor) / factor);
    const uint32_t width = static_cast<uint32_t>((uint64_t{header.cupsWidth} + factor) / factor);
    setDownscaledGeometry(header, rows, width, S / factor);
    planes.h = header.cupsHeight;
    planes.S = header.cupsBytesPerLine;
}

// A quarter turn of one plane through its rotate buffer; after a 270-degree
// turn the rows of fill bits that come first are left out.
bool quarterTurn(JobState& job, std::vector<uint8_t>& plane, std::vector<uint8_t>& rotateBuffer,
                 uint32_t h, uint32_t S, uint32_t width)
{
    const int32_t rotation = job.settings.rotation;
    if (!sizedBuffer(rotateBuffer, quarterTurnSize(h, S)))
        return false;
    std::span<const uint8_t> source(plane.data(), static_cast<std::size_t>(uint64_t{h} * S));
    if (rotation == 1)
        rotate90Degree(source, rotateBuffer, h, S, job.log);
    else
        rotate270Degree(source, rotateBuffer, h, S, job.log);
    const uint64_t rowBytes = (uint64_t{h} + 7) / 8;
    const uint64_t first = rotation == 3 ? firstPageRowAfter270(S, width) : 0;
    const uint64_t bytes = uint64_t{width} * rowBytes;
    if (!sizedBuffer(plane, bytes))
        return false;
    if (bytes > 0)
        std::memcpy(plane.data(), rotateBuffer.data() + first * rowBytes, static_cast<std::size_t>(bytes));
    return true;
}

bool rotate(JobState& job, cups_page_header_t& header, Planes& planes)
{
    JobBuffers& buffers = job.buffers;
    const int32_t rotation = job.settings.rotation;
    if (rotation == 1 || rotation == 3) {
        job.Rotation = rotation;
        const uint32_t width = header.cupsWidth;
        if (!quarterTurn(job, buffers.colorPlane, buffers.ColorRotateBuffer, planes.h, planes.S, width) ||
            !quarterTurn(job, buffers.blackPlane, buffers.BlackRotateBuffer, planes.h, planes.S, width))
            return false;
        setQuarterTurnGeometry(header);
        planes.h = header.cupsHeight;
        planes.S = header.cupsBytesPerLine;
    } else if (rotation == 2) {
        job.Rotation = 2;
        rotate180Degree(planes.color());
        rotate180Degree(planes.black());
    }
    // Any other rotation leaves the planes as they are.
    return true;
}

bool cropFocusArea(JobState& job, cups_page_header_t& header, Planes& planes)
{
    JobBuffers& buffers = job.buffers;
    const uint64_t pageBytes = uint64_t{header.cupsHeight} * header.cupsBytesPerLine;
    if (!zeroedBuffer(buffers.FocusBuffer, pageBytes) || !zeroedBuffer(buffers.ColorFocusBuffer, pageBytes))
        return false;
    const bool center = job.Focus == 2;
    const FocusStrip strip = focusStrip(header.cupsBytesPerLine, center, job.Rotation);
    if (center) {
        SelectFocusAreaCenter(planes.black(), buffers.FocusBuffer, header);
        SelectFocusAreaCenter(planes.color(), buffers.ColorFocusBuffer, header);
    } else {
        SelectFocusArea(planes.black(), buffers.FocusBuffer, header, job.Rotation);
        SelectFocusArea(planes.color(), buffers.ColorFocusBuffer, header, job.Rotation);
    }
    header.cupsWidth = (8 * strip.width - 7) / header.cupsBitsPerPixel;
    header.cupsBytesPerLine = strip.width;
    planes.S = strip.width;
    if (planes.bytes() > 0) {
        std::memcpy(buffers.blackPlane.data(), buffers.FocusBuffer.data(), static_cast<std::size_t>(planes.bytes()));
        std::memcpy(buffers.colorPlane.data(), buffers.ColorFocusBuffer.data(),
                    static_cast<std::size_t>(planes.bytes()));
    }
    return true;
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

int colorPipeline(JobState& job, cups_page_header_t& header)
{
    logText(job.log, "PELTRIN DEBUG MSG: Color Mode Start");
    job.Rotation = job.settings.rotation;

    JobBuffers& buffers = job.buffers;
    const uint32_t b = header.cupsBytesPerLine;
    Planes planes{buffers, header.cupsHeight, b / 4};
    if (const char* refusal = pipelinePageRefusal(header, buffers.RasterBuffer.size(), planes.S))
        return failPage(job, refusal);

    const uint64_t size = planeBufferSize(planes.h, planes.S);
    if (!zeroedBuffer(buffers.colorPlane, size) || !zeroedBuffer(buffers.blackPlane, size) ||
        !zeroedBuffer(buffers.ColorRotateBuffer, size) || !zeroedBuffer(buffers.BlackRotateBuffer, size))
        return failPage(job, kMemoryAllocationError);

    splitPlanes(buffers.RasterBuffer, planes.h, b, planes.color(), planes.black());

    const int32_t pageSize = job.settings.pageSize;
    if (!planes.empty() && (pageSize == 96 || pageSize == 101)) {
        job.Scale = pageSize;
        downscale(job, header, planes, pageSize == 96 ? 3 : 2);
    }
    if (!planes.empty() && !rotate(job, header, planes))
        return failPage(job, kMemoryAllocationError);

    if (!planes.empty() && pageSize == 101 && header.cupsBytesPerLine > kFocusMinBytes &&
        (job.Focus == 1 || job.Focus == 2)) {
        if (!cropFocusArea(job, header, planes))
            return failPage(job, kMemoryAllocationError);
    }
    if (planes.empty())
        header.cupsHeight = 0;

    // The whole plane buffers go to the encoder, which reads the rows the
    // header gives from their start (a plane is never an empty span: that
    // would mean a monochrome page).
    const int refused = printPage(job, buffers.blackPlane, buffers.colorPlane, header);
    if (refused != 0) {
        job.jobFailed = true;
        return 1;
    }
    return 0;
}
