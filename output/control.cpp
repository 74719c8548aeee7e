#include "output/control.h"

void jobSetup(JobState&) {}
void endPage(JobState& job) { job.out.flush(); }
void shutDown(PrinterOutput&) {}
void openCashDrawer(JobState&) {}
void ejectPaper(JobState&) {}
void drawerKickBeforePrinting(JobState&) {}
void pageEndFeedAndCut(JobState&) {}
void jobEndFeed(JobState&) {}
void jobEndCut(JobState&) {}
