#include "engine/job/byte_sink.h"

#include <cerrno>
#include <unistd.h>

bool writeFully(int fd, const uint8_t* data, std::size_t size) noexcept
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
