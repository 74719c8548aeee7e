// rastertoPeltrin: the CUPS filter's entry point.
#include <cstdio>

#include "filter/driver.h"
#include "filter/log.h"

int main(int argc, char* argv[])
{
    LogOutput log(stderr);
    return runFilter(argc, argv, stdout, &log);
}
