#include "engine/image/page_reader.h"

#include <algorithm>
#include <cstring>

#include "engine/job/log.h"

namespace {

bool rowIsBlank(const uint8_t* row, uint32_t b)
{
    return std::all_of(row, row + b, [](uint8_t v) { return v == 0; });
}

} // namespace

uint32_t trimBlankRows(std::span<uint8_t> page, uint32_t h, uint32_t b)
{
    if (b == 0 || h == 0)
        return 0;
    const std::size_t stride = b;
    uint32_t last = h;
    while (last > 0 && rowIsBlank(page.data() + (last - 1) * stride, b))
        --last;
    if (last == 0)
        return 0;
    uint32_t first = 0;
    while (rowIsBlank(page.data() + first * stride, b))
        ++first;
    uint32_t kept = last - first;
    if (first > 0)
        std::memmove(page.data(), page.data() + first * stride, kept * stride);
    return kept;
}

int removeNullLine(const PageRowReader& readRows, std::span<uint8_t> destination,
                   PageGeometry& page, int32_t pageType, LogOutput* log)
{
    const uint32_t h = page.height;
    const uint32_t b = page.bytesPerLine;
    const uint64_t length = uint64_t{h} * b;
    const bool variable = pageType == 0;

    if (length > destination.size() || length > UINT32_MAX ||
        !readRows(destination.first(static_cast<std::size_t>(length)))) {
        logText(log, variable ? "PELTRIN DEBUG MSG : removeNullLine() NULLIMAGE\n"
                              : "PELTRIN DEBUG MSG : removeNullLine() NULLIMAGE2\n");
        return kPageNotRead;
    }
    if (!variable)
        return kPageRead;

    uint32_t kept = trimBlankRows(destination, h, b);
    if (kept == 0) {
        std::memset(destination.data(), 0, length);
        logText(log, "PELTRIN DEBUG MSG : removeNullLine() NULLPAGE\n");
        return kPageBlank;
    }
    if (kept < h)
        std::memset(destination.data() + uint64_t{kept} * b, 0, (h - kept) * uint64_t{b});
    page.height = kept;
    return kPageRead;
}
