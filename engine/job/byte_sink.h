// Byte sinks: where the printer writer and the log writer hand their blocks.
//
// The filter writes to its standard streams (FileSink: write(2) on the
// stream's descriptor, so the SIGTERM cancel can finish the stream from its
// signal handler; fwrite for memory streams in tests). Another front end
// hands in a sink of its own (a device, a job log).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Hands over all of data; false when it could not all be written.
    virtual bool write(const uint8_t* data, std::size_t size) = 0;
    virtual void flush() {}
    // The descriptor the cancel writes to from a signal handler; -1 when the
    // sink has none (nothing is then written by the cancel).
    virtual int descriptor() const { return -1; }
};

// A stdio stream. With a descriptor, blocks go out with write(2) after
// whatever is buffered in the stream itself; a memory stream gets fwrite.
class FileSink final : public ByteSink {
public:
    explicit FileSink(FILE* stream);
    bool write(const uint8_t* data, std::size_t size) override;
    void flush() override;
    int descriptor() const override { return fd_; }
    FILE* stream() const { return stream_; }

private:
    FILE* stream_;
    int fd_;
};

// Writes all of data to fd with write(2), going on after partial writes and
// EINTR; stops at the first other error. Async-signal-safe. Returns false
// when not everything could be written.
bool writeFully(int fd, const uint8_t* data, std::size_t size) noexcept;
