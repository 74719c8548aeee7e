#include "document/color_rule.h"

#include <algorithm>

namespace {

// The 8 x 8 Bayer matrix: entries 0..63, each once.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

} // namespace

bool printsDot(int l, uint32_t x, uint32_t y)
{
    if (l <= kDarkCutOff)
        return true;
    if (l >= kLightCutOff)
        return false;
    const int t = kBayer[y % 8][x % 8];
    return 128 * (l - kDarkCutOff) < (2 * t + 1) * (kLightCutOff - kDarkCutOff);
}

Ink twoColorInk(int r, int g, int b, uint32_t x, uint32_t y)
{
    const int other = std::max(g, b);
    if (r - other >= kReddishMargin)
        return printsDot(other, x, y) ? Ink::second : Ink::none;
    return printsDot(lightnessOf(r, g, b), x, y) ? Ink::black : Ink::none;
}

void grayLineToDots(const uint8_t* gray, uint32_t width, uint32_t y, uint8_t* black)
{
    for (uint32_t x = 0; x < width; ++x) {
        if (printsDot(gray[x], x, y))
            setDot(black, x);
    }
}

void rgbLineToDots(const uint8_t* rgb, uint32_t width, uint32_t y, uint8_t* black, uint8_t* second)
{
    for (uint32_t x = 0; x < width; ++x, rgb += 3) {
        switch (twoColorInk(rgb[0], rgb[1], rgb[2], x, y)) {
        case Ink::black: setDot(black, x); break;
        case Ink::second: setDot(second != nullptr ? second : black, x); break;
        case Ink::none: break;
        }
    }
}
