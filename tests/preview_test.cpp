// peltrin-preview beyond its dumps and refusals (job cases): real jobs cut at
// every byte, and the picture of the roll read back.
#include <gtest/gtest.h>

#include <png.h>

#include "preview/dump.h"
#include "preview/render.h"
#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"

namespace {

// A cut between commands decodes to the commands before it (a text or zero
// run to its part); a cut inside any other command names that command's
// offset as truncated.
TEST(PreviewRefuses, RealJobsCutAtEveryByte)
{
    std::string stream;
    for (const char* name : {"DrawerKicksAndEjectAroundPage", "LogoNvBase49BeforePage", "Compressed10RowBandsOnModel40",
                             "RasterImageRotated180", "LabelFormFeedOnModel92", "TwoColorHalfRotated", "TextLogoFspAfter"})
        stream += jobCaseBytes(name);
    stream += std::string(5, '\0');
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

// The picture peltrin-preview writes, read back with libpng.
Picture pictureOf(const std::string& bytes)
{
    const FilterRun run = runPreview({"-o", "-"}, bytes);
    EXPECT_EQ(run.status, 0) << run.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, run.out.data(), run.out.size()))
        return {};
    image.format = PNG_FORMAT_RGB;
    Picture picture{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
        return {};
    return picture;
}

// A two-color page: black where the black plane has a dot, red where only
// the color plane has one, then two line feeds and a cut.
TEST(PreviewPicture, DotsOfBothColorsWhereTheStoresPutThem)
{
    const std::string bytes = jobCaseBytes("TwoColorHalfRotated") + "\n\n\x1D\x56\x41\x01";
    const PrintedPlanes planes = printedPlanes(parseCommands(bytes));
    const Picture picture = pictureOf(bytes);
    ASSERT_EQ(picture.width, 11u);
    ASSERT_EQ(picture.height, 8 + 2 * roll_layout::lineHeight + roll_layout::cutRows);
    int black = 0, red = 0;
    for (uint32_t r = 0; r < 8; ++r)
        for (uint32_t c = 0; c < 11; ++c) {
            const Rgb want = dotsIn(planes.black, r, c, c + 1)   ? roll_colors::black
                             : dotsIn(planes.color, r, c, c + 1) ? roll_colors::red
                                                                 : roll_colors::paper;
            EXPECT_EQ(picture.at(c, r), want) << r << "," << c;
            black += want == roll_colors::black;
            red += want == roll_colors::red;
        }
    EXPECT_GT(black, 0);
    EXPECT_GT(red, 0);
    EXPECT_EQ(picture.at(0, 8 + 2 * roll_layout::lineHeight + roll_layout::cutRows / 2 - 1), roll_colors::cut);
    EXPECT_EQ(picture.at(0, 8), roll_colors::paper);
}

// "Hi" and a line of 60 characters (wrapped after 48), then the logo box
// (FS p at quadruple size), its ESC @ and a line feed.
TEST(PreviewPicture, TextLinesAndLogoBoxOnADefaultWidthRoll)
{
    const Picture picture = pictureOf(jobCaseBytes("TextWrappedLineAndLogoAfter"));
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
    EXPECT_TRUE(inked(0, 2 * cellWidth, 0, lineHeight)); // "Hi"
    EXPECT_FALSE(inked(2 * cellWidth, defaultWidth, 0, lineHeight));
    EXPECT_TRUE(inked(47 * cellWidth, 48 * cellWidth, lineHeight, 2 * lineHeight)); // the 48th '#'
    EXPECT_TRUE(inked(11 * cellWidth, 12 * cellWidth, 2 * lineHeight, 3 * lineHeight)); // the 60th
    EXPECT_FALSE(inked(12 * cellWidth, defaultWidth, 2 * lineHeight, 3 * lineHeight));
    EXPECT_EQ(picture.at(0, 3 * lineHeight), roll_colors::logoInk); // the box's corner, left
    EXPECT_EQ(picture.at(2 * logoWidth - 1, 3 * lineHeight), roll_colors::logoInk);
    EXPECT_EQ(picture.at(2 * logoWidth, 3 * lineHeight), roll_colors::paper);
    EXPECT_EQ(picture.at(10, 3 * lineHeight + 2 * logoHeight - 10), roll_colors::logoFill);
}

// A full line of "_": the last glyph reaches past the roll's edge, and the
// dots past it are left out (not drawn at the start of the next row).
TEST(PreviewPicture, GlyphsStopAtTheRollsEdge)
{
    const Picture picture = pictureOf(std::string(48, '_') + "\n");
    for (uint32_t y = 1; y < picture.height; ++y)
        EXPECT_TRUE(picture.at(5, y - 1) == roll_colors::paper || picture.at(5, y) != roll_colors::paper ||
                    picture.at(0, y) == roll_colors::paper) << y;
}

} // namespace
