#include "level_file.h"

#include "file.h"

namespace {

constexpr const char* levelFileName = "level.dat";
constexpr const char* lineEnd = "\r\n";

}  // namespace

std::string formatLevel(const LevelGrid& grid, int width, int height)
{
    std::string text = std::to_string(width) + ' ' + std::to_string(height) +
                       lineEnd + lineEnd;
    for (const auto& row : grid) {
        for (const auto cell : row)
            text += std::to_string(cell) + ' ';
        text += lineEnd;
    }
    return text;
}

bool saveLevel(LevelGrid grid, int width, int height)
{
    return replaceFileContent(levelFileName, formatLevel(grid, width, height));
}
