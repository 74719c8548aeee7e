// Text jobs through the executable: the file named as the seventh argument
// reaches the printer unchanged, with the stored logo in the model's text
// form before it, after it or around it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/filter_runner.h"
#include "tests/support/job_capture.h"
#include "tests/support/ppd_writer.h"

namespace {

const std::string kJobStart = bytesOf({0x1B, 0x40});

std::string text(std::size_t size, uint32_t seed)
{
    std::string s(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(1 + (i * 7 + seed) % 255); // never zero
    return s;
}

std::string hexText(std::string_view hex)
{
    const std::vector<uint8_t> bytes = fromHex(hex);
    return {bytes.begin(), bytes.end()};
}

FilterRun textJob(const TestPpd& ppd, const std::string& options, const std::string& file,
                  const std::string& stdinText = "", std::size_t piece = 0)
{
    const std::string ppdPath = writeTempFile("text-job.ppd", ppd.text());
    FilterInvocation job{{"7", "user", "receipt.txt", "1", options, file}, ppdPath, stdinText, piece};
    return runFilter(job);
}

struct LogoCase {
    const char* name;
    int model;
    const char* options;
    const char* input;
    const char* out; // after the job start, in hexadecimal; "<text>" stands for the input
    const char* logLine = nullptr; // a line the log must hold
    bool noLogoPosition = false;   // the PPD lacks LogoPosition
};

TEST(TextJob, LogoPlacementAroundTheText)
{
    const LogoCase cases[] = {
        {"position 0: the text only", 82, "LogoPosition=0 LogoImage=1", "Hi\n", "<text>"},
        {"position 1, nv, key base '1' (model 81)", 81, "LogoPosition=1 LogoJustification=1 LogoWidth=1", "ok",
         "1B 61 01 1D 28 4C 06 00 30 45 30 31 02 01 1B 40 <text>"},
        {"position 2, fsp", 1, "LogoPosition=2 LogoJustification=2 LogoImage=1 LogoWidth=3 LineFeed=2", "Hi\n",
         "<text> 1B 61 02 1C 70 02 03 1B 40 0A 0A"},
        {"position 3, nv, key base '0' (model 33)", 33, "LogoPosition=3 LogoImage=2 LogoWidth=3 LineFeed=1", "x",
         "1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40 0A <text> 1B 61 00 1D 28 4C 06 00 30 45 30 32 02 02 1B 40 0A"},
        {"model 82: nv on pages, fsp for text", 82, "LogoPosition=1 LogoImage=2 LogoWidth=3", "",
         "1B 61 00 1C 70 03 03 1B 40"},
        {"model 322: nv on pages, fsp for text", 322, "LogoPosition=1 LogoImage=2 LogoWidth=3", "",
         "1B 61 00 1C 70 03 03 1B 40"},
        {"model 289: nv, key base '1'", 289, "LogoPosition=1 LogoImage=2 LogoWidth=3", "",
         "1B 61 00 1D 28 4C 06 00 30 45 30 33 02 02 1B 40"},
        {"empty input, position 0: nothing", 82, "LogoPosition=0", "", ""},
        {"empty input, position 2: one block", 1, "LogoPosition=2", "", "1B 61 00 1C 70 01 00 1B 40"},
        {"empty input, position 3: two blocks back to back", 82, "LogoPosition=3 LogoImage=1 LineFeed=1", "",
         "1B 61 00 1C 70 02 00 1B 40 0A 1B 61 00 1C 70 02 00 1B 40 0A"},
        {"position 4: nothing, the input is not read", 1, "LogoPosition=4", "unread", ""},
        {"no LogoPosition in the PPD (-1): nothing", 1, "", "unread", "", nullptr, true},
        {"nv logo without a key is left out with one line", 91, "LogoPosition=3 LogoImage=3 LineFeed=1", "abc",
         "<text>", "PELTRIN DEBUG MSG : Logo left out: LogoImage 3 selects no stored logo\n"},
    };
    for (const LogoCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestPpd ppd = TestPpd::full(c.model);
        if (c.noLogoPosition)
            ppd.remove("LogoPosition");
        const FilterRun run = textJob(ppd, c.options, writeTempFile("receipt.txt", c.input));
        EXPECT_EQ(run.status, 0);
        std::string expected = c.out;
        const auto at = expected.find("<text>");
        std::string body = kJobStart;
        if (at != std::string::npos) {
            body += hexText(std::string_view(expected).substr(0, at)) + c.input + hexText(std::string_view(expected).substr(at + 6));
        } else {
            body += hexText(expected);
        }
        EXPECT_EQ(hexBytes(run.out), hexBytes(body));
        if (c.logLine) {
            EXPECT_NE(run.err.find(c.logLine), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.err.find("INFO:"), std::string::npos);
        EXPECT_EQ(run.err.find("ERROR:"), std::string::npos);
    }
}

// Every byte reaches the printer, whatever the chunks and zero bytes.
TEST(TextJob, EveryByteOfTheFileIsCopied)
{
    std::string zeros = text(3000, 3);
    for (std::size_t at : {0u, 10u, 1023u, 1024u, 1500u, 2999u})
        zeros[at] = '\0';
    const std::string gsv0 = bytesOf({0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0x80, 0x00});
    struct Case {
        const char* name;
        std::string input;
    };
    const Case cases[] = {
        {"exactly 1024 bytes", text(1024, 1)},
        {"1025 bytes", text(1025, 5)},
        {"70000 bytes", text(70000, 2)},
        {"zero bytes across chunks", zeros},
        {"a printer command with zero bytes", "Total\n" + gsv0 + "\n"},
        {"one zero byte", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run = textJob(TestPpd::full(1), "LogoPosition=2", writeTempFile("receipt.txt", c.input));
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out == kJobStart + c.input + bytesOf({0x1B, 0x61, 0x00, 0x1C, 0x70, 0x01, 0x00, 0x1B, 0x40}))
            << hexBytes(run.out.substr(0, 64));
    }
}

TEST(TextJob, PipeInputInSmallPiecesGivesTheSameBytes)
{
    std::string input = text(5000, 7);
    input[100] = '\0';
    const FilterRun run = textJob(TestPpd::full(1), "LogoPosition=1", "/dev/stdin", input, 333);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == kJobStart + bytesOf({0x1B, 0x61, 0x00, 0x1C, 0x70, 0x01, 0x00, 0x1B, 0x40}) + input);
}

// A folder opens but does not read: the text ends there and the closing
// logo block still follows.
TEST(TextJob, ReadErrorEndsTheTextAndTheClosingLogoFollows)
{
    const std::string folder = std::filesystem::path(writeTempFile("receipt.txt", "")).parent_path().string();
    const FilterRun run = textJob(TestPpd::full(1), "LogoPosition=3", folder);
    EXPECT_EQ(run.status, 0);
    const std::string logo = bytesOf({0x1B, 0x61, 0x00, 0x1C, 0x70, 0x01, 0x00, 0x1B, 0x40});
    EXPECT_EQ(hexBytes(run.out), hexBytes(kJobStart + logo + logo));
}

} // namespace
