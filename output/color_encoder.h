// Two-color raster commands: paired GS ( L graphics stores of the black
// plane (color byte 49) and the color plane (50), each band printed.
#pragma once

#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "filter/job_state.h"

// Reads job.Rotation and job.Scale to know what cupsBytesPerLine means.
// Returns 0 when sent, 1 when refused with an ERROR: line.
int printColorPage(JobState& job, std::span<const uint8_t> blackPlane,
                   std::span<const uint8_t> colorPlane, const cups_page_header_t& header);
