// The driver package: one PPD per model made by ppdc from ppd/peltrin.drv;
// the install puts the filters and PPDs where CUPS looks, and every
// installed PPD passes cupstestppd there.
#include <gtest/gtest.h>

#include <cups/ppd.h>
#include <filesystem>
#include <sys/stat.h>

#include "engine/job/model_table.h"
#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

namespace {

namespace fs = std::filesystem;

bool isDecimal(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// What each model's PPD offers is ppd/peltrin.drv (DrvFileMatchesTheModelTable);
// here libcups reads every PPD ppdc made of it.
TEST(Ppds, EveryBuiltPpdIsReadByLibcups)
{
    for (const ModelRow& row : modelTable()) {
        SCOPED_TRACE(ppdFileName(row.model));
        ppd_file_t* ppd = ppdOpenFile(builtPpd(row.model).c_str());
        ASSERT_NE(ppd, nullptr);
        EXPECT_EQ(ppd->model_number, row.model);
        for (ppd_option_t* o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd)) {
            EXPECT_NE(ppdFindChoice(o, o->defchoice), nullptr) << o->keyword << " has no default";
            for (int i = 0; std::string(o->keyword) != "Resolution" && i < o->num_choices; ++i) {
                const std::string choice = o->choices[i].choice;
                EXPECT_TRUE(choice == "Custom" || (isDecimal(choice) && choice != o->choices[i].text))
                    << o->keyword << " " << choice << " (a number with a text)";
            }
        }
        ppdMarkDefaults(ppd);
        EXPECT_LE(ppdPageSize(ppd, nullptr)->length, 842.f); // the default page: at most 297 mm
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
