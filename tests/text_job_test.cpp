// Text jobs: the input copied chunk by chunk up to each chunk's first zero
// byte, with the stored logo in the model's text form around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"
#include "text/text_job.h"

namespace {

// Runs printText over a regular file holding `text`; with no text, over a
// descriptor whose reads fail.
JobCapture& runText(JobCapture& cap, const LogoSettings& logo, const std::string* text)
{
    cap.setLogo(logo);
    const int fd = text ? open(writeTempFile("text-job-input", *text).c_str(), O_RDONLY) : -1;
    printText(cap.job, fd);
    if (fd >= 0)
        close(fd);
    return cap;
}

std::string text(std::size_t size, uint32_t seed)
{
    std::string s(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(1 + (i * 7 + seed) % 255); // never zero
    return s;
}

TEST(PrintText, LogoFormOfTheModelAroundTheText)
{
    struct Case {
        const char* name;
        int32_t model;
        LogoSettings logo;
        const char *text, *out; // text null: the read fails
        const char* log = "";
    };
    const Case cases[] = {
        {"empty input, position 0: nothing", 82, {0, 2, 1, 2, 1}, "", ""},
        {"empty input, position 1: one block", 81, {1, 2, 1, 2, 1}, "", "1B 61 02 1D 28 4C 06 00 30 45 30 32 01 02 1B 40 0A"},
        {"empty input, position 2: one block", 33, {2, 2, 1, 2, 1}, "", "1B 61 02 1D 28 4C 06 00 30 45 30 31 01 02 1B 40 0A"},
        {"empty input, position 3: two blocks", 82, {3, 2, 1, 2, 1}, "", "1B 61 02 1C 70 02 02 1B 40 0A 1B 61 02 1C 70 02 02 1B 40 0A"},
        {"fsp logo after the text", 1, {2, 2, 1, 3, 2}, "Hi\n", "48 69 0A 1B 61 02 1C 70 02 03 1B 40 0A 0A"},
        {"nv logo before the text", 81, {1, 1, 0, 1, 0}, "ok", "1B 61 01 1D 28 4C 06 00 30 45 30 31 02 01 1B 40 6F 6B"},
        {"model 82: nv on pages, fsp for text", 82, {1, 0, 2, 3}, "", "1B 61 00 1C 70 03 03 1B 40"},
        {"model 322: nv on pages, fsp for text", 322, {1, 0, 2, 3}, "", "1B 61 00 1C 70 03 03 1B 40"},
        {"model 33: nv, key base '0'", 33, {1, 0, 2, 3}, "", "1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40"},
        {"model 289: nv, key base '1'", 289, {1, 0, 2, 3}, "", "1B 61 00 1D 28 4C 06 00 30 45 30 33 02 02 1B 40"},
        {"nv logo without a key is left out with one line", 91, {3, 0, 3, 0, 1}, "abc", "61 62 63",
         "PELTRIN DEBUG MSG : Logo left out: LogoImage 3 selects no stored logo\n"},
        {"a read error ends the text; the closing logo follows", 1, {3}, nullptr,
         "1B 61 00 1C 70 01 00 1B 40 1B 61 00 1C 70 01 00 1B 40"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobCapture cap(c.model);
        const std::string input = c.text ? c.text : "";
        runText(cap, c.logo, c.text ? &input : nullptr);
        EXPECT_EQ(hexBytes(cap.out()), c.out);
        EXPECT_EQ(cap.log(), c.log);
    }
}

TEST(PrintText, ChunksAreWrittenUpToTheirFirstZeroByte)
{
    struct Case {
        const char* name;
        std::string input;
        std::string output;
    };
    std::string zeroAt10 = text(1024, 3), zeroInSecond = text(1500, 4);
    zeroAt10[10] = '\0';
    zeroInSecond[1024 + 5] = '\0';
    const Case cases[] = {
        {"exactly 1024 bytes", text(1024, 1), text(1024, 1)},
        {"1025 bytes", text(1025, 5), text(1025, 5)},
        {"3000 bytes", text(3000, 2), text(3000, 2)},
        {"zero byte at offset 10", zeroAt10 + "tail", zeroAt10.substr(0, 10) + "tail"},
        {"zero byte in the second chunk", zeroInSecond, zeroInSecond.substr(0, 1029)},
        {"zero byte first", std::string("\0abc", 4), ""},
        {"zero byte last of a chunk", text(1023, 6) + std::string(1, '\0') + "next", text(1023, 6) + "next"},
        {"control bytes pass unchanged", "\x1b@\x1dV\x41\x01\n", "\x1b@\x1dV\x41\x01\n"},
    };
    for (const Case& c : cases) {
        JobCapture cap(1);
        EXPECT_TRUE(runText(cap, {0}, &c.input).out() == c.output) << c.name;
    }
}

TEST(PrintText, PipeInputInSmallPiecesGivesTheSameBytes)
{
    const std::string input = text(70000, 7); // more than a pipe holds
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < input.size(); at += 333)
            EXPECT_GT(write(fds[1], input.data() + at, std::min<std::size_t>(333, input.size() - at)), 0);
        close(fds[1]);
    });
    JobCapture cap(1);
    cap.setLogo({2});
    printText(cap.job, fds[0]);
    writer.join();
    close(fds[0]);
    EXPECT_TRUE(cap.out() == input + bytesOf({0x1B, 0x61, 0x00, 0x1C, 0x70, 0x01, 0x00, 0x1B, 0x40}));
}

TEST(PrintText, OutOfRangePositionDoesNotReadTheInput)
{
    for (int32_t position : {-1, 4}) {
        JobCapture cap(1);
        cap.setLogo({position});
        const int fd = open(writeTempFile("text-job-input", "unread").c_str(), O_RDONLY);
        printText(cap.job, fd);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0) << position;
        close(fd);
        EXPECT_EQ(cap.out() + cap.log(), "");
    }
}

// The executable in text mode: the file named as the seventh argument.
TEST(PrintText, ThroughTheFilter)
{
    const std::string ppd = writeTempFile("text-job.ppd", TestPpd::full(81).text());
    const std::string input = writeTempFile("text-job.txt", std::string("Receipt\n\0dropped", 16));
    const FilterRun run =
        runFilter({{"7", "user", "title", "1", "LogoPosition=3 LogoImage=1 LogoWidth=2 LineFeed=1", input}, ppd, ""});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string logo = bytesOf({0x1B, 0x61, 0x00, 0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x30, 0x32, 0x01,
                                      0x02, 0x1B, 0x40, 0x0A});
    EXPECT_TRUE(run.out.ends_with(logo + "Receipt\n" + logo)) << hexBytes(run.out);
}

} // namespace
