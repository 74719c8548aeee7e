// The monochrome page pipeline: downscale, rotate, trim a rotated
// variable-length page, crop the focus area, reduce, then print the page.
// Each step takes the page and returns the new one.
#pragma once

#include <cups/raster.h>

#include "engine/image/page.h"
#include "engine/job/job_state.h"

// Runs on the page read into job.buffers.RasterBuffer, of the geometry
// `page`; `header` is the page's header as read. Returns 0 when the job goes
// on, 1 when it must end through the job close (jobFailed is then set and
// the reason logged).
int grayPipeline(JobState& job, const cups_page_header_t& header, const PageGeometry& page);
