// The printer stream as text: one line per command, for people (the
// preview's --dump) and for tests.
#pragma once

#include <string>
#include <vector>

#include "preview/printer_stream.h"

// The command without its offset, e.g. "ESC a 1 justify center" or
// "GS ( L 112 store color=49 width=576 rows=70 (5040 bytes)".
std::string describeCommand(const Command& command);

// One line per command: its offset in decimal, at least six digits wide, a
// space and its description; each line ends with '\n'.
std::string dumpCommands(const std::vector<Command>& commands);

// The raster commands in brief, space separated: "K70" and "C70" for stores
// of 70 rows in the first (49) and second (50) color, "P" a graphics print,
// "B246" a compressed band of 246 rows, "V2" a GS v 0 image of 2 rows; any
// other command by a short name (init, justify, drawer, fs-logo, nv-logo,
// cut, eject, lf, ff, text, zeros).
std::string commandShape(const std::vector<Command>& commands);
