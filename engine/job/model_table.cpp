#include "engine/job/model_table.h"

#include <algorithm>
#include <array>

namespace {

constexpr bool Y = true;
constexpr bool N = false;
constexpr auto none = std::nullopt;

// clang-format off
// model, grayForced, colorOptions, drawerOptions, focusOption, compOption,
// labelOption, reductionOption, ejectOptionRead, colorPath, grayPath,
// grayScaling, pageEnd, preCutFeeds, cutFunction, pageLogo, nvKeyBase,
// textLogo, rasterCommand, rleBandRows, jobEndFeeds
constexpr std::array<ModelRow, 65> kModels{{
    {  1, N, Y, Y, Y, N, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, none, 6},
    {  6, N, Y, Y, Y, N, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, none, 6},
    { 10, Y, N, N, N, N, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, none, none},
    { 11, N, Y, Y, Y, N, N, N, N, Y, N, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, none, 6},
    { 13, N, Y, Y, Y, N, N, N, N, N, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsv0, none, 6},
    { 22, N, Y, Y, Y, N, N, N, N, Y, N, Y, PageEnd::cut, 0, 66, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, none, 6},
    { 29, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 30, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 31, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 33, Y, N, N, Y, Y, N, N, N, N, Y, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 64, none},
    { 35, N, Y, Y, Y, N, N, N, N, Y, N, Y, PageEnd::cut, 0, 66, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, none, 6},
    { 36, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 40, Y, N, N, N, Y, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, 10, none},
    { 41, Y, N, N, N, Y, N, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    { 42, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, 6},
    { 43, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 52, N, Y, Y, Y, N, N, N, N, N, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsv0, none, 6},
    { 60, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 61, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 63, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 81, Y, N, N, N, Y, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, 10, none},
    { 82, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 83, N, N, Y, N, Y, N, Y, N, N, Y, N, PageEnd::fourFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    { 86, N, Y, Y, Y, Y, N, Y, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 87, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 88, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 90, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 91, Y, N, N, N, Y, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, 246, none},
    { 92, Y, N, N, N, Y, Y, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    { 96, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    { 97, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {105, Y, N, N, N, Y, N, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    {110, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {111, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {114, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {115, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 0, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {116, Y, N, N, N, Y, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, 10, none},
    {117, Y, N, N, N, Y, N, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    {134, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {137, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {147, Y, N, N, N, Y, N, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    {152, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {153, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {154, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {156, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {258, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {259, N, Y, Y, Y, Y, N, N, Y, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {268, N, Y, Y, Y, Y, N, Y, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {276, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {284, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {285, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {286, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {287, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {289, Y, N, N, N, Y, N, N, N, N, Y, N, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 49, LogoForm::nv, RasterCommand::gsL, 246, none},
    {294, Y, N, N, N, Y, N, N, N, N, Y, Y, PageEnd::twoFeeds, 0, 65, LogoForm::nv, 48, LogoForm::nv, RasterCommand::gsL, 246, none},
    {307, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {308, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {309, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {310, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {311, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 1, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {312, N, Y, Y, Y, Y, N, N, N, Y, Y, Y, PageEnd::cut, 2, 65, LogoForm::fsp, none, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {318, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {319, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {322, N, Y, Y, Y, Y, N, N, Y, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
    {327, N, Y, Y, Y, Y, N, N, N, Y, N, Y, PageEnd::cut, 0, 65, LogoForm::nv, 48, LogoForm::fsp, RasterCommand::gsL, 246, 6},
}};
// clang-format on

static_assert(std::is_sorted(kModels.begin(), kModels.end(),
                             [](const ModelRow& a, const ModelRow& b) { return a.model < b.model; }));

} // namespace

std::span<const ModelRow> modelTable()
{
    return kModels;
}

const ModelRow* findModel(int32_t model)
{
    auto it = std::lower_bound(kModels.begin(), kModels.end(), model,
                               [](const ModelRow& row, int32_t m) { return row.model < m; });
    if (it == kModels.end() || it->model != model)
        return nullptr;
    return &*it;
}
