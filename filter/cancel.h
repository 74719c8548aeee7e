// The filter's cancel: the spooler stops a job with SIGTERM. The handler
// sends what the job has pending, 720 zero bytes and ESC @ straight to the
// printer, writes the log lines still pending, and ends the process with
// status 0. After the job's pages and closing commands are out, SIGTERM is
// ignored.
#pragma once

#include <csignal>

#include "engine/job/job_state.h"
#include "filter/file_sink.h"

// The log's sink: SIGTERM is held back while a block is handed over, so the
// cancel never sees a block half written.
class LogFileSink final : public FileSink {
public:
    using FileSink::FileSink;
    void beginHandOver() override;
    void endHandOver() override;

private:
    sigset_t previous_{};
};

// Arms the job's printer and log writers for the cancel and installs the
// SIGTERM handler; from the job's endPage on SIGTERM is ignored.
void installCancel(JobState& job);
