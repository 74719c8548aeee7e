// The monochrome page pipeline: downscale, rotate, trim a rotated
// variable-length page, crop the focus area, reduce, then print the page.
//
// The geometry helpers below are shared with the two-color pipeline and are
// exposed for tests; the pipelines rewrite the page header after every step
// so that it always describes the buffer the next step reads.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <cups/raster.h>

#include "engine/job/job_state.h"

// Runs on the page in job.buffers.RasterBuffer described by `header`.
// Returns 0 when the job goes on, 1 when it must end through the job close
// (jobFailed is then set and the reason logged).
int grayPipeline(JobState& job, cups_page_header_t& header);

// Header after a downscale whose rows are `rowBytes` long (b/3 or b/2):
// cupsHeight = height, cupsBytesPerLine = rowBytes and cupsWidth = width,
// at most the 8 * rowBytes dots those rows hold. (For the usual widths,
// 575 or 576 dots on 72 bytes, this is the bytes per line the new width
// asks for; for others, such as 640 dots on 80 bytes at one third, the rows
// the downscale wrote are one byte shorter than that, and the header keeps
// to the rows.)
void setDownscaledGeometry(cups_page_header_t& header, uint32_t height, uint32_t width,
                           uint32_t rowBytes);

// Header after a quarter turn: the old width becomes the height, the old
// height the width, and a row holds the old height's dots.
void setQuarterTurnGeometry(cups_page_header_t& header);

// First row of the page in the output of rotate270Degree of rows of b bytes
// holding `width` dots: the 8*b - width rows before it are the rows' fill
// bits. 0 when the width fills the rows.
uint32_t firstPageRowAfter270(uint32_t b, uint32_t width);

// A page with no rows or no bytes per line has nothing to print; its header
// is set to height 0 so that no step divides by its row length and no
// raster command goes out for it.
void markEmptyPage(cups_page_header_t& header);

// Why a page cannot go through a pipeline whose rows hold `rowBytes` bytes
// per plane (cupsBytesPerLine, or a quarter of it for two colors): not 1 bit
// per pixel, more dots than the rows hold, or fewer bytes in the page buffer
// than the header describes. An ERROR: line, or null when the page is fine.
const char* pipelinePageRefusal(const cups_page_header_t& header, std::size_t pageBufferBytes,
                                uint32_t rowBytes);
