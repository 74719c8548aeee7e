// rastertoPeltrin: the CUPS filter's entry point.
#include <cstdio>

#include "filter/driver.h"

int main(int argc, char* argv[])
{
    // Diagnostics can be many lines per page: buffer them in whole blocks.
    static char logBuffer[1 << 16];
    setvbuf(stderr, logBuffer, _IOFBF, sizeof logBuffer);
    return runFilter(argc, argv, stdout, stderr);
}
