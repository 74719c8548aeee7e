#include "filter/cancel.h"

#include <unistd.h>

#include "engine/job/log.h"
#include "engine/output/control.h"
#include "engine/output/printer_output.h"

namespace {

void setTermAction(void (*action)(int))
{
    struct sigaction sa {};
    sa.sa_handler = action;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGTERM, &sa, nullptr);
}

[[noreturn]] void cancelJob(int)
{
    // Everything here is async-signal-safe: sigaction, write(2), _exit.
    setTermAction(SIG_IGN);
    const int fd = PrinterOutput::cancelPending();
    writeCancelEnd(fd >= 0 ? fd : STDOUT_FILENO);
    LogOutput::cancelPending();
    _exit(0);
}

void ignoreTerm()
{
    setTermAction(SIG_IGN);
}

} // namespace

void LogFileSink::beginHandOver()
{
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &previous_);
}

void LogFileSink::endHandOver()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void installCancel(JobState& job)
{
    job.out.armCancel();
    if (job.log != nullptr)
        job.log->armCancel();
    setTermAction(cancelJob);
    job.cancelClosed = ignoreTerm;
}
