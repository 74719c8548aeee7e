#include "preview/render.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <optional>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

namespace {

using namespace roll_layout;

constexpr uint32_t kFontPixels = 20; // DejaVu Sans Mono: 12 dots a character
constexpr uint32_t kBaseline = 22;   // from the top of a text line
constexpr uint32_t kTabColumns = 8;

// The roll: rows are added as the paper advances.
class Roll {
public:
    Roll(uint32_t width, uint64_t maxDots) : width_(width), maxDots_(maxDots) {}

    uint32_t width() const { return width_; }

    // Advances the paper by `rows` blank rows; the first one's number.
    uint32_t advance(uint64_t rows)
    {
        const uint64_t height = height_ + rows;
        if (height * width_ > maxDots_)
            throw RenderError("the picture would be " + std::to_string(width_) + " x " + std::to_string(height) +
                                  " dots, more than the " + std::to_string(maxDots_) + " dots a preview draws",
                              true);
        const uint32_t top = height_;
        height_ = static_cast<uint32_t>(height);
        rgb_.resize(std::size_t{height_} * width_ * 3, 0xFF);
        return top;
    }

    // Sets or blends (coverage 0..255) a dot; dots off the roll are left out.
    void set(int64_t x, int64_t y, Rgb color, uint8_t coverage = 255)
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return;
        uint8_t* p = &rgb_[(static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)) * 3];
        const uint8_t channels[] = {color.r, color.g, color.b};
        for (int i = 0; i < 3; ++i)
            p[i] = static_cast<uint8_t>((p[i] * (255 - coverage) + channels[i] * coverage) / 255);
    }

    void fill(int64_t x, int64_t y, int64_t w, int64_t h, Rgb color)
    {
        for (int64_t r = std::max<int64_t>(y, 0); r < std::min<int64_t>(y + h, height_); ++r)
            for (int64_t c = std::max<int64_t>(x, 0); c < std::min<int64_t>(x + w, width_); ++c)
                set(c, r, color);
    }

    Picture take()
    {
        if (height_ == 0)
            advance(1);
        return {width_, height_, std::move(rgb_)};
    }

private:
    uint32_t width_;
    uint64_t maxDots_;
    uint32_t height_ = 0;
    std::vector<uint8_t> rgb_;
};

// A character's coverage (0..255 a dot) and its place from the origin.
struct Glyph {
    int left = 0, top = 0, columns = 0, rows = 0;
    std::vector<uint8_t> coverage;
};

// The monospace font through FreeType, loaded at first use; bytes 20..FF
// are drawn as the Latin-1 characters of the same numbers.
class Font {
public:
    explicit Font(std::string path) : path_(std::move(path)) {}
    ~Font()
    {
        if (face_ != nullptr)
            FT_Done_Face(face_);
        if (library_ != nullptr)
            FT_Done_FreeType(library_);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Draws the byte's character with its origin at (x, baseline).
    void draw(Roll& roll, int64_t x, int64_t baseline, uint8_t code, Rgb color)
    {
        const Glyph& g = glyph(code);
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c)
                if (const uint8_t coverage = g.coverage[static_cast<std::size_t>(r * g.columns + c)])
                    roll.set(x + g.left + c, baseline - g.top + r, color, coverage);
    }

private:
    void load()
    {
        if (FT_Init_FreeType(&library_) != 0)
            throw RenderError("FreeType does not start", false);
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (file == nullptr)
            throw RenderError("the font " + path_ + " is missing (Debian package fonts-dejavu-core)", false);
        std::fclose(file);
        if (FT_New_Face(library_, path_.c_str(), 0, &face_) != 0) {
            face_ = nullptr;
            throw RenderError("the font " + path_ + " does not load", false);
        }
        if (FT_Set_Pixel_Sizes(face_, 0, kFontPixels) != 0)
            throw RenderError("the font " + path_ + " has no size of " + std::to_string(kFontPixels) + " dots",
                              false);
    }

    const Glyph& glyph(uint8_t code)
    {
        std::optional<Glyph>& slot = glyphs_[code];
        if (slot)
            return *slot;
        if (face_ == nullptr)
            load();
        slot.emplace();
        if (FT_Load_Char(face_, code, FT_LOAD_RENDER) != 0)
            return *slot; // nothing drawn for a character the font lacks
        const FT_GlyphSlot g = face_->glyph;
        const FT_Bitmap& b = g->bitmap;
        if (b.pixel_mode != FT_PIXEL_MODE_GRAY)
            return *slot;
        slot->left = g->bitmap_left;
        slot->top = g->bitmap_top;
        slot->columns = static_cast<int>(b.width);
        slot->rows = static_cast<int>(b.rows);
        slot->coverage.resize(std::size_t{b.width} * b.rows);
        for (unsigned r = 0; r < b.rows; ++r)
            for (unsigned c = 0; c < b.width; ++c)
                slot->coverage[std::size_t{r} * b.width + c] = b.buffer[static_cast<std::ptrdiff_t>(r) * b.pitch + c];
        return *slot;
    }

