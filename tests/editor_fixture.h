// What the end-to-end tests share: the editor's texts and colours as the
// terminal shows them, checks of the screen, and a fixture that runs the
// editor in a directory of its own.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "terminal.h"
#include "scratch_directory.h"


// Colours as the terminal shows them.
inline constexpr int black = 0;
inline constexpr int lightGrey = 7;
inline constexpr int darkGrey = 8;
inline constexpr int yellow = 11;
inline constexpr int white = 15;

inline const std::string diamond = "\u2666";
inline const std::string widthQuestion = "Hoe breed moet het level zijn? (max. 75) ";
inline const std::string heightQuestion = "Hoe Hoog moet het level zijn? (max. 20) ";
// A question as the screen shows it, without its trailing blank.
inline const std::string shownHeightQuestion = heightQuestion.substr(0, 39);
inline const std::string title = "Glisk Level editor versie: 1.5";
inline const std::string help =
    "SPATIE is blokje of niet, ESCAPE is stoppen, ENTER is saven";
inline const std::string credit =
    "Ontwerp je eigen level en speel het daarna in Glisk!";
inline const std::string pauseText =
    "Druk op een willekeurige toets om door te gaan. . .";

inline const std::string keyUp = "\033[A";
inline const std::string keyDown = "\033[B";
inline const std::string keyRight = "\033[C";
inline const std::string keyLeft = "\033[D";
inline const std::string keyEscape = "\033";

inline testing::AssertionResult cellIs(ProgramRun& run, int column, int row,
                                const std::string& glyph, int foreground,
                                int background)
{
    const Cell cell = cellAt(run, column, row);
    const std::string shown = cell.glyph.empty() ? " " : cell.glyph;
    // A blank's foreground cannot be seen: only its background counts.
    const bool blank = glyph == " ";
    if (shown == glyph && (blank || cell.foreground == foreground) &&
        cell.background == background)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "cell (" << column << "," << row << ") is '" << shown << "' "
           << cell.foreground << " on " << cell.background << ", expected '"
           << glyph << "' " << foreground << " on " << background
           << screenDump(run);
}

inline testing::AssertionResult textIs(ProgramRun& run, int column, int row,
                                const std::string& text, int foreground,
                                int background)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        auto result = cellIs(run, column + static_cast<int>(at), row,
                             std::string(1, text[at]), foreground, background);
        if (!result)
            return result;
    }
    return testing::AssertionSuccess();
}

// A cell as the cleared screen leaves it.
inline testing::AssertionResult clearedAt(ProgramRun& run, int column, int row)
{
    const Cell cell = cellAt(run, column, row);
    if ((cell.glyph.empty() || cell.glyph == " ") && cell.background == black)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "cell (" << column << "," << row << ") is '" << cell.glyph
           << "' on " << cell.background << screenDump(run);
}

// The level's cell at grid column and row, as it should show.
inline testing::AssertionResult levelCellIs(ProgramRun& run, int column, int row,
                                     bool block, bool underCursor)
{
    return cellIs(run, column + 2, row + 4, block ? diamond : " ",
                  underCursor ? white : yellow,
                  underCursor ? darkGrey : black);
}

// Where the cursor's highlight is: the one cell on another background than
// black (dark grey, or light grey with eight colours), or in reverse video
// without colours; -1, -1 for none.
inline std::pair<int, int> highlightedCell(ProgramRun& run)
{
    std::pair<int, int> found{-1, -1};
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 80; ++column) {
            const Cell cell = cellAt(run, column, row);
            if (cell.reverse ||
                cell.background > black) {
                if (found.first != -1)
                    return {-2, -2};
                found = {column - 2, row - 4};
            }
        }
    return found;
}

// The screen as a user sees it: every cell's character, its background, and
// its foreground where a character shows it.
inline std::string screenSnapshot(ProgramRun& run)
{
    std::string snapshot;
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 80; ++column) {
            const Cell cell = cellAt(run, column, row);
            const bool blank = cell.glyph.empty() || cell.glyph == " ";
            snapshot += (blank ? " " : cell.glyph) + ":" +
                        (blank ? "" : std::to_string(cell.foreground)) + "/" +
                        std::to_string(cell.background) +
                        (cell.bold && !blank ? "b" : "") +
                        (cell.reverse ? "r" : "") + " ";
        }
    return snapshot;
}

class Editor : public testing::Test {
protected:
    void SetUp() override
    {
        directory = makeScratchDirectory("editor");
    }

    void TearDown() override { removeScratchDirectory(directory); }

    // Starts the editor and answers both questions on one line.
    void startEditing(ProgramRun& run, const std::string& answers,
                      RunOptions options = {})
    {
        if (options.command.empty())
            options = editorOptions(directory);
        startProgram(run, options);
        ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion)) << screenDump(run);
        typeKeys(run, answers + "\r");
        ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
        ASSERT_TRUE(waitFor(run, [&] {
            return highlightedCell(run) == std::pair{0, 0};
        })) << screenDump(run);
    }

    // Starts the editor in the given environment and waits for the first
    // question.
    void startAsked(ProgramRun& run, std::vector<std::string> environment)
    {
        RunOptions options = editorOptions(directory);
        options.environment = std::move(environment);
        startProgram(run, options);
        ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion)) << screenDump(run);
    }

    // Types a key and waits until the cursor's highlight stands there.
    testing::AssertionResult moveTo(ProgramRun& run, const std::string& key,
                                    int column, int row)
    {
        typeKeys(run, key);
        if (waitFor(run,
                    [&] { return highlightedCell(run) == std::pair{column, row}; }))
            return testing::AssertionSuccess();
        const auto [atColumn, atRow] = highlightedCell(run);
        return testing::AssertionFailure()
               << "cursor at " << atColumn << "," << atRow << ", expected "
               << column << "," << row << screenDump(run);
    }

    // The editor run from a shell that notes the terminal's modes before and
    // after it, and then its exit status on the screen.
    RunOptions inShellNotingTerminalModes() const
    {
        RunOptions options = editorOptions(directory);
        options.command = {"/bin/sh", "-c",
                           "trap : INT TERM; stty -g > before; \"$0\"; "
                           "echo \"status $?\"; stty -g > after",
                           editorPath()};
        return options;
    }

    testing::AssertionResult terminalModesKept() const
    {
        std::ifstream before(directory + "/before");
        std::ifstream after(directory + "/after");
        const std::string modesBefore{std::istreambuf_iterator<char>(before), {}};
        const std::string modesAfter{std::istreambuf_iterator<char>(after), {}};
        if (!modesBefore.empty() && modesAfter == modesBefore)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "modes before: " << modesBefore
                                           << "after: " << modesAfter;
    }

    // With a directory in the level file's place, starts a 5 by 4 level and
    // presses Enter: the save fails.
    void saveIntoADirectory(ProgramRun& run, const std::string& levelFile)
    {
        std::filesystem::create_directory(levelFile);
        startEditing(run, "5 4");
        typeKeys(run, "\r");
        ASSERT_TRUE(waitForText(run, 26, 3, "Het bestand is niet gesaved!"))
            << screenDump(run);
    }

    bool levelFileExists() const
    {
        return std::filesystem::exists(directory + "/level.dat");
    }

    std::string directory;
};
