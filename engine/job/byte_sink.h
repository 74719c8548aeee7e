// Byte sinks: where the printer writer and the log writer hand their blocks.
//
// Each front end hands in sinks of its own: the filter its standard streams,
// the printer application the job's device and the job's log.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Hands over all of data; false when it could not all be written.
    virtual bool write(const uint8_t* data, std::size_t size) = 0;
    virtual void flush() {}
    // The descriptor a cancel writes to from a signal handler; -1 when the
    // sink has none (nothing is then written by the cancel).
    virtual int descriptor() const { return -1; }
    // Around each hand-over of the log's block (the reading of what is
    // pending, its write and the block's update): a front end whose cancel
    // writes the pending log from a signal handler keeps that signal out
    // in between, so the handler never sees a block half handed over.
    virtual void beginHandOver() {}
    virtual void endHandOver() {}
};

// Writes all of data to fd with write(2), going on after partial writes and
// EINTR; stops at the first other error. Async-signal-safe. Returns false
// when not everything could be written.
bool writeFully(int fd, const uint8_t* data, std::size_t size) noexcept;
