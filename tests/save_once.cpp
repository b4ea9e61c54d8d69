// Saves a fresh level of the given size to level.dat in the current
// directory, as the editor's Enter does, and tells by its exit status whether
// the save says it worked: 0 saved, 1 not saved. The calls the save makes
// stand between two look-ups of marker names, so that a trace can tell them
// from the program's start and end.
#include <unistd.h>

#include <cstdlib>

#include "level.h"
#include "level_file.h"

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 4;
    const int height = argc > 2 ? std::atoi(argv[2]) : 3;
    const LevelGrid grid = buildGrid(width, height);
    access("glisk-save-begins", F_OK);
    const bool saved = saveLevel(grid, width, height);
    access("glisk-save-ends", F_OK);
    return saved ? 0 : 1;
}
