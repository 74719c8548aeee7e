// The options a model offers, with their choices and defaults: one list that
// the PPD writer turns into the PPDs and that other front ends offer as
// their own settings, so both agree. Every choice keyword is a number, the
// value the settings record takes.
//
// Page size and color model are not listed: they are the PPD's media and
// color model (and a front end's own media and color attributes).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/job/log.h"
#include "engine/job/model_table.h"
#include "engine/job/print_settings.h"

struct OptionChoice {
    std::string keyword;
    std::string text;
};

struct PrintOption {
    const char* keyword; // the PPD option name
    const char* text;
    const char* group; // "General", "Logo" or "CashDrawer"
    std::vector<OptionChoice> choices;
    std::string defaultChoice;
    // A custom integer value from customMin to customMax besides the choices
    // (the PPD's Custom.N); the settings take the number.
    int customMin = 0, customMax = 0;
};

// The page sizes the PPDs and other front ends offer, in the PPD's order:
// the PageSize keyword (the number the settings read), its text, its name as
// PWG media (a width in hundredths of a millimetre just above its dots), its
// size in points at 203 dpi, and whether only downscaling models offer it.
struct PageSizeChoice {
    int32_t keyword;
    const char* text;
    const char* pwgName;
    double width, length; // points
    bool downscale;
};
std::span<const PageSizeChoice> pageSizes();
// The model's default roll: 80 (mm) on the models with a cutter, else 58.
int32_t defaultRoll(const ModelRow& row);

// The options every model offers (page length, rotation, the stored logo).
const std::vector<PrintOption>& commonOptions();
// The options that depend on the model's row (cut, focus, compression,
// label, eject, reduction, the cash drawer), in the PPD's order.
std::vector<PrintOption> modelOptions(const ModelRow& row);
// What the model is, as its PPD's nickname says after the model number:
// "80 mm receipt printer with cutter, black and red", ...
std::string modelKind(const ModelRow& row);
// Whether the model prints a second color (ColorModel 0 is offered).
bool printsTwoColors(const ModelRow& row);

// Every option of a model: the common ones, then the model's own.
std::vector<PrintOption> allOptions(const ModelRow& row);

// The selected value of an option by its PPD name: the choice as a number,
// or a custom option's value; -1 when the option is missing.
using OptionValue = std::function<int32_t(const char* keyword)>;

// Fills the record for `model` from the option values, read in the order
// and with the log lines of a filter job; `pageSize` and `ColorModel` are
// read through `value` too. Returns 0 when the model is supported.
int fillSettings(PrintSettings& settings, int32_t model, const OptionValue& value, LogOutput* log);

// The value of `keyword` for a model when nothing is selected: its default
// choice as a number, -1 when the model does not offer the option.
int32_t defaultValue(const ModelRow& row, const char* keyword);
