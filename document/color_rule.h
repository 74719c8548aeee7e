// The color rule: how a rendered document's 8-bit gray or 24-bit RGB pixels
// become the printer's dots, for PDF pages (the PDF filter and the printer
// application) and for the application's pictures and 8-bit raster pages.
//
// Monochrome. A pixel's lightness L is its gray value, or for RGB its
// Rec. 601 luma (299 R + 587 G + 114 B) / 1000 (but see reddish pixels
// below). L <= 48 always prints a
// dot, L >= 208 never does, and in between the pixel is compared with an
// 8 x 8 ordered (Bayer) threshold matrix at its position: it prints when
// 128 (L - 48) < (2 t + 1) (208 - 48) for the matrix entry t (0..63), so
// that a share of (208 - L) / 160 of the pixels print (50 % gray, L 128:
// half of them). Solid black and anything darker than 48 is never screened,
// white and the faint tints of anti-aliasing and scanned paper (208 and
// above) never get a dot.
//
// Ordered dithering rather than error diffusion: each pixel's dot depends on
// that pixel alone, so text, rules and QR modules keep their edges (no
// error carried from a black module into the white next to it), a flat
// gray prints an even pattern of isolated dots that a thermal head renders
// evenly, and a page can be converted one line at a time, as PAPPL hands
// them over.
//
// Two colors (black and red paper). A pixel is reddish when its red exceeds
// both green and blue by at least 64 (a red spot color, rendered in RGB, is
// such a pixel); it goes to the second color, with max(G, B) (the white
// mixed into the red) as its lightness under the rule above: pure red
// (255, 0, 0) and dark red are solid red, pink is dithered red, a faint red
// tint prints nothing. Every other pixel, dark neutral ones and other colors
// alike, goes to black by its lightness L. A pixel never prints in both
// colors.
//
// Monochrome RGB pages follow the two-color rule with both inks printed in
// black, so that red text (a receipt's usual accent) prints as solid as
// black text instead of as a screen of its lightness.
#pragma once

#include <cstdint>

inline constexpr int kDarkCutOff = 48;
inline constexpr int kLightCutOff = 208;
inline constexpr int kReddishMargin = 64;

// Rec. 601 luma of an RGB pixel, 0 (black) to 255 (white).
inline int lightnessOf(int r, int g, int b)
{
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

// Whether a pixel of lightness `l` at (x, y) prints a dot.
bool printsDot(int l, uint32_t x, uint32_t y);

enum class Ink { none, black, second };

// The ink of an RGB pixel at (x, y) with two colors.
Ink twoColorInk(int r, int g, int b, uint32_t x, uint32_t y);

// One line of `width` pixels into 1-bit rows (a set bit is a dot, the
// first pixel the top bit of the first byte); the rows are only ORed into.
// Gray lines (0 black) print on `black`; RGB lines print on `black` in
// monochrome (`second` null) and on both with two colors.
void grayLineToDots(const uint8_t* gray, uint32_t width, uint32_t y, uint8_t* black);
void rgbLineToDots(const uint8_t* rgb, uint32_t width, uint32_t y, uint8_t* black, uint8_t* second);

// Sets dot x of a 1-bit row (the first dot is the top bit of the first byte).
inline void setDot(uint8_t* row, uint32_t x)
{
    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
}
