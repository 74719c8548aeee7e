// Monochrome raster commands: one GS v 0 image, run-length compressed bands,
// or GS ( L graphics stores each followed by a graphics print.
#pragma once

#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "filter/job_state.h"

// Sends one finished monochrome page (cupsHeight rows of cupsBytesPerLine
// bytes). Reads job.model, job.PageType and job.Rotation. Returns 0 when the
// page was sent (or selected no path), 1 when it was refused with an ERROR:
// line because it cannot be expressed in the printer's 16-bit size fields.
int printGrayPage(JobState& job, std::span<const uint8_t> page,
                  const cups_page_header_t& header, int32_t compPrinting);

// Writes the run-length form of `block` (runs of 00 or FF as byte, length);
// returns block.size().
uint32_t CompressData(PrinterOutput& out, std::span<const uint8_t> block);
