// PNG pictures for the printer application: read with libpng's own error
// handling, and printed as PAPPL prints a picture (papplJobFilterImage:
// scaled into the media, turned as the job asks). PAPPL's own PNG filter
// reads a damaged file again after every read error, without end, which
// held the printer; this one ends the job with the reason instead.
#pragma once

#include <pappl/pappl.h>

// The MIME filter of image/png.
bool printPngJob(pappl_job_t* job, pappl_device_t* device, void* context);
