// The document layer: a PDF job's pages, rendered by MuPDF's `mutool draw`
// in a process of its own (its licence stays out of this program's), turned
// into the engine's pages by the color rule (color_rule.h) and printed
// through printRasterPage. The PDF filter and the printer application print
// PDF documents only through here, with the same settings.
//
// Rendering: 203 dpi; a page no wider than the roll prints at its own size,
// a wider one is scaled down to the roll's width (mutool's -w is a maximum
// at the resolution given), or on a custom length's paper to the paper's
// width, of which the middle prints, as of its raster pages; pages stay upright unless the job asks for a
// quarter or half turn (landscape). Pages are rendered in 24-bit RGB (the
// color rule tells red from other colors on monochrome pages too) and
// printed as 1-bit K, or for two colors as 1-bit banded CMYK (the second
// color in M and Y, black in K). Text and
// line art are rendered without anti-aliasing, so their edges are already
// black or white and only pictures and gray fills are dithered.
//
// The renderer runs in its own process group with limits (RenderLimits):
// CPU seconds and address space as rlimits, a wall-clock timeout, and the
// longest page it may hand back. It is killed (its whole group) when the
// job is cancelled (`stop`), on timeout, when the page stream goes wrong,
// and when this process dies. Its standard error becomes DEBUG lines of the
// job's log; its failure, a page past the limits and a truncated or garbled
// page stream end the job with an ERROR: line, after everything printed
// before it.
//
// Before anything is run, the document is checked to be a PDF: "%PDF-"
// within its first 1024 bytes (PDF readers allow a little junk before it).
// A PostScript file or anything else is refused with an ERROR: line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/job/job_state.h"

struct RenderLimits {
    uint32_t cpuSeconds = 60;               // RLIMIT_CPU of the renderer
    uint64_t addressSpace = uint64_t{1} << 30; // RLIMIT_AS, bytes
    uint32_t wallSeconds = 120;             // the whole document
    uint32_t maxPageRows = 16000;           // 2 m at 203 dpi (15984 rows)
};

struct DocumentRequest {
    std::string path;          // the PDF document
    uint32_t maxWidth = 576;   // dots across the roll (the widest page printed)
    uint32_t paperWidth = 0;   // a custom length's paper across, of which the middle maxWidth dots
                               // print (0: none, pages are scaled down to maxWidth)
    bool twoColors = false;    // black and the second color
    uint32_t turn = 0;         // clockwise degrees: 0, 90, 180 or 270
    std::string pages;         // page ranges ("1-3,5"); empty: every page
    std::string renderer = "/usr/bin/mutool";
    RenderLimits limits;
};

// The widest page a job prints, in dots: the job's page size across (its
// roll, or the page a downscaling size shrinks), the model's roll for a
// custom length (PageSize 0).
uint32_t maxPageWidth(const PrintSettings& settings, const ModelRow& model);

// The document's refusal (an ERROR: line) when it cannot be read or is not
// a PDF; empty when it may be rendered.
std::string pdfRefusal(const std::string& path);

// The IPP orientation-requested value (3 to 6) as the turn of the page.
uint32_t turnOfOrientation(int orientation);

enum class DocumentEnd { ended, failed, stopped };

// Renders and prints every page of the document on the job (started:
// startJob and startRasterJob done) until the document ends, a page ends
// the job (ended), something fails (failed, ERROR: line logged) or `stop`
// says so (stopped). The caller ends the job.
DocumentEnd printPdfDocument(JobState& job, const DocumentRequest& request, const std::function<bool()>& stop = {});
