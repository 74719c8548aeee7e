// The job driver: the whole life of one job, from the spooler's arguments to
// the status line and the exit status.
#pragma once

#include <cstdint>
#include <cstdio>

#include <cups/raster.h>

#include "filter/log.h"

// Runs one job with the spooler's arguments (job-id user title copies
// options [file]); printer bytes go to `out`, diagnostics to `log`.
// Returns the exit status.
int runFilter(int argc, char* argv[], FILE* out, LogOutput* log);

// The reason a page header cannot be printed (an ERROR: line), or null.
const char* pageHeaderRefusal(const cups_page_header_t& header);

// Bytes each of the driver's page buffers needs for a page of h rows of b bytes.
uint64_t pageBufferSize(uint32_t h, uint32_t b);
