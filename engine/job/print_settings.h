// The settings record: one job's settings, one integer per printer option
// plus the model number. Filled by a front end (from a PPD and the job's
// options, or from named values: print_options.h).
#pragma once

#include <cstdint>

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
