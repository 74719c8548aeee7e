#include "tests/support/raster_writer.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

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
    FILE* file = tmpfile();
    if (file == nullptr)
        throw std::runtime_error("tmpfile");
    cups_raster_t* ras = cupsRasterOpen(fileno(file), CUPS_RASTER_WRITE);
    if (ras == nullptr)
        throw std::runtime_error("cupsRasterOpen");
    for (const TestPage& page : pages) {
        cups_page_header_t header = page.header;
        if (!cupsRasterWriteHeader(ras, &header))
            throw std::runtime_error("cupsRasterWriteHeader");
        uint64_t size = uint64_t{header.cupsHeight} * header.cupsBytesPerLine;
        if (page.writtenBytes >= 0)
            size = static_cast<uint64_t>(page.writtenBytes);
        std::vector<uint8_t> data(page.pixels);
        data.resize(size, 0);
        // The writer wants whole lines; write in line-sized pieces and the
        // remainder last.
        uint64_t done = 0;
        while (done < size) {
            uint64_t chunk = std::min<uint64_t>(size - done, 1u << 20);
            if (cupsRasterWritePixels(ras, data.data() + done, static_cast<unsigned>(chunk)) == 0)
                break;
            done += chunk;
        }
    }
    cupsRasterClose(ras);
    fflush(file);
    std::string bytes;
    rewind(file);
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, file)) > 0)
        bytes.append(buf, n);
    fclose(file);
    return bytes;
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
