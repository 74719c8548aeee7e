#include "engine/output/color_encoder.h"

#include <algorithm>
#include <cstring>

#include "engine/job/log.h"
#include "engine/output/gray_encoder.h"

namespace {

constexpr uint32_t kField16 = 0xFFFF;
constexpr uint32_t kSingleStoreRows = 255;
constexpr uint32_t kBandRows = 70;


struct Planes {
    std::span<const uint8_t> black;
    std::span<const uint8_t> color;
    uint32_t width;
    uint32_t bytesPerRow;
    uint32_t rowLimit;
};

std::span<const uint8_t> rowsOf(std::span<const uint8_t> plane, uint32_t bytesPerRow, uint32_t start,
                                uint32_t rows)
{
    return plane.subspan(static_cast<std::size_t>(uint64_t{start} * bytesPerRow),
                         static_cast<std::size_t>(uint64_t{rows} * bytesPerRow));
}

// Rows of both planes, each pair of stores followed by a print; several
// pairs when the rows do not fit one store's size field.
void sendPrintedRows(PrinterOutput& out, const Planes& p, uint32_t start, uint32_t rows)
{
    while (rows > 0) {
        const uint32_t r = std::min(rows, p.rowLimit);
        sendGraphicsStore(out, kFirstColor, p.width, r, rowsOf(p.black, p.bytesPerRow, start, r));
        sendGraphicsStore(out, kSecondColor, p.width, r, rowsOf(p.color, p.bytesPerRow, start, r));
        sendGraphicsPrint(out);
        start += r;
        rows -= r;
    }
}

// "PELTRIN DEBUG MSG : page = j\n" for j = 0 .. count - 1, formatted into a
// local block and written whole.
void logPageLines(LogOutput* log, uint32_t count)
{
    if (log == nullptr)
        return;
    static constexpr char kPrefix[] = "PELTRIN DEBUG MSG : page = ";
    constexpr std::size_t kPrefixSize = sizeof kPrefix - 1;
    constexpr std::size_t kLineMax = kPrefixSize + 10 + 1;
    char block[16384];
    std::size_t used = 0;
    for (uint32_t j = 0; j < count; ++j) {
        if (used + kLineMax > sizeof block) {
            log->text({block, used});
            used = 0;
        }
        std::memcpy(block + used, kPrefix, kPrefixSize);
        used += kPrefixSize;
        char digits[10];
        int n = 0;
        uint32_t v = j;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0)
            block[used++] = digits[--n];
        block[used++] = '\n';
    }
    if (used > 0)
        log->text({block, used});
}

// One full band: its log lines, then its stores and print. The log and the
// printer are separate streams, so the lines need not interleave with the
// bytes they describe.
void sendFullBand(JobState& job, const Planes& p, uint32_t start, int bandCount)
{
    LogOutput* log = job.log;
    logFormat(log, "PELTRIN DEBUG MSG : enter Sending Black Data Height : %d\n", bandCount);
    logFormat(log, "PELTRIN DEBUG MSG : exit Sending Black Data height : %d\n", bandCount);
    logFormat(log, "PELTRIN DEBUG MSG : enter Sending Color Data Height : %d\n", bandCount);
    logText(log, "PELTRIN DEBUG MSG : step1 pass...\n");
    logPageLines(log, kBandRows * p.bytesPerRow);
    logText(log, "PELTRIN DEBUG MSG : step2 pass...\n");
    sendPrintedRows(job.out, p, start, kBandRows);
    logFormat(log, "PELTRIN DEBUG MSG : exit Sending Color Data Height : %d\n", bandCount);
}

bool planeRowsAreWhole(const JobState& job)
{
    return job.Rotation == 1 || job.Rotation == 3 || job.Scale == 96 || job.Scale == 101;
}

} // namespace

const char* colorPageRefusal(const cups_page_header_t& header, std::size_t blackSize, std::size_t colorSize)
{
    const uint32_t height = header.cupsHeight;
    const uint32_t bytesPerRow = header.cupsBytesPerLine;
    if (height == 0 || bytesPerRow == 0)
        return nullptr;
    const uint64_t planeSize = uint64_t{height} * bytesPerRow;
    if (blackSize < planeSize || colorSize < planeSize)
        return kPageShorterThanHeader;
    if (header.cupsWidth > kField16)
        return kWidthPastSizeField;
    if (storeRowLimit(bytesPerRow) == 0)
        return kRowPastGraphicsStore;
    return nullptr;
}

int printColorPage(JobState& job, std::span<const uint8_t> blackPlane,
                   std::span<const uint8_t> colorPlane, const cups_page_header_t& header)
{
    if (const char* refusal = colorPageRefusal(header, blackPlane.size(), colorPlane.size())) {
        logText(job.log, refusal);
        return 1;
    }
    LogOutput* log = job.log;
    const uint32_t height = header.cupsHeight;
    const Planes p{blackPlane, colorPlane, header.cupsWidth, header.cupsBytesPerLine,
                   storeRowLimit(header.cupsBytesPerLine)};

    logFormat(log, "PELTRIN DEBUG MSG : before header->cupsHegiht = %d\n", static_cast<int>(height));
    if (height == 0 || p.bytesPerRow == 0)
        return 0;
    if (height <= kSingleStoreRows) {
        sendPrintedRows(job.out, p, 0, height);
        return 0;
    }

    logFormat(log, "PELTRIN DEBUG MSG : header->cupsHegiht = %d\n", static_cast<int>(height));
    logText(log, planeRowsAreWhole(job) ? "PELTRIN DEBUG MSG : ROTATION 90 OR 270 OR SCALE 100 OR SCALE 50\n"
                                        : "PELTRIN DEBUG MSG : ROTATION 90 NOR 270 NOR SCALE 100 NOR SCALE 50\n");
    logText(log, "PELTRIN DEBUG MSG : enter Sending Data\n");

    const uint32_t bands = height / kBandRows;
    for (uint32_t i = 0; i < bands; ++i)
        sendFullBand(job, p, i * kBandRows, static_cast<int>(bands));

    const uint32_t rest = height % kBandRows;
    if (rest == 0) {
        // The remainder stores go out even when empty, then the final print.
        sendGraphicsStore(job.out, kFirstColor, p.width, 0, {});
        sendGraphicsStore(job.out, kSecondColor, p.width, 0, {});
        sendGraphicsPrint(job.out);
    } else {
        sendPrintedRows(job.out, p, bands * kBandRows, rest);
    }
    return 0;
}
