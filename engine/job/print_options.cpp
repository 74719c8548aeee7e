#include "engine/job/print_options.h"

#include <cstring>

namespace {

std::vector<OptionChoice> pulseWidths()
{
    std::vector<OptionChoice> choices;
    for (int ms = 100; ms <= 500; ms += 100)
        choices.push_back({std::to_string(ms), std::to_string(ms) + " ms"});
    return choices;
}

std::vector<PrintOption> makeCommonOptions()
{
    return {
        {"PageType", "Page Length", "General",
         {{"0", "Variable (blank rows above and below trimmed)"}, {"1", "Fixed (the whole page)"}}, "0"},
        {"Rotation", "Rotation", "General",
         {{"0", "None"}, {"1", "90 degrees"}, {"2", "180 degrees"}, {"3", "270 degrees"}}, "0"},
        {"LogoPosition", "Logo Position", "Logo",
         {{"0", "No logo"}, {"1", "Before each page"}, {"2", "After each page"}, {"3", "Before and after each page"}},
         "0"},
        {"LogoJustification", "Logo Justification", "Logo", {{"0", "Left"}, {"1", "Centre"}, {"2", "Right"}}, "1"},
        {"LogoImage", "Logo", "Logo", {{"0", "Logo 1"}, {"1", "Logo 2"}, {"2", "Logo 3"}}, "0"},
        {"LogoWidth", "Logo Size", "Logo",
         {{"0", "Normal"}, {"1", "Double width"}, {"2", "Double height"}, {"3", "Quadruple"}}, "0"},
        {"LineFeed", "Line Feeds after the Logo", "Logo",
         {{"0", "None"},
          {"1", "1 line feed"},
          {"2", "2 line feeds"},
          {"3", "3 line feeds"},
          {"4", "4 line feeds"},
          {"5", "5 line feeds"}},
         "1"},
    };
}

} // namespace

const std::vector<PrintOption>& commonOptions()
{
    static const std::vector<PrintOption> options = makeCommonOptions();
    return options;
}

std::vector<PrintOption> modelOptions(const ModelRow& row)
{
    std::vector<PrintOption> out;
    if (row.colorOptions)
        out.push_back({"PageCut", "Cut", "General",
                       {{"0", "No cut"},
                        {"1", "Cut after each page"},
                        {"2", "Feed and cut after each page"},
                        {"3", "Cut at the end of the job"},
                        {"4", "Feed and cut at the end of the job"},
                        {"5", "Feed at the end of the job, no cut"}},
                       "2"});
    if (row.focusOption)
        out.push_back({"FocusArea", "Focus Area (144 mm page at one half)", "General",
                       {{"0", "Off"}, {"1", "Right-hand part"}, {"2", "Centre"}}, "0"});
    if (row.compOption)
        out.push_back({"CompPrinting", "Compressed Printing", "General", {{"0", "Off"}, {"1", "On"}}, "1"});
    if (row.labelOption)
        out.push_back({"LabelPrinting", "Label Printing", "General",
                       {{"0", "Off (two line feeds after each page)"}, {"1", "On (form feed after each page)"}}, "0"});
    if (row.ejectOptionRead)
        out.push_back({"EjectOption", "Eject", "General",
                       {{"0", "No eject"},
                        {"3", "Eject at the end of the job (mode 3)"},
                        {"5", "Eject at the end of the job (mode 5)"}},
                       "0"});
    if (row.reductionOption)
        out.push_back({"PaperReduction", "Paper Reduction", "General", {{"0", "Off"}}, "0", 1, 100});
    if (row.drawerOptions) {
        out.push_back({"CashDrawer", "Cash Drawer", "CashDrawer",
                       {{"0", "None"}, {"1", "Drawer 1"}, {"2", "Drawer 2"}, {"3", "Drawers 1 and 2"}}, "0"});
        out.push_back({"CashDrawerOpen", "Open the Drawer", "CashDrawer",
                       {{"0", "Before printing"}, {"1", "After printing"}, {"2", "Before and after printing"}}, "1"});
        out.push_back({"CashDrawer1PulseWidth", "Drawer 1 Pulse Width", "CashDrawer", pulseWidths(), "200"});
        out.push_back({"CashDrawer2PulseWidth", "Drawer 2 Pulse Width", "CashDrawer", pulseWidths(), "200"});
    }
    return out;
}

bool printsTwoColors(const ModelRow& row)
{
    return row.colorOptions && row.colorPath;
}

std::string modelKind(const ModelRow& row)
{
    std::string kind;
    switch (row.pageEnd) {
    // Only a model that reads PageCut ever cuts.
    case PageEnd::cut: kind = row.colorOptions ? "80 mm receipt printer with cutter" : "80 mm receipt printer"; break;
    case PageEnd::fourFeeds: kind = "receipt printer without cutter"; break;
    case PageEnd::twoFeeds: kind = row.labelOption ? "58 mm label printer" : "58 mm mobile printer"; break;
    }
    if (printsTwoColors(row))
        kind += ", black and red";
    return kind;
}

std::vector<PrintOption> allOptions(const ModelRow& row)
{
    std::vector<PrintOption> out = commonOptions();
    for (PrintOption& option : modelOptions(row))
        out.push_back(std::move(option));
    return out;
}

int32_t defaultValue(const ModelRow& row, const char* keyword)
{
    if (std::strcmp(keyword, "PageSize") == 0)
        return defaultRoll(row);
    if (std::strcmp(keyword, "ColorModel") == 0)
        return row.colorOptions ? 1 : -1;
    for (const PrintOption& option : allOptions(row)) {
        if (std::strcmp(option.keyword, keyword) == 0)
            return static_cast<int32_t>(std::stol(option.defaultChoice));
    }
    return -1;
}

