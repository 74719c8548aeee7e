// The job driver: the whole life of one job, from the spooler's arguments to
// the status line and the exit status.
#pragma once

#include <cstdint>
#include <cstdio>

#include <cups/raster.h>

#include "engine/job/log.h"
#include "engine/job/raster_job.h" // pageHeaderRefusal, pageBufferSize

// Runs one job with the spooler's arguments (job-id user title copies
// options [file]); printer bytes go to `out`, diagnostics to `log`.
// Returns the exit status.
int runFilter(int argc, char* argv[], FILE* out, LogOutput* log);
