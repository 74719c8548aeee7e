// The two-color page pipeline: split every raster line into a color plane
// and a black plane, downscale, rotate and crop both alike, then print.
#pragma once

#include <cups/raster.h>

#include "filter/job_state.h"

// Returns 0 when the job goes on, 1 when it must end through the job close.
int colorPipeline(JobState& job, cups_page_header_t& header);
