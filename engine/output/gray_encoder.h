// Monochrome raster commands: one GS v 0 image, run-length compressed bands,
// or GS ( L graphics stores each followed by a graphics print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "engine/job/job_state.h"

// Sends one finished monochrome page (cupsHeight rows of cupsBytesPerLine
// bytes). Reads job.model, job.PageType and job.Rotation. Returns 0 when the
// page was sent (or selected no path), 1 when it was refused with an ERROR:
// line because it cannot be expressed in the printer's 16-bit size fields.
int printGrayPage(JobState& job, std::span<const uint8_t> page,
                  const cups_page_header_t& header, int32_t compPrinting);

// The "ERROR: ...\n" line that printGrayPage would refuse the page with
// (a row that fits no command, or fewer page bytes than the header
// describes), or null when the page can be sent. Nothing is written.
const char* grayPageRefusal(const JobState& job, const cups_page_header_t& header,
                            std::size_t pageSize, int32_t compPrinting);

// Writes the run-length form of `block` (runs of 00 or FF as byte, length);
// returns block.size().
uint32_t CompressData(PrinterOutput& out, std::span<const uint8_t> block);

// Why a page is not printed, shared by both encoders and the pipelines.
inline constexpr char kPageShorterThanHeader[] =
    "ERROR: Page not printed: the page data is shorter than its header\n";
inline constexpr char kWidthPastSizeField[] =
    "ERROR: Page not printed: its width does not fit the printer's 16-bit size field\n";
inline constexpr char kRowPastGraphicsStore[] =
    "ERROR: Page not printed: one row does not fit in a graphics store\n";

// The GS ( L commands shared with the two-color encoder.
constexpr uint8_t kFirstColor = 0x31;  // c = 49
constexpr uint8_t kSecondColor = 0x32; // c = 50
// The most rows of `bytesPerRow` bytes one graphics store can carry (its
// size field holds data + 10 in 16 bits); 0 when not even one row fits.
uint32_t storeRowLimit(uint64_t bytesPerRow);
// GS ( L function 112: `rows` rows of `width` dots; `data` is their bytes.
void sendGraphicsStore(PrinterOutput& out, uint8_t color, uint32_t width, uint32_t rows,
                       std::span<const uint8_t> data);
// GS ( L function 50.
void sendGraphicsPrint(PrinterOutput& out);
