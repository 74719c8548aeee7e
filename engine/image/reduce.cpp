#include "engine/image/reduce.h"

#include <cstring>
#include <limits>
#include <new>

#include "engine/job/log.h"

namespace {

constexpr uint32_t NotReached = std::numeric_limits<uint32_t>::max();

// Values go to the log as the 32-bit signed integers of the original trace.
int asLogged(uint64_t value)
{
    return static_cast<int>(static_cast<uint32_t>(value));
}

// The conversions' log lines. reducePage samples the packed page directly
// but traces the same stages, so it writes these lines too.
void logUnpackStart(LogOutput* log, uint32_t W, uint32_t H, uint32_t bytesPerLine)
{
    logFormat(log,
              "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : width : %d, height : %d, "
              "bytesPerLine : %d\n",
              asLogged(W), asLogged(H), asLogged(bytesPerLine));
    logText(log, "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Enter for()..\n");
}

void logUnpackEnd(LogOutput* log)
{
    logText(log, "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit for()..\n");
    logText(log, "PELTRIN DEBUG MSG: convertPixelPerBits1to8() : Exit...\n");
}

void logPackStart(LogOutput* log)
{
    logText(log, "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : enter for..\n");
}

void logPackEnd(LogOutput* log)
{
    logText(log, "PELTRIN DEBUG MSG: convertPixelPerBits8to1() : exit for..\n");
}

// A zero-filled vector of `size` bytes, or false when there is no memory.
bool allocateZeroed(std::vector<uint8_t>& buffer, uint64_t size)
{
    if (size > std::numeric_limits<size_t>::max() || size > buffer.max_size())
        return false;
    try {
        buffer.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Scans `count` source indices in increasing order and hands every one
// that truncates onto a result index below `results` to `store(result,
// source)`; a later source index replaces an earlier one, so each result
// index ends with the last source index that falls on it.
template <typename Store>
void sampleScan(uint32_t results, uint32_t count, double x, Store store)
{
    for (uint32_t i = 0; i < count; ++i) {
        const auto r = static_cast<uint32_t>(static_cast<double>(i) * x);
        if (r >= results)
            break;  // trunc(i * x) never decreases as i grows
        store(r, i);
    }
}

// Where the pixel of one result column comes from: a byte of the source row
// and the bit in it (mask 0 for a column that no source column falls on,
// and for the fill columns of the last byte).
struct ColumnSource {
    uint32_t byte;
    uint8_t mask;
};

ColumnSource columnSource(uint32_t column)
{
    return {column >> 3, static_cast<uint8_t>(0x80u >> (column & 7))};
}

// Fills `packed` (rows of (resWidth + 7) / 8 bytes, zero on entry) with the
// source pixels the row map and the column sources pick.
void samplePage(std::span<const uint8_t> page, uint32_t b, uint32_t resWidth,
                const std::vector<uint32_t>& rows, const std::vector<ColumnSource>& columns,
                std::vector<uint8_t>& packed)
{
    const size_t stride = (resWidth + 7) / 8;
    bool sameColumns = true;
    for (uint32_t c = 0; c < resWidth && sameColumns; ++c)
        sameColumns = columns[c].byte == columnSource(c).byte && columns[c].mask == columnSource(c).mask;
    uint8_t* out = packed.data();
    const uint8_t lastMask = static_cast<uint8_t>(0xFF00u >> (resWidth % 8 == 0 ? 8 : resWidth % 8));
    for (size_t r = 0; r < rows.size(); ++r, out += stride) {
        if (rows[r] == NotReached)
            continue;
        const uint8_t* src = page.data() + static_cast<size_t>(rows[r]) * b;
        if (sameColumns) {
            std::memcpy(out, src, stride);
            out[stride - 1] &= lastMask;
            continue;
        }
        const ColumnSource* column = columns.data();
        for (size_t byte = 0; byte < stride; ++byte, column += 8) {
            unsigned value = 0;
            for (int k = 0; k < 8; ++k)
                value = (value << 1) | ((src[column[k].byte] & column[k].mask) != 0);
            out[byte] = static_cast<uint8_t>(value);
        }
    }
}

} // namespace

Page reducePage(const Page& page, std::vector<uint8_t>& result, int32_t rate,
                const unsigned (&margins)[2], LogOutput* log)
{
    if (rate < 1 || rate > 100) {
        logFormat(log, "PELTRIN DEBUG MSG: Abnormal Reduce Rate : %d\n", rate);
        return page;
    }
    const uint32_t W = page.width;
    const uint32_t H = page.height;
    const uint32_t b = page.bytesPerLine;
    if (W > 8ull * b || page.rows.size() < uint64_t{H} * b)
        return page;

    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : prevWidth  : %d\n", asLogged(W));
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : prevHeight : %d\n", asLogged(H));
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : info       : %d\n", 1); // bits per pixel
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : header->cupsBytesPerLine : %d\n", asLogged(b));

    const double x = rate / 100.0;
    const auto resWidth = static_cast<uint32_t>(static_cast<double>(W) * x);
    const auto resHeight = static_cast<uint32_t>(static_cast<double>(H) * x);
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : resWidth : %d\n", asLogged(resWidth));
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : resHeight : %d\n", asLogged(resHeight));
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : resStride : %d\n", asLogged(resWidth));
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : prevStride : %d\n", asLogged(b));
    logFormat(log, "PELTRIN DEBUG MSG: resblackBuff Size : %d\n",
              asLogged(uint64_t{resWidth} * resHeight));

    // The packed result and the two sample maps are all the memory taken; an
    // empty result needs no maps.
    const uint32_t resBytesPerLine = (resWidth + 7) / 8;
    const bool empty = resWidth == 0 || resHeight == 0;
    std::vector<uint8_t> packed;
    std::vector<uint32_t> rows;
    std::vector<ColumnSource> columns;
    bool allocated = allocateZeroed(packed, uint64_t{resBytesPerLine} * resHeight);
    if (allocated && !empty) {
        try {
            rows.assign(resHeight, NotReached);
            columns.assign(8 * size_t{resBytesPerLine}, ColumnSource{0, 0});
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        logText(log, "PELTRIN DEBUG MSG: reducePage() : Memory allocation failed\n");
        return page;
    }
    logText(log, "PELTRIN DEBUG MSG: reducePage(): Memory initialize success\n");

    logText(log, "PELTRIN DEBUG MSG: reducePage() : Enter convert 1 to 8\n");
    logUnpackStart(log, W, H, b);
    logUnpackEnd(log);
    logText(log, "PELTRIN DEBUG MSG: reducePage() : End convert 1 to 8\n");
    logFormat(log, "PELTRIN DEBUG MSG: reducePage() : start reduction : prevStride : %d, resStride : %d\n",
              asLogged(W), asLogged(resWidth));

    if (!empty) {
        sampleScan(resHeight, H, x, [&](uint32_t r, uint32_t i) { rows[r] = i; });
        sampleScan(resWidth, W, x, [&](uint32_t c, uint32_t j) { columns[c] = columnSource(j); });
        samplePage(page.rows, b, resWidth, rows, columns, packed);
    }

    logText(log, "PELTRIN DEBUG MSG: Enter convert 8 to 1\n");
    logPackStart(log);
    logPackEnd(log);
    logText(log, "PELTRIN DEBUG MSG: End convert 8 to 1\n");

    result.swap(packed);
    logFormat(log, "PELTRIN DEBUG MSG : reducePage() : header->Margins[0] : %d\n", asLogged(margins[0]));
    logFormat(log, "PELTRIN DEBUG MSG : reducePage() : header->Margins[1] : %d\n", asLogged(margins[1]));
    return {{resWidth, resHeight, resBytesPerLine}, result};
}

std::vector<uint8_t> convertPixelPerBits1to8(std::span<const uint8_t> image, uint32_t W,
                                             uint32_t H, uint32_t& bytesPerLine, LogOutput* log)
{
    const uint32_t b = bytesPerLine;
    std::vector<uint8_t> unpacked;
    if (image.size() < uint64_t{H} * b || !allocateZeroed(unpacked, uint64_t{W} * H))
        return {};
    logUnpackStart(log, W, H, b);
    const uint64_t used = std::min<uint64_t>(W, 8ull * b);  // pixels a row really has
    for (uint32_t i = 0; i < H; ++i) {
        const uint8_t* src = image.data() + static_cast<size_t>(i) * b;
        uint8_t* dst = unpacked.data() + static_cast<size_t>(i) * W;
        for (size_t c = 0; c < used; ++c)
            dst[c] = (src[c >> 3] >> (7 - (c & 7))) & 1u;
    }
    logUnpackEnd(log);
    bytesPerLine = W;
    return unpacked;
}

std::vector<uint8_t> convertPixelPerBits8to1(std::span<const uint8_t> image, uint32_t w,
                                             uint32_t h, uint32_t& bytesPerLine, LogOutput* log)
{
    const uint64_t n = (w + 7ull) / 8;
    std::vector<uint8_t> packed;
    if (image.size() < uint64_t{w} * h || !allocateZeroed(packed, n * h))
        return {};
    logPackStart(log);
    for (uint32_t i = 0; i < h; ++i) {
        const uint8_t* src = image.data() + static_cast<size_t>(i) * w;
        uint8_t* dst = packed.data() + static_cast<size_t>(i) * n;
        for (size_t c = 0; c < w; ++c)
            if (src[c] != 0)
                dst[c >> 3] |= static_cast<uint8_t>(0x80u >> (c & 7));
    }
    logPackEnd(log);
    bytesPerLine = static_cast<uint32_t>(n);
    return packed;
}
