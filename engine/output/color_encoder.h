// Two-color raster commands: paired GS ( L graphics stores of the black
// plane (color byte 49) and the color plane (50), each band printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "engine/job/job_state.h"

// Sends cupsHeight rows of each plane, cupsBytesPerLine bytes a row.
// Returns 0 when sent, 1 when refused with an ERROR: line.
int printColorPage(JobState& job, std::span<const uint8_t> blackPlane,
                   std::span<const uint8_t> colorPlane, const cups_page_header_t& header);

// The "ERROR: ...\n" line that printColorPage would refuse the page with, or
// null when it can be sent. Nothing is written.
const char* colorPageRefusal(const cups_page_header_t& header, std::size_t blackSize, std::size_t colorSize);
