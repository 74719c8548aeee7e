// Diagnostics: log lines for the spooler's error log.
//
// Fixed texts go out whole, formatted ones through a printf-style format; a
// line carries a newline only where its text has one. The spooler reads its
// messages (ERROR:, WARNING:, INFO:, PAGE:, ATTR:, STATE:) only at the start
// of a line, so a text that begins with one of them is preceded by a newline
// when the log so far does not end with one; no other byte is added.
//
// The log is buffered in one block and handed to its sink in whole lines
// (so lines of other writers of the same stream, such as a rasterizer, never
// land inside ours). The front end hands in the sink: the filter's is
// standard error, written with write(2) on its descriptor. The filter's
// SIGTERM cancel writes what is pending from its signal handler
// (cancelPending), so a cancelled job's log is kept; the sink's hand-over
// hooks keep the signal out while a block is handed over.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

#include "engine/job/byte_sink.h"

class LogOutput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    explicit LogOutput(ByteSink& sink);
    ~LogOutput();
    LogOutput(const LogOutput&) = delete;
    LogOutput& operator=(const LogOutput&) = delete;

    void text(std::string_view text);
    // Hands everything pending to the sink, a last unfinished line included.
    void flush();

    // The cancel: armCancel makes this log the one cancelPending serves.
    void armCancel();
    void disarmCancel();
    // Async-signal-safe: writes the armed log's pending bytes to its sink's
    // descriptor. The sink keeps the signal whose handler calls this out of
    // each hand-over (beginHandOver/endHandOver), so nothing is lost or
    // written twice.
    static void cancelPending() noexcept;

private:
    void append(std::string_view text);
    void drain(bool wholeLinesOnly);

    ByteSink* sink_;
    int fd_; // sink's descriptor, -1 when it has none
    std::unique_ptr<char[]> block_;
    std::atomic<std::size_t> used_{0};
    bool atLineStart_ = true;
};

void logText(LogOutput* log, std::string_view text);
void logFormat(LogOutput* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logFlush(LogOutput* log);
