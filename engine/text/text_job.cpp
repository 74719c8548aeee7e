#include "engine/text/text_job.h"

#include <cerrno>
#include <unistd.h>

#include "engine/job/log.h"
#include "engine/output/page_output.h"

namespace {

constexpr std::size_t kChunkSize = 1024;

// Copies the input to its end (or a read error) unchanged, zero bytes
// included: printer commands carried in the text contain them.
uint64_t copyText(PrinterOutput& out, int fd)
{
    uint8_t chunk[kChunkSize];
    uint64_t copied = 0;
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return copied;
        out.write(chunk, static_cast<std::size_t>(got));
        copied += static_cast<uint64_t>(got);
    }
}

} // namespace

uint64_t printText(JobState& job, int fd, std::span<const uint8_t> alreadyRead)
{
    const int32_t position = job.settings.logoPosition;
    if (position < 0 || position > 3)
        return 0;
    const LogoForm form = job.model != nullptr ? job.model->textLogo : LogoForm::fsp;
    uint64_t printed = 0;
    withLogoBlocks(job, form, [&] {
        job.out.write(alreadyRead.data(), alreadyRead.size());
        printed = alreadyRead.size() + copyText(job.out, fd);
        return 0;
    });
    // The spooler counts a text that printed anything as one page.
    if (printed > 0)
        logText(job.log, "PAGE: 1 1\n");
    return printed;
}
