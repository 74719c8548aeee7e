// Real CUPS raster streams for tests, written with libcupsimage's own writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <cups/raster.h>

struct TestPage {
    cups_page_header_t header;
    std::vector<uint8_t> pixels; // cupsHeight x cupsBytesPerLine bytes (shorter: padded with zeros)
    // Bytes actually written for the page; when set, overrides the pixels'
    // length (a truncated stream).
    int64_t writtenBytes = -1;
};

// A 1-bit monochrome page header (K, chunky) of width x height dots.
cups_page_header_t monoHeader(uint32_t width, uint32_t height);
// A 1-bit banded CMYK page header: cupsBytesPerLine = 4 * ceil(width / 8).
cups_page_header_t twoColorHeader(uint32_t width, uint32_t height);

TestPage monoPage(uint32_t width, uint32_t height, std::vector<uint8_t> pixels);

// The stream of the pages, as cupsRasterOpen(CUPS_RASTER_WRITE) writes it
// (uncompressed version-1 stream).
std::string rasterStream(const std::vector<TestPage>& pages);

// Where page `index`'s header starts in the stream of rasterStream(pages)
// (the stream holds version-2-sized headers after a 4-byte sync word).
std::size_t pageHeaderStart(const std::vector<TestPage>& pages, std::size_t index);
