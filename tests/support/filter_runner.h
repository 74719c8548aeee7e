// Runs the real rastertoPeltrin executable as the spooler would: an argument
// vector, an environment (PPD) and standard input; captures standard output
// bytes, standard error text and the exit status. Runs the peltrin-preview
// program the same way.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

struct FilterRun {
    std::string out;  // printer bytes
    std::string err;  // log
    int status = -1;  // exit status, or -1 when the process did not exit normally
    int signal = 0;   // terminating signal, if any
};

struct FilterInvocation {
    std::vector<std::string> args; // argv[1..]
    std::optional<std::string> ppd; // PPD environment variable (unset when empty)
    std::string input;              // standard input
    std::size_t inputPiece = 0;     // when not 0: written this many bytes at a time, with pauses
    std::string program{};          // another program (found in PATH) instead of the filter
    std::vector<std::pair<std::string, std::string>> env{}; // more environment variables
    int timeoutSeconds = 300;       // then the program is killed (FilterRun::signal SIGKILL)
};

// Runs `program` (found in PATH) with the arguments; PPD is left as it is.
FilterRun runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "");

// The usual raster job: "1 user title 1 <options>" with stdin.
FilterInvocation rasterJob(const std::string& ppdPath, const std::string& options, std::string input);

FilterRun runFilter(const FilterInvocation& invocation);

// Path of the executable under test.
const char* filterPath();
// Path of the peltrin-preview program.
const char* previewPath();

// peltrin-preview with the arguments, reading `input` on standard input;
// env holds more NAME=value settings.
FilterRun runPreview(std::vector<std::string> args, std::string input, std::vector<std::string> env = {});

// Bytes as "1B 40 0A" for readable failures.
std::string hexBytes(const std::string& bytes);
// Bytes from a list of values.
std::string bytesOf(std::initializer_list<int> values);
// The printer bytes of a job case (tests/jobs/<name>.hex without its exit line).
std::string jobCaseBytes(const std::string& name);
