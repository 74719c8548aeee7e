// peltrin-drv: writes the CUPS driver information file (ppd/peltrin.drv)
// from the model table and the options list, so that every PPD offers
// exactly the options its model reads. Models whose PPDs differ only in name share one block.
//
//   peltrin-drv > ppd/peltrin.drv      (ppdc then makes one PPD per model)
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/job/model_table.h"
#include "engine/job/print_options.h"

namespace {

// What a PPD offers, by the model's columns.
struct Profile {
    bool twoColors;     // ColorModel 0 (two colors) and 1
    bool colorOptions;  // ColorModel and PageCut
    bool drawerOptions; // the four drawer options
    bool focusOption;
    bool compOption;
    bool labelOption;
    bool reductionOption;
    bool ejectOptionRead;
    bool grayScaling;   // page sizes 96 and 101
    PageEnd pageEnd;
    auto key() const
    {
        return std::tuple(twoColors, colorOptions, drawerOptions, focusOption, compOption, labelOption,
                          reductionOption, ejectOptionRead, grayScaling, pageEnd);
    }
    bool operator<(const Profile& other) const { return key() < other.key(); }
};

Profile profileOf(const ModelRow& row)
{
    return {printsTwoColors(row), row.colorOptions, row.drawerOptions, row.focusOption,
            row.compOption, row.labelOption, row.reductionOption, row.ejectOptionRead,
            row.grayScaling, row.pageEnd};
}

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kRollLength = 2000 * kPointsPerMm;

void media(std::string& out, bool isDefault, const std::string& name, double width, double length)
{
    char line[512];
    std::snprintf(line, sizeof line,
                  "  %sCustomMedia \"%s\" %.2f %.2f 0 0 0 0\n"
                  "    \"<</PageSize[%.2f %.2f]/ImagingBBox null>>setpagedevice\"\n"
                  "    \"<</PageSize[%.2f %.2f]/ImagingBBox null>>setpagedevice\"\n",
                  isDefault ? "*" : "", name.c_str(), width, length, width, length, width, length);
    out += line;
}

// One option with its choices, its default marked, each line indented.
void option(std::string& out, const std::string& indent, const PrintOption& o)
{
    out += indent + "Option \"" + o.keyword + "/" + o.text + "\" PickOne AnySetup 10\n";
    for (const OptionChoice& c : o.choices)
        out += indent + "  " + (c.keyword == o.defaultChoice ? "*" : "") + "Choice \"" + c.keyword + "/" + c.text +
               "\" \"\"\n";
}

std::string profileBlock(const Profile& p, const ModelRow& row)
{
    std::string out;
    out += "  // Page sizes: the keyword is the number the filter reads.\n";
    for (const PageSizeChoice& size : pageSizes())
        if (!size.downscale || p.grayScaling)
            media(out, size.keyword == defaultRoll(row), std::to_string(size.keyword) + "/" + size.text, size.width,
                  size.length);
    // A custom length (-o media=Custom.80x150mm) on the model's own roll:
    // the width is the paper's, of which the printed width is the middle
    // (the margins apply to the custom size only; the named sizes above are
    // the printed width). The filter reads the keyword Custom as 0, a roll.
    const int32_t roll = defaultRoll(row);
    const auto sizes = pageSizes();
    const double printed =
        std::find_if(sizes.begin(), sizes.end(), [&](const PageSizeChoice& s) { return s.keyword == roll; })->width;
    const double paper = roll * kPointsPerMm, margin = (paper - printed) / 2;
    char custom[256];
    std::snprintf(custom, sizeof custom,
                  "  VariablePaperSize Yes\n  HWMargins %.3f 0 %.3f 0\n  MinSize %.2f 36\n  MaxSize %.2f %.2f\n", margin,
                  margin, paper, paper, kRollLength);
    out += "  // Custom length: the width is the roll's; the printed width is its middle.\n";
    out += custom;
    out += "\n";
    if (p.colorOptions) {
        out += "  // The color space \"-\" keeps the resolution from overriding ColorModel.\n";
        out += "  *Resolution - 1 0 0 0 \"203dpi/203 DPI\"\n";
        out += "  // 1-bit K: a set bit is a dot.\n";
        out += "  *ColorModel \"1/Monochrome\" k chunky 0\n";
        if (p.twoColors) {
            out += "  // 1-bit banded CMYK: K prints black, C, M and Y the second color. A color\n";
            out += "  // device: pictures keep their colors on the way to the rasterizer.\n";
            out += "  ColorModel \"0/Black and Red\" cmyk banded 0\n";
            out += "  ColorDevice Yes\n";
        }
    } else {
        out += "  // Always 1-bit K: a set bit is a dot.\n";
        out += "  *Resolution k 1 0 0 0 \"203dpi/203 DPI\"\n";
    }
    out += "\n  Group \"General/General\"\n";
    bool drawerGroup = false;
    for (const PrintOption& o : modelOptions(row)) {
        if (std::string(o.group) == "CashDrawer" && !drawerGroup) {
            out += "\n  Group \"CashDrawer/Cash Drawer\"\n";
            drawerGroup = true;
        }
        if (o.customMax > 0)
            out += "  // The custom value is the reduction percentage (1 to 100).\n";
        option(out, "  ", o);
        if (o.customMax > 0) {
            out += std::string("  Attribute Custom") + o.keyword + " True \"\"\n";
            out += std::string("  Attribute ParamCustom") + o.keyword + " \"Value/Reduction (%)\" \"1 int " +
                   std::to_string(o.customMin) + " " + std::to_string(o.customMax) + "\"\n";
        }
    }
    return out;
}

const char* kHeader = R"drv(// CUPS driver information for every printer model that rastertoPeltrin
// supports: one PPD per model number, each offering exactly the options
// that its model reads. Every choice keyword is a decimal number, which the
// filter turns into an integer.
//
// Written by peltrin-drv from the model table: do not edit by hand. After a
// change of the table, renew it with `cmake --build build --target drv`.
// The build makes the PPDs with `ppdc -d <folder> ppd/peltrin.drv`.

#include <font.defs>

Manufacturer "Peltrin"
Version )drv" PELTRIN_VERSION R"drv(
Attribute "FileSystem" "" "False"
Attribute "LandscapeOrientation" "" "Plus90"
Attribute "TTRasterizer" "" "Type42"
Font *
Throughput 1
// The filters print each page once: copies are made before them (pdftopdf),
// or by pdftoPeltrin itself when it takes the document.
ManualCopies Yes

// Raster pages go to rastertoPeltrin; PDF documents to pdftoPeltrin
// itself, before pdftopdf, which would turn and shrink receipts to fit the
// page size (PDF pages other filters make still come through pdftopdf);
// plain text goes to the printer as it is, in the printer's own font.
Filter application/vnd.cups-raster 0 rastertoPeltrin
Filter application/pdf 0 pdftoPeltrin
Filter application/vnd.cups-pdf 0 pdftoPeltrin
Filter text/plain 0 rastertoPeltrin

// Options of every model.
)drv";

} // namespace

