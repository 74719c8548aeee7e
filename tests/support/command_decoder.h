// Decoder of the printer byte stream for round-trip tests: splits the bytes
// into the commands the filter sends and rebuilds the images that the
// raster commands print (run-length bands decompressed).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class CommandKind {
    initialize,     // ESC @                       fields {}
    justify,        // ESC a n                     fields {n}
    drawerKick,     // ESC p m t1 t2               fields {m, t1, t2}
    storedLogo,     // FS p n m                    fields {n, m}
    nvLogo,         // GS ( L fn 69                fields {kc1, kc2, x, y}
    graphicsStore,  // GS ( L fn 112               fields {color, width, rows}; payload = data
    graphicsPrint,  // GS ( L fn 50                fields {}
    graphicsOther,  // any other GS ( L function   fields {fn}; payload = bytes after fn
    rasterImage,    // GS v 0                      fields {mode, bytesPerLine, rows}; payload = data
    compressedBand, // 08 43 52 ... 08 43 52 FF 00 fields {width, rows}; payload = coded bytes
    cut,            // GS V m n                    fields {m, n}
    eject,          // GS e n m                    fields {n, m}
    lineFeed,       // 0A
    formFeed,       // 0C
    bytes,          // anything else, consecutive bytes together; payload = the bytes
};

struct Command {
    CommandKind kind;
    std::vector<uint32_t> fields;
    std::vector<uint8_t> payload;
    bool operator==(const Command&) const = default;
};

// Thrown for a command cut short or malformed (sizes that disagree).
struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<Command> parseCommands(std::string_view stream);

// The bytes a run-length coded block stands for: 00 n and FF n are n copies
// of the byte, anything else itself.
std::vector<uint8_t> decompressRuns(std::span<const uint8_t> coded);

// Rows the printer prints, one after another. width is in dots (for GS v 0,
// 8 x bytesPerLine); rows of ceil(width / 8) = bytesPerLine bytes.
struct PrintedImage {
    uint32_t width = 0;
    uint32_t bytesPerLine = 0;
    uint32_t rows = 0;
    std::vector<uint8_t> data;
    bool operator==(const PrintedImage&) const = default;
};

// The monochrome image of GS v 0 images, compressed bands and first-color
// graphics stores; a store counts once a graphics print follows it.
PrintedImage printedMonochrome(const std::vector<Command>& commands);

// The two planes of paired graphics stores (color 49 and 50), printed by
// the graphics prints that follow them.
struct PrintedPlanes {
    PrintedImage black;
    PrintedImage color;
};
PrintedPlanes printedPlanes(const std::vector<Command>& commands);

// One line per command, e.g. "store 49,16,3 (6 bytes)".
std::string describeCommands(const std::vector<Command>& commands);

// The raster commands in brief, space separated: "K70" and "C70" for stores
// of 70 rows in the first (49) and second (50) color, "P" a graphics print,
// "B246" a compressed band of 246 rows, "V2" a GS v 0 image of 2 rows; any
// other command by its name in describeCommands.
std::string commandShape(const std::vector<Command>& commands);
