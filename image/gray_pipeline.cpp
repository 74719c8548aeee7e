#include "image/gray_pipeline.h"

int grayPipeline(JobState&, cups_page_header_t&) { return 0; }
