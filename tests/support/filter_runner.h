// Runs the real executables as the spooler would: an argument vector, an
// environment (PPD) and standard input; captures standard output bytes,
// standard error text and the exit status. A program that hangs is killed
// after 300 s (what it wrote so far is kept).
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FilterRun {
    std::string out;  // printer bytes
    std::string err;  // log
    int status = -1;  // exit status, or -1 when the process did not exit normally
    int signal = 0;   // terminating signal, if any
};

struct FilterInvocation {
    std::vector<std::string> args;  // argv[1..]
    std::optional<std::string> ppd; // PPD environment variable (unset when empty)
    std::string input;              // standard input
    std::size_t inputPiece = 0;     // when not 0: written this many bytes at a time, with pauses
    std::string program{};          // another program (found in PATH) instead of rastertoPeltrin
    std::vector<std::string> env{}; // more NAME=value environment settings
};

FilterRun runFilter(const FilterInvocation& invocation);
// The usual raster job: "1 user title 1 <options>" with stdin.
FilterInvocation rasterJob(const std::string& ppdPath, const std::string& options, std::string input);
// `program` (found in PATH) with the arguments; PPD is left as it is.
FilterRun runProgram(const std::string& program, const std::vector<std::string>& args);
// peltrin-preview with the arguments, reading `input`.
FilterRun runPreview(std::vector<std::string> args, std::string input, std::vector<std::string> env = {});
// Path of rastertoPeltrin.
const char* filterPath();

// Bytes as "1B 40 0A" for readable failures.
std::string hexBytes(const std::string& bytes);
// Bytes from hexadecimal text: "1B 40 00*720" (XX*N: N bytes XX).
std::string bytesFromHex(const std::string& hex);
// The printer bytes of a job case (tests/jobs/<name>.hex without its exit line).
std::string jobCaseBytes(const std::string& name);
