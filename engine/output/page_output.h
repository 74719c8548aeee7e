// Page output: the stored logo before, after or around a page, and the
// choice of the raster encoder. The logo block is shared with text jobs.
#pragma once

#include <cstdint>
#include <span>

#include <cups/raster.h>

#include "engine/job/job_state.h"

// Sends the page (with colorPlane empty for a monochrome page). Returns 0
// when the job goes on, 1 when the page was refused (ERROR: line written).
int printPage(JobState& job, std::span<const uint8_t> page, std::span<const uint8_t> colorPlane,
              const cups_page_header_t& header);

// Whether the logo block has defined bytes in the given form for the job's
// settings. When it has not (the nv form with a logoImage outside 0..2 or a
// logoWidth outside 0..3), one PELTRIN DEBUG MSG line says why.
bool logoBlockUsable(JobState& job, LogoForm form);

// The logo block in the given form: ESC a, the stored-logo command, ESC @,
// lineFeed line feeds. Returns false (nothing sent) when the nv form has no
// defined key or scale for the settings.
bool sendLogoBlock(JobState& job, LogoForm form);

// Sends `body` (the page or the text) with the logo block before it
// (logoPosition 1), after it (2) or on both sides (3); 0 sends the body
// alone. The caller has checked that logoPosition is 0 to 3. Returns what
// `body` returns.
template <typename Body>
auto withLogoBlocks(JobState& job, LogoForm form, Body&& body)
{
    const int32_t position = job.settings.logoPosition;
    const bool logo = position != 0 && logoBlockUsable(job, form);
    if (logo && (position == 1 || position == 3))
        sendLogoBlock(job, form);
    auto result = body();
    if (logo && (position == 2 || position == 3))
        sendLogoBlock(job, form);
    return result;
}
