#include "tests/support/command_decoder.h"

#include <algorithm>
#include <cstdio>

namespace {

class Reader {
public:
    explicit Reader(std::string_view s) : data_(reinterpret_cast<const uint8_t*>(s.data())), size_(s.size()) {}

    bool done() const { return pos_ == size_; }
    std::size_t pos() const { return pos_; }
    std::size_t left() const { return size_ - pos_; }
    uint8_t peek(std::size_t ahead = 0) const { return pos_ + ahead < size_ ? data_[pos_ + ahead] : 0; }
    bool startsWith(std::initializer_list<uint8_t> prefix) const
    {
        if (left() < prefix.size())
            return false;
        return std::equal(prefix.begin(), prefix.end(), data_ + pos_);
    }

    uint8_t byte(const char* what)
    {
        need(1, what);
        return data_[pos_++];
    }
    uint32_t le16(const char* what)
    {
        need(2, what);
        uint32_t v = data_[pos_] | (uint32_t{data_[pos_ + 1]} << 8);
        pos_ += 2;
        return v;
    }
    std::vector<uint8_t> take(std::size_t n, const char* what)
    {
        need(n, what);
        std::vector<uint8_t> v(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return v;
    }
    void skip(std::size_t n, const char* what)
    {
        need(n, what);
        pos_ += n;
    }

private:
    void need(std::size_t n, const char* what) const
    {
        if (left() < n)
            throw DecodeError(std::string(what) + " cut short at offset " + std::to_string(pos_));
    }

    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

Command graphicsCommand(Reader& in)
{
    in.skip(3, "GS ( L");
    const uint32_t size = in.le16("GS ( L size");
    if (size < 2)
        throw DecodeError("GS ( L with size " + std::to_string(size));
    const uint8_t m = in.byte("GS ( L m");
    const uint8_t fn = in.byte("GS ( L fn");
    if (m != 0x30)
        throw DecodeError("GS ( L with m " + std::to_string(m));
    std::vector<uint8_t> rest = in.take(size - 2, "GS ( L parameters");
    switch (fn) {
    case 0x32:
        if (!rest.empty())
            throw DecodeError("graphics print with parameters");
        return {CommandKind::graphicsPrint, {}, {}};
    case 0x45:
        if (rest.size() != 4)
            throw DecodeError("stored NV logo of size " + std::to_string(size));
        return {CommandKind::nvLogo, {rest[0], rest[1], rest[2], rest[3]}, {}};
    case 0x70: {
        if (rest.size() < 8)
            throw DecodeError("graphics store of size " + std::to_string(size));
        if (rest[0] != 0x30 || rest[1] != 1 || rest[2] != 1)
            throw DecodeError("graphics store with tone or scale other than 30 01 01");
        const uint32_t width = rest[4] | (uint32_t{rest[5]} << 8);
        const uint32_t rows = rest[6] | (uint32_t{rest[7]} << 8);
        std::vector<uint8_t> data(rest.begin() + 8, rest.end());
        if (data.size() != uint64_t{rows} * ((width + 7) / 8))
            throw DecodeError("graphics store of " + std::to_string(rows) + " rows of " + std::to_string(width) +
                              " dots carries " + std::to_string(data.size()) + " bytes");
        return {CommandKind::graphicsStore, {rest[3], width, rows}, std::move(data)};
    }
    default:
        return {CommandKind::graphicsOther, {fn}, std::move(rest)};
    }
}

Command compressedBand(Reader& in)
{
    in.skip(8, "compressed band header");
    const uint32_t width = in.le16("band width");
    const uint32_t rows = in.le16("band rows");
    std::vector<uint8_t> coded;
    for (;;) {
        if (in.startsWith({0x08, 0x43, 0x52, 0xFF, 0x00})) {
            in.skip(5, "band trailer");
            break;
        }
        const uint8_t b = in.byte("compressed band without trailer");
        coded.push_back(b);
        if (b == 0x00 || b == 0xFF) {
            const uint8_t n = in.byte("run length");
            if (n == 0)
                throw DecodeError("run of length 0 at offset " + std::to_string(in.pos() - 1));
            coded.push_back(n);
        }
    }
    const std::size_t size = decompressRuns(coded).size();
    if (size != uint64_t{rows} * ((width + 7) / 8))
        throw DecodeError("compressed band of " + std::to_string(rows) + " rows of " + std::to_string(width) +
                          " dots holds " + std::to_string(size) + " bytes");
    return {CommandKind::compressedBand, {width, rows}, std::move(coded)};
}

Command nextCommand(Reader& in)
{
    const uint8_t b0 = in.peek(0);
    const uint8_t b1 = in.left() > 1 ? in.peek(1) : 0;
    if (b0 == 0x0A) {
        in.skip(1, "line feed");
        return {CommandKind::lineFeed, {}, {}};
    }
    if (b0 == 0x0C) {
        in.skip(1, "form feed");
        return {CommandKind::formFeed, {}, {}};
    }
    if (b0 == 0x1B && b1 == 0x40) {
        in.skip(2, "ESC @");
        return {CommandKind::initialize, {}, {}};
    }
    if (b0 == 0x1B && b1 == 0x61) {
        in.skip(2, "ESC a");
        return {CommandKind::justify, {in.byte("ESC a n")}, {}};
    }
    if (b0 == 0x1B && b1 == 0x70) {
        in.skip(2, "ESC p");
        const uint8_t m = in.byte("ESC p m");
        const uint8_t t1 = in.byte("ESC p t1");
        return {CommandKind::drawerKick, {m, t1, in.byte("ESC p t2")}, {}};
    }
    if (b0 == 0x1C && b1 == 0x70) {
        in.skip(2, "FS p");
        const uint8_t n = in.byte("FS p n");
        return {CommandKind::storedLogo, {n, in.byte("FS p m")}, {}};
    }
    if (in.startsWith({0x1D, 0x28, 0x4C}))
        return graphicsCommand(in);
    if (in.startsWith({0x1D, 0x76, 0x30})) {
        in.skip(3, "GS v 0");
        const uint8_t mode = in.byte("GS v 0 mode");
        const uint32_t x = in.le16("GS v 0 x");
        const uint32_t y = in.le16("GS v 0 y");
        return {CommandKind::rasterImage, {mode, x, y}, in.take(std::size_t{x} * y, "GS v 0 data")};
    }
    if (b0 == 0x1D && b1 == 0x56) {
        in.skip(2, "GS V");
        const uint8_t m = in.byte("GS V m");
        return {CommandKind::cut, {m, in.byte("GS V n")}, {}};
    }
    if (b0 == 0x1D && b1 == 0x65) {
        in.skip(2, "GS e");
        const uint8_t n = in.byte("GS e n");
        return {CommandKind::eject, {n, in.byte("GS e m")}, {}};
    }
    if (in.startsWith({0x08, 0x43, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00}))
        return compressedBand(in);
    return {CommandKind::bytes, {}, {in.byte("byte")}};
}

const char* kindName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::initialize: return "init";
    case CommandKind::justify: return "justify";
    case CommandKind::drawerKick: return "drawer";
    case CommandKind::storedLogo: return "fs-logo";
    case CommandKind::nvLogo: return "nv-logo";
    case CommandKind::graphicsStore: return "store";
    case CommandKind::graphicsPrint: return "print";
    case CommandKind::graphicsOther: return "gs(L";
    case CommandKind::rasterImage: return "gsv0";
    case CommandKind::compressedBand: return "band";
    case CommandKind::cut: return "cut";
    case CommandKind::eject: return "eject";
    case CommandKind::lineFeed: return "lf";
    case CommandKind::formFeed: return "ff";
    case CommandKind::bytes: return "bytes";
    }
    return "?";
}

// Appends rows to an image, checking that the geometry stays the same.
void appendRows(PrintedImage& image, uint32_t width, uint32_t bytesPerLine, uint32_t rows,
                std::span<const uint8_t> data)
{
    if (rows == 0)
        return;
    if (image.rows == 0 && image.data.empty()) {
        image.width = width;
        image.bytesPerLine = bytesPerLine;
    } else if (image.width != width || image.bytesPerLine != bytesPerLine) {
        throw DecodeError("rows of " + std::to_string(width) + " dots after rows of " +
                          std::to_string(image.width));
    }
    image.rows += rows;
    image.data.insert(image.data.end(), data.begin(), data.end());
    image.data.resize(std::size_t{image.rows} * bytesPerLine, 0);
}

struct Pending {
    bool stored = false;
    uint32_t width = 0;
    uint32_t rows = 0;
    std::vector<uint8_t> data;
};

} // namespace

