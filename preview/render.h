// A picture of the paper roll as the printer prints a stream's commands:
// raster images in black and the second color (red), text in a monospace
// font, stored logos as labelled boxes, cuts as dashed lines, feeds as
// blank paper. Written as a PNG with libpng.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "preview/printer_stream.h"

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// The colors of the picture.
namespace roll_colors {
inline constexpr Rgb paper{255, 255, 255};
inline constexpr Rgb black{0, 0, 0};       // dots of the first color, text
inline constexpr Rgb red{255, 0, 0};       // dots of the second color
inline constexpr Rgb cut{0, 0, 255};       // the dashes of a cut
inline constexpr Rgb logoFill{226, 232, 244};
inline constexpr Rgb logoInk{40, 60, 110}; // a logo box's border and label
} // namespace roll_colors

// The roll's geometry in dots.
namespace roll_layout {
inline constexpr uint32_t defaultWidth = 576; // when no raster command gives one
inline constexpr uint32_t lineHeight = 30;    // a line feed, a line of text
inline constexpr uint32_t cellWidth = 12;     // a character of text
inline constexpr uint32_t formFeedRows = 60;
inline constexpr uint32_t cutRows = 12;       // the dashes in the middle
inline constexpr uint32_t logoWidth = 192;    // a logo box at scale 1
inline constexpr uint32_t logoHeight = 72;
} // namespace roll_layout

inline const char* const kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb; // 3 bytes a dot, rows top to bottom
    Rgb at(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = &rgb[(std::size_t{y} * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

// A picture that cannot be drawn: the font is missing (badInput false) or
// the roll would be larger than the limit (badInput true).
struct RenderError : std::runtime_error {
    RenderError(const std::string& what, bool bad) : std::runtime_error(what), badInput(bad) {}
    bool badInput;
};

struct RenderOptions {
    std::string fontPath = kDefaultFont; // loaded when a text or logo label is drawn
    uint64_t maxDots = uint64_t{64} << 20;
};

// The roll's picture. Its width is the widest raster command's (or
// defaultWidth); at least one row high.
Picture renderRoll(const std::vector<Command>& commands, const RenderOptions& options = {});

// Writes the picture as an 8-bit RGB PNG; false when writing fails.
bool writePng(const Picture& picture, std::FILE* file);
