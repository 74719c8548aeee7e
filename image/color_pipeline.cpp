#include "image/color_pipeline.h"

int colorPipeline(JobState&, cups_page_header_t&) { return 0; }