std::vector<Command> parseCommands(std::string_view stream)
{
    std::vector<Command> commands;
    Reader in(stream);
    while (!in.done()) {
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
        if (b != 0x00 && b != 0xFF) {
            out.push_back(b);
            continue;
        }
        if (i + 1 == coded.size())
            throw DecodeError("run marker without a length");
        out.insert(out.end(), coded[++i], b);
    }
    return out;
}

PrintedImage printedMonochrome(const std::vector<Command>& commands)
{
    PrintedImage image;
    Pending pending;
    for (const Command& c : commands) {
        switch (c.kind) {
        case CommandKind::rasterImage:
            appendRows(image, c.fields[1] * 8, c.fields[1], c.fields[2], c.payload);
            break;
        case CommandKind::compressedBand:
            appendRows(image, c.fields[0], (c.fields[0] + 7) / 8, c.fields[1], decompressRuns(c.payload));
            break;
        case CommandKind::graphicsStore:
            if (c.fields[0] != 0x31)
                throw DecodeError("second-color store on a monochrome page");
            pending = {true, c.fields[1], c.fields[2], c.payload};
            break;
        case CommandKind::graphicsPrint:
            if (pending.stored)
                appendRows(image, pending.width, (pending.width + 7) / 8, pending.rows, pending.data);
            pending = {};
            break;
        default:
            break;
        }
    }
    return image;
}

