// Text jobs: the input file copied to the printer with a stored logo before,
// after or around it.
#pragma once

#include "filter/job_state.h"

void printText(JobState& job, int fd);
