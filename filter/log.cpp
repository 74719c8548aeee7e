#include "filter/log.h"

#include <cstdarg>

void logText(FILE* log, std::string_view text)
{
    if (log != nullptr && !text.empty())
        fwrite(text.data(), 1, text.size(), log);
}

void logFormat(FILE* log, const char* format, ...)
{
    if (log == nullptr)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
}
