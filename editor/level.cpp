#include "level.h"

#include "console.h"

LevelGrid buildGrid(int width, int height)
{
    LevelGrid grid;
    std::vector<std::int32_t> pattern(width, 1);
    grid.push_back(pattern);

    pattern[0] = 1;
    for (int column = 1; column <= width - 2; ++column)
        pattern[column] = 0;
    pattern[width - 1] = 1;
    for (int row = 1; row <= height - 2; ++row)
        grid.push_back(pattern);

    for (auto& cell : pattern)
        cell = 1;
    grid.push_back(pattern);
    return grid;
}

void toggleCell(LevelGrid& grid, int column, int row)
{
    auto& cell = grid[row][column];
    cell = cell == 0 ? 1 : 0;
}

void moveCursor(int key, int& column, int& row, int& previousColumn,
                int& previousRow)
{
    if (key != keyLeft && key != keyUp && key != keyRight && key != keyDown)
        return;
    previousColumn = column;
    previousRow = row;
    if (key == keyLeft)
        --column;
    else if (key == keyUp)
        --row;
    else if (key == keyRight)
        ++column;
    else
        ++row;
}

void keepCursorInside(int& column, int& row, int width, int height)
{
    if (column == width)
        column = width - 1;
    if (column < 0)
        column = 0;
    if (row == height)
        row = height - 1;
    if (row < 0)
        row = 0;
}
