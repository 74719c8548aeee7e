#include "filter/settings.h"

#include <cstdlib>
#include <cstring>

#include <cups/cups.h>
#include <cups/ppd.h>

#include "filter/log.h"
#include "filter/model_table.h"

namespace {

// A choice keyword as a number: leading blanks and a sign allowed, stops at
// the first non-digit, 0 when there is no digit.
int32_t choiceNumber(const char* keyword)
{
    return static_cast<int32_t>(std::strtol(keyword, nullptr, 10));
}

struct PpdHandle {
    ppd_file_t* ppd = nullptr;
    ~PpdHandle()
    {
        if (ppd != nullptr)
            ppdClose(ppd);
    }
};

} // namespace

int32_t getOptionChoiceIndex(const char* keyword, ppd_file_t* ppd)
{
    ppd_choice_t* choice = ppdFindMarkedChoice(ppd, keyword);
    if (choice == nullptr) {
        ppd_option_t* option = ppdFindOption(ppd, keyword);
        if (option == nullptr)
            return -1;
        choice = ppdFindChoice(option, option->defchoice);
        if (choice == nullptr)
            return -1;
    }
    return choiceNumber(choice->choice);
}

int32_t getCustomParam(const char* keyword, ppd_file_t* ppd, LogOutput* log)
{
    ppd_coption_t* option = ppdFindCustomOption(ppd, keyword);
    if (option == nullptr) {
        logText(log, "PELTRIN DEBUG MSG : ppd option is NULL\n");
        return -1;
    }
    ppd_cparam_t* param = ppdFirstCustomParam(option);
    if (param == nullptr) {
        logText(log, "PELTRIN DEBUG MSG : custom param is NULL\n");
        return -1;
    }
    return param->current.custom_int;
}

int initializeSettings(const char* options, PrintSettings& settings, LogOutput* log)
{
    settings = PrintSettings{};

    const char* path = std::getenv("PPD");
    if (path == nullptr || *path == '\0') {
        logText(log, "ERROR: No PPD file: the PPD environment variable is not set\n");
        return 1;
    }
    PpdHandle handle;
    handle.ppd = ppdOpenFile(path);
    if (handle.ppd == nullptr) {
        int line = 0;
        ppd_status_t status = ppdLastError(&line);
        logFormat(log, "ERROR: Unable to open PPD file %s: %s on line %d\n", path,
                  ppdErrorString(status), line);
        return 1;
    }
    ppd_file_t* ppd = handle.ppd;
    ppdMarkDefaults(ppd);

    cups_option_t* list = nullptr;
    int count = cupsParseOptions(options != nullptr ? options : "", 0, &list);
    if (count > 0) {
        cupsMarkOptions(ppd, count, list);
    }
    cupsFreeOptions(count, list);

    settings.modelNumber = ppd->model_number;
    const ModelRow* row = findModel(settings.modelNumber);

    settings.pageSize = getOptionChoiceIndex("PageSize", ppd);
    settings.pageType = getOptionChoiceIndex("PageType", ppd);
    settings.rotation = getOptionChoiceIndex("Rotation", ppd);
    if (row != nullptr && row->focusOption)
        settings.focusArea = getOptionChoiceIndex("FocusArea", ppd);
    if (row != nullptr && row->compOption)
        settings.compPrinting = getOptionChoiceIndex("CompPrinting", ppd);
    if (row != nullptr && row->labelOption)
        settings.labelPrinting = getOptionChoiceIndex("LabelPrinting", ppd);
    settings.logoPosition = getOptionChoiceIndex("LogoPosition", ppd);
    settings.logoJustification = getOptionChoiceIndex("LogoJustification", ppd);
    settings.logoImage = getOptionChoiceIndex("LogoImage", ppd);
    settings.logoWidth = getOptionChoiceIndex("LogoWidth", ppd);
    settings.lineFeed = getOptionChoiceIndex("LineFeed", ppd);

    if (row != nullptr && row->grayForced) {
        logText(log, "Set Color model = GRAY");
        settings.colorModel = 1;
    } else {
        if (settings.modelNumber == 83) {
            settings.colorModel = 1;
        } else {
            settings.colorModel = getOptionChoiceIndex("ColorModel", ppd);
            settings.pageCut = getOptionChoiceIndex("PageCut", ppd);
        }
        settings.cashDrawer = getOptionChoiceIndex("CashDrawer", ppd);
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer = %d\n", settings.cashDrawer);
        settings.cashDrawerOpen = getOptionChoiceIndex("CashDrawerOpen", ppd);
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawerOpen = %d\n", settings.cashDrawerOpen);
        settings.cashDrawer1PulseWidth = getOptionChoiceIndex("CashDrawer1PulseWidth", ppd);
        settings.cashDrawer2PulseWidth = getOptionChoiceIndex("CashDrawer2PulseWidth", ppd);
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer1PulseWidth = %d\n", settings.cashDrawer1PulseWidth);
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer2PulseWidth = %d\n", settings.cashDrawer2PulseWidth);
    }

    if (row == nullptr)
        return 1;

    logFormat(log, "PELTRIN DEBUG MSG: The Printer Model is : %d\n", settings.modelNumber);
    if (row->reductionOption) {
        settings.paperReduction = getCustomParam("PaperReduction", ppd, log);
        logFormat(log, "PELTRIN DEBUG MSG: Reduce Rate = %d\n", settings.paperReduction);
    }
    settings.ejectOption = 0;
    if (row->ejectOptionRead) {
        settings.ejectOption = getOptionChoiceIndex("EjectOption", ppd);
        logFormat(log, "PELTRIN DEBUG MSG: Eject Option = %d\n", settings.ejectOption);
    }
    return 0;
}
