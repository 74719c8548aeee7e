// rastertoPeltrin: the CUPS filter's entry point.
#include <cstdio>
#include <cstring>

#include "engine/job/log.h"
#include "filter/cancel.h"
#include "filter/driver.h"

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("rastertoPeltrin %s\n", PELTRIN_VERSION);
        return 0;
    }
    LogFileSink logSink(stderr);
    LogOutput log(logSink);
    return runFilter(argc, argv, stdout, &log);
}
