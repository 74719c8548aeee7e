// Text jobs: the input file copied to the printer with a stored logo before,
// after or around it.
#pragma once

#include <cstdint>
#include <span>

#include "engine/job/job_state.h"

// Sends `alreadyRead` (the bytes of the input the caller has read) and the
// rest of the input, with the logo blocks the settings ask for. Returns the
// number of bytes of the file that were printed; when there were any, logs
// the spooler's "PAGE: 1 1".
uint64_t printText(JobState& job, int fd, std::span<const uint8_t> alreadyRead = {});
