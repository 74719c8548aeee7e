// Decoder of the printer byte stream the filter writes: splits the bytes
// into commands, each with its offset in the stream, and rebuilds the
// images that the raster commands print (run-length bands decompressed).
//
// The decoder is strict: a command cut short, a command or control byte it
// does not know, or data whose size disagrees with the sizes its command
// states stops it with a DecodeError naming the offset of that command.
#pragma once

#include <cstddef>
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
    rasterImage,    // GS v 0                      fields {mode, bytesPerLine, rows}; payload = data
    compressedBand, // 08 43 52 ... 08 43 52 FF 00 fields {width, rows}; payload = coded bytes
    cut,            // GS V m n                    fields {m, n}
    eject,          // GS e n m                    fields {n, m}
    lineFeed,       // 0A
    formFeed,       // 0C
    text,           // bytes 20..FF, 09 and 0D, consecutive ones together; payload = the bytes
    zeroFill,       // 00 bytes, consecutive ones together (a cancelled job's fill); fields {count}
};

struct Command {
    CommandKind kind;
    std::vector<uint32_t> fields;
    std::vector<uint8_t> payload;
    std::size_t offset = 0; // of the command's first byte in the stream
    bool operator==(const Command&) const = default;
};

// Why a stream does not decode; what() is "offset <offset>: <reason>".
struct DecodeError : std::runtime_error {
    DecodeError(std::size_t offset, const std::string& reason);
    std::size_t offset;
    std::string reason;
};

// Every command of the stream, in order; throws DecodeError.
std::vector<Command> parseCommands(std::string_view stream);

// The bytes a run-length coded block stands for: 00 n and FF n are n copies
// of the byte, anything else itself. A marker without its length throws a
// DecodeError whose offset is the marker's inside the block.
std::vector<uint8_t> decompressRuns(std::span<const uint8_t> coded);

// Bytes of one row of `width` dots.
inline uint32_t rowBytes(uint32_t width) { return (width + 7) / 8; }

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
// graphics stores; a store counts once a graphics print follows it. Throws
// DecodeError for rows of another width than the rows before them or a
// store of the second color.
PrintedImage printedMonochrome(const std::vector<Command>& commands);

// The two planes of paired graphics stores (color 49 and 50), printed by
// the graphics prints that follow them. Throws DecodeError for a GS v 0
// image or compressed band, or planes of different widths.
struct PrintedPlanes {
    PrintedImage black;
    PrintedImage color;
};
PrintedPlanes printedPlanes(const std::vector<Command>& commands);
