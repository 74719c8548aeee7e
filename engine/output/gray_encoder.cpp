#include "engine/output/gray_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/job/log.h"

namespace {

constexpr uint32_t kField16 = 0xFFFF;        // the printer's size fields
constexpr uint32_t kStoreOverhead = 10;      // bytes counted by pL pH besides the data
constexpr uint32_t kSingleStoreRows = 255;   // a page this tall goes in one store
constexpr uint32_t kBandRows = 70;           // band height of taller pages
constexpr uint32_t kDefaultRleBandRows = 246;

constexpr char kLineTooLong[] = "ERROR: Page not printed: more than 65535 bytes per line for a raster image\n";

enum class Path { wholePage, runLength, graphics, none };

Path choosePath(const JobState& job, int32_t compPrinting)
{
    const ModelRow* row = job.model;
    if (row == nullptr)
        return Path::none;
    if (row->rasterCommand == RasterCommand::gsv0)
        return Path::wholePage;
    if (compPrinting == 1 && row->compOption)
        return Path::runLength;
    if (compPrinting == 0)
        return Path::graphics;
    return Path::none;
}

// Rows to send on the whole-page path: trailing blank rows dropped for
// variable-length pages turned by a quarter.
uint32_t wholePageRows(const JobState& job, std::span<const uint8_t> page, uint32_t height,
                       uint32_t bytesPerLine)
{
    if (job.PageType != 0 || (job.Rotation != 1 && job.Rotation != 3))
        return height;
    auto data = page.first(static_cast<std::size_t>(uint64_t{height} * bytesPerLine));
    auto last = std::find_if(data.rbegin(), data.rend(), [](uint8_t b) { return b != 0; });
    if (last == data.rend())
        return 0;
    const std::size_t index = static_cast<std::size_t>(data.rend() - last) - 1;
    return static_cast<uint32_t>(index / bytesPerLine) + 1;
}

void sendWholePage(PrinterOutput& out, std::span<const uint8_t> page, uint32_t rows,
                   uint32_t bytesPerLine)
{
    uint32_t start = 0;
    while (start < rows) {
        const uint32_t r = std::min(rows - start, kField16);
        out.bytes({0x1D, 0x76, 0x30, 0x00});
        out.le16(bytesPerLine);
        out.le16(r);
        out.write(page.subspan(static_cast<std::size_t>(uint64_t{start} * bytesPerLine),
                               static_cast<std::size_t>(uint64_t{r} * bytesPerLine)));
        start += r;
    }
}

void sendCompressedBands(PrinterOutput& out, std::span<const uint8_t> page, uint32_t width,
                         uint32_t height, uint32_t bytesPerLine, uint32_t bandRows)
{
    for (uint32_t start = 0; start < height;) {
        const uint32_t r = std::min(height - start, bandRows);
        out.bytes({0x08, 0x43, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00});
        out.le16(width);
        out.le16(r);
        CompressData(out, page.subspan(static_cast<std::size_t>(uint64_t{start} * bytesPerLine),
                                       static_cast<std::size_t>(uint64_t{r} * bytesPerLine)));
        out.bytes({0x08, 0x43, 0x52, 0xFF, 0x00});
        start += r;
    }
}

// One band of the graphics-buffer path: a store and a print, or several of
// them when the band's bytes do not fit one store's size field.
void sendPrintedBand(PrinterOutput& out, std::span<const uint8_t> page, uint32_t width,
                     uint32_t bytesPerLine, uint32_t start, uint32_t rows, uint32_t rowLimit)
{
    while (rows > 0) {
        const uint32_t r = std::min(rows, rowLimit);
        sendGraphicsStore(out, kFirstColor, width, r,
                          page.subspan(static_cast<std::size_t>(uint64_t{start} * bytesPerLine),
                                       static_cast<std::size_t>(uint64_t{r} * bytesPerLine)));
        sendGraphicsPrint(out);
        start += r;
        rows -= r;
    }
}

void sendGraphicsBands(PrinterOutput& out, std::span<const uint8_t> page, uint32_t width,
                       uint32_t height, uint32_t bytesPerLine)
{
    const uint32_t limit = storeRowLimit(bytesPerLine);
    if (height <= kSingleStoreRows) {
        sendPrintedBand(out, page, width, bytesPerLine, 0, height, limit);
        return;
    }
    const uint32_t bands = height / kBandRows;
    for (uint32_t i = 0; i < bands; ++i)
        sendPrintedBand(out, page, width, bytesPerLine, i * kBandRows, kBandRows, limit);
    sendPrintedBand(out, page, width, bytesPerLine, bands * kBandRows, height % kBandRows, limit);
}

// The run-length coder reads the block a machine word at a time.
using Word = std::uintptr_t;
constexpr Word kLow7 = ~Word{0} / 0xFF * 0x7F; // 7F in every byte

Word loadWord(const uint8_t* p)
{
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// The high bit of every byte of w that is 00, and no other bit.
Word zeroBytes(Word w)
{
    return ~(((w & kLow7) + kLow7) | w | kLow7);
}

// The index in memory order of the first byte of x with a bit set (x != 0).
std::size_t firstFlaggedByte(Word x)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(x)) / 8;
    else
        return static_cast<std::size_t>(std::countl_zero(x)) / 8;
}

