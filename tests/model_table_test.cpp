// Relations that hold across the model table.
#include <algorithm>
#include <set>

#include <gtest/gtest.h>

#include "filter/model_table.h"

namespace {

std::set<int32_t> modelsWhere(bool (*pred)(const ModelRow&))
{
    std::set<int32_t> out;
    for (const ModelRow& row : modelTable())
        if (pred(row))
            out.insert(row.model);
    return out;
}

TEST(ModelTable, HoldsExactlyTheSupportedModels)
{
    const std::set<int32_t> expected{1, 6, 10, 11, 13, 22, 29, 30, 31, 33, 35, 36, 40, 41, 42, 43, 52,
                                     60, 61, 63, 81, 82, 83, 86, 87, 88, 90, 91, 92, 96, 97, 105, 110,
                                     111, 114, 115, 116, 117, 134, 137, 147, 152, 153, 154, 156, 258,
                                     259, 268, 276, 284, 285, 286, 287, 289, 294, 307, 308, 309, 310,
                                     311, 312, 318, 319, 322, 327};
    EXPECT_EQ(modelsWhere([](const ModelRow&) { return true; }), expected);
    for (int32_t m : expected) {
        ASSERT_NE(findModel(m), nullptr) << m;
        EXPECT_EQ(findModel(m)->model, m);
    }
    for (int32_t m : {0, 2, 100, 290, 328, -1, 65536}) {
        EXPECT_EQ(findModel(m), nullptr) << m;
    }
}

TEST(ModelTable, OptionColumnsFollowGrayForced)
{
    const std::set<int32_t> grayForced{10, 33, 40, 41, 81, 91, 92, 105, 116, 117, 147, 289, 294};
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.grayForced; }), grayForced);
    for (const ModelRow& r : modelTable()) {
        SCOPED_TRACE(r.model);
        EXPECT_EQ(r.drawerOptions, !r.grayForced);
        EXPECT_EQ(r.colorOptions, r.drawerOptions && r.model != 83);
        EXPECT_EQ(r.jobEndFeeds.has_value(), r.colorOptions);
        if (r.jobEndFeeds) {
            EXPECT_EQ(*r.jobEndFeeds, 6);
        }
        EXPECT_EQ(r.focusOption, r.colorOptions || r.model == 33);
        EXPECT_EQ(r.pageEnd == PageEnd::cut, r.focusOption);
        if (r.grayForced && r.model != 33) {
            EXPECT_EQ(r.pageEnd, PageEnd::twoFeeds);
        }
        EXPECT_EQ(r.pageEnd == PageEnd::fourFeeds, r.model == 83);
    }
}

TEST(ModelTable, CutColumns)
{
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.preCutFeeds == 2; }),
              (std::set<int32_t>{11, 30, 63, 86, 111, 156, 268, 284, 308, 310, 312}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.preCutFeeds == 1; }),
              (std::set<int32_t>{61, 110, 152, 307, 309, 311}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.preCutFeeds > 2 || r.preCutFeeds < 0; }),
              std::set<int32_t>{});
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.cutFunction == 66; }), (std::set<int32_t>{22, 35}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.cutFunction != 65 && r.cutFunction != 66; }),
              std::set<int32_t>{});
}

TEST(ModelTable, RasterColumns)
{
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return !r.compOption; }),
              (std::set<int32_t>{1, 6, 10, 11, 13, 22, 35, 52}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.rleBandRows == 64; }), (std::set<int32_t>{33}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.rleBandRows == 10; }), (std::set<int32_t>{40, 81, 116}));
    for (const ModelRow& r : modelTable()) {
        SCOPED_TRACE(r.model);
        EXPECT_EQ(r.rleBandRows.has_value(), r.compOption);
        if (r.rleBandRows && r.model != 33 && r.model != 40 && r.model != 81 && r.model != 116) {
            EXPECT_EQ(*r.rleBandRows, 246);
        }
    }
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.rasterCommand == RasterCommand::gsv0; }),
              (std::set<int32_t>{13, 52}));
}

TEST(ModelTable, LogoColumns)
{
    auto pageNv = modelsWhere([](const ModelRow& r) { return r.pageLogo == LogoForm::nv; });
    EXPECT_EQ(pageNv.size(), 35u);
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.textLogo == LogoForm::nv; }),
              (std::set<int32_t>{10, 33, 40, 41, 42, 81, 83, 91, 92, 105, 116, 117, 147, 289, 294}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.nvKeyBase == 49; }),
              (std::set<int32_t>{10, 40, 81, 91, 116, 289}));
    for (const ModelRow& r : modelTable()) {
        SCOPED_TRACE(r.model);
        EXPECT_EQ(r.nvKeyBase.has_value(), r.pageLogo == LogoForm::nv);
        if (r.textLogo == LogoForm::nv) {
            EXPECT_EQ(r.pageLogo, LogoForm::nv);
        }
        if (r.nvKeyBase) {
            EXPECT_TRUE(*r.nvKeyBase == 48 || *r.nvKeyBase == 49);
        }
    }
}

TEST(ModelTable, PathColumns)
{
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.colorPath && !r.grayPath; }),
              (std::set<int32_t>{1, 6, 11, 22, 29, 30, 35, 42, 82, 87, 88, 90, 96, 97, 134, 137, 153,
                                 154, 258, 259, 276, 285, 286, 287, 318, 319, 322, 327}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return !r.colorPath && r.grayPath; }),
              (std::set<int32_t>{10, 13, 33, 40, 41, 52, 81, 83, 91, 92, 105, 116, 117, 147, 289, 294}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.colorPath && r.grayPath; }),
              (std::set<int32_t>{31, 36, 43, 60, 61, 63, 86, 110, 111, 114, 115, 152, 156, 268, 284,
                                 307, 308, 309, 310, 311, 312}));
    for (const ModelRow& r : modelTable())
        if (r.colorPath) {
            EXPECT_TRUE(r.colorOptions) << r.model;
        }
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return !r.grayScaling; }),
              (std::set<int32_t>{10, 40, 81, 83, 91, 116, 289}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.labelOption; }), (std::set<int32_t>{92}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.reductionOption; }), (std::set<int32_t>{83, 86, 268}));
    EXPECT_EQ(modelsWhere([](const ModelRow& r) { return r.ejectOptionRead; }), (std::set<int32_t>{259, 322}));
}

} // namespace
