#include "text/text_job.h"

void printText(JobState&, int) {}
