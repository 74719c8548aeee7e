// peltrin-preview: what the printer would print of the filter's printer
// bytes, as a PNG picture of the paper roll and as a list of commands.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "preview/dump.h"
#include "preview/printer_stream.h"
#include "preview/render.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kUsage = 1; // also reading or writing failed

const char kHelp[] = R"(usage: peltrin-preview [--dump] [-o picture.png] [file]

Reads the printer bytes that rastertoPeltrin wrote (file, or standard input
when there is none or it is -) and checks every command. With -o it draws
the paper roll as the printer would print it into a PNG (-o - writes it to
standard output): raster images in black and the second color in red, text
in DejaVu Sans Mono (12 dots a character, 30 dots a line), stored logos as
labelled boxes, cuts as blue dashed lines, line and form feeds as blank
paper. The roll is as wide as the widest raster command, 576 dots when there
is none. PELTRIN_PREVIEW_FONT names another font file.

  --dump    list every command on standard output, one line each
  -o FILE   write the picture of the roll to FILE
  --help    this text
  --version print the version

Dump lines: the command's byte offset in decimal (six digits or more), a
space, the command:
  000000 ESC @ initialize
  000002 ESC a 1 justify center
  000005 ESC p drawer=0 pulse=50 off=255
  000010 FS p logo 1 scale 0
  000014 GS ( L 69 nv logo key "01" x=1 y=1
  000025 GS ( L 112 store color=49 width=576 rows=70 (5040 bytes)
  005080 GS ( L 50 print
  005087 GS v 0 raster mode=0 bytes-per-line=72 rows=200
  019495 compressed band width=576 rows=246 (3012 coded bytes)
  022524 GS V 65 1 cut
  022528 GS e 3 0 eject
  022532 LF
  022533 FF
  022534 text "Hello" (5 bytes)
  022539 720 zero bytes
Text is quoted with \" \\ \t \r and \xNN for other bytes, its first 60
bytes shown (then ...).

Exit status: 0 when every command decodes (and the picture is written),
2 when the bytes do not decode or are empty (the reason on standard error,
"peltrin-preview: offset N: reason"), 1 for a wrong command line, a file
that cannot be read or written, or a missing font.
)";

int usage(const char* message)
{
    std::fprintf(stderr, "peltrin-preview: %s\nusage: peltrin-preview [--dump] [-o picture.png] [file]\n", message);
    return kUsage;
}

bool readAll(std::FILE* file, std::string& bytes)
{
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    return std::ferror(file) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool dump = false;
    const char* picturePath = nullptr;
    const char* inputPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("peltrin-preview %s\n", PELTRIN_VERSION);
            return 0;
        }
        if (arg == "--dump") {
            dump = true;
        } else if (arg == "-o") {
            if (i + 1 == argc)
                return usage("-o needs a file name");
            picturePath = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(("unknown option " + std::string(arg)).c_str());
        } else if (inputPath != nullptr) {
            return usage("more than one input file");
        } else {
            inputPath = argv[i];
        }
    }
    const bool pictureToStdout = picturePath != nullptr && std::string_view(picturePath) == "-";
    if (dump && pictureToStdout)
        return usage("--dump and -o - both write to standard output");

    std::string bytes;
    const bool fromStdin = inputPath == nullptr || std::string_view(inputPath) == "-";
    const char* inputName = fromStdin ? "standard input" : inputPath;
    std::FILE* input = fromStdin ? stdin : std::fopen(inputPath, "rb");
    if (input == nullptr || !readAll(input, bytes)) {
        std::fprintf(stderr, "peltrin-preview: cannot read %s: %s\n", inputName, std::strerror(errno));
        return kUsage;
    }
    if (!fromStdin)
        std::fclose(input);
    if (bytes.empty()) {
        std::fprintf(stderr, "peltrin-preview: offset 0: empty input, no printer bytes\n");
        return kBadInput;
    }

    std::vector<Command> commands;
    try {
        commands = parseCommands(bytes);
    } catch (const DecodeError& error) {
        std::fprintf(stderr, "peltrin-preview: %s\n", error.what());
        return kBadInput;
    }
    if (dump)
        std::fputs(dumpCommands(commands).c_str(), stdout);
    if (picturePath == nullptr)
        return std::fflush(stdout) == 0 ? 0 : kUsage;

    Picture picture;
    try {
        const char* font = std::getenv("PELTRIN_PREVIEW_FONT");
        picture = renderRoll(commands, {.fontPath = font != nullptr ? font : kDefaultFont});
    } catch (const RenderError& error) {
        std::fprintf(stderr, "peltrin-preview: %s\n", error.what());
        return error.badInput ? kBadInput : kUsage;
    }
    std::FILE* output = pictureToStdout ? stdout : std::fopen(picturePath, "wb");
    bool written = output != nullptr && writePng(picture, output);
    if (output != nullptr && !pictureToStdout)
        written = std::fclose(output) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "peltrin-preview: cannot write %s\n", pictureToStdout ? "standard output" : picturePath);
        return kUsage;
    }
    return 0;
}
