#include "preview/printer_stream.h"

#include <algorithm>
#include <cstdio>

using namespace std::literals;

namespace {

constexpr std::string_view kBandStart = "\x08\x43\x52\x00\x00\x00\x00\x00"sv;
constexpr std::string_view kBandEnd = "\x08\x43\x52\xFF\x00"sv;

[[noreturn]] void fail(std::size_t offset, const std::string& reason)
{
    throw DecodeError(offset, reason);
}

std::string hexByte(uint8_t b)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

std::string number(uint64_t n) { return std::to_string(n); }

bool isText(uint8_t b) { return b >= 0x20 || b == 0x09 || b == 0x0D; }

// A cursor over the stream. Every command checks that its bytes are there
// before it reads them.
struct Reader {
    std::string_view s;
    std::size_t pos = 0;

    std::size_t leftFrom(std::size_t from) const { return s.size() - from; }
    uint8_t at(std::size_t i) const { return static_cast<uint8_t>(s[i]); }
    uint32_t le16(std::size_t i) const { return at(i) | uint32_t{at(i + 1)} << 8; }
    std::vector<uint8_t> bytes(std::size_t from, std::size_t n) const
    {
        const auto begin = s.begin() + static_cast<std::ptrdiff_t>(from);
        return {begin, begin + static_cast<std::ptrdiff_t>(n)};
    }

