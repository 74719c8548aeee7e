// Text jobs: the input copied chunk by chunk up to each chunk's first zero
// byte, with the stored logo in the model's text form around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "output/page_output.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"
#include "text/text_job.h"

namespace {

struct Logo {
    int32_t position;
    int32_t justification = 0;
    int32_t image = 0;
    int32_t width = 0;
    int32_t lineFeed = 0;
};

void setLogo(JobState& job, const Logo& logo)
{
    job.settings.logoPosition = logo.position;
    job.settings.logoJustification = logo.justification;
    job.settings.logoImage = logo.image;
    job.settings.logoWidth = logo.width;
    job.settings.lineFeed = logo.lineFeed;
}

// A regular file holding `text`, opened for reading.
int fileWith(const std::string& text)
{
    const std::string path = writeTempFile("text-job-input", text);
    return open(path.c_str(), O_RDONLY);
}

struct TextRun {
    std::string out;
    std::string log;
};

TextRun runText(int32_t model, const Logo& logo, const std::string& text)
{
    JobCapture cap(model);
    setLogo(cap.job, logo);
    const int fd = fileWith(text);
    printText(cap.job, fd);
    close(fd);
    return {cap.out(), cap.log()};
}

std::string text(std::size_t size, uint32_t seed)
{
    std::string s(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(1 + (i * 7 + seed) % 255); // never zero
    return s;
}

// ---------------------------------------------------------------- placement

struct PlacementCase {
    int32_t position;
    int logosBefore;
    int logosAfter;
};

TEST(PrintText, EmptyInputByPosition)
{
    const PlacementCase cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 1, 1}, {-1, 0, 0}, {4, 0, 0}};
    for (int32_t model : {1, 82, 33, 81}) {
        JobCapture logoCap(model);
        setLogo(logoCap.job, {1, 2, 1, 2, 1});
        sendLogoBlock(logoCap.job, logoCap.job.model->textLogo);
        const std::string logo = logoCap.out();
        for (const PlacementCase& c : cases) {
            const TextRun run = runText(model, {c.position, 2, 1, 2, 1}, "");
            std::string expected;
            for (int i = 0; i < c.logosBefore + c.logosAfter; ++i)
                expected += logo;
            EXPECT_EQ(hexBytes(run.out), hexBytes(expected)) << "model " << model << " position " << c.position;
            EXPECT_EQ(run.log, "") << "model " << model;
        }
    }
}

TEST(PrintText, FspLogoAfterTheText)
{
    const TextRun run = runText(1, {.position = 2, .justification = 2, .image = 1, .width = 3, .lineFeed = 2}, "Hi\n");
    EXPECT_EQ(hexBytes(run.out), "48 69 0A 1B 61 02 1C 70 02 03 1B 40 0A 0A");
    EXPECT_EQ(run.log, "");
}

TEST(PrintText, NvLogoBeforeTheText)
{
    const TextRun run = runText(81, {.position = 1, .justification = 1, .image = 0, .width = 1, .lineFeed = 0}, "ok");
    EXPECT_EQ(hexBytes(run.out), "1B 61 01 1D 28 4C 06 00 30 45 30 31 02 01 1B 40 6F 6B");
    EXPECT_EQ(run.log, "");
}

struct FormCase {
    const char* name;
    int32_t model;
    const char* logo;
};

TEST(PrintText, TextLogoFormOfTheModel)
{
    const FormCase cases[] = {
        {"model 82: nv on pages, fsp for text", 82, "1B 61 00 1C 70 03 03 1B 40"},
        {"model 322: nv on pages, fsp for text", 322, "1B 61 00 1C 70 03 03 1B 40"},
        {"model 33: nv, key base '0'", 33, "1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40"},
        {"model 289: nv, key base '1'", 289, "1B 61 00 1D 28 4C 06 00 30 45 30 33 02 02 1B 40"},
    };
    for (const FormCase& c : cases) {
        const TextRun run = runText(c.model, {.position = 1, .justification = 0, .image = 2, .width = 3}, "");
        EXPECT_EQ(hexBytes(run.out), c.logo) << c.name;
    }
}

TEST(PrintText, NvLogoWithoutKeyIsLeftOutWithOneLine)
{
    const TextRun run = runText(91, {.position = 3, .justification = 0, .image = 3, .width = 0, .lineFeed = 1}, "abc");
    EXPECT_EQ(run.out, "abc");
    EXPECT_EQ(run.log.rfind("PELTRIN DEBUG MSG : ", 0), 0u) << run.log;
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), '\n'), 1) << run.log;
}

