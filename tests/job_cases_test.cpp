// Whole jobs of the real executables, one per file of tests/jobs/: NAME.job
// describes the job; NAME.hex holds its exact printer bytes (for
// peltrin-preview NAME.out, its standard output) and exit status, NAME.log
// its exact log (bytes as hexadecimal text, XX*N for N bytes XX).
// PELTRIN_UPDATE_JOBS=1 rewrites NAME.hex/.out/.log from the
// current programs; review the difference before committing it.
//
// A .job file has one directive a line ('#' starts a comment):
//   model N... | model all N...   the job once per model (all: the model table)
//   ppd [-Keyword...] | ppd built | ppd none | ppd PATH
//       a PPD with every option (the job's options as its defaults, the
//       keywords given left out), the PPD the build made, none, or a path
//   options TEXT / title TEXT / args A B ...  (args replaces the whole list)
//   page [xN] mono|color WIDTH HEIGHT [pattern | hex XX...]   pixels written
//       with libcupsimage; pattern: dots, runs and blank rows at both ends
//   patch PAGE FIELD VALUE / short PAGE BYTES   a header field, a cut page
//   text ESCAPED-TEXT | text-empty | text-pattern SIZE   a text file as the job's file
//   file named | file pipe PIECE | file PATH   the pages or text as a named file, as
//       /dev/stdin written PIECE bytes at a time, or that path as the file argument
//   program preview / stdin-case NAME / stdin-hex XX... / env NAME=VALUE
// Hexadecimal bytes may repeat: 00*720 is 720 zero bytes.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/job/model_table.h"
#include "tests/support/cups_setup.h"
#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

const std::string kDir = PELTRIN_JOBS_DIR;

// A page with scattered dots, runs of 00 and FF and, on taller pages, blank
// rows at both ends; bits past the width are zero, as CUPS writes them.
std::vector<uint8_t> patternPixels(uint32_t width, uint32_t height, uint32_t b)
{
    const uint32_t bandBytes = (width + 7) / 8, margin = std::min<uint32_t>(2, height / 4);
    const uint8_t lastByteMask = static_cast<uint8_t>(0xFF << ((8 - width % 8) % 8));
    std::vector<uint8_t> pixels(std::size_t{height} * b, 0);
    for (uint32_t r = margin; r + margin < height; ++r)
        for (uint32_t i = 0; i < b; ++i) {
            uint32_t x = (r * 2654435761u) ^ (i * 40503u + 0x9E37u);
            x ^= x >> 13;
            uint8_t v = (r / 5) % 3 == 1 ? 0xFF : (x % 3 == 0 ? static_cast<uint8_t>(x >> 7) : 0);
            pixels[std::size_t{r} * b + i] = i % bandBytes == bandBytes - 1 ? v & lastByteMask : v;
        }
    return pixels;
}

