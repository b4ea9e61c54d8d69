// The editing screen: title, help line, the level's cells and credit line,
// on a screen of 80 by 25 cells.
#pragma once

#include "level.h"

// Paints the whole screen once, the cell under the cursor highlighted.
void drawScreen(LevelGrid grid, int cursorColumn, int cursorRow);

// Repaints the cell the cursor left, then the cell it stands on.
void drawCursorMove(LevelGrid grid, int column, int row, int previousColumn,
                    int previousRow);

void drawSavedMessage();
void drawSaveFailedMessage();
void clearSaveFailedMessage();
