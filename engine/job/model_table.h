// The printer model table: one row per supported model number, one named
// column per printer-dependent decision. Every model decision reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

enum class PageEnd { cut, twoFeeds, fourFeeds };
enum class LogoForm { nv, fsp };
enum class RasterCommand { gsv0, gsL };

struct ModelRow {
    int32_t model;
    bool grayForced;
    bool colorOptions;
    bool drawerOptions;
    bool focusOption;
    bool compOption;
    bool labelOption;
    bool reductionOption;
    bool ejectOptionRead;
    bool colorPath;
    bool grayPath;
    bool grayScaling;
    PageEnd pageEnd;
    int preCutFeeds;
    int cutFunction;
    LogoForm pageLogo;
    std::optional<int> nvKeyBase;   // given exactly where pageLogo is nv
    LogoForm textLogo;
    RasterCommand rasterCommand;
    std::optional<int> rleBandRows; // given exactly where compOption is set
    std::optional<int> jobEndFeeds; // given exactly where colorOptions is set
};

// All rows, sorted by model number.
std::span<const ModelRow> modelTable();

// The row of a model number, or null when the model is not supported.
const ModelRow* findModel(int32_t model);
