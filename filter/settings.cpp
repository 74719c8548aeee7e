#include "filter/settings.h"

#include <cstdlib>
#include <cstring>

#include <cups/cups.h>
#include <cups/ppd.h>

#include "engine/job/log.h"
#include "engine/job/print_options.h"

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

    const OptionValue value = [&](const char* keyword) {
        return std::strcmp(keyword, "PaperReduction") == 0 ? getCustomParam(keyword, ppd, log)
                                                           : getOptionChoiceIndex(keyword, ppd);
    };
    return fillSettings(settings, ppd->model_number, value, log);
}