// \n \t \r \\ and \xNN.
std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size())
            out += s[i];
        else if (const char c = s[++i]; c == 'x')
            out += static_cast<char>(std::stoul(s.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::size_t headerField(const std::string& name)
{
    using H = cups_page_header_t;
    static const std::map<std::string, std::size_t> fields{
        {"cupsWidth", offsetof(H, cupsWidth)}, {"cupsHeight", offsetof(H, cupsHeight)},
        {"cupsBytesPerLine", offsetof(H, cupsBytesPerLine)}, {"cupsBitsPerPixel", offsetof(H, cupsBitsPerPixel)},
        {"cupsColorSpace", offsetof(H, cupsColorSpace)}, {"cupsColorOrder", offsetof(H, cupsColorOrder)}};
    return fields.at(name);
}

struct Job {
    std::vector<int> models{1};
    std::string ppd, options, title = "title", program, file, input;
    std::vector<std::string> args, env;
    bool hasArgs = false, text = false;
    std::size_t piece = 0;
    std::vector<TestPage> pages;
    std::vector<std::tuple<std::size_t, std::size_t, uint32_t>> patches; // page, field offset, value
};

Job readJob(const std::string& path)
{
    Job job;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        std::istringstream in(line);
        std::string word, rest;
        std::getline(in >> word >> std::ws, rest);
        std::istringstream words(rest);
        if (word == "model") {
            job.models.clear();
            for (const ModelRow& row : modelTable())
                if (rest.starts_with("all"))
                    job.models.push_back(row.model);
            for (std::string m; words >> m;)
                if (m != "all")
                    job.models.push_back(std::stoi(m));
        } else if (word == "ppd" || word == "options" || word == "title" || word == "program" || word == "file") {
            (word == "ppd" ? job.ppd : word == "options" ? job.options : word == "title" ? job.title
                             : word == "program"       ? job.program : job.file) = rest;
            if (word == "file")
                words >> job.file >> job.piece;
        } else if (word == "args") {
            job.hasArgs = true;
            for (std::string a; words >> a;)
                job.args.push_back(a);
        } else if (word == "page") {
            std::string kind, fill;
            uint32_t count = 1, width, height;
            if (words >> kind; kind.starts_with("x"))
                count = std::stoul(kind.substr(1)), words >> kind;
            words >> width >> height >> fill;
            TestPage page{kind == "color" ? twoColorHeader(width, height) : monoHeader(width, height), {}};
            if (fill == "pattern")
                page.pixels = patternPixels(width, height, page.header.cupsBytesPerLine);
            if (fill == "hex" && std::getline(words, fill)) {
                const std::string bytes = bytesFromHex(fill);
                page.pixels.assign(bytes.begin(), bytes.end());
            }
            job.pages.insert(job.pages.end(), count, page);
        } else if (word == "patch") {
            std::size_t page;
            std::string field;
            uint32_t value;
            words >> page >> field >> value;
            job.patches.emplace_back(page, headerField(field), value);
        } else if (word == "short") {
            std::size_t page;
            words >> page >> job.pages.at(page).writtenBytes;
        } else if (word.starts_with("text")) {
            job.text = true;
            job.input = word == "text" ? unescape(rest) : "";
            for (std::size_t i = 0; word == "text-pattern" && i < std::stoul(rest); ++i)
                job.input += static_cast<char>(i % 1000 == 10 ? 0 : 1 + (i * 7 + 3) % 255);
        } else if (word == "stdin-case" || word == "stdin-hex") {
            job.input += word == "stdin-case" ? jobCaseBytes(rest) : bytesFromHex(rest);
        } else if (word == "env") {
            job.env.push_back(rest);
        } else if (!word.empty() && !word.starts_with("#")) {
            ADD_FAILURE() << path << ": unknown directive " << word;
        }
    }
    return job;
}

FilterRun runJob(const Job& job, int model, const std::string& name)
{
    if (job.program == "preview")
        return runPreview(job.args, job.input, job.env);
    std::string input = job.pages.empty() ? job.input : rasterStream(job.pages);
    for (const auto& [page, field, value] : job.patches)
        std::memcpy(input.data() + pageHeaderStart(job.pages, page) + field, &value, 4);
    FilterInvocation run{{"1", "user", job.title, "1", job.options}, std::nullopt, "", job.piece};
    if (job.hasArgs)
        run.args = job.args;
    if (job.ppd == "built") {
        run.ppd = builtPpd(model);
    } else if (job.ppd.starts_with("/")) {
        run.ppd = job.ppd;
    } else if (job.ppd != "none") {
        TestPpd ppd = TestPpd::full(model);
        std::istringstream words(job.options + " " + job.ppd);
        for (std::string w; words >> w;)
            if (w.starts_with("-"))
                ppd.remove(w.substr(1));
            else if (const std::size_t eq = w.find('='); eq != std::string::npos && w[eq + 1] != '{' &&
                                                           !w.substr(eq + 1).starts_with("Custom."))
                ppd.setDefault(w.substr(0, eq), w.substr(eq + 1));
        run.ppd = writeTempFile(name + ".ppd", ppd.text());
    }
    const std::string file = job.text && job.file.empty() ? "named" : job.file;
    if (!file.empty())
        run.args.push_back(file == "named" ? writeTempFile(name, input) : file == "pipe" ? "/dev/stdin" : file);
    run.input = file == "named" ? "" : input;
    return runFilter(run);
}

class JobCase : public testing::TestWithParam<std::string> {};

TEST_P(JobCase, PrinterBytesAndLogAreExact)
{
    const std::string name = GetParam(), base = kDir + "/" + name;
    const Job job = readJob(base + ".job");
    std::string out, log;
    for (int model : job.models) {
        if (job.models.size() > 1) {
            out += "# model " + std::to_string(model) + "\n";
            log += "# model " + std::to_string(model) + "\n";
        }
        const FilterRun run = runJob(job, model, name);
        ASSERT_EQ(run.signal, 0);
        // 32 bytes a line; 8 or more equal bytes in a row as XX*N.
        for (std::size_t i = 0, n, onLine = 0; job.program.empty() && i < run.out.size(); i += n) {
            for (n = 1; i + n < run.out.size() && run.out[i + n] == run.out[i];)
                ++n;
            n = n < 8 ? 1 : n;
            out += hexBytes(run.out.substr(i, 1)) + (n > 1 ? "*" + std::to_string(n) : "") +
                   (++onLine % 32 == 0 || i + n == run.out.size() ? "\n" : " ");
        }
        out += (job.program.empty() ? "" : run.out) + "exit " + std::to_string(run.status) + "\n";
        // Temporary files and buffer addresses change from run to run (the
        // files first: a folder's random name may hold "0x").
        std::string err = run.err;
        for (std::size_t at = err.find("/peltrin-test-"); at != std::string::npos; at = err.find("/peltrin-test-"))
            err.replace(at, err.find('/', at + 1) - at, "/TMP");
        for (std::size_t at = err.find("0x"); job.program.empty() && at != std::string::npos; at = err.find("0x", at + 1))
            err.replace(at, err.find('\n', at) - at, "ADDRESS");
        log += err;
    }
    const std::string outFile = base + (job.program.empty() ? ".hex" : ".out");
    if (std::getenv("PELTRIN_UPDATE_JOBS") != nullptr) {
        std::ofstream(outFile, std::ios::binary) << out;
        std::ofstream(base + ".log", std::ios::binary) << log;
    }
    EXPECT_EQ(out, readFile(outFile));
    EXPECT_EQ(log, readFile(base + ".log"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobCase, testing::ValuesIn([] {
                             std::vector<std::string> names;
                             for (const auto& entry : std::filesystem::directory_iterator(kDir))
                                 if (entry.path().extension() == ".job")
                                     names.push_back(entry.path().stem().string());
                             std::sort(names.begin(), names.end());
                             return names;
                         }()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

} // namespace
