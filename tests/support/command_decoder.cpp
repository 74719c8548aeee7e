#include "tests/support/command_decoder.h"

#include <algorithm>

using namespace std::literals;

namespace {

void check(bool ok, const std::string& what)
{
    if (!ok)
        throw DecodeError(what);
}

// A cursor over the stream; a read past its end throws.
struct Reader {
    std::string_view s;
    std::size_t pos = 0;

    bool startsWith(std::string_view prefix) const { return s.substr(pos).starts_with(prefix); }
    void skip(std::size_t n, const char* what)
    {
        check(s.size() - pos >= n, std::string(what) + " cut short at offset " + std::to_string(pos));
        pos += n;
    }
    uint8_t byte(const char* what)
    {
        skip(1, what);
        return static_cast<uint8_t>(s[pos - 1]);
    }
    uint32_t le16(const char* what)
    {
        const uint32_t low = byte(what);
        return low | uint32_t{byte(what)} << 8;
    }
    std::vector<uint8_t> take(std::size_t n, const char* what)
    {
        skip(n, what);
        const auto end = s.begin() + static_cast<std::ptrdiff_t>(pos);
        return {end - static_cast<std::ptrdiff_t>(n), end};
    }
};

uint32_t rowBytes(uint32_t width) { return (width + 7) / 8; }

std::string sizeText(uint32_t rows, uint32_t width, std::size_t bytes)
{
    return " of " + std::to_string(rows) + " rows of " + std::to_string(width) + " dots holds " +
           std::to_string(bytes) + " bytes";
}

Command graphicsCommand(Reader& in)
{
    in.skip(3, "GS ( L");
    const uint32_t size = in.le16("GS ( L size");
    check(size >= 2, "GS ( L with size " + std::to_string(size));
    const uint8_t m = in.byte("GS ( L m"), fn = in.byte("GS ( L fn");
    check(m == 0x30, "GS ( L with m " + std::to_string(m));
    const std::vector<uint8_t> rest = in.take(size - 2, "GS ( L parameters");
    if (fn == 0x32) {
        check(rest.empty(), "graphics print with parameters");
        return {CommandKind::graphicsPrint, {}, {}};
    }
    if (fn == 0x45) {
        check(rest.size() == 4, "stored NV logo of size " + std::to_string(size));
        return {CommandKind::nvLogo, {rest[0], rest[1], rest[2], rest[3]}, {}};
    }
    if (fn != 0x70)
        return {CommandKind::graphicsOther, {fn}, rest};
    check(rest.size() >= 8, "graphics store of size " + std::to_string(size));
    check(rest[0] == 0x30 && rest[1] == 1 && rest[2] == 1, "graphics store with tone or scale other than 30 01 01");
    const uint32_t width = rest[4] | (uint32_t{rest[5]} << 8), rows = rest[6] | (uint32_t{rest[7]} << 8);
    std::vector<uint8_t> data(rest.begin() + 8, rest.end());
    check(data.size() == uint64_t{rows} * rowBytes(width), "graphics store" + sizeText(rows, width, data.size()));
    return {CommandKind::graphicsStore, {rest[3], width, rows}, std::move(data)};
}

Command compressedBand(Reader& in)
{
    in.skip(8, "compressed band header");
    const uint32_t width = in.le16("band width");
    const uint32_t rows = in.le16("band rows");
    std::vector<uint8_t> coded;
    while (!in.startsWith("\x08\x43\x52\xFF\x00"sv)) {
        coded.push_back(in.byte("compressed band without trailer"));
        if (coded.back() == 0x00 || coded.back() == 0xFF) {
            coded.push_back(in.byte("run length"));
            check(coded.back() != 0, "run of length 0 at offset " + std::to_string(in.pos - 1));
        }
    }
    in.skip(5, "band trailer");
    const std::size_t size = decompressRuns(coded).size();
    check(size == uint64_t{rows} * rowBytes(width), "compressed band" + sizeText(rows, width, size));
    return {CommandKind::compressedBand, {width, rows}, std::move(coded)};
}

// Commands of a fixed prefix followed by byte fields.
struct FixedCommand {
    std::string_view prefix;
    std::size_t fields;
    CommandKind kind;
};
constexpr FixedCommand kFixed[] = {
    {"\x0A"sv, 0, CommandKind::lineFeed},       {"\x0C"sv, 0, CommandKind::formFeed},
    {"\x1B\x40"sv, 0, CommandKind::initialize}, {"\x1B\x61"sv, 1, CommandKind::justify},
    {"\x1B\x70"sv, 3, CommandKind::drawerKick}, {"\x1C\x70"sv, 2, CommandKind::storedLogo},
    {"\x1D\x56"sv, 2, CommandKind::cut},        {"\x1D\x65"sv, 2, CommandKind::eject},
};

constexpr const char* kKindNames[] = {"init", "justify", "drawer", "fs-logo", "nv-logo",
                                      "store", "print",  "gs(L",   "gsv0",    "band",
                                      "cut",  "eject",   "lf",     "ff",      "bytes"};
const char* kindName(CommandKind kind) { return kKindNames[static_cast<int>(kind)]; }

Command nextCommand(Reader& in)
{
    for (const FixedCommand& f : kFixed) {
        if (!in.startsWith(f.prefix))
            continue;
        in.skip(f.prefix.size(), kindName(f.kind));
        Command c{f.kind, {}, {}};
        for (std::size_t i = 0; i < f.fields; ++i)
            c.fields.push_back(in.byte(kindName(f.kind)));
        return c;
    }
    if (in.startsWith("\x1D\x28\x4C"sv))
        return graphicsCommand(in);
    if (in.startsWith("\x1D\x76\x30"sv)) {
        in.skip(3, "GS v 0");
        const uint8_t mode = in.byte("GS v 0 mode");
        const uint32_t x = in.le16("GS v 0 x"), y = in.le16("GS v 0 y");
        return {CommandKind::rasterImage, {mode, x, y}, in.take(std::size_t{x} * y, "GS v 0 data")};
    }
    if (in.startsWith("\x08\x43\x52\x00\x00\x00\x00\x00"sv))
        return compressedBand(in);
    return {CommandKind::bytes, {}, {in.byte("byte")}};
}

// Appends rows to an image, checking that the geometry stays the same.
void appendRows(PrintedImage& image, uint32_t width, uint32_t rows, std::span<const uint8_t> data)
{
    if (rows == 0)
        return;
    const uint32_t bytesPerLine = rowBytes(width);
    if (image.rows == 0 && image.data.empty())
        image = {width, bytesPerLine, 0, {}};
    check(image.width == width, "rows of " + std::to_string(width) + " dots after rows of " + std::to_string(image.width));
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
        check(!twoColor || !(rasterImage || c.kind == CommandKind::compressedBand),
              "monochrome raster command on a two-color page");
        if (rasterImage) {
            appendRows(planes.black, c.fields[1] * 8, c.fields[2], c.payload);
        } else if (c.kind == CommandKind::compressedBand) {
            appendRows(planes.black, c.fields[0], c.fields[1], decompressRuns(c.payload));
        } else if (c.kind == CommandKind::graphicsStore) {
            check(c.fields[0] == 0x31 || (twoColor && c.fields[0] == 0x32),
                  "store of color " + std::to_string(c.fields[0]) + (twoColor ? "" : " on a monochrome page"));
            (c.fields[0] == 0x31 ? black : color) = {true, c.fields[1], c.fields[2], c.payload};
        } else if (c.kind == CommandKind::graphicsPrint) {
            check(!black.stored || !color.stored || black.width == color.width,
                  "planes of different widths printed together");
            const uint32_t width = black.stored ? black.width : color.width;
            const uint32_t rows = std::max(black.rows, color.rows);
            appendRows(planes.black, width, rows, black.data);
            if (twoColor)
                appendRows(planes.color, width, rows, color.data);
            black = {};
            color = {};
        }
    }
    return planes;
}

} // namespace

