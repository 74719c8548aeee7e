#include "filter/file_sink.h"

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
