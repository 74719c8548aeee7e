// The driver package: one PPD per model made by ppdc from ppd/peltrin.drv,
// each offering exactly the options its model reads; the install puts the
// filters and PPDs where CUPS looks, and every installed PPD passes
// cupstestppd there.
#include <gtest/gtest.h>

#include <cups/ppd.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "filter/model_table.h"
#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> optionKeywords(ppd_file_t* ppd)
{
    std::set<std::string> keywords;
    for (ppd_option_t* o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd))
        keywords.insert(o->keyword);
    return keywords;
}

std::set<std::string> choices(ppd_file_t* ppd, const char* keyword)
{
    std::set<std::string> out;
    if (ppd_option_t* o = ppdFindOption(ppd, keyword))
        for (int i = 0; i < o->num_choices; ++i)
            out.insert(o->choices[i].choice);
    return out;
}

std::set<std::string> expectedOptions(const ModelRow& row)
{
    std::set<std::string> out{"PageSize", "PageRegion", "Resolution", "PageType", "Rotation", "LogoPosition",
                              "LogoJustification", "LogoImage", "LogoWidth", "LineFeed"};
    auto add = [&](bool when, std::initializer_list<const char*> names) {
        if (when)
            out.insert(names.begin(), names.end());
    };
    add(row.colorOptions, {"ColorModel", "PageCut"});
    add(row.drawerOptions, {"CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth", "CashDrawer2PulseWidth"});
    add(row.focusOption, {"FocusArea"});
    add(row.compOption, {"CompPrinting"});
    add(row.labelOption, {"LabelPrinting"});
    add(row.reductionOption, {"PaperReduction"});
    add(row.ejectOptionRead, {"EjectOption"});
    return out;
}

bool isDecimal(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

TEST(Ppds, EveryModelOffersExactlyTheOptionsItReads)
{
    for (const ModelRow& row : modelTable()) {
        SCOPED_TRACE(ppdFileName(row.model));
        ppd_file_t* ppd = ppdOpenFile(builtPpd(row.model).c_str());
        ASSERT_NE(ppd, nullptr);
        EXPECT_EQ(ppd->model_number, row.model);
        const std::set<std::string> keywords = optionKeywords(ppd);
        EXPECT_EQ(keywords, expectedOptions(row));
        for (ppd_option_t* o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd)) {
            EXPECT_NE(ppdFindChoice(o, o->defchoice), nullptr) << o->keyword << " has no default";
            if (std::string(o->keyword) == "Resolution")
                continue;
            for (int i = 0; i < o->num_choices; ++i) {
                if (std::string(o->choices[i].choice) == "Custom")
                    continue; // the custom value of PaperReduction
                EXPECT_TRUE(isDecimal(o->choices[i].choice)) << o->keyword << " " << o->choices[i].choice;
                EXPECT_STRNE(o->choices[i].text, o->choices[i].choice) << o->keyword << " has no text";
            }
        }
        std::set<std::string> sizes{"80", "58", "802", "582", "56", "75", "94", "110", "111", "112", "138", "139", "Custom"};
        if (row.grayScaling)
            sizes.insert({"96", "101"});
        EXPECT_EQ(choices(ppd, "PageSize"), sizes);
        ppdMarkDefaults(ppd);
        EXPECT_LE(ppdPageSize(ppd, nullptr)->length, 842.f); // the default page: at most 297 mm
        if (row.colorOptions) {
            EXPECT_EQ(choices(ppd, "ColorModel"),
                      (row.colorPath ? std::set<std::string>{"0", "1"} : std::set<std::string>{"1"}));
        }
        EXPECT_EQ(ppdFindCustomOption(ppd, "PaperReduction") != nullptr, row.reductionOption);
        // Pictures keep their colors only on a color device.
        EXPECT_EQ(ppd->color_device != 0, row.colorOptions && row.colorPath);
        ppdClose(ppd);
    }
}

// `cmake --install` into a staging root: the filters executable by all and
// writable by the owner only, the PPDs where CUPS finds drivers; cupstestppd
// then finds each PPD's filters there and passes every PPD.
TEST(Ppds, InstallPutsFiltersAndPpdsWhereCupsLooks)
{
    const fs::path root = fs::path(writeTempFile("install-root-marker", "")).parent_path() / "install-root";
    FilterInvocation install{{"--install", PELTRIN_BUILD_DIR}, std::nullopt, ""};
    install.program = "cmake";
    install.env = {"DESTDIR=" + root.string()};
    const FilterRun installed = runFilter(install);
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;

    for (const char* filter : {"rastertoPeltrin", "pdftoPeltrin"}) {
        struct stat st {};
        ASSERT_EQ(stat((root / "usr/lib/cups/filter" / filter).c_str(), &st), 0) << filter;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << filter;
        if (geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 0u) << filter;
        }
    }
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "usr/share/ppd/peltrin")) {
        ++count;
        SCOPED_TRACE(entry.path().filename().string());
        const FilterRun test = runProgram("cupstestppd", {"-R", root.string(), entry.path().string()});
        EXPECT_EQ(test.status, 0) << test.out;
        EXPECT_NE(test.out.find(": PASS"), std::string::npos) << test.out;
        EXPECT_EQ(test.out.find("FAIL"), std::string::npos) << test.out;
    }
    EXPECT_EQ(count, modelTable().size());
}

} // namespace
