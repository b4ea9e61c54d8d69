#include <gtest/gtest.h>

#include "level.h"
#include "level_file.h"

namespace {

struct FileCase {
    const char* name;
    LevelGrid grid;
    int width;
    int height;
    std::string bytes;
};

LevelGrid toggled(LevelGrid grid, int column, int row)
{
    toggleCell(grid, column, row);
    return grid;
}

void PrintTo(const FileCase& level, std::ostream* out) { *out << level.name; }

class LevelBytes : public testing::TestWithParam<FileCase> {};

TEST_P(LevelBytes, AreExact)
{
    const auto& level = GetParam();
    EXPECT_EQ(formatLevel(level.grid, level.width, level.height), level.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LevelBytes,
    testing::Values(
        FileCase{"AfterOneToggle", toggled(buildGrid(4, 3), 1, 1), 4, 3,
                 "4 3\r\n\r\n1 1 1 1 \r\n1 1 0 1 \r\n1 1 1 1 \r\n"},
        FileCase{"Fresh", buildGrid(4, 3), 4, 3,
                 "4 3\r\n\r\n1 1 1 1 \r\n1 0 0 1 \r\n1 1 1 1 \r\n"},
        // The header keeps the height given; the rows are the grid's.
        FileCase{"HeightOne", buildGrid(4, 1), 4, 1,
                 "4 1\r\n\r\n1 1 1 1 \r\n1 1 1 1 \r\n"},
        FileCase{"WidthOne", buildGrid(1, 3), 1, 3,
                 "1 3\r\n\r\n1 \r\n1 \r\n1 \r\n"},
        FileCase{"NegativeHeight", buildGrid(4, 2), 4, -2,
                 "4 -2\r\n\r\n1 1 1 1 \r\n1 1 1 1 \r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(LevelBytes, LargestLevelIs3049BytesOfCrLfLines)
{
    const std::string bytes = formatLevel(buildGrid(75, 20), 75, 20);
    EXPECT_EQ(bytes.size(), 3049u);
    EXPECT_EQ(bytes.substr(0, 9), "75 20\r\n\r\n");
    std::string row;
    for (int column = 0; column < 75; ++column)
        row += column == 0 || column == 74 ? "1 " : "0 ";
    EXPECT_EQ(bytes.substr(9 + 152, 152), row + "\r\n");
    // CR and LF come only as a pair.
    std::string withoutPairs = bytes;
    for (auto at = withoutPairs.find("\r\n"); at != std::string::npos;
         at = withoutPairs.find("\r\n"))
        withoutPairs.erase(at, 2);
    EXPECT_EQ(withoutPairs.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
