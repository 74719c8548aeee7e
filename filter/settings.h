// Print settings: the job's PPD defaults and options, read once per job into
// one record of integers. Which options are read depends on the model row.
#pragma once

#include <cstdint>
#include <cstdio>

#include "filter/log.h"

struct PrintSettings {
    int32_t modelNumber;
    int32_t pageType;
    int32_t focusArea;
    int32_t rotation;
    int32_t colorModel;
    int32_t compPrinting;
    int32_t labelPrinting;
    int32_t logoPosition;
    int32_t logoJustification;
    int32_t logoImage;
    int32_t logoWidth;
    int32_t lineFeed;
    int32_t pageSize;
    int32_t pageCut;
    int32_t cashDrawer;
    int32_t cashDrawerOpen;
    int32_t cashDrawer1PulseWidth;
    int32_t cashDrawer2PulseWidth;
    int32_t paperReduction;
    int32_t ejectOption;

    friend bool operator==(const PrintSettings&, const PrintSettings&) = default;
};

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
