#include "screen.h"

#include <string>

#include "console.h"

namespace {


// The level's top-left cell stands at this screen position.
constexpr int gridColumn = 2;
constexpr int gridRow = 4;

// Shown as a diamond, the block of the game.
constexpr char blockCharacter = 4;

struct FixedText {
    const char* text;
    std::int16_t column;
    std::int16_t row;
    std::uint16_t foreground;
};

// The version is the project's, set once in the build.
constexpr FixedText title{"Glisk Level editor versie: " GLISK_VERSION, 25, 0,
                          colourWhite};
constexpr FixedText help{
    "SPATIE is blokje of niet, ESCAPE is stoppen, ENTER is saven", 10, 2,
    colourLightGrey};
constexpr FixedText credit{
    "Ontwerp je eigen level en speel het daarna in Glisk!", 14, 24,
    colourWhite};
constexpr FixedText saved{"Het bestand is gesaved,", 28, 12, colourLightGrey};
constexpr FixedText saveFailed{"Het bestand is niet gesaved!", 26, 3,
                               colourLightGrey};

void drawText(const FixedText& fixed)
{
    writeTextAt(fixed.text, fixed.column, fixed.row, fixed.foreground,
                colourBlack);
}

void drawCell(const LevelGrid& grid, int column, int row, bool underCursor)
{
    const std::uint16_t foreground = underCursor ? colourWhite : colourYellow;
    const std::uint16_t background = underCursor ? colourDarkGrey : colourBlack;
    const auto screenColumn = static_cast<std::int16_t>(column + gridColumn);
    const auto screenRow = static_cast<std::int16_t>(row + gridRow);
    if (grid[row][column] == 1)
        writeCharAt(blockCharacter, screenColumn, screenRow, foreground,
                    background);
    else
        writeTextAt(" ", screenColumn, screenRow, foreground, background);
}

}  // namespace

void drawScreen(LevelGrid grid, int cursorColumn, int cursorRow)
{
    clearScreen();
    drawText(title);
    drawText(credit);
    drawText(help);
    for (std::size_t row = 0; row < grid.size(); ++row)
        for (std::size_t column = 0; column < grid[row].size(); ++column)
            drawCell(grid, static_cast<int>(column), static_cast<int>(row),
                     static_cast<int>(column) == cursorColumn &&
                         static_cast<int>(row) == cursorRow);
}

void drawCursorMove(LevelGrid grid, int column, int row, int previousColumn,
                    int previousRow)
{
    drawCell(grid, previousColumn, previousRow, false);
    drawCell(grid, column, row, true);
}

void drawSavedMessage()
{
    drawText(saved);
}

void drawSaveFailedMessage()
{
    drawText(saveFailed);
}

// Leaves the message's cells as the full draw leaves the rest of the screen.
void clearSaveFailedMessage()
{
    const std::string cleared(std::char_traits<char>::length(saveFailed.text),
                              '\0');
    writeTextAt(cleared, saveFailed.column, saveFailed.row, colourLightGrey,
                colourBlack);
}