    // `n` bytes from `from` on, else the command at `start` is cut short.
    void need(std::size_t start, std::size_t from, std::size_t n, const std::string& name,
              const char* what = "") const
    {
        if (leftFrom(from) < n)
            fail(start, "truncated " + name + " (needs " + number(n) + (*what ? " " : "") + what + " bytes, " +
                            number(leftFrom(from)) + " left)");
    }
};

// A command of `length` bytes whose bytes after the first `prefix` ones
// are its fields.
Command fixedCommand(Reader& in, CommandKind kind, std::size_t prefix, std::size_t length, const char* name)
{
    const std::size_t start = in.pos;
    in.need(start, start, length, name);
    Command c{kind, {}, {}, start};
    for (std::size_t i = prefix; i < length; ++i)
        c.fields.push_back(in.at(start + i));
    in.pos += length;
    return c;
}

Command escCommand(Reader& in)
{
    const std::size_t start = in.pos;
    in.need(start, start, 2, "ESC");
    switch (in.at(start + 1)) {
    case '@':
        return fixedCommand(in, CommandKind::initialize, 2, 2, "ESC @");
    case 'a':
        return fixedCommand(in, CommandKind::justify, 2, 3, "ESC a");
    case 'p':
        return fixedCommand(in, CommandKind::drawerKick, 2, 5, "ESC p");
    default:
        fail(start, "unknown command ESC " + hexByte(in.at(start + 1)));
    }
}

Command fsCommand(Reader& in)
{
    const std::size_t start = in.pos;
    in.need(start, start, 2, "FS");
    if (in.at(start + 1) != 'p')
        fail(start, "unknown command FS " + hexByte(in.at(start + 1)));
    return fixedCommand(in, CommandKind::storedLogo, 2, 4, "FS p");
}

Command rasterImage(Reader& in)
{
    const std::size_t start = in.pos;
    in.need(start, start, 8, "GS v 0");
    const uint8_t mode = in.at(start + 3);
    const uint32_t x = in.le16(start + 4), y = in.le16(start + 6);
    if (mode > 3 && (mode < 48 || mode > 51))
        fail(start, "GS v 0 with unknown mode " + number(mode));
    const std::size_t size = std::size_t{x} * y;
    in.need(start, start + 8, size, "GS v 0", "data");
    in.pos = start + 8 + size;
    return {CommandKind::rasterImage, {mode, x, y}, in.bytes(start + 8, size), start};
}

Command graphicsStore(const Reader& in, std::size_t start, uint32_t size)
{
    const std::size_t p = start + 7; // after fn
    if (size < 10)
        fail(start, "GS ( L 112 store of size " + number(size) + " (needs at least 10)");
    if (in.at(p) != 0x30 || in.at(p + 1) != 1 || in.at(p + 2) != 1)
        fail(start, "GS ( L 112 store with tone and scale " + number(in.at(p)) + " " + number(in.at(p + 1)) + " " +
                        number(in.at(p + 2)) + " (only 48 1 1 is known)");
    const uint8_t color = in.at(p + 3);
    if (color != 0x31 && color != 0x32)
        fail(start, "GS ( L 112 store of unknown color " + number(color));
    const uint32_t width = in.le16(p + 4), rows = in.le16(p + 6);
    const std::size_t data = size - 10, needed = std::size_t{rows} * rowBytes(width);
    if (data != needed)
        fail(start, "GS ( L 112 store: size " + number(size) + " holds " + number(data) + " data bytes, but " +
                        number(rows) + " rows of " + number(width) + " dots need " + number(needed));
    return {CommandKind::graphicsStore, {color, width, rows}, in.bytes(p + 8, data), start};
}

Command graphicsCommand(Reader& in)
{
    const std::size_t start = in.pos;
    in.need(start, start, 5, "GS ( L");
    const uint32_t size = in.le16(start + 3);
    if (size < 2)
        fail(start, "GS ( L of size " + number(size) + " (needs at least 2)");
    in.need(start, start + 5, size, "GS ( L", "parameter");
    const uint8_t m = in.at(start + 5), fn = in.at(start + 6);
    if (m != 0x30)
        fail(start, "GS ( L with m " + number(m) + " (only 48 is known)");
    in.pos = start + 5 + size;
    switch (fn) {
    case 50:
        if (size != 2)
            fail(start, "GS ( L 50 print of size " + number(size) + " (is 2)");
        return {CommandKind::graphicsPrint, {}, {}, start};
    case 69:
        if (size != 6)
            fail(start, "GS ( L 69 nv logo of size " + number(size) + " (is 6)");
        return {CommandKind::nvLogo, {in.at(start + 7), in.at(start + 8), in.at(start + 9), in.at(start + 10)}, {},
                start};
    case 112:
        return graphicsStore(in, start, size);
    default:
        fail(start, "unknown GS ( L function " + number(fn));
    }
}

Command gsCommand(Reader& in)
{
    const std::size_t start = in.pos;
    in.need(start, start, 2, "GS");
    switch (in.at(start + 1)) {
    case 'V':
        return fixedCommand(in, CommandKind::cut, 2, 4, "GS V");
    case 'e':
        return fixedCommand(in, CommandKind::eject, 2, 4, "GS e");
    case 'v':
        in.need(start, start, 3, "GS v");
        if (in.at(start + 2) != '0')
            fail(start, "unknown command GS v " + hexByte(in.at(start + 2)));
        return rasterImage(in);
    case '(':
        in.need(start, start, 3, "GS (");
        if (in.at(start + 2) != 'L')
            fail(start, "unknown command GS ( " + hexByte(in.at(start + 2)));
        return graphicsCommand(in);
    default:
        fail(start, "unknown command GS " + hexByte(in.at(start + 1)));
    }
}

Command compressedBand(Reader& in)
{
    const std::size_t start = in.pos;
    const std::string_view rest = in.s.substr(start);
    if (rest.starts_with(kBandEnd))
        fail(start, "compressed band end marker without a band");
    if (!kBandStart.starts_with(rest.substr(0, kBandStart.size())))
        fail(start, "unknown control byte 0x08");
    in.need(start, start, 12, "compressed band");
    const uint32_t width = in.le16(start + 8), rows = in.le16(start + 10);
    // Coded bytes up to the end marker, a run marker and its length at a time.
    std::size_t pos = start + 12;
    uint64_t decoded = 0;
    while (!in.s.substr(pos).starts_with(kBandEnd)) {
        const bool run = pos < in.s.size() && (in.at(pos) == 0x00 || in.at(pos) == 0xFF);
        if (in.leftFrom(pos) < (run ? 2u : 1u))
            fail(start, "truncated compressed band (no end marker 08 43 52 FF 00)");
        if (run) {
            if (in.at(pos + 1) == 0)
                fail(start, "compressed band with a run of length 0 at offset " + number(pos));
            decoded += in.at(pos + 1);
            pos += 2;
        } else {
            decoded += 1;
            pos += 1;
        }
    }
    const uint64_t needed = uint64_t{rows} * rowBytes(width);
    if (decoded != needed)
        fail(start, "compressed band: " + number(decoded) + " bytes decoded, but " + number(rows) + " rows of " +
                        number(width) + " dots need " + number(needed));
    in.pos = pos + kBandEnd.size();
    return {CommandKind::compressedBand, {width, rows}, in.bytes(start + 12, pos - start - 12), start};
}

Command nextCommand(Reader& in)
{
    const std::size_t start = in.pos;
    const uint8_t b = in.at(start);
    switch (b) {
    case 0x0A:
        ++in.pos;
        return {CommandKind::lineFeed, {}, {}, start};
    case 0x0C:
        ++in.pos;
        return {CommandKind::formFeed, {}, {}, start};
    case 0x1B:
        return escCommand(in);
    case 0x1C:
        return fsCommand(in);
    case 0x1D:
        return gsCommand(in);
    case 0x08:
        return compressedBand(in);
    case 0x00: {
        std::size_t end = start;
        while (end < in.s.size() && in.at(end) == 0x00)
            ++end;
        in.pos = end;
        return {CommandKind::zeroFill, {static_cast<uint32_t>(std::min<std::size_t>(end - start, UINT32_MAX))}, {},
                start};
    }
    default:
        break;
    }
    if (!isText(b))
        fail(start, "unknown control byte " + hexByte(b));
    std::size_t end = start;
    while (end < in.s.size() && isText(in.at(end)))
        ++end;
    in.pos = end;
    return {CommandKind::text, {}, in.bytes(start, end - start), start};
}

// Appends rows to an image, checking that the geometry stays the same.
void appendRows(PrintedImage& image, uint32_t width, uint32_t rows, std::span<const uint8_t> data,
                std::size_t offset)
{
    if (rows == 0)
        return;
    const uint32_t bytesPerLine = rowBytes(width);
    if (image.rows == 0 && image.data.empty())
        image = {width, bytesPerLine, 0, {}};
    if (image.width != width)
        fail(offset, "rows of " + number(width) + " dots after rows of " + number(image.width));
    image.rows += rows;
    image.data.insert(image.data.end(), data.begin(), data.end());
    image.data.resize(std::size_t{image.rows} * bytesPerLine, 0);
}

// The images the raster commands print: GS v 0 images and compressed bands
// at once, graphics stores (color 49 into black, 50 into color) when a
// graphics print follows them.
PrintedPlanes printed(const std::vector<Command>& commands, bool twoColor)
{
    struct Pending {
        bool stored = false;
        uint32_t width = 0, rows = 0;
        std::vector<uint8_t> data;
    } black, color;
    PrintedPlanes planes;
    for (const Command& c : commands) {
        const bool rasterImage = c.kind == CommandKind::rasterImage;
        if (twoColor && (rasterImage || c.kind == CommandKind::compressedBand))
            fail(c.offset, "monochrome raster command on a two-color page");
        if (rasterImage) {
            appendRows(planes.black, c.fields[1] * 8, c.fields[2], c.payload, c.offset);
        } else if (c.kind == CommandKind::compressedBand) {
            appendRows(planes.black, c.fields[0], c.fields[1], decompressRuns(c.payload), c.offset);
        } else if (c.kind == CommandKind::graphicsStore) {
            if (c.fields[0] != 0x31 && !twoColor)
                fail(c.offset, "store of color " + number(c.fields[0]) + " on a monochrome page");
            (c.fields[0] == 0x31 ? black : color) = Pending{true, c.fields[1], c.fields[2], c.payload};
        } else if (c.kind == CommandKind::graphicsPrint) {
            if (black.stored && color.stored && black.width != color.width)
                fail(c.offset, "planes of different widths printed together");
            const uint32_t width = black.stored ? black.width : color.width;
            const uint32_t rows = std::max(black.rows, color.rows);
            appendRows(planes.black, width, rows, black.data, c.offset);
            if (twoColor)
                appendRows(planes.color, width, rows, color.data, c.offset);
            black = {};
            color = {};
        }
    }
    return planes;
}

} // namespace

DecodeError::DecodeError(std::size_t at, const std::string& why)
    : std::runtime_error("offset " + std::to_string(at) + ": " + why), offset(at), reason(why)
{
}

std::vector<Command> parseCommands(std::string_view stream)
{
    std::vector<Command> commands;
    Reader in{stream};
    while (in.pos < stream.size())
        commands.push_back(nextCommand(in));
    return commands;
}

std::vector<uint8_t> decompressRuns(std::span<const uint8_t> coded)
{
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < coded.size(); ++i) {
        const uint8_t b = coded[i];
        if (b != 0x00 && b != 0xFF)
            out.push_back(b);
        else if (i + 1 == coded.size())
            throw DecodeError(i, "run marker without a length");
        else
            out.insert(out.end(), coded[++i], b);
    }
    return out;
}

PrintedImage printedMonochrome(const std::vector<Command>& commands)
{
    return printed(commands, false).black;
}

PrintedPlanes printedPlanes(const std::vector<Command>& commands)
{
    return printed(commands, true);
}