// ---------------------------------------------------------------- chunks

struct ChunkCase {
    const char* name;
    std::string input;
    std::string output;
};

TEST(PrintText, ChunksAreWrittenUpToTheirFirstZeroByte)
{
    const std::string k1024 = text(1024, 1);
    const std::string k3000 = text(3000, 2);
    std::string zeroAt10 = text(1024, 3);
    zeroAt10[10] = '\0';
    std::string zeroInSecond = text(1500, 4);
    zeroInSecond[1024 + 5] = '\0';
    const ChunkCase cases[] = {
        {"exactly 1024 bytes", k1024, k1024},
        {"1025 bytes", text(1025, 5), text(1025, 5)},
        {"3000 bytes", k3000, k3000},
        {"zero byte at offset 10", zeroAt10 + "tail", zeroAt10.substr(0, 10) + "tail"},
        {"zero byte in the second chunk", zeroInSecond, zeroInSecond.substr(0, 1029)},
        {"zero byte first", std::string("\0abc", 4), ""},
        {"zero byte last of a chunk", text(1023, 6) + std::string(1, '\0') + "next",
         text(1023, 6) + "next"},
        {"control bytes pass unchanged", "\x1b@\x1dV\x41\x01\n", "\x1b@\x1dV\x41\x01\n"},
    };
    for (const ChunkCase& c : cases) {
        const TextRun run = runText(1, {.position = 0}, c.input);
        EXPECT_EQ(run.out.size(), c.output.size()) << c.name;
        EXPECT_TRUE(run.out == c.output) << c.name;
    }
}

TEST(PrintText, PipeInputInSmallPiecesGivesTheSameBytes)
{
    const std::string input = text(70000, 7); // more than a pipe holds
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < input.size(); at += 333) {
            const std::size_t n = std::min<std::size_t>(333, input.size() - at);
            ASSERT_EQ(write(fds[1], input.data() + at, n), static_cast<ssize_t>(n));
        }
        close(fds[1]);
    });
    JobCapture cap(1);
    setLogo(cap.job, {.position = 2, .justification = 0, .image = 0, .width = 0, .lineFeed = 0});
    printText(cap.job, fds[0]);
    writer.join();
    close(fds[0]);
    EXPECT_TRUE(cap.out() == input + std::string("\x1b\x61\x00\x1c\x70\x01\x00\x1b\x40", 9));
}

TEST(PrintText, OutOfRangePositionDoesNotReadTheInput)
{
    for (int32_t position : {-1, 4}) {
        JobCapture cap(1);
        setLogo(cap.job, {.position = position});
        const int fd = fileWith("unread");
        printText(cap.job, fd);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0) << position;
        close(fd);
        EXPECT_EQ(cap.out(), "");
        EXPECT_EQ(cap.log(), "");
    }
}

TEST(PrintText, ReadErrorEndsTheTextAndTheClosingLogoFollows)
{
    JobCapture cap(1);
    setLogo(cap.job, {.position = 3, .justification = 0, .image = 0, .width = 0, .lineFeed = 0});
    printText(cap.job, -1);
    EXPECT_EQ(hexBytes(cap.out()), "1B 61 00 1C 70 01 00 1B 40 1B 61 00 1C 70 01 00 1B 40");
}

} // namespace

namespace {

// The executable in text mode: the file named as the seventh argument.
TEST(PrintText, ThroughTheFilter)
{
    const std::string ppd = writeTempFile("text-job.ppd", TestPpd::full(81).text());
    const std::string input = writeTempFile("text-job.txt", std::string("Receipt\n\0dropped", 16));
    FilterInvocation inv{{"7", "user", "title", "1", "LogoPosition=3 LogoImage=1 LogoWidth=2 LineFeed=1", input},
                         ppd, ""};
    const FilterRun run = runFilter(inv);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string logo = bytesOf({0x1B, 0x61, 0x00, 0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, 0x30, 0x32, 0x01,
                                      0x02, 0x1B, 0x40, 0x0A});
    const std::string tail = logo + "Receipt\n" + logo;
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(hexBytes(run.out.substr(run.out.size() - tail.size())), hexBytes(tail));
}

} // namespace