    std::string path_;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::array<std::optional<Glyph>, 256> glyphs_;
};

bool dotAt(const uint8_t* rows, uint32_t bytesPerLine, uint32_t row, uint32_t column)
{
    return (rows[std::size_t{row} * bytesPerLine + column / 8] >> (7 - column % 8)) & 1;
}

// The widest raster command in dots, or defaultWidth.
uint32_t rollWidth(const std::vector<Command>& commands)
{
    uint32_t width = 0;
    for (const Command& c : commands) {
        if (c.kind == CommandKind::rasterImage)
            width = std::max(width, c.fields[1] * 8 * ((c.fields[0] & 1) ? 2 : 1));
        else if (c.kind == CommandKind::compressedBand)
            width = std::max(width, c.fields[0]);
        else if (c.kind == CommandKind::graphicsStore)
            width = std::max(width, c.fields[1]);
    }
    return width == 0 ? defaultWidth : width;
}

class RollPrinter {
public:
    RollPrinter(const std::vector<Command>& commands, const RenderOptions& options)
        : roll_(rollWidth(commands), options.maxDots), font_(options.fontPath)
    {
    }

    Picture print(const std::vector<Command>& commands)
    {
        for (const Command& c : commands)
            print(c);
        if (!line_.empty())
            printLine();
        return roll_.take();
    }

private:
    struct Store {
        uint32_t width = 0, rows = 0;
        std::vector<uint8_t> data;
    };

    void print(const Command& c)
    {
        const std::vector<uint32_t>& f = c.fields;
        if (c.kind == CommandKind::text) {
            line_.insert(line_.end(), c.payload.begin(), c.payload.end());
            return;
        }
        if (c.kind == CommandKind::lineFeed) {
            if (line_.empty())
                roll_.advance(lineHeight);
            else
                printLine();
            return;
        }
        // Anything else that reaches the paper starts below a pending text.
        if (!line_.empty() && c.kind != CommandKind::justify && c.kind != CommandKind::graphicsStore &&
            c.kind != CommandKind::drawerKick && c.kind != CommandKind::eject && c.kind != CommandKind::zeroFill)
            printLine();
        switch (c.kind) {
        case CommandKind::initialize:
            justification_ = 0;
            break;
        case CommandKind::justify:
            justification_ = f[0] % 48 <= 2 && f[0] < 51 ? f[0] % 48 : 0;
            break;
        case CommandKind::formFeed:
            roll_.advance(formFeedRows);
            break;
        case CommandKind::cut:
            printCut();
            break;
        case CommandKind::storedLogo: {
            const uint32_t scale = f[1] % 48;
            printLogo("FS p logo " + std::to_string(f[0]), "scale " + std::to_string(f[1]), (scale & 1) ? 2 : 1,
                      (scale & 2) ? 2 : 1);
            break;
        }
        case CommandKind::nvLogo: {
            std::string key = "NV logo \"";
            for (uint32_t k : {f[0], f[1]})
                key += k >= 0x20 && k < 0x7F ? std::string(1, static_cast<char>(k)) : "?";
            printLogo(key + "\"", "x=" + std::to_string(f[2]) + " y=" + std::to_string(f[3]),
                      std::clamp<uint32_t>(f[2], 1, 2), std::clamp<uint32_t>(f[3], 1, 2));
            break;
        }
        case CommandKind::graphicsStore:
            (f[0] == 0x31 ? black_ : color_) = Store{f[1], f[2], c.payload};
            break;
        case CommandKind::graphicsPrint:
            printStores();
            break;
        case CommandKind::rasterImage: {
            const uint32_t scaleX = (f[0] & 1) ? 2 : 1, scaleY = (f[0] & 2) ? 2 : 1;
            printDots(c.payload.data(), f[1], f[1] * 8, f[2], scaleX, scaleY, roll_.advance(uint64_t{f[2]} * scaleY),
                      roll_colors::black);
            break;
        }
        case CommandKind::compressedBand: {
            const std::vector<uint8_t> rows = decompressRuns(c.payload);
            printDots(rows.data(), rowBytes(f[0]), f[0], f[1], 1, 1, roll_.advance(f[1]), roll_colors::black);
            break;
        }
        default: // no mark on the paper: drawer kicks, ejects, zero bytes
            break;
        }
    }

