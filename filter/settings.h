// Print settings from the PPD: the job's PPD defaults and options, read once
// per job into the settings record. Which options are read depends on the
// model row.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/job/log.h"
#include "engine/job/print_settings.h"

struct ppd_file_s;

// Fills `settings` from the PPD named by the environment variable PPD and
// the job's option string. Returns 0 when the model is supported, 1 when it
// is not or when the PPD cannot be opened (with an ERROR: line).
int initializeSettings(const char* options, PrintSettings& settings, LogOutput* log);

// The selected choice of an option as a number; -1 when the option or its
// choice is missing.
int32_t getOptionChoiceIndex(const char* keyword, ppd_file_s* ppd);

// The integer value of the first parameter of a custom option; -1 (with a
// log line) when missing.
int32_t getCustomParam(const char* keyword, ppd_file_s* ppd, LogOutput* log);
