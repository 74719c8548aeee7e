// PNG and JPEG pictures for the printer application: read with the
// libraries' error handling and printed as PAPPL prints a picture
// (papplJobFilterImage: scaled into the media, turned as the job asks).
// PAPPL's own PNG filter reads a damaged file again after every read error,
// without end, which held the printer; both of its filters open a job's
// file without looking whether a cancel took it away. These end the job
// with the reason instead.
#pragma once

#include <pappl/pappl.h>

// The MIME filters of image/png and image/jpeg.
bool printPngJob(pappl_job_t* job, pappl_device_t* device, void* context);
bool printJpegJob(pappl_job_t* job, pappl_device_t* device, void* context);
