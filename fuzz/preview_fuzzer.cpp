// libFuzzer harness for peltrin-preview's decoder: arbitrary bytes are
// decoded, listed and drawn (with a small picture limit). Bytes that do not
// decode must end in a DecodeError, never in a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "preview/dump.h"
#include "preview/render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<Command> commands;
    try {
        commands = parseCommands(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const DecodeError&) {
        return 0;
    }
    (void)dumpCommands(commands);
    (void)commandShape(commands);
    try {
        (void)printedMonochrome(commands);
    } catch (const DecodeError&) {
    }
    try {
        (void)printedPlanes(commands);
    } catch (const DecodeError&) {
    }
    try {
        (void)renderRoll(commands, {.maxDots = uint64_t{1} << 22});
    } catch (const RenderError&) {
    }
    return 0;
}
