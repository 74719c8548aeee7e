#include "engine/image/page_geometry.h"

#include <algorithm>

#include "engine/image/page_reader.h"
#include "engine/output/gray_encoder.h"

PageGeometry downscaledGeometry(uint32_t height, uint32_t width, uint32_t rowBytes)
{
    return {static_cast<uint32_t>(std::min<uint64_t>(width, uint64_t{8} * rowBytes)), height, rowBytes};
}

PageGeometry quarterTurnGeometry(const PageGeometry& page)
{
    return {page.height, page.width, static_cast<uint32_t>((uint64_t{page.height} + 7) / 8)};
}

uint32_t firstPageRowAfter270(uint32_t b, uint32_t width)
{
    const uint64_t rows = uint64_t{8} * b;
    return rows > width ? static_cast<uint32_t>(rows - width) : 0;
}

PageGeometry focusedGeometry(const PageGeometry& page, uint32_t stripBytes)
{
    return {8 * stripBytes - 7, page.height, stripBytes};
}

const char* pipelinePageRefusal(uint32_t bitsPerPixel, const PageGeometry& page,
                                std::size_t pageBufferBytes, uint32_t rowBytes)
{
    if (bitsPerPixel != 1)
        return kNotOneBitPerPixel;
    if (page.width > uint64_t{8} * rowBytes)
        return kBytesPerLineNotWidth;
    if (page.bytes() > pageBufferBytes)
        return kPageShorterThanHeader;
    return nullptr;
}

cups_page_header_t encoderHeader(const cups_page_header_t& header, const PageGeometry& page)
{
    cups_page_header_t out = header;
    out.cupsWidth = page.width;
    out.cupsHeight = page.height;
    out.cupsBytesPerLine = page.bytesPerLine;
    return out;
}
