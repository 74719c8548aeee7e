// Raster jobs read from a CUPS raster stream: the layer above the engine
// that the filter (its input) and the printer application (Ghostscript's
// output for a PDF job) share.
#pragma once

#include <functional>

#include <cups/raster.h>

#include "engine/job/job_state.h"

// Every page of a CUPS raster stream (none when the stream is null) through
// printRasterPage, until the stream ends, a page ends the job, a page fails
// it (failed) or `stop` (when given) says so before a page (stopped).
enum class PagesEnd { ended, failed, stopped };
PagesEnd printRasterPages(JobState& job, cups_raster_t* stream, const std::function<bool()>& stop = {});