    void printDots(const uint8_t* rows, uint32_t bytesPerLine, uint32_t width, uint32_t height, uint32_t scaleX,
                   uint32_t scaleY, uint32_t top, Rgb color)
    {
        for (uint32_t r = 0; r < height; ++r)
            for (uint32_t c = 0; c < width; ++c)
                if (dotAt(rows, bytesPerLine, r, c))
                    roll_.fill(int64_t{c} * scaleX, top + int64_t{r} * scaleY, scaleX, scaleY, color);
    }

    // The stores printed together, the second color under the first.
    void printStores()
    {
        const uint32_t top = roll_.advance(std::max(black_.rows, color_.rows));
        printDots(color_.data.data(), rowBytes(color_.width), color_.width, color_.rows, 1, 1, top, roll_colors::red);
        printDots(black_.data.data(), rowBytes(black_.width), black_.width, black_.rows, 1, 1, top,
                  roll_colors::black);
        black_ = {};
        color_ = {};
    }

    // Left, center or right of the roll by the last ESC a.
    int64_t justified(int64_t width) const
    {
        const int64_t room = int64_t{roll_.width()} - width;
        return justification_ == 1 ? room / 2 : justification_ == 2 ? room : 0;
    }

    void drawText(const std::string& text, int64_t x, int64_t baseline, int64_t right, Rgb color)
    {
        for (std::size_t i = 0; i < text.size() && x + cellWidth <= right; ++i, x += cellWidth)
            if (text[i] != ' ')
                font_.draw(roll_, x, baseline, static_cast<uint8_t>(text[i]), color);
    }

    // The pending text as lines of the roll's width in characters: tabs to
    // the next multiple of eight columns, carriage returns left out.
    void printLine()
    {
        const std::size_t columns = std::max<uint32_t>(1, roll_.width() / cellWidth);
        std::vector<std::string> lines(1);
        for (const uint8_t b : line_) {
            if (b == '\r')
                continue;
            const std::size_t cells = b == '\t' ? kTabColumns - lines.back().size() % kTabColumns : 1;
            if (lines.back().size() + cells > columns && !lines.back().empty())
                lines.emplace_back();
            lines.back().append(std::min(cells, columns), b == '\t' ? ' ' : static_cast<char>(b));
        }
        line_.clear();
        for (const std::string& text : lines) {
            const uint32_t top = roll_.advance(lineHeight);
            const int64_t x = justified(int64_t{cellWidth} * static_cast<int64_t>(text.size()));
            drawText(text, x, top + kBaseline, roll_.width(), roll_colors::black);
        }
    }

    // A box for a logo the printer holds, labelled with its number or key,
    // its scale and its justification.
    void printLogo(const std::string& name, const std::string& scale, uint32_t scaleX, uint32_t scaleY)
    {
        const int64_t w = std::min<int64_t>(logoWidth * scaleX, roll_.width()), h = logoHeight * scaleY;
        const int64_t x = justified(w), top = roll_.advance(static_cast<uint64_t>(h));
        roll_.fill(x, top, w, h, roll_colors::logoFill);
        for (int64_t i = 0; i < 2; ++i) {
            roll_.fill(x, top + i * (h - 2), w, 2, roll_colors::logoInk);
            roll_.fill(x + i * (w - 2), top, 2, h, roll_colors::logoInk);
        }
        static constexpr const char* kJustified[] = {"left", "center", "right"};
        drawText(name, x + 6, top + 6 + kBaseline, x + w - 4, roll_colors::logoInk);
        drawText(scale + " " + kJustified[justification_], x + 6, top + 6 + lineHeight + kBaseline, x + w - 4,
                 roll_colors::logoInk);
    }

    // Dashes across the roll.
    void printCut()
    {
        const uint32_t top = roll_.advance(cutRows);
        for (uint32_t x = 0; x < roll_.width(); x += 20)
            roll_.fill(x, top + cutRows / 2 - 1, 12, 2, roll_colors::cut);
    }

    Roll roll_;
    Font font_;
    std::vector<uint8_t> line_; // text not printed yet
    uint32_t justification_ = 0; // 0 left, 1 center, 2 right
    Store black_, color_;
};

} // namespace

Picture renderRoll(const std::vector<Command>& commands, const RenderOptions& options)
{
    return RollPrinter(commands, options).print(commands);
}

bool writePng(const Picture& picture, std::FILE* file)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (uint32_t r = 0; r < picture.height; ++r)
            png_write_row(png, picture.rgb.data() + std::size_t{r} * picture.width * 3);
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    return ok && std::fflush(file) == 0;
}
