// Writes the fuzzer's seed corpus: small real raster jobs (libcupsimage's own
// writer), each behind the option bytes that choose model and options.
//
//   peltrin_fuzz_seeds <folder>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tests/support/raster_writer.h"

namespace {

// A page of width x height dots with a diagonal, a frame and a solid block,
// so that trimming, run-length coding and the transforms all have work.
std::vector<uint8_t> drawing(uint32_t bytesPerLine, uint32_t width, uint32_t height, uint32_t firstRow)
{
    std::vector<uint8_t> pixels(size_t{bytesPerLine} * height, 0);
    auto set = [&](uint32_t r, uint32_t c) {
        if (r < height && c < width)
            pixels[size_t{r} * bytesPerLine + c / 8] |= static_cast<uint8_t>(0x80u >> (c % 8));
    };
    for (uint32_t r = firstRow; r < height; ++r) {
        set(r, (r * 3) % width);
        set(r, firstRow);
        set(r, width - 1);
        if (r > height / 2)
            for (uint32_t c = width / 4; c < width / 2; ++c)
                set(r, c);
    }
    for (uint32_t c = 0; c < width; ++c)
        set(firstRow, c);
    return pixels;
}

TestPage mono(uint32_t width, uint32_t height, uint32_t firstRow = 0)
{
    cups_page_header_t h = monoHeader(width, height);
    return TestPage{h, drawing(h.cupsBytesPerLine, width, height, firstRow)};
}

// Two colors: the C, M, Y and K bands of each row, each drawn differently.
TestPage twoColor(uint32_t width, uint32_t height)
{
    cups_page_header_t h = twoColorHeader(width, height);
    const uint32_t band = h.cupsBytesPerLine / 4;
    std::vector<uint8_t> pixels(size_t{h.cupsBytesPerLine} * height, 0);
    for (uint32_t r = 2; r < height; ++r)
        for (uint32_t i = 0; i < band; ++i) {
            pixels[size_t{r} * h.cupsBytesPerLine + 1 * band + i] = (r + i) % 5 == 0 ? 0xF0 : 0; // M
            pixels[size_t{r} * h.cupsBytesPerLine + 2 * band + i] = (r + i) % 7 == 0 ? 0x0F : 0; // Y
            pixels[size_t{r} * h.cupsBytesPerLine + 3 * band + i] = i == r % band ? 0xFF : 0x01; // K
        }
    return TestPage{h, pixels};
}

struct Seed {
    const char* name;
    FuzzOptions options;
    std::vector<TestPage> pages;
};

FuzzOptions with(unsigned model, unsigned colorModel)
{
    FuzzOptions o;
    o.model = model;
    o.colorModel = colorModel;
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    std::vector<Seed> seeds;

    seeds.push_back({"mono-compressed", with(0, 1), {mono(576, 40, 3)}});

    FuzzOptions o = with(0, 0);
    seeds.push_back({"two-color", o, {twoColor(64, 24)}});

    o = with(1, 1);
    o.pageCut = 2;
    seeds.push_back({"gsv0-two-pages-and-blank", o, {mono(64, 16), mono(64, 8, 8) /* blank */, mono(40, 12, 2)}});

    o = with(2, 1);
    o.pageSize = 4; // 96: one third
    o.rotation = 1;
    seeds.push_back({"third-size-quarter-turn", o, {mono(216, 30, 1)}});

    o = with(4, 1);
    o.pageSize = 5; // 101: one half, focus area
    o.focusArea = 1;
    o.rotation = 3;
    seeds.push_back({"half-size-focus", o, {mono(1040, 10)}});

    o = with(4, 0);
    o.pageSize = 5;
    o.focusArea = 2;
    seeds.push_back({"half-size-focus-two-color", o, {twoColor(1040, 6)}});

    o = with(3, 1);
    o.reduce = true;
    o.reduction = 50;
    o.logoPosition = 3;
    seeds.push_back({"reduction-logo", o, {mono(100, 30, 4)}});

    o = with(5, 1);
    o.fixedLength = true;
    o.rotation = 2;
    o.cashDrawer = 3;
    seeds.push_back({"fixed-length-half-turn", o, {mono(77, 21)}});

    o = with(6, 0);
    o.compressed = false;
    TestPage truncated = twoColor(48, 10);
    truncated.writtenBytes = 100;
    seeds.push_back({"truncated-two-color", o, {truncated}});

    for (const Seed& seed : seeds) {
        const std::string path = std::string(argv[1]) + "/" + seed.name;
        std::ofstream file(path, std::ios::binary);
        file << seed.options.encode() << rasterStream(seed.pages);
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
