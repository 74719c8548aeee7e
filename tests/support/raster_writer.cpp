#include "tests/support/raster_writer.h"

#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

#include "tests/support/ppd_writer.h"

cups_page_header_t monoHeader(uint32_t width, uint32_t height)
{
    cups_page_header_t h{};
    std::strcpy(h.MediaClass, "PwgRaster");
    h.HWResolution[0] = h.HWResolution[1] = 203;
    h.PageSize[0] = width * 72 / 203;
    h.PageSize[1] = height * 72 / 203;
    h.NumCopies = 1;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 1;
    h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = (width + 7) / 8;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_K;
    return h;
}

cups_page_header_t twoColorHeader(uint32_t width, uint32_t height)
{
    cups_page_header_t h = monoHeader(width, height);
    h.cupsColorOrder = CUPS_ORDER_BANDED;
    h.cupsColorSpace = CUPS_CSPACE_CMYK;
    h.cupsBytesPerLine = 4 * ((width + 7) / 8);
    return h;
}

TestPage monoPage(uint32_t width, uint32_t height, std::vector<uint8_t> pixels)
{
    return {monoHeader(width, height), std::move(pixels)};
}

std::string rasterStream(const std::vector<TestPage>& pages)
{
    // libcupsimage's writer on a file of the test's own, read back whole.
    const std::string path = writeTempFile("stream.ras", "");
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    for (const TestPage& page : pages) {
        cups_page_header_t header = page.header;
        if (!cupsRasterWriteHeader(ras, &header))
            throw std::runtime_error("cupsRasterWriteHeader");
        std::vector<uint8_t> data(page.pixels);
        data.resize(page.writtenBytes >= 0 ? static_cast<uint64_t>(page.writtenBytes)
                                           : uint64_t{header.cupsHeight} * header.cupsBytesPerLine);
        if (!data.empty())
            cupsRasterWritePixels(ras, data.data(), static_cast<unsigned>(data.size()));
    }
    cupsRasterClose(ras);
    close(fd);
    return readFile(path);
}

std::size_t pageHeaderStart(const std::vector<TestPage>& pages, std::size_t index)
{
    std::size_t offset = 4;
    for (std::size_t i = 0; i < index && i < pages.size(); ++i) {
        const TestPage& p = pages[i];
        offset += sizeof(cups_page_header2_t);
        offset += p.writtenBytes >= 0 ? static_cast<std::size_t>(p.writtenBytes)
                                      : std::size_t{p.header.cupsHeight} * p.header.cupsBytesPerLine;
    }
    return offset;
}
