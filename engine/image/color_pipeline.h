// The two-color page pipeline: split every raster line into a color plane
// and a black plane, downscale, rotate and crop both alike, then print.
#pragma once

#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "engine/image/page.h"
#include "engine/job/job_state.h"

// As grayPipeline, for a page of four-band lines.
int colorPipeline(JobState& job, const cups_page_header_t& header, const PageGeometry& page);

// Splits h raster lines of b bytes, each four quarters of q = b / 4 bytes,
// into rows of q bytes: the color plane is the OR of the first three
// quarters, the black plane the fourth. The last b mod 4 bytes of a line
// belong to no quarter. Both planes must hold h * q bytes.
void splitPlanes(std::span<const uint8_t> raster, uint32_t h, uint32_t b,
                 std::span<uint8_t> colorPlane, std::span<uint8_t> blackPlane);
