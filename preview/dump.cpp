#include "preview/dump.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t kTextShown = 60; // bytes of a text shown in its line

std::string n(uint32_t value) { return std::to_string(value); }

const char* justification(uint32_t value)
{
    switch (value) {
    case 0:
    case 48:
        return "left";
    case 1:
    case 49:
        return "center";
    case 2:
    case 50:
        return "right";
    default:
        return "unknown";
    }
}

// Bytes in double quotes: printable ASCII as itself, \" \\ \t \r, anything
// else as \xNN.
std::string quoted(const uint8_t* bytes, std::size_t size)
{
    std::string text = "\"";
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t b = bytes[i];
        if (b == '"' || b == '\\') {
            text += '\\';
            text += static_cast<char>(b);
        } else if (b == '\t') {
            text += "\\t";
        } else if (b == '\r') {
            text += "\\r";
        } else if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            text += hex;
        }
    }
    return text + "\"";
}

const char* shortName(CommandKind kind)
{
    static constexpr const char* kNames[] = {"init",  "justify", "drawer", "fs-logo", "nv-logo",
                                             "store", "print",   "gsv0",   "band",    "cut",
                                             "eject", "lf",      "ff",     "text",    "zeros"};
    return kNames[static_cast<int>(kind)];
}

} // namespace

std::string describeCommand(const Command& c)
{
    const std::vector<uint32_t>& f = c.fields;
    switch (c.kind) {
    case CommandKind::initialize:
        return "ESC @ initialize";
    case CommandKind::justify:
        return "ESC a " + n(f[0]) + " justify " + justification(f[0]);
    case CommandKind::drawerKick:
        return "ESC p drawer=" + n(f[0]) + " pulse=" + n(f[1]) + " off=" + n(f[2]);
    case CommandKind::storedLogo:
        return "FS p logo " + n(f[0]) + " scale " + n(f[1]);
    case CommandKind::nvLogo: {
        const uint8_t key[] = {static_cast<uint8_t>(f[0]), static_cast<uint8_t>(f[1])};
        return "GS ( L 69 nv logo key " + quoted(key, 2) + " x=" + n(f[2]) + " y=" + n(f[3]);
    }
    case CommandKind::graphicsStore:
        return "GS ( L 112 store color=" + n(f[0]) + " width=" + n(f[1]) + " rows=" + n(f[2]) + " (" +
               std::to_string(c.payload.size()) + " bytes)";
    case CommandKind::graphicsPrint:
        return "GS ( L 50 print";
    case CommandKind::rasterImage:
        return "GS v 0 raster mode=" + n(f[0]) + " bytes-per-line=" + n(f[1]) + " rows=" + n(f[2]);
    case CommandKind::compressedBand:
        return "compressed band width=" + n(f[0]) + " rows=" + n(f[1]) + " (" + std::to_string(c.payload.size()) +
               " coded bytes)";
    case CommandKind::cut:
        return "GS V " + n(f[0]) + " " + n(f[1]) + " cut";
    case CommandKind::eject:
        return "GS e " + n(f[0]) + " " + n(f[1]) + " eject";
    case CommandKind::lineFeed:
        return "LF";
    case CommandKind::formFeed:
        return "FF";
    case CommandKind::text: {
        const std::size_t shown = std::min(c.payload.size(), kTextShown);
        return "text " + quoted(c.payload.data(), shown) + (shown < c.payload.size() ? "..." : "") + " (" +
               std::to_string(c.payload.size()) + (c.payload.size() == 1 ? " byte)" : " bytes)");
    }
    case CommandKind::zeroFill:
        return n(f[0]) + (f[0] == 1 ? " zero byte" : " zero bytes");
    }
    return "?";
}

std::string dumpCommands(const std::vector<Command>& commands)
{
    std::string text;
    for (const Command& c : commands) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%06zu ", c.offset);
        text += offset + describeCommand(c) + '\n';
    }
    return text;
}

std::string commandShape(const std::vector<Command>& commands)
{
    std::string text;
    for (const Command& c : commands) {
        if (!text.empty())
            text += ' ';
        // A letter and a row count, appended in turn to the shape (not
        // joined into a temporary string first).
        const auto letterAndRows = [&text](char letter, uint32_t rows) {
            text += letter;
            text += n(rows);
        };
        if (c.kind == CommandKind::graphicsStore)
            letterAndRows(c.fields[0] == 0x31 ? 'K' : 'C', c.fields[2]);
        else if (c.kind == CommandKind::graphicsPrint)
            text += 'P';
        else if (c.kind == CommandKind::compressedBand)
            letterAndRows('B', c.fields[1]);
        else if (c.kind == CommandKind::rasterImage)
            letterAndRows('V', c.fields[2]);
        else
            text += shortName(c.kind);
    }
    return text;
}
