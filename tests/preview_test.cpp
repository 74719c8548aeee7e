// peltrin-preview on real printer bytes: the golden jobs' bytes and text
// jobs of the real filter listed command by command, hostile bytes refused
// with the offset of the command at fault, a real job cut at every byte,
// the program's exit statuses and messages, and the picture read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "preview/dump.h"
#include "preview/render.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

#ifndef PELTRIN_GOLDEN_DIR
#error "PELTRIN_GOLDEN_DIR must name the golden files' folder"
#endif

namespace {

// The printer bytes of a golden job (tests/golden/<name>.hex, pinned by
// GoldenJob).
std::string goldenBytes(const std::string& name)
{
    std::ifstream file(std::string(PELTRIN_GOLDEN_DIR) + "/" + name + ".hex");
    std::string bytes, hex;
    while (file >> hex && hex != "exit")
        bytes.push_back(static_cast<char>(std::stoi(hex, nullptr, 16)));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// The printer bytes of a text job of the real filter on model 1.
std::string textJob(const std::string& text, const std::string& options)
{
    const std::string ppd = writeTempFile("preview-text.ppd", TestPpd::full(1).text());
    const FilterRun run = runFilter({{"1", "u", "t", "1", options, writeTempFile("preview-text.txt", text)}, ppd, ""});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

TEST(PreviewDump, ListsEveryCommandOfRealJobs)
{
    struct Case {
        const char* name;
        std::string bytes;
        const char* dump;
    };
    const Case cases[] = {
        {"stored logo around a page, line feeds", goldenBytes("LogoFspAroundPageWithLineFeeds"),
         "000000 ESC @ initialize\n000002 ESC a 1 justify center\n000005 FS p logo 1 scale 0\n"
         "000009 ESC @ initialize\n000011 LF\n000012 LF\n000013 LF\n"
         "000014 GS ( L 112 store color=49 width=8 rows=2 (2 bytes)\n000031 GS ( L 50 print\n"
         "000038 ESC a 1 justify center\n000041 FS p logo 1 scale 0\n000045 ESC @ initialize\n"
         "000047 LF\n000048 LF\n000049 LF\n"},
        {"nv logo before a page", goldenBytes("LogoNvBase49BeforePage"),
         "000000 ESC @ initialize\n000002 ESC a 0 justify left\n000005 GS ( L 69 nv logo key \"03\" x=2 y=2\n"
         "000016 ESC @ initialize\n000018 GS ( L 112 store color=49 width=8 rows=2 (2 bytes)\n"
         "000035 GS ( L 50 print\n000042 LF\n000043 LF\n"},
        {"drawer kicks, eject and cut", goldenBytes("DrawerKicksAndEjectAroundPage"),
         "000000 ESC @ initialize\n000002 ESC p drawer=0 pulse=50 off=255\n000007 ESC p drawer=1 pulse=100 off=255\n"
         "000012 GS ( L 112 store color=49 width=8 rows=2 (2 bytes)\n000029 GS ( L 50 print\n000036 LF\n"
         "000037 ESC p drawer=0 pulse=50 off=255\n000042 ESC p drawer=1 pulse=100 off=255\n"
         "000047 GS e 5 0 eject\n000051 GS V 65 1 cut\n"},
        {"label form feed", goldenBytes("LabelFormFeedOnModel92"),
         "000000 ESC @ initialize\n000002 GS ( L 112 store color=49 width=8 rows=2 (2 bytes)\n"
         "000019 GS ( L 50 print\n000026 FF\n"},
        {"GS v 0 image and cut", goldenBytes("RasterImageRotated90DropsTrailingBlankRows"),
         "000000 ESC @ initialize\n000002 GS v 0 raster mode=0 bytes-per-line=1 rows=20\n000030 GS V 65 1 cut\n"},
        {"compressed bands", goldenBytes("Compressed247RowsTwoBands"),
         "000000 ESC @ initialize\n000002 compressed band width=8 rows=246 (190 coded bytes)\n"
         "000209 compressed band width=8 rows=1 (2 coded bytes)\n"},
        {"two-color stores", goldenBytes("TwoColorHalfRotated"),
         "000000 ESC @ initialize\n000002 GS ( L 112 store color=49 width=11 rows=8 (16 bytes)\n"
         "000033 GS ( L 112 store color=50 width=11 rows=8 (16 bytes)\n000064 GS ( L 50 print\n"},
        {"text job with a logo after it",
         textJob("Caf\xE9 \"1\"\t2\\\r\n\nok", "LogoPosition=2 LogoImage=1 LogoWidth=3 LineFeed=1"),
         "000000 ESC @ initialize\n000002 text \"Caf\\xE9 \\\"1\\\"\\t2\\\\\\r\" (12 bytes)\n000014 LF\n000015 LF\n"
         "000016 text \"ok\" (2 bytes)\n000018 ESC a 0 justify left\n000021 FS p logo 2 scale 3\n"
         "000025 ESC @ initialize\n000027 LF\n"},
        {"long text shown in part", textJob(std::string(70, 'x'), ""),
         "000000 ESC @ initialize\n000002 text \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"... (70 bytes)\n"},
        {"cancelled job: zero fill and ESC @", std::string("\x1B\x40", 2) + std::string(720, '\0') + "\x1B\x40",
         "000000 ESC @ initialize\n000002 720 zero bytes\n000722 ESC @ initialize\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run = runPreview({"--dump"}, c.bytes);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, c.dump);
    }
}

// Bytes from hex digits, spaces ignored.
std::string hex(const std::string& digits)
{
    std::string bytes;
    std::istringstream in(digits);
    std::string byte;
    while (in >> byte)
        bytes.push_back(static_cast<char>(std::stoi(byte, nullptr, 16)));
    return bytes;
}

TEST(PreviewRefuses, HostileBytesWithTheOffsetOfTheCommandAtFault)
{
    struct Case {
        const char* name;
        std::string bytes;
        const char* error; // after "peltrin-preview: "
    };
    const std::string init = hex("1B 40");
    const Case cases[] = {
        {"empty input", "", "offset 0: empty input, no printer bytes"},
        {"ESC alone", init + hex("1B"), "offset 2: truncated ESC (needs 2 bytes, 1 left)"},
        {"ESC a without n", hex("1B 61"), "offset 0: truncated ESC a (needs 3 bytes, 2 left)"},
        {"ESC p cut short", hex("1B 70 00 32"), "offset 0: truncated ESC p (needs 5 bytes, 4 left)"},
        {"unknown ESC command", init + hex("1B 21 00"), "offset 2: unknown command ESC 0x21"},
        {"unknown GS command", hex("1D 99"), "offset 0: unknown command GS 0x99"},
        {"unknown FS command", hex("1C 71 01 00"), "offset 0: unknown command FS 0x71"},
        {"GS v other than 0", hex("1D 76 31 00"), "offset 0: unknown command GS v 0x31"},
        {"GS ( other than L", hex("1D 28 4B 02 00 30 32"), "offset 0: unknown command GS ( 0x4B"},
        {"control byte", hex("41 42 0A 07"), "offset 3: unknown control byte 0x07"},
        {"GS v 0 header cut short", hex("1D 76 30 00 02 00"), "offset 0: truncated GS v 0 (needs 8 bytes, 6 left)"},
        {"GS v 0 data cut short", init + hex("1D 76 30 00 02 00 03 00 AA"),
         "offset 2: truncated GS v 0 (needs 6 data bytes, 1 left)"},
        {"GS v 0 unknown mode", hex("1D 76 30 04 01 00 01 00 FF"), "offset 0: GS v 0 with unknown mode 4"},
        {"GS ( L size cut short", hex("1D 28 4C 0C"), "offset 0: truncated GS ( L (needs 5 bytes, 4 left)"},
        {"GS ( L parameters cut short", hex("1D 28 4C 0C 00 30 70 30 01"),
         "offset 0: truncated GS ( L (needs 12 parameter bytes, 4 left)"},
        {"GS ( L without fn", hex("1D 28 4C 01 00 30"), "offset 0: GS ( L of size 1 (needs at least 2)"},
        {"GS ( L m other than 48", hex("1D 28 4C 02 00 31 32"), "offset 0: GS ( L with m 49 (only 48 is known)"},
        {"GS ( L unknown function", hex("1D 28 4C 02 00 30 33"), "offset 0: unknown GS ( L function 51"},
        {"print with parameters", hex("1D 28 4C 03 00 30 32 00"), "offset 0: GS ( L 50 print of size 3 (is 2)"},
        {"nv logo without y", hex("1D 28 4C 05 00 30 45 30 31 01"), "offset 0: GS ( L 69 nv logo of size 5 (is 6)"},
        {"store size disagrees with its rows", hex("1D 28 4C 0D 00 30 70 30 01 01 31 10 00 02 00 AA BB CC"),
         "offset 0: GS ( L 112 store: size 13 holds 3 data bytes, but 2 rows of 16 dots need 4"},
        {"store without its geometry", hex("1D 28 4C 06 00 30 70 30 01 01 31"),
         "offset 0: GS ( L 112 store of size 6 (needs at least 10)"},
        {"store of a third color", hex("1D 28 4C 0B 00 30 70 30 01 01 33 08 00 01 00 FF"),
         "offset 0: GS ( L 112 store of unknown color 51"},
        {"store at double scale", hex("1D 28 4C 0B 00 30 70 30 02 01 31 08 00 01 00 FF"),
         "offset 0: GS ( L 112 store with tone and scale 48 2 1 (only 48 1 1 is known)"},
        {"band header cut short", init + hex("08 43 52 00 00"),
         "offset 2: truncated compressed band (needs 12 bytes, 5 left)"},
        {"band without its end marker", hex("08 43 52 00 00 00 00 00 10 00 01 00 AA BB 08 43 52 FF"),
         "offset 0: truncated compressed band (no end marker 08 43 52 FF 00)"},
        {"band decodes short", hex("08 43 52 00 00 00 00 00 10 00 02 00 00 02 41 08 43 52 FF 00"),
         "offset 0: compressed band: 3 bytes decoded, but 2 rows of 16 dots need 4"},
        {"band with a run of length 0", hex("08 43 52 00 00 00 00 00 08 00 01 00 FF 00 08 43 52 FF 00"),
         "offset 0: compressed band with a run of length 0 at offset 12"},
        {"band end marker alone", init + hex("08 43 52 FF 00"), "offset 2: compressed band end marker without a band"},
        {"0x08 without a band", hex("08 44"), "offset 0: unknown control byte 0x08"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty()) {
            try {
                parseCommands(c.bytes);
                ADD_FAILURE() << "decoded";
            } catch (const DecodeError& error) {
                EXPECT_EQ(error.what(), std::string(c.error));
            }
        }
        const FilterRun run = runPreview({"--dump"}, c.bytes);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "peltrin-preview: " + std::string(c.error) + "\n");
    }
}

// Real jobs cut after every byte: a cut between commands decodes to the
// commands before it (a text or zero run to its part), a cut inside any
// other command names that command's offset as truncated.
TEST(PreviewRefuses, RealJobsCutAtEveryByte)
{
    const std::string stream = goldenBytes("DrawerKicksAndEjectAroundPage") + goldenBytes("LogoNvBase49BeforePage") +
                               goldenBytes("Compressed10RowBandsOnModel40") + goldenBytes("RasterImageRotated180") +
                               goldenBytes("LabelFormFeedOnModel92") + goldenBytes("TwoColorHalfRotated") +
                               textJob("Total 3.20\n", "LogoPosition=1") + std::string(5, '\0');
    const std::vector<Command> whole = parseCommands(stream);
    std::size_t index = 0; // the command the cut falls in
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        while (index + 1 < whole.size() && whole[index + 1].offset <= cut)
            ++index;
        const Command& inside = whole[index];
        const bool boundary = inside.offset == cut;
        const bool run = inside.kind == CommandKind::text || inside.kind == CommandKind::zeroFill;
        try {
            const std::vector<Command> part = parseCommands(std::string_view(stream).substr(0, cut));
            ASSERT_TRUE(boundary || run) << describeCommand(inside);
            ASSERT_EQ(part.size(), boundary ? index : index + 1);
            EXPECT_TRUE(std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(index), whole.begin()));
        } catch (const DecodeError& error) {
            ASSERT_FALSE(boundary || run) << error.what();
            EXPECT_EQ(error.offset, inside.offset);
            EXPECT_TRUE(error.reason.starts_with("truncated ")) << error.what();
        }
    }
}

TEST(PreviewProgram, ExitStatusAndMessages)
{
    const std::string job = goldenBytes("RasterImageRotated180");
    const std::string text = textJob("Hi\n", "");
    const std::string usage = "usage: peltrin-preview [--dump] [-o picture.png] [file]\n";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string err;
        std::vector<std::string> env = {};
    };
    const Case cases[] = {
        {"a good stream is checked, nothing written", {}, job, 0, ""},
        {"a file argument", {writeTempFile("preview-job.bin", job)}, "", 0, ""},
        {"- is standard input", {"-"}, job, 0, ""},
        {"unknown option", {"--bogus"}, job, 1, "peltrin-preview: unknown option --bogus\n" + usage},
        {"-o without a name", {"-o"}, job, 1, "peltrin-preview: -o needs a file name\n" + usage},
        {"two files", {"a.bin", "b.bin"}, job, 1, "peltrin-preview: more than one input file\n" + usage},
        {"dump and picture both on standard output", {"--dump", "-o", "-"}, job, 1,
         "peltrin-preview: --dump and -o - both write to standard output\n" + usage},
        {"missing file", {"/nonexistent/job.bin"}, "", 1,
         "peltrin-preview: cannot read /nonexistent/job.bin: No such file or directory\n"},
        {"picture not writable", {"-o", "/nonexistent/roll.png"}, job, 1,
         "peltrin-preview: cannot write /nonexistent/roll.png\n"},
        {"missing font for text", {"-o", "-"}, text, 1,
         "peltrin-preview: the font /nonexistent/mono.ttf is missing (Debian package fonts-dejavu-core)\n",
         {"PELTRIN_PREVIEW_FONT=/nonexistent/mono.ttf"}},
        {"no font needed without text", {"-o", writeTempFile("preview-roll.png", "")}, job, 0, "",
         {"PELTRIN_PREVIEW_FONT=/nonexistent/mono.ttf"}},
        // 65535 bytes a row make the roll 524280 dots wide; 65535 more rows
        // would be more than the preview draws.
        {"roll larger than a preview draws", {"-o", "-"},
         hex("1D 76 30 00 FF FF 01 00") + std::string(65535, '\x01') + hex("1D 76 30 00 01 00 FF FF") +
             std::string(65535, '\x80'),
         2, "peltrin-preview: the picture would be 524280 x 65536 dots, more than the 67108864 dots a preview draws\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FilterRun run = runPreview(c.args, c.input, c.env);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    const FilterRun help = runPreview({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with(usage)) << help.out;
    EXPECT_NE(help.out.find("000002 ESC a 1 justify center\n"), std::string::npos);
}

// The picture read back with libpng.
Picture readPng(const std::string& bytes)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return {};
    image.format = PNG_FORMAT_RGB;
    Picture picture{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
        return {};
    return picture;
}

TEST(PreviewPicture, DotsOfBothColorsWhereTheStoresPutThem)
{
    // A two-color page: black where the black plane has a dot, red where
    // only the color plane has one, then two line feeds and a cut.
    const std::string bytes = goldenBytes("TwoColorHalfRotated") + hex("0A 0A 1D 56 41 01");
    const PrintedPlanes planes = printedPlanes(parseCommands(bytes));
    const FilterRun run = runPreview({"-o", "-"}, bytes);
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture picture = readPng(run.out);
    ASSERT_EQ(picture.width, 11u);
    ASSERT_EQ(picture.height, 8 + 2 * roll_layout::lineHeight + roll_layout::cutRows);
    auto dot = [](const PrintedImage& image, uint32_t r, uint32_t c) {
        return (image.data[r * image.bytesPerLine + c / 8] >> (7 - c % 8)) & 1;
    };
    int black = 0, red = 0;
    for (uint32_t r = 0; r < 8; ++r)
        for (uint32_t c = 0; c < 11; ++c) {
            const Rgb want = dot(planes.black, r, c)   ? roll_colors::black
                             : dot(planes.color, r, c) ? roll_colors::red
                                                       : roll_colors::paper;
            EXPECT_EQ(picture.at(c, r), want) << r << "," << c;
            black += want == roll_colors::black;
            red += want == roll_colors::red;
        }
    EXPECT_GT(black, 0);
    EXPECT_GT(red, 0);
    const uint32_t dashes = 8 + 2 * roll_layout::lineHeight + roll_layout::cutRows / 2 - 1;
    EXPECT_EQ(picture.at(0, dashes), roll_colors::cut);
    EXPECT_EQ(picture.at(0, 8), roll_colors::paper);
}

TEST(PreviewPicture, TextLinesAndLogoBoxOnADefaultWidthRoll)
{
    // "Hi" and a line of 60 characters (wrapped after 48), then the logo box
    // (FS p at quadruple size), its ESC @ and a line feed.
    const std::string bytes = textJob("Hi\n" + std::string(60, '#') + "\n", "LogoPosition=2 LogoWidth=3 LineFeed=1");
    const Picture picture = renderRoll(parseCommands(bytes));
    using namespace roll_layout;
    ASSERT_EQ(picture.width, defaultWidth);
    ASSERT_EQ(picture.height, 3 * lineHeight + 2 * logoHeight + lineHeight);
    auto inked = [&](uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
        for (uint32_t y = y0; y < y1; ++y)
            for (uint32_t x = x0; x < x1; ++x)
                if (picture.at(x, y) != roll_colors::paper)
                    return true;
        return false;
    };
    EXPECT_TRUE(inked(0, 2 * cellWidth, 0, lineHeight));           // "Hi"
    EXPECT_FALSE(inked(2 * cellWidth, defaultWidth, 0, lineHeight));
    EXPECT_TRUE(inked(47 * cellWidth, 48 * cellWidth, lineHeight, 2 * lineHeight)); // the 48th '#'
    EXPECT_TRUE(inked(11 * cellWidth, 12 * cellWidth, 2 * lineHeight, 3 * lineHeight)); // the 60th
    EXPECT_FALSE(inked(12 * cellWidth, defaultWidth, 2 * lineHeight, 3 * lineHeight));
    EXPECT_EQ(picture.at(0, 3 * lineHeight), roll_colors::logoInk);       // the box's corner, left
    EXPECT_EQ(picture.at(2 * logoWidth - 1, 3 * lineHeight), roll_colors::logoInk);
    EXPECT_EQ(picture.at(2 * logoWidth, 3 * lineHeight), roll_colors::paper);
    EXPECT_EQ(picture.at(10, 3 * lineHeight + 2 * logoHeight - 10), roll_colors::logoFill);
}

} // namespace
