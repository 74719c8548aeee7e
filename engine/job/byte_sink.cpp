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

FileSink::FileSink(FILE* stream) : stream_(stream), fd_(-1)
{
    if (stream != nullptr) {
        const int fd = fileno(stream);
        fd_ = fd >= 0 ? fd : -1;
    }
}

bool FileSink::write(const uint8_t* data, std::size_t size)
{
    if (stream_ == nullptr)
        return true;
    if (fd_ >= 0) {
        fflush(stream_); // what others put on the stream itself goes first
        return writeFully(fd_, data, size);
    }
    return fwrite(data, 1, size, stream_) == size;
}

void FileSink::flush()
{
    if (stream_ != nullptr)
        fflush(stream_);
}
