// The job driver through the real executable: arguments, job kinds, status
// lines and exit status.
#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

TEST(Driver, WrongArgumentCountPrintsUsage)
{
    for (int count : {0, 4, 7 + 1}) {
        FilterInvocation inv;
        for (int i = 0; i < count; ++i)
            inv.args.push_back("x");
        FilterRun run = runFilter(inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "PELTRIN DEBUG MSG : drive version v1.4.8\n"
                           "PELTRIN DEBUG MSG: rastertoPeltrin job-id user title copies options [file]\n");
    }
}

} // namespace