std::vector<Command> parseCommands(std::string_view stream)
{
    std::vector<Command> commands;
    Reader in{stream};
    while (in.pos < stream.size()) {
        Command c = nextCommand(in);
        if (c.kind == CommandKind::bytes && !commands.empty() && commands.back().kind == CommandKind::bytes)
            commands.back().payload.push_back(c.payload[0]);
        else
            commands.push_back(std::move(c));
    }
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
            throw DecodeError("run marker without a length");
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

std::string describeCommands(const std::vector<Command>& commands)
{
    std::string text;
    for (const Command& c : commands) {
        text += kindName(c.kind);
        for (std::size_t i = 0; i < c.fields.size(); ++i)
            text += (i == 0 ? " " : ",") + std::to_string(c.fields[i]);
        if (!c.payload.empty())
            text += " (" + std::to_string(c.payload.size()) + " bytes)";
        text += '\n';
    }
    return text;
}

std::string commandShape(const std::vector<Command>& commands)
{
    std::string text;
    for (const Command& c : commands) {
        if (!text.empty())
            text += ' ';
        if (c.kind == CommandKind::graphicsStore)
            text += (c.fields[0] == 0x31 ? "K" : c.fields[0] == 0x32 ? "C" : "S?") + std::to_string(c.fields[2]);
        else if (c.kind == CommandKind::graphicsPrint)
            text += 'P';
        else if (c.kind == CommandKind::compressedBand)
            text += 'B' + std::to_string(c.fields[1]);
        else if (c.kind == CommandKind::rasterImage)
            text += 'V' + std::to_string(c.fields[2]);
        else
            text += kindName(c.kind);
    }
    return text;
}
