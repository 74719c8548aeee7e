// Printer control commands: job start, cancel, page-end and job-end feeds
// and cuts, cash drawer kicks and eject.
//
// Model decisions read the model table row in job.model; a job without a row
// (unsupported model number) reaches only jobEndCut.
#pragma once

#include "engine/job/job_state.h"

void endPage(JobState& job);           // flushes, then job.cancelClosed when set
void shutDown(PrinterOutput& out);     // ESC @
void openCashDrawer(JobState& job);    // the kicks that cashDrawer selects
void ejectPaper(JobState& job);        // GS e for ejectOption 3 or 5

void drawerKickBeforePrinting(JobState& job); // once, before the first counted page
void pageEndFeedAndCut(JobState& job);        // after every counted page
void jobEndFeed(JobState& job);               // normal job end, pageCut 5
void jobEndCut(JobState& job);                // last output of the job; also for unsupported models

// A cancelled job's last bytes: 720 zero bytes and ESC @, for a front end
// that learns of the cancel between pages.
void sendCancelEnd(PrinterOutput& out);
// The same bytes written straight to fd with write(2), after what the job
// has pending (PrinterOutput::cancelPending), for a cancel in a signal
// handler. Async-signal-safe.
void writeCancelEnd(int fd) noexcept;
