// The monochrome page pipeline: downscale, rotate, trim a rotated
// variable-length page, crop the focus area, reduce, then print the page.
#pragma once

#include <cups/raster.h>

#include "filter/job_state.h"

// Runs on the page in job.buffers.RasterBuffer described by `header`.
// Returns 0 when the job goes on, 1 when it must end through the job close
// (jobFailed is then set and the reason logged).
int grayPipeline(JobState& job, cups_page_header_t& header);
