#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "answers.h"
#include "console.h"
#include "level.h"

namespace {

// A grid written as one string per row, '#' a block and '.' empty.
std::vector<std::string> picture(const LevelGrid& grid)
{
    std::vector<std::string> rows;
    for (const auto& row : grid) {
        std::string text;
        for (const auto cell : row)
            text += cell == 1 ? '#' : cell == 0 ? '.' : '?';
        rows.push_back(text);
    }
    return rows;
}

struct GridCase {
    int width;
    int height;
    std::vector<std::string> rows;
};

void PrintTo(const GridCase& shape, std::ostream* out)
{
    *out << shape.width << " by " << shape.height;
}

class BuildGrid : public testing::TestWithParam<GridCase> {};

TEST_P(BuildGrid, GivesABorderedLevel)
{
    const auto& expected = GetParam();
    EXPECT_EQ(picture(buildGrid(expected.width, expected.height)),
              expected.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BuildGrid,
    testing::Values(GridCase{3, 3, {"###", "#.#", "###"}},
                    GridCase{1, 1, {"#", "#"}},  // borders even for height 1
                    GridCase{4, 1, {"####", "####"}},
                    GridCase{2, 4, {"##", "##", "##", "##"}},
                    GridCase{1, 3, {"#", "#", "#"}},
                    GridCase{5, 2, {"#####", "#####"}},
                    GridCase{4, 3, {"####", "#..#", "####"}}));

TEST(BuildGrid, LargestLevelHasEmptyInsideBetweenBorderColumns)
{
    const auto rows = picture(buildGrid(maxWidth, maxHeight));
    ASSERT_EQ(rows.size(), 20u);
    const std::string full(75, '#');
    const std::string inner = "#" + std::string(73, '.') + "#";
    EXPECT_EQ(rows.front(), full);
    EXPECT_EQ(rows.back(), full);
    for (std::size_t row = 1; row + 1 < rows.size(); ++row)
        EXPECT_EQ(rows[row], inner) << "row " << row;
}

TEST(ToggleCell, FlipsBordersAndInsideAndTurnsStrayValuesEmpty)
{
    LevelGrid grid = buildGrid(4, 3);
    toggleCell(grid, 0, 0);  // a border block is not protected
    toggleCell(grid, 1, 1);
    EXPECT_EQ(picture(grid),
              (std::vector<std::string>{".###", "##.#", "####"}));
    toggleCell(grid, 0, 0);
    toggleCell(grid, 1, 1);
    EXPECT_EQ(picture(grid), picture(buildGrid(4, 3)));

    grid[1][2] = 7;
    toggleCell(grid, 2, 1);
    EXPECT_EQ(grid[1][2], 0);
}

struct MoveCase {
    const char* name;
    int width, height;
    int column, row;
    int key;
    int expectedColumn, expectedRow;
    int expectedPreviousColumn, expectedPreviousRow;
};

void PrintTo(const MoveCase& move, std::ostream* out) { *out << move.name; }

class CursorMove : public testing::TestWithParam<MoveCase> {};

// One turn of the editor: the key moves the cursor, the bounds pull it back.
TEST_P(CursorMove, StaysOnTheLevel)
{
    const auto& move = GetParam();
    int column = move.column;
    int row = move.row;
    int previousColumn = -9;
    int previousRow = -9;
    moveCursor(move.key, column, row, previousColumn, previousRow);
    keepCursorInside(column, row, move.width, move.height);
    EXPECT_EQ(column, move.expectedColumn);
    EXPECT_EQ(row, move.expectedRow);
    EXPECT_EQ(previousColumn, move.expectedPreviousColumn);
    EXPECT_EQ(previousRow, move.expectedPreviousRow);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CursorMove,
    testing::Values(
        MoveCase{"Right", 5, 4, 1, 1, keyRight, 2, 1, 1, 1},
        MoveCase{"Left", 5, 4, 1, 1, keyLeft, 0, 1, 1, 1},
        MoveCase{"Up", 5, 4, 1, 1, keyUp, 1, 0, 1, 1},
        MoveCase{"Down", 5, 4, 1, 1, keyDown, 1, 2, 1, 1},
        MoveCase{"LeftAtLeftEdge", 5, 4, 0, 2, keyLeft, 0, 2, 0, 2},
        MoveCase{"UpAtTop", 5, 4, 3, 0, keyUp, 3, 0, 3, 0},
        MoveCase{"RightAtRightEdge", 5, 4, 4, 2, keyRight, 4, 2, 4, 2},
        MoveCase{"DownAtLastRow", 5, 4, 2, 3, keyDown, 2, 3, 2, 3},
        // A height of 1 has two grid rows; the cursor keeps to the first.
        MoveCase{"DownWithHeightOne", 1, 1, 0, 0, keyDown, 0, 0, 0, 0},
        MoveCase{"RightWithWidthOne", 1, 1, 0, 0, keyRight, 0, 0, 0, 0},
        // Keys other than the arrows leave the previous position alone.
        MoveCase{"Space", 5, 4, 2, 2, keySpace, 2, 2, -9, -9},
        MoveCase{"Letter", 5, 4, 2, 2, 'A', 2, 2, -9, -9},
        MoveCase{"Home", 5, 4, 2, 2, keyHome, 2, 2, -9, -9}),
    [](const auto& test) { return std::string(test.param.name); });

struct AnswerCase {
    const char* name;
    const char* typed;
    std::vector<int> answers;  // what two questions in a row get; 0: input ended
    const char* shown;  // the questions written, with their line ends
};

void PrintTo(const AnswerCase& answer, std::ostream* out)
{
    *out << answer.name;
}

class AskNumber : public testing::TestWithParam<AnswerCase> {};

TEST_P(AskNumber, TakesWholeNumbersOfAtLeastOne)
{
    const auto& answer = GetParam();
    std::istringstream in(answer.typed);
    std::ostringstream out;
    std::vector<int> got;
    bool typedAhead = false;
    for (int question = 0; question < 2; ++question) {
        const auto number = askNumber(in, out, "Q? ", typedAhead);
        got.push_back(number.value_or(0));
        if (!number)
            break;
    }
    EXPECT_EQ(got, answer.answers);
    // A question asked again after an answer that came from the line of
    // the one before starts a line of its own.
    EXPECT_EQ(out.str(), answer.shown);
}

// Input as a terminal gives it: a line at a time, once the user has typed it
// after the question, with its line end echoed.
struct TypedLines : std::streambuf {
    std::vector<std::string> lines;
    std::string current;
    int_type underflow() override
    {
        if (lines.empty())
            return traits_type::eof();
        current = lines.front();
        lines.erase(lines.begin());
        setg(current.data(), current.data(), current.data() + current.size());
        return traits_type::to_int_type(current.front());
    }
};

TEST(AskNumber, AsksAgainRightAfterTheLineTheUserTyped)
{
    TypedLines typed;
    typed.lines = {"abc\n", "7x\n", "3\n"};
    std::istream in(&typed);
    std::ostringstream out;
    bool typedAhead = false;
    EXPECT_EQ(askNumber(in, out, "Q? ", typedAhead), 7);
    EXPECT_EQ(askNumber(in, out, "Q? ", typedAhead), 3);
    // "abc" ended its line; the "x" after 7 was typed before the second
    // question showed.
    EXPECT_EQ(out.str(), "Q? Q? Q? \nQ? ");
}

constexpr int largest = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(
    Answers, AskNumber,
    testing::Values(
        AnswerCase{"OnSeparateLines", "5\n4\n", {5, 4}, "Q? Q? "},
        AnswerCase{"BothOnOneLine", "5 4\n", {5, 4}, "Q? Q? "},
        AnswerCase{"LeadingBlanksAndSign", "  \n +7\n3\n", {7, 3}, "Q? Q? "},
        AnswerCase{"NotANumberAsksAgain", "abc def\n6\n2\n", {6, 2}, "Q? Q? Q? "},
        AnswerCase{"ZeroAsksAgain", "0 9\n6\n2\n", {6, 2}, "Q? Q? Q? "},
        AnswerCase{"NegativeAsksAgain", "-3\n6\n2\n", {6, 2}, "Q? Q? Q? "},
        AnswerCase{"TrailingLettersGoToTheNextQuestion", "4x\n3\n", {4, 3},
                   "Q? Q? \nQ? "},
        AnswerCase{"TooLargeCountsAsLargest", "99999999999\n2\n",
                   {largest, 2}, "Q? Q? "},
        AnswerCase{"TooNegativeAsksAgain", "-99999999999\n1\n1\n", {1, 1},
                   "Q? Q? Q? "},
        AnswerCase{"EndOfInputFirst", "", {0}, "Q? "},
        AnswerCase{"EndOfInputAtSecond", "5\n", {5, 0}, "Q? Q? "},
        AnswerCase{"EndOfInputAfterNonsense", "abc", {0}, "Q? "},
        AnswerCase{"LastNumberWithoutLineEnd", "5\n4", {5, 4}, "Q? Q? "}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
