// The steps of a raster job, apart from where its pages come from: the
// filter reads them from a CUPS raster stream (cupsraster/), another front
// end hands in each page's header and rows. Printer bytes and log lines are
// the same.
//
// A front end runs: startJob (ESC @; the filter installs its cancel first),
// then startRasterJob, printRasterPage for each page until one ends or
// fails the job, then endRasterJob or failRasterJob, whose result is the
// job's exit status.
#pragma once

#include <cstdint>

#include <cups/raster.h>

#include "engine/image/page_reader.h"
#include "engine/job/job_state.h"

enum class PageOutcome { next, endJob, failJob };

// Job start: ESC @.
void startJob(JobState& job);

// Before the first page: the page count, the rotation (dropped for quarter
// turns on ticket sizes) and the focus area.
void startRasterJob(JobState& job);

// One page: refuses a header that cannot be printed (ERROR: line, failJob),
// reads the rows, trims a variable-length page, counts it, kicks the drawer
// before the first page, runs the pipeline, sends the page end and logs
// PAGE:. A header without rows, or rows that cannot be read, end the job.
PageOutcome printRasterPage(JobState& job, const cups_page_header_t& header, const PageRowReader& readRows);

// The normal end: job-end feed, drawer after printing, eject, then as
// failRasterJob. Returns the exit status (0 when a page was printed).
int endRasterJob(JobState& job);
// The end of a failed (or refused) job: job-end cut and status line.
int failRasterJob(JobState& job);
// The job-end cut, the flush and the status line, nothing before them.
int finishJob(JobState& job);

// The reason a page header cannot be printed (an ERROR: line), or null.
const char* pageHeaderRefusal(const cups_page_header_t& header);

// Bytes each of the driver's page buffers needs for a page of h rows of b bytes.
uint64_t pageBufferSize(uint32_t h, uint32_t b);
