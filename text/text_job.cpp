#include "text/text_job.h"

#include <cstring>
#include <unistd.h>

#include "output/page_output.h"

namespace {

constexpr std::size_t kChunkSize = 1024;

// Copies the input in chunks; each chunk is written up to its first zero byte.
void copyText(PrinterOutput& out, int fd)
{
    uint8_t chunk[kChunkSize];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0)
            return;
        const auto size = static_cast<std::size_t>(got);
        const void* zero = std::memchr(chunk, 0, size);
        out.write(chunk, zero != nullptr ? static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - chunk)
                                         : size);
    }
}

} // namespace

void printText(JobState& job, int fd)
{
    const int32_t position = job.settings.logoPosition;
    if (position < 0 || position > 3)
        return;
    const LogoForm form = job.model != nullptr ? job.model->textLogo : LogoForm::fsp;
    withLogoBlocks(job, form, [&] {
        copyText(job.out, fd);
        return 0;
    });
}
