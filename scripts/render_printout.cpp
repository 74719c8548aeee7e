// Renders a printer byte stream of the filter as a PNG picture of what the
// printer prints: the raster commands are decoded (run-length bands
// expanded) and their rows stacked; black dots are black, dots of the second
// color red. Also lists the commands of the stream.
//
//   render_printout <printer bytes> <picture.png>
//
// Built by scripts/demo.sh with the command decoder of the tests.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <png.h>

#include "tests/support/command_decoder.h"

namespace {

bool dotAt(const PrintedImage& image, uint32_t row, uint32_t column)
{
    if (row >= image.rows || column >= image.width)
        return false;
    const uint8_t byte = image.data[size_t{row} * image.bytesPerLine + column / 8];
    return (byte >> (7 - column % 8)) & 1;
}

bool writePng(const char* path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb)
{
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (uint32_t r = 0; r < height; ++r)
            png_write_row(png, rgb.data() + size_t{r} * width * 3);
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <printer bytes> <picture.png>\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && !in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }

    std::vector<Command> commands;
    PrintedImage black, color;
    try {
        commands = parseCommands(bytes);
        // A store of the second color makes a two-color page.
        const bool twoColors = std::any_of(commands.begin(), commands.end(), [](const Command& c) {
            return c.kind == CommandKind::graphicsStore && c.fields[0] == 0x32;
        });
        if (twoColors) {
            const PrintedPlanes planes = printedPlanes(commands);
            black = planes.black;
            color = planes.color;
        } else {
            black = printedMonochrome(commands);
        }
    } catch (const DecodeError& error) {
        std::fprintf(stderr, "%s: the printer bytes do not decode: %s\n", argv[1], error.what());
        return 1;
    }
    std::fputs(describeCommands(commands).c_str(), stdout);

    const uint32_t width = std::max(black.width, color.width);
    const uint32_t height = std::max(black.rows, color.rows);
    if (width == 0 || height == 0) {
        std::fprintf(stderr, "%s: no image is printed\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> rgb(size_t{width} * height * 3, 0xFF);
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c) {
            uint8_t* px = &rgb[(size_t{r} * width + c) * 3];
            if (dotAt(black, r, c))
                px[0] = px[1] = px[2] = 0;
            else if (dotAt(color, r, c))
                px[1] = px[2] = 0; // red
        }
    if (!writePng(argv[2], width, height, rgb)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%u x %u dots printed, pictured in %s\n", width, height, argv[2]);
    return 0;
}