// The length of the run of p[0] (00 or FF) that starts at p, at most longest.
std::size_t runLength(const uint8_t* p, std::size_t longest)
{
    const uint8_t marker = p[0];
    const Word pattern = marker == 0 ? 0 : ~Word{0};
    std::size_t run = 1;
    while (longest - run >= sizeof(Word)) {
        const Word differing = loadWord(p + run) ^ pattern;
        if (differing != 0)
            return run + firstFlaggedByte(differing);
        run += sizeof(Word);
    }
    while (run < longest && p[run] == marker)
        ++run;
    return run;
}

} // namespace

uint32_t storeRowLimit(uint64_t bytesPerRow)
{
    if (bytesPerRow == 0)
        return kField16;
    if (bytesPerRow + kStoreOverhead > kField16)
        return 0;
    return static_cast<uint32_t>((kField16 - kStoreOverhead) / bytesPerRow);
}

void sendGraphicsStore(PrinterOutput& out, uint8_t color, uint32_t width, uint32_t rows,
                       std::span<const uint8_t> data)
{
    out.bytes({0x1D, 0x28, 0x4C});
    out.le16(static_cast<uint32_t>(data.size() + kStoreOverhead));
    out.bytes({0x30, 0x70, 0x30, 0x01, 0x01, color});
    out.le16(width);
    out.le16(rows);
    out.write(data);
}

void sendGraphicsPrint(PrinterOutput& out)
{
    out.bytes({0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32});
}

const char* grayPageRefusal(const JobState& job, const cups_page_header_t& header,
                            std::size_t pageSize, int32_t compPrinting)
{
    const Path path = choosePath(job, compPrinting);
    const uint32_t height = header.cupsHeight;
    const uint32_t bytesPerLine = header.cupsBytesPerLine;
    if (path == Path::none || height == 0 || bytesPerLine == 0)
        return nullptr;
    if (pageSize < uint64_t{height} * bytesPerLine)
        return kPageShorterThanHeader;
    switch (path) {
    case Path::wholePage:
        return bytesPerLine > kField16 ? kLineTooLong : nullptr;
    case Path::runLength:
        return header.cupsWidth > kField16 ? kWidthPastSizeField : nullptr;
    case Path::graphics:
        if (header.cupsWidth > kField16)
            return kWidthPastSizeField;
        return storeRowLimit(bytesPerLine) == 0 ? kRowPastGraphicsStore : nullptr;
    case Path::none:
        break;
    }
    return nullptr;
}

int printGrayPage(JobState& job, std::span<const uint8_t> page, const cups_page_header_t& header,
                  int32_t compPrinting)
{
    if (const char* refusal = grayPageRefusal(job, header, page.size(), compPrinting)) {
        logText(job.log, refusal);
        return 1;
    }
    const uint32_t width = header.cupsWidth;
    const uint32_t height = header.cupsHeight;
    const uint32_t bytesPerLine = header.cupsBytesPerLine;
    const bool empty = height == 0 || bytesPerLine == 0;

    switch (choosePath(job, compPrinting)) {
    case Path::wholePage:
        if (!empty)
            sendWholePage(job.out, page, wholePageRows(job, page, height, bytesPerLine), bytesPerLine);
        break;
    case Path::runLength:
        logText(job.log, "RLE printing.\n");
        if (!empty) {
            const uint32_t bandRows =
                static_cast<uint32_t>(std::max(1, job.model->rleBandRows.value_or(kDefaultRleBandRows)));
            sendCompressedBands(job.out, page, width, height, bytesPerLine, bandRows);
        }
        break;
    case Path::graphics:
        logText(job.log, "Normal printing.\n");
        if (!empty)
            sendGraphicsBands(job.out, page, width, height, bytesPerLine);
        break;
    case Path::none:
        break;
    }
    return 0;
}

uint32_t CompressData(PrinterOutput& out, std::span<const uint8_t> block)
{
    // The coded bytes gather here and go to the writer a buffer at a time;
    // a step adds at most one word of literal bytes and one run.
    uint8_t coded[4096];
    std::size_t used = 0;
    const uint8_t* p = block.data();
    const uint8_t* const end = p + block.size();
    while (p < end) {
        if (used > sizeof coded - sizeof(Word) - 2) {
            out.write(coded, used);
            used = 0;
        }
        if (static_cast<std::size_t>(end - p) >= sizeof(Word)) {
            // The literal bytes of a word up to its first 00 or FF byte.
            const Word w = loadWord(p);
            const Word markers = zeroBytes(w) | zeroBytes(~w);
            std::memcpy(coded + used, &w, sizeof w);
            const std::size_t literal = markers == 0 ? sizeof(Word) : firstFlaggedByte(markers);
            used += literal;
            p += literal;
            if (markers == 0)
                continue;
        } else if (*p != 0x00 && *p != 0xFF) {
            coded[used++] = *p++;
            continue;
        }
        const uint8_t marker = *p;
        const std::size_t run = runLength(p, std::min<std::size_t>(255, static_cast<std::size_t>(end - p)));
        coded[used++] = marker;
        coded[used++] = static_cast<uint8_t>(run);
        p += run;
    }
    out.write(coded, used);
    return static_cast<uint32_t>(block.size());
}
