// rastertoPeltrin: the CUPS filter's entry point.
#include <cstdio>
#include <cstring>

#include "filter/driver.h"

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("rastertoPeltrin %s\n", PELTRIN_VERSION);
        return 0;
    }
    // Diagnostics can be many lines per page: buffer them in whole blocks.
    static char logBuffer[1 << 16];
    setvbuf(stderr, logBuffer, _IOFBF, sizeof logBuffer);
    return runFilter(argc, argv, stdout, stderr);
}
