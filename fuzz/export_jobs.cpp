// Turns fuzz inputs into filter jobs that can be run on the real executable
// (for example the 32-bit ARM build under qemu, against the host build):
// writes the PPD of each fuzzed model and each input's raster stream to a
// folder, and prints one line per job: name, PPD path, options (tab
// separated).
//
//   peltrin_fuzz_export <folder> <input>...
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_input.h"
#include "tests/support/ppd_writer.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> <input>...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::string ppds[std::size(kFuzzModels)];
    for (std::size_t i = 0; i < std::size(kFuzzModels); ++i) {
        ppds[i] = (folder / ("model" + std::to_string(kFuzzModels[i]) + ".ppd")).string();
        std::ofstream(ppds[i], std::ios::binary) << TestPpd::full(kFuzzModels[i]).text();
    }
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (input.size() < kOptionBytes)
            continue;
        const FuzzOptions o = FuzzOptions::decode(reinterpret_cast<const uint8_t*>(input.data()));
        const std::string name = std::filesystem::path(argv[i]).filename().string();
        std::ofstream(folder / (name + ".ras"), std::ios::binary) << input.substr(kOptionBytes);
        std::printf("%s\t%s\t%s\n", name.c_str(), ppds[o.model].c_str(), o.jobOptions().c_str());
    }
    return 0;
}
