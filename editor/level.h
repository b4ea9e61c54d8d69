// The level being edited, and the cursor's moves over it.
#pragma once

#include <cstdint>
#include <vector>

// grid[row][column]: 1 is a block, 0 is empty.
using LevelGrid = std::vector<std::vector<std::int32_t>>;

constexpr int maxWidth = 75;
constexpr int maxHeight = 20;

// A level of width by height cells inside a border of blocks. It always has
// a top and a bottom border, so a height of 1 gives two rows.
LevelGrid buildGrid(int width, int height);

void toggleCell(LevelGrid& grid, int column, int row);

// Moves the cursor one cell for an arrow key, remembering where it stood.
// Other keys leave both positions alone.
void moveCursor(int key, int& column, int& row, int& previousColumn,
                int& previousRow);

// Pulls a cursor that has just stepped past an edge back onto the level.
void keepCursorInside(int& column, int& row, int width, int height);