int fillSettings(PrintSettings& settings, int32_t model, const OptionValue& value, LogOutput* log)
{
    settings = PrintSettings{};
    settings.modelNumber = model;
    const ModelRow* row = findModel(model);

    settings.pageSize = value("PageSize");
    settings.pageType = value("PageType");
    settings.rotation = value("Rotation");
    if (row != nullptr && row->focusOption)
        settings.focusArea = value("FocusArea");
    if (row != nullptr && row->compOption)
        settings.compPrinting = value("CompPrinting");
    if (row != nullptr && row->labelOption)
        settings.labelPrinting = value("LabelPrinting");
    settings.logoPosition = value("LogoPosition");
    settings.logoJustification = value("LogoJustification");
    settings.logoImage = value("LogoImage");
    settings.logoWidth = value("LogoWidth");
    settings.lineFeed = value("LineFeed");

    if (row != nullptr && row->grayForced) {
        logText(log, "Set Color model = GRAY");
        settings.colorModel = 1;
    } else {
        if (settings.modelNumber == 83) {
            settings.colorModel = 1;
        } else {
            settings.colorModel = value("ColorModel");
            settings.pageCut = value("PageCut");
        }
        settings.cashDrawer = value("CashDrawer");
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer = %d\n", settings.cashDrawer);
        settings.cashDrawerOpen = value("CashDrawerOpen");
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawerOpen = %d\n", settings.cashDrawerOpen);
        settings.cashDrawer1PulseWidth = value("CashDrawer1PulseWidth");
        settings.cashDrawer2PulseWidth = value("CashDrawer2PulseWidth");
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer1PulseWidth = %d\n", settings.cashDrawer1PulseWidth);
        logFormat(log, "PELTRIN DEBUG MSG : cashDrawer2PulseWidth = %d\n", settings.cashDrawer2PulseWidth);
    }

    if (row == nullptr)
        return 1;

    logFormat(log, "PELTRIN DEBUG MSG: The Printer Model is : %d\n", settings.modelNumber);
    if (row->reductionOption) {
        settings.paperReduction = value("PaperReduction");
        logFormat(log, "PELTRIN DEBUG MSG: Reduce Rate = %d\n", settings.paperReduction);
    }
    settings.ejectOption = 0;
    if (row->ejectOptionRead) {
        settings.ejectOption = value("EjectOption");
        logFormat(log, "PELTRIN DEBUG MSG: Eject Option = %d\n", settings.ejectOption);
    }
    return 0;
}

namespace {

// 203 dpi: 204.30 pt is 576 dots, 136.20 pt 384, 612.89 pt 1728, 408.60 pt 1152.
constexpr double kWidth80 = 204.30, kWidth58 = 136.20;
constexpr double kPointsPerMm = 72.0 / 25.4;

constexpr PageSizeChoice ticket(int32_t mm, const char* text, const char* pwgName)
{
    return {mm, text, pwgName, kWidth80, mm * kPointsPerMm, false};
}

// The default page is as long as an A4 page: a document laid out on it
// (CUPS's test page, a page with a footer) prints at most 297 mm, and a
// shorter one is trimmed to its ink. A receipt longer than that asks for a
// long-receipt size (or a custom length) and prints at its own length,
// trimmed the same way.
constexpr PageSizeChoice kPageSizes[] = {
    {80, "80 mm roll, 297 mm page", "om_80-mm-roll_72.08x297mm", kWidth80, 297 * kPointsPerMm, false},
    {58, "58 mm roll, 297 mm page", "om_58-mm-roll_48.05x297mm", kWidth58, 297 * kPointsPerMm, false},
    {802, "80 mm roll, long receipt up to 2 m", "om_80-mm-long-receipt_72.08x2000mm", kWidth80,
     2000 * kPointsPerMm, false},
    {582, "58 mm roll, long receipt up to 2 m", "om_58-mm-long-receipt_48.05x2000mm", kWidth58,
     2000 * kPointsPerMm, false},
    {96, "216 x 279 mm page, printed at one third", "om_216-mm-page-at-one-third_216.22x279.4mm", 612.89, 792.00,
     true},
    {101, "144 x 200 mm page, printed at one half", "om_144-mm-page-at-one-half_144.15x200mm", 408.60, 566.93,
     true},
    ticket(56, "80 mm ticket, 56 mm long (never turned)", "om_80-mm-ticket-56_72.08x56mm"),
    ticket(75, "80 mm ticket, 75 mm long (never turned)", "om_80-mm-ticket-75_72.08x75mm"),
    ticket(94, "80 mm ticket, 94 mm long (never turned)", "om_80-mm-ticket-94_72.08x94mm"),
    ticket(110, "80 mm ticket, 110 mm long (never turned)", "om_80-mm-ticket-110_72.08x110mm"),
    ticket(111, "80 mm ticket, 111 mm long (never turned)", "om_80-mm-ticket-111_72.08x111mm"),
    ticket(112, "80 mm ticket, 112 mm long (never turned)", "om_80-mm-ticket-112_72.08x112mm"),
    ticket(138, "80 mm ticket, 138 mm long (never turned)", "om_80-mm-ticket-138_72.08x138mm"),
    ticket(139, "80 mm ticket, 139 mm long (never turned)", "om_80-mm-ticket-139_72.08x139mm"),
};

} // namespace

std::span<const PageSizeChoice> pageSizes()
{
    return kPageSizes;
}

int32_t defaultRoll(const ModelRow& row)
{
    return row.pageEnd == PageEnd::cut ? 80 : 58;
}
