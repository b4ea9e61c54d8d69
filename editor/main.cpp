// Glisk level editor: asks for the level's size, then lets the user lay out
// blocks with the arrow keys and Space, save with Enter or stop with Escape.
#include <iostream>

#include "answers.h"
#include "console.h"
#include "level.h"
#include "level_file.h"
#include "screen.h"

namespace {

const char* const widthQuestion = "Hoe breed moet het level zijn? (max. 75) ";
const char* const heightQuestion = "Hoe Hoog moet het level zijn? (max. 20) ";

// Saves the level; returns whether the editing may end.
bool saveAndTell(const LevelGrid& grid, int width, int height,
                 bool& failureShown)
{
    if (!saveLevel(grid, width, height)) {
        drawSaveFailedMessage();
        failureShown = true;
        return false;
    }
    if (failureShown)
        clearSaveFailedMessage();
    drawSavedMessage();
    return true;
}

}  // namespace

int main()
{
    int cursorColumn = 0;
    int cursorRow = 0;
    int previousColumn = 0;
    int previousRow = 0;

    if (!consoleIsUsable())
        return 1;

    bool answerTypedAhead = false;
    const auto widthAnswer =
        askNumber(std::cin, std::cout, widthQuestion, answerTypedAhead);
    if (!widthAnswer) {
        std::cout << std::endl;
        return 0;
    }
    const auto heightAnswer =
        askNumber(std::cin, std::cout, heightQuestion, answerTypedAhead);
    if (!heightAnswer) {
        std::cout << std::endl;
        return 0;
    }
    const int width = *widthAnswer > maxWidth ? maxWidth : *widthAnswer;
    const int height = *heightAnswer > maxHeight ? maxHeight : *heightAnswer;

    LevelGrid grid = buildGrid(width, height);
    openConsole();
    hideCursor();
    drawScreen(grid, cursorColumn, cursorRow);

    bool failureShown = false;
    bool done = false;
    while (!done) {
        drawCursorMove(grid, cursorColumn, cursorRow, previousColumn,
                       previousRow);
        const int key = readKey();
        if (key == keyReturn)
            done = saveAndTell(grid, width, height, failureShown);
        else if (key == keyEscape)
            done = true;
        else if (key == keySpace)
            toggleCell(grid, cursorColumn, cursorRow);
        else
            moveCursor(key, cursorColumn, cursorRow, previousColumn,
                       previousRow);
        keepCursorInside(cursorColumn, cursorRow, width, height);
    }

    pauseForKey();
    closeConsole();
    return 0;
}
