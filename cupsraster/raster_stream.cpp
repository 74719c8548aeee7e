#include "cupsraster/raster_stream.h"

#include <cstring>

#include "engine/image/page_reader.h"
#include "engine/job/raster_job.h"

PagesEnd printRasterPages(JobState& s, cups_raster_t* stream, const std::function<bool()>& stop)
{
    const PageRowReader readPixels = [stream](std::span<uint8_t> rows) {
        return cupsRasterReadPixels(stream, rows.data(), static_cast<unsigned>(rows.size())) != 0;
    };
    cups_page_header_t header;
    for (;;) {
        if (stop && stop())
            return PagesEnd::stopped;
        std::memset(&header, 0, sizeof header);
        if (stream == nullptr || cupsRasterReadHeader(stream, &header) == 0)
            return PagesEnd::ended;
        const PageOutcome outcome = printRasterPage(s, header, readPixels);
        if (outcome == PageOutcome::endJob)
            return PagesEnd::ended;
        if (outcome == PageOutcome::failJob) {
            s.jobFailed = true;
            return PagesEnd::failed;
        }
    }
}
