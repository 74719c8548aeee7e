#include "tests/support/ppd_writer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace {

std::vector<std::string> numbers(std::initializer_list<int> values)
{
    std::vector<std::string> out;
    for (int v : values)
        out.push_back(std::to_string(v));
    return out;
}

// A temporary folder of this process, removed at exit.
struct TempDir {
    std::string path = (std::filesystem::temp_directory_path() / "peltrin-test-XXXXXX").string();
    TempDir() { mkdtemp(path.data()); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

} // namespace

TestPpd TestPpd::full(int model)
{
    TestPpd ppd;
    ppd.model = model;
    ppd.options = {
        {"PageSize", numbers({1, 56, 75, 94, 96, 101, 110, 111, 112, 138, 139}), "1"},
        {"PageType", numbers({0, 1}), "0"},
        {"Rotation", numbers({0, 1, 2, 3}), "0"},
        {"FocusArea", numbers({0, 1, 2}), "0"},
        {"CompPrinting", numbers({0, 1, 2}), "0"},
        {"LabelPrinting", numbers({0, 1}), "0"},
        {"LogoPosition", numbers({0, 1, 2, 3, 4}), "0"},
        {"LogoJustification", numbers({0, 1, 2}), "0"},
        {"LogoImage", numbers({0, 1, 2, 3}), "0"},
        {"LogoWidth", numbers({0, 1, 2, 3, 4}), "0"},
        {"LineFeed", numbers({0, 1, 2, 3}), "0"},
        {"ColorModel", numbers({0, 1, 2}), "1"},
        {"PageCut", numbers({0, 1, 2, 3, 4, 5}), "0"},
        {"CashDrawer", numbers({0, 1, 2, 3}), "0"},
        {"CashDrawerOpen", numbers({0, 1, 2, 3}), "3"},
        {"CashDrawer1PulseWidth", numbers({100, 101, 200}), "100"},
        {"CashDrawer2PulseWidth", numbers({100, 200, 201}), "200"},
        {"EjectOption", numbers({0, 3, 5}), "0"},
    };
    return ppd;
}

TestPpd& TestPpd::setDefault(const std::string& keyword, const std::string& choice)
{
    for (PpdOption& o : options) {
        if (o.keyword == keyword) {
            if (std::find(o.choices.begin(), o.choices.end(), choice) == o.choices.end())
                o.choices.push_back(choice);
            o.defaultChoice = choice;
            return *this;
        }
    }
    options.push_back({keyword, {choice}, choice});
    return *this;
}

TestPpd& TestPpd::remove(const std::string& keyword)
{
    options.erase(std::remove_if(options.begin(), options.end(),
                                 [&](const PpdOption& o) { return o.keyword == keyword; }),
                  options.end());
    if (keyword == "PaperReduction")
        paperReductionCustom = false;
    return *this;
}

std::string TestPpd::text() const
{
    std::string t = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
                    "*LanguageEncoding: ISOLatin1\n*PCFileName: \"PELTRIN.PPD\"\n*Manufacturer: \"Peltrin\"\n"
                    "*Product: \"(Peltrin Test)\"\n*ModelName: \"Peltrin Test\"\n*ShortNickName: \"Peltrin Test\"\n"
                    "*NickName: \"Peltrin Test\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n"
                    "*ColorDevice: False\n*DefaultColorSpace: Gray\n*FileSystem: False\n*Throughput: \"1\"\n"
                    "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n*cupsVersion: 2.4\n*cupsModelNumber: " +
                    std::to_string(model) + "\n*cupsManualCopies: True\n"
                    "*cupsFilter: \"application/vnd.cups-raster 0 rastertoPeltrin\"\n";
    int order = 10;
    for (const PpdOption& o : options) {
        t += "*OpenUI *" + o.keyword + "/" + o.keyword + ": PickOne\n*OrderDependency: " + std::to_string(order++) +
             " AnySetup *" + o.keyword + "\n*Default" + o.keyword + ": " + o.defaultChoice + "\n";
        for (const std::string& c : o.choices)
            t += "*" + o.keyword + " " + c + "/" + c + ": \"\"\n";
        t += "*CloseUI: *" + o.keyword + "\n";
    }
    if (paperReductionCustom)
        t += "*OpenUI *PaperReduction/Paper Reduction: PickOne\n*OrderDependency: " + std::to_string(order) +
             " AnySetup *PaperReduction\n*DefaultPaperReduction: 0"
             "\n*PaperReduction 0/Off: \"\"\n*CloseUI: *PaperReduction\n*CustomPaperReduction True: \"\"\n"
             "*ParamCustomPaperReduction Value/Reduction: 1 int 1 100\n";
    return t;
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string writeTempFile(const std::string& name, const std::string& content)
{
    static TempDir dir;
    const std::filesystem::path path = std::filesystem::path(dir.path) / name;
    std::ofstream file(path, std::ios::binary);
    file << content;
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    return path.string();
}
