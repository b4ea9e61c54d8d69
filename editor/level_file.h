// The level file "level.dat": the width and height, an empty line, then one
// line of cell values for every row, each value followed by a blank. Lines
// end in CR LF on every platform.
#pragma once

#include <string>

#include "level.h"

std::string formatLevel(const LevelGrid& grid, int width, int height);

// Writes the level to "level.dat" in the current directory. Returns false
// when the level did not reach the file whole; the file's old content is then
// left as it was.
bool saveLevel(LevelGrid grid, int width, int height);