PrintedPlanes printedPlanes(const std::vector<Command>& commands)
{
    PrintedPlanes planes;
    Pending black, color;
    for (const Command& c : commands) {
        if (c.kind == CommandKind::graphicsStore) {
            Pending& p = c.fields[0] == 0x31 ? black : color;
            if (c.fields[0] != 0x31 && c.fields[0] != 0x32)
                throw DecodeError("store of color " + std::to_string(c.fields[0]));
            p = {true, c.fields[1], c.fields[2], c.payload};
        } else if (c.kind == CommandKind::graphicsPrint) {
            if (black.stored && color.stored && black.width != color.width)
                throw DecodeError("planes of different widths printed together");
            const uint32_t width = black.stored ? black.width : color.width;
            const uint32_t rows = std::max(black.rows, color.rows);
            appendRows(planes.black, width, (width + 7) / 8, rows, black.data);
            appendRows(planes.color, width, (width + 7) / 8, rows, color.data);
            black = {};
            color = {};
        } else if (c.kind == CommandKind::rasterImage || c.kind == CommandKind::compressedBand) {
            throw DecodeError("monochrome raster command on a two-color page");
        }
    }
    return planes;
}

std::string describeCommands(const std::vector<Command>& commands)
{
    std::string text;
    char line[160];
    for (const Command& c : commands) {
        text += kindName(c.kind);
        for (std::size_t i = 0; i < c.fields.size(); ++i) {
            std::snprintf(line, sizeof line, "%s%u", i == 0 ? " " : ",", c.fields[i]);
            text += line;
        }
        if (!c.payload.empty()) {
            std::snprintf(line, sizeof line, " (%zu bytes)", c.payload.size());
            text += line;
        }
        text += '\n';
    }
    return text;
}
