// PPD files for tests: real PPD text that libcups parses, with numeric
// choice keywords, defaults, options left out and the PaperReduction custom
// option.
#pragma once

#include <map>
#include <string>
#include <vector>

struct PpdOption {
    std::string keyword;
    std::vector<std::string> choices;
    std::string defaultChoice;
};

struct TestPpd {
    int model = 1;
    std::vector<PpdOption> options;
    bool paperReductionCustom = true; // PaperReduction: 0 or a custom value

    // Every option the filter knows, with small numeric choice lists.
    static TestPpd full(int model);
    TestPpd& setDefault(const std::string& keyword, const std::string& choice);
    TestPpd& remove(const std::string& keyword);
    std::string text() const;
};

// A file in a per-process temporary folder, removed at exit.
std::string writeTempFile(const std::string& name, const std::string& content);
// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
