// Printer control commands: job start, cancel, page-end and job-end feeds
// and cuts, cash drawer kicks and eject.
//
// Model decisions read the model table row in job.model; a job without a row
// (unsupported model number) reaches only jobEndCut.
#pragma once

#include "engine/job/job_state.h"

void jobSetup(JobState& job);          // installs the SIGTERM cancel, sends ESC @
void endPage(JobState& job);           // flushes; after jobSetup, SIGTERM ignored from now on
void shutDown(PrinterOutput& out);     // ESC @
void openCashDrawer(JobState& job);    // the kicks that cashDrawer selects
void ejectPaper(JobState& job);        // GS e for ejectOption 3 or 5

void drawerKickBeforePrinting(JobState& job); // once, before the first counted page
void pageEndFeedAndCut(JobState& job);        // after every counted page
void jobEndFeed(JobState& job);               // normal job end, pageCut 5
void jobEndCut(JobState& job);                // last output of the job; also for unsupported models

// A cancelled job's last bytes: 720 zero bytes and ESC @ (what the SIGTERM
// cancel sends), for a front end that learns of the cancel between pages.
void sendCancelEnd(PrinterOutput& out);

// The SIGTERM handler that jobSetup installs: sends what the job has pending,
// 720 zero bytes and ESC @ straight to the printer, writes the log lines
// still pending, and ends the process with status 0. Uses only
// async-signal-safe calls; never returns.
[[noreturn]] void cancelJob(int signalNumber);