int main()
{
    std::map<Profile, std::vector<int32_t>> groups;
    for (const ModelRow& row : modelTable())
        groups[profileOf(row)].push_back(row.model);

    std::string out = kHeader;
    const char* group = "";
    for (const PrintOption& o : commonOptions()) {
        if (std::string(o.group) != group) {
            out += std::string(*group != '\0' ? "\n" : "") +
                   (std::string(o.group) == "Logo" ? "Group \"Logo/Stored Logo\"\n" : "Group \"General/General\"\n");
            group = o.group;
        }
        option(out, "", o);
    }
    for (const auto& [profile, models] : groups) {
        const ModelRow& first = *findModel(models.front()); // models of a block share their options
        out += "\n// " + modelKind(first) + "\n{\n" + profileBlock(profile, first);
        for (int32_t model : models) {
            char number[8];
            std::snprintf(number, sizeof number, "%03d", model);
            out += "\n  {\n";
            out += "    ModelName \"Model " + std::to_string(model) + "\"\n";
            out += "    Attribute NickName \"\" \"Peltrin Model " + std::to_string(model) + ", " +
                   modelKind(first) + "\"\n";
            out += "    PCFileName \"peltrin-" + std::string(number) + ".ppd\"\n";
            out += "    ModelNumber " + std::to_string(model) + "\n";
            out += "  }\n";
        }
        out += "}\n";
    }
    std::fputs(out.c_str(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
