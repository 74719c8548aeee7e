// A stdio stream as a byte sink: the filter's standard output and error.
#pragma once

#include <cstdio>

#include "engine/job/byte_sink.h"

// With a descriptor, blocks go out with write(2) after whatever is buffered
// in the stream itself, so none of the filter's bytes wait in a stdio buffer
// and its cancel can finish the stream from a signal handler; a stream
// without one (a memory stream) gets fwrite.
class FileSink : public ByteSink {
public:
    explicit FileSink(FILE* stream);
    bool write(const uint8_t* data, std::size_t size) override;
    void flush() override;
    int descriptor() const override { return fd_; }

private:
    FILE* stream_;
    int fd_;
};
