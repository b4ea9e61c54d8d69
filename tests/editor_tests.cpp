// The editor as a user meets it: run in a pseudo-terminal, typed at, and its
// screen read back cell by cell through a terminal emulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "editor_fixture.h"
#include "terminal.h"

namespace {

TEST_F(Editor, AsksBothQuestionsWithTheAnswersOnOneLine)
{
    ProgramRun run;
    startProgram(run, editorOptions(directory));
    ASSERT_TRUE(waitFor(run, [&] { return run.output == widthQuestion; }))
        << run.output;
    typeKeys(run, "5 4\r");
    // Both answers were there: the second question is asked and answered
    // without waiting, and the editing screen follows.
    ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
    EXPECT_EQ(run.output.substr(0, widthQuestion.size() + 5 +
                                       heightQuestion.size()),
              widthQuestion + "5 4\r\n" + heightQuestion);
}

TEST_F(Editor, DrawsTheScreenOfASmallLevel)
{
    ProgramRun run;
    startEditing(run, "5 4");
    EXPECT_TRUE(textIs(run, 25, 0, title, white, black));
    EXPECT_TRUE(textIs(run, 10, 2, help, lightGrey, black));
    EXPECT_TRUE(textIs(run, 14, 24, credit, white, black));
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 5; ++column) {
            const bool border =
                row == 0 || row == 3 || column == 0 || column == 4;
            EXPECT_TRUE(levelCellIs(run, column, row, border,
                                    column == 0 && row == 0));
        }
    for (int column = 0; column < 80; ++column) {
        EXPECT_TRUE(clearedAt(run, column, 1));
        EXPECT_TRUE(clearedAt(run, column, 3));
        EXPECT_TRUE(clearedAt(run, column, 8));
    }
    for (const int column : {0, 1, 7, 8, 79})
        EXPECT_TRUE(clearedAt(run, column, 5));
    for (const int column : {0, 24, 55, 79})
        EXPECT_TRUE(clearedAt(run, column, 0));
    EXPECT_FALSE(run.cursorVisible);
}

TEST_F(Editor, LimitsTheSizeAndDrawsTheLargestLevel)
{
    ProgramRun run;
    startEditing(run, "76 21");
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 75; ++column) {
            const bool border =
                row == 0 || row == 19 || column == 0 || column == 74;
            ASSERT_TRUE(levelCellIs(run, column, row, border,
                                    column == 0 && row == 0));
        }
        for (const int column : {0, 1, 77, 78, 79})
            EXPECT_TRUE(clearedAt(run, column, row + 4));
    }
    EXPECT_EQ(rowText(run, 24), std::string(14, ' ') + credit);
    // The limits hold for the cursor too.
    for (int step = 0; step < 80; ++step)
        typeKeys(run, keyRight);
    EXPECT_TRUE(moveTo(run, keyDown, 74, 1));
}

TEST_F(Editor, KeepsTheCursorInsideAtEveryEdge)
{
    ProgramRun run;
    startEditing(run, "4 3");
    EXPECT_TRUE(moveTo(run, keyLeft, 0, 0));
    EXPECT_TRUE(moveTo(run, keyUp, 0, 0));
    EXPECT_TRUE(moveTo(run, keyRight, 1, 0));
    EXPECT_TRUE(moveTo(run, keyRight + keyRight + keyRight, 3, 0));
    EXPECT_TRUE(moveTo(run, keyRight, 3, 0));
    EXPECT_TRUE(moveTo(run, keyDown + keyDown, 3, 2));
    EXPECT_TRUE(moveTo(run, keyDown, 3, 2));
    EXPECT_TRUE(moveTo(run, keyLeft, 2, 2));
    EXPECT_TRUE(moveTo(run, keyUp, 2, 1));
    // The cells left behind show in the normal colours again.
    EXPECT_TRUE(levelCellIs(run, 0, 0, true, false));
    EXPECT_TRUE(levelCellIs(run, 3, 2, true, false));
    EXPECT_TRUE(levelCellIs(run, 2, 1, false, true));
}

TEST_F(Editor, HeightOneDrawsTwoRowsButKeepsTheCursorOnTheFirst)
{
    ProgramRun run;
    startEditing(run, "1 1");
    EXPECT_TRUE(levelCellIs(run, 0, 0, true, true));
    EXPECT_TRUE(levelCellIs(run, 0, 1, true, false));
    EXPECT_TRUE(moveTo(run, keyDown, 0, 0));
    EXPECT_TRUE(moveTo(run, keyRight, 0, 0));
}

TEST_F(Editor, SpaceTogglesBordersAndInnerCells)
{
    ProgramRun run;
    startEditing(run, "5 4");
    typeKeys(run, " ");
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 0, 0, false, true); }))
        << screenDump(run);
    ASSERT_TRUE(moveTo(run, keyRight + keyDown, 1, 1));
    EXPECT_TRUE(levelCellIs(run, 0, 0, false, false));
    typeKeys(run, " ");
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 1, true, true); }))
        << screenDump(run);
    typeKeys(run, " ");
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 1, false, true); }))
        << screenDump(run);
    ASSERT_TRUE(moveTo(run, keyRight, 2, 1));
    EXPECT_TRUE(levelCellIs(run, 1, 1, false, false));
}

TEST_F(Editor, OtherKeysChangeNothing)
{
    ProgramRun run;
    startEditing(run, "6 5");
    ASSERT_TRUE(moveTo(run, keyRight + keyDown, 1, 1));
    const std::string before = screenSnapshot(run);
    // Letters, Tab, Backspace, F1, Home, Delete, and punctuation whose
    // character codes are those of the arrow keys (%&'( ).
    typeKeys(run, "aZ\t\x7f\033OP\033[H\033[3~%&'(");
    settle(run, 200ms);
    EXPECT_EQ(screenSnapshot(run), before) << screenDump(run);
    // The keys were read: the editor still answers.
    EXPECT_TRUE(moveTo(run, keyRight, 2, 1));
}

TEST_F(Editor, CtrlSDoesNotStopTheScreen)
{
    ProgramRun run;
    startEditing(run, "6 5");
    typeKeys(run, "\023");
    EXPECT_TRUE(moveTo(run, keyRight, 1, 0));
    EXPECT_TRUE(moveTo(run, keyDown, 1, 1));
}

TEST_F(Editor, TakesCursorKeysInBothForms)
{
    ProgramRun run;
    startEditing(run, "6 5");
    EXPECT_TRUE(moveTo(run, "\033[C", 1, 0));
    EXPECT_TRUE(moveTo(run, "\033OC", 2, 0));
    EXPECT_TRUE(moveTo(run, "\033OB", 2, 1));
    EXPECT_TRUE(moveTo(run, "\033[B", 2, 2));
    EXPECT_TRUE(moveTo(run, "\033OD", 1, 2));
    EXPECT_TRUE(moveTo(run, "\033OA", 1, 1));
    EXPECT_TRUE(moveTo(run, "\033[1;2C", 2, 1));  // with Shift held
}

TEST_F(Editor, EscapeEndsWithThePauseAndRestoresTheTerminal)
{
    ProgramRun run;
    const RunOptions options = inShellNotingTerminalModes();
    startEditing(run, "5 4", options);
    ASSERT_TRUE(moveTo(run, keyRight, 1, 0));
    typeKeys(run, keyEscape);
    ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
    EXPECT_TRUE(textIs(run, 0, 0, pauseText, lightGrey, black));
    // The screen stays as the editing left it while the pause waits.
    EXPECT_TRUE(levelCellIs(run, 1, 0, true, true));
    EXPECT_TRUE(textIs(run, 51, 0, " 1.5", white, black));
    settle(run);
    ASSERT_EQ(waitForExit(run, 50ms), -1) << "ended before the pause's key";

    typeKeys(run, "x");
    ASSERT_EQ(waitForExit(run), 0);
    EXPECT_FALSE(levelFileExists());
    // The shell's own screen is back, with the questions, a visible cursor
    // and its own colours.
    EXPECT_FALSE(run.altScreen);
    EXPECT_TRUE(run.cursorVisible);
    EXPECT_EQ(rowText(run, 0), widthQuestion + "5 4");
    EXPECT_EQ(rowText(run, 1), shownHeightQuestion);
    const int statusRow = 2;
    EXPECT_EQ(rowText(run, statusRow), "status 0") << screenDump(run);
    const Cell statusCell = cellAt(run, 0, statusRow);
    EXPECT_EQ(statusCell.foreground, -1);
    EXPECT_EQ(statusCell.background, -1);
    EXPECT_TRUE(terminalModesKept());
}

TEST_F(Editor, KeepsThePictureThroughAResize)
{
    ProgramRun run;
    startEditing(run, "8 6");
    ASSERT_TRUE(moveTo(run, keyRight + keyDown + " " + keyRight, 2, 1));
    const std::string before = screenSnapshot(run);

    resizeTerminal(run, 10, 40);
    ASSERT_TRUE(waitForText(run, 25, 0, "Glisk Level edi"))
        << screenDump(run);
    EXPECT_TRUE(levelCellIs(run, 1, 1, true, false));
    EXPECT_TRUE(moveTo(run, keyLeft, 1, 1));

    resizeTerminal(run, 25, 80);
    ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
    ASSERT_TRUE(moveTo(run, keyRight, 2, 1));
    EXPECT_EQ(screenSnapshot(run), before) << screenDump(run);
}

TEST_F(Editor, ShowsTheBlockAsALineDrawingDiamondOutsideUtf8)
{
    ProgramRun run;
    startAsked(run, {"TERM=xterm-256color", "LANG=C", "LC_ALL=C"});
    typeKeys(run, "3 3\r");
    const std::string lineDrawingDiamond = "\u25c6";
    ASSERT_TRUE(waitFor(run, [&] {
        return cellIs(run, 3, 4, lineDrawingDiamond, yellow, black);
    })) << screenDump(run);
    EXPECT_TRUE(cellIs(run, 2, 4, lineDrawingDiamond, white, darkGrey));
    EXPECT_TRUE(cellIs(run, 3, 5, " ", yellow, black));
    EXPECT_TRUE(textIs(run, 25, 0, title, white, black));
}

// On a terminal of eight colours the bright ones show as bold, and the
// cursor's dark grey as light grey, so the cursor still stands out.
TEST_F(Editor, ShowsTheCursorOnATerminalOfEightColours)
{
    ProgramRun run;
    startAsked(run, {"TERM=xterm", "LANG=C.UTF-8"});
    typeKeys(run, "3 3\r");
    ASSERT_TRUE(waitFor(run, [&] {
        return cellIs(run, 3, 4, diamond, 3, black) && cellAt(run, 3, 4).bold;
    })) << screenDump(run);
    EXPECT_TRUE(cellIs(run, 2, 4, diamond, black, lightGrey));
    EXPECT_TRUE(textIs(run, 25, 0, title, lightGrey, black));
    // Bold stands for a bright colour, and only there.
    const auto boldWhereBright = [&](int column, int row, const std::string& text,
                                     bool bright) {
        for (int at = 0; at < static_cast<int>(text.size()); ++at)
            if (text[at] != ' ' && cellAt(run, column + at, row).bold != bright)
                return testing::AssertionFailure()
                       << "cell (" << column + at << "," << row << ") "
                       << (bright ? "not bold" : "bold") << screenDump(run);
        return testing::AssertionSuccess();
    };
    EXPECT_TRUE(boldWhereBright(25, 0, title, true));
    EXPECT_TRUE(boldWhereBright(10, 2, help, false));
    EXPECT_TRUE(boldWhereBright(14, 24, credit, true));
    typeKeys(run, keyEscape);
    ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
    EXPECT_TRUE(boldWhereBright(0, 0, pauseText, false));
    EXPECT_TRUE(boldWhereBright(10, 2, help, false));
}

TEST_F(Editor, AsksAgainForAnswersThatCannotBeUsed)
{
    ProgramRun run;
    startProgram(run, editorOptions(directory));
    ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion)) << screenDump(run);
    typeKeys(run, "breed\r");
    ASSERT_TRUE(waitForText(run, 0, 1, widthQuestion)) << screenDump(run);
    typeKeys(run, "0\r");
    ASSERT_TRUE(waitForText(run, 0, 2, widthQuestion)) << screenDump(run);
    typeKeys(run, "-4\r");
    ASSERT_TRUE(waitForText(run, 0, 3, widthQuestion)) << screenDump(run);
    // "3x": the width is 3, and the "x" makes the height be asked twice,
    // the second time on a line of its own.
    typeKeys(run, "3x\r");
    ASSERT_TRUE(waitFor(run, [&] {
        return rowText(run, 4) == shownHeightQuestion &&
               rowText(run, 5) == shownHeightQuestion;
    })) << screenDump(run);
    typeKeys(run, "99999999999999\r");
    ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
    EXPECT_TRUE(levelCellIs(run, 2, 19, true, false));
    EXPECT_TRUE(levelCellIs(run, 1, 18, false, false));
    EXPECT_TRUE(clearedAt(run, 5, 4));
}

TEST_F(Editor, EndOfInputAtAQuestionEndsAtOnce)
{
    ProgramRun run;
    startProgram(run, editorOptions(directory));
    ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion)) << screenDump(run);
    typeKeys(run, "7\r");
    ASSERT_TRUE(waitForText(run, 0, 1, shownHeightQuestion))
        << screenDump(run);
    typeKeys(run, "\004");
    ASSERT_EQ(waitForExit(run), 0);
    EXPECT_FALSE(run.altScreen);
    EXPECT_FALSE(levelFileExists());
}

TEST_F(Editor, WithoutAKeyboardEndsAsEscapeDoes)
{
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.command = {"/bin/sh", "-c", "printf '5\\n4\\n' | \"$0\"",
                       editorPath()};
    startProgram(run, options);
    ASSERT_EQ(waitForExit(run), 0) << screenDump(run);
    EXPECT_FALSE(levelFileExists());
    EXPECT_TRUE(run.cursorVisible);
    EXPECT_FALSE(run.altScreen);
}

// A terminal that cannot place text is refused before anything is asked,
// with a line on standard error and a status that says the run failed.
TEST_F(Editor, ATerminalThatCannotPlaceTextIsRefusedBeforeTheQuestions)
{
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.environment = {"TERM=dumb", "LANG=C.UTF-8"};
    startProgram(run, options);
    const int status = waitForExit(run);
    ASSERT_TRUE(WIFEXITED(status)) << screenDump(run);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(rowText(run, 0), "Deze terminal kan het scherm van de editor "
                               "niet tonen. (TERM=dumb)")
        << screenDump(run);
    EXPECT_EQ(screenDump(run).find("Hoe breed"), std::string::npos)
        << screenDump(run);
    EXPECT_FALSE(levelFileExists());
}

TEST_F(Editor, CtrlZSuspendsAndFgRepaints)
{
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.command = {"/bin/bash", "--norc", "--noprofile", "-i"};
    options.environment.push_back("PS1=$ ");
    startProgram(run, options);
    ASSERT_TRUE(waitForText(run, 0, 0, "$ ")) << screenDump(run);
    typeKeys(run, "clear; '" + editorPath() + "'\r");
    ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion)) << screenDump(run);
    typeKeys(run, "5 4\r");
    ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
    ASSERT_TRUE(moveTo(run, keyRight, 1, 0));
    typeKeys(run, " ");
    // Ctrl-Z drops keys not yet read, so let the toggle show first.
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 0, false, true); }))
        << screenDump(run);

    typeKeys(run, "\032");
    ASSERT_TRUE(waitFor(run, [&] { return !run.altScreen && run.cursorVisible; }))
        << screenDump(run);
    ASSERT_TRUE(waitFor(run, [&] {
        return screenDump(run).find("Stopped") != std::string::npos;
    })) << screenDump(run);

    typeKeys(run, "fg\r");
    ASSERT_TRUE(waitForText(run, 14, 24, credit)) << screenDump(run);
    EXPECT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 0, false, true); }))
        << screenDump(run);
    EXPECT_TRUE(textIs(run, 25, 0, title, white, black));
    EXPECT_FALSE(run.cursorVisible);
    EXPECT_TRUE(moveTo(run, keyDown, 1, 1));
    typeKeys(run, keyEscape);
    ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
    typeKeys(run, "x");
    ASSERT_TRUE(waitFor(run, [&] { return !run.altScreen; })) << screenDump(run);
    typeKeys(run, "exit\r");
    EXPECT_EQ(waitForExit(run), 0);
}

std::string fileContent(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

const std::string savedMessage = "Het bestand is gesaved,";
const std::string failedMessage = "Het bestand is niet gesaved!";

TEST_F(Editor, EnterSavesTheLevelShowsTheMessageAndPauses)
{
    ProgramRun run;
    startEditing(run, "4 3");
    ASSERT_TRUE(moveTo(run, keyRight + keyDown + " " + keyRight, 2, 1));
    typeKeys(run, "\r");
    ASSERT_TRUE(waitFor(run, [&] {
        return textIs(run, 0, 0, pauseText, lightGrey, black) &&
               textIs(run, 28, 12, savedMessage, lightGrey, black);
    })) << screenDump(run);
    EXPECT_EQ(fileContent(directory + "/level.dat"),
              "4 3\r\n\r\n1 1 1 1 \r\n1 1 0 1 \r\n1 1 1 1 \r\n");
    typeKeys(run, " ");
    EXPECT_EQ(waitForExit(run), 0);
}

TEST_F(Editor, SavedMessageStandsOverTheLargestLevel)
{
    ProgramRun run;
    startEditing(run, "75 20");
    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 28, 12, savedMessage)) << screenDump(run);
    EXPECT_TRUE(textIs(run, 28, 12, savedMessage, lightGrey, black));
    EXPECT_TRUE(levelCellIs(run, 25, 8, false, false));
    EXPECT_TRUE(levelCellIs(run, 49, 8, false, false));
    EXPECT_TRUE(levelCellIs(run, 0, 8, true, false));
    EXPECT_EQ(fileContent(directory + "/level.dat").size(), 3049u);
}

// A save that fails says so and lets the user go on; once the cause is gone,
// Enter saves, clears the failure and ends as usual.
TEST_F(Editor, FailedSaveSaysSoAndTheEditingGoesOn)
{
    const std::string levelFile = directory + "/level.dat";
    ProgramRun run;
    saveIntoADirectory(run, levelFile);
    EXPECT_TRUE(textIs(run, 26, 3, failedMessage, lightGrey, black));
    EXPECT_TRUE(clearedAt(run, 28, 12));
    ASSERT_TRUE(moveTo(run, keyRight + keyDown, 1, 1));
    typeKeys(run, " ");
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 1, true, true); }))
        << screenDump(run);

    std::filesystem::remove(levelFile);
    typeKeys(run, "\r");
    ASSERT_TRUE(waitFor(run, [&] {
        return textIs(run, 0, 0, pauseText, lightGrey, black) &&
               textIs(run, 28, 12, savedMessage, lightGrey, black);
    })) << screenDump(run);
    for (int column = 0; column < 80; ++column)
        EXPECT_TRUE(clearedAt(run, column, 3));
    EXPECT_EQ(fileContent(levelFile),
              "5 4\r\n\r\n1 1 1 1 1 \r\n1 1 0 0 1 \r\n1 0 0 0 1 \r\n"
              "1 1 1 1 1 \r\n");
    typeKeys(run, "x");
    EXPECT_EQ(waitForExit(run), 0);
}

TEST_F(Editor, EscapeAfterAFailedSaveEndsWithoutWriting)
{
    const std::string levelFile = directory + "/level.dat";
    ProgramRun run;
    saveIntoADirectory(run, levelFile);
    typeKeys(run, keyEscape);
    ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
    EXPECT_TRUE(clearedAt(run, 28, 12));
    typeKeys(run, "x");
    EXPECT_EQ(waitForExit(run), 0);
    EXPECT_TRUE(std::filesystem::is_directory(levelFile));
}

// Several hundred random keys against a simple model of the level and the
// cursor: afterwards every cell on the screen, and every byte of the saved
// level, must be as the model has them.
TEST_F(Editor, RandomKeysMatchAModelOfTheLevel)
{
    constexpr int width = 10;
    constexpr int height = 6;
    std::vector<std::string> model(height, std::string(width, '#'));
    for (int row = 1; row + 1 < height; ++row)
        model[row] = "#" + std::string(width - 2, '.') + "#";
    int column = 0;
    int row = 0;

    const std::vector<std::string> otherKeys{
        "a", "Q", "7", "\t", "\x7f", "\033OP", "\033[H", "\033[3~", "%", "(",
        "\033[6~", "-"};
    std::mt19937 random(20261211);
    ProgramRun run;
    startEditing(run, std::to_string(width) + " " + std::to_string(height));
    for (int chunk = 0; chunk < 8; ++chunk) {
        std::string typed;
        for (int key = 0; key < 50; ++key) {
            switch (random() % 7) {
            case 0: typed += keyLeft; column = std::max(column - 1, 0); break;
            case 1: typed += keyRight; column = std::min(column + 1, width - 1); break;
            case 2: typed += keyUp; row = std::max(row - 1, 0); break;
            case 3: typed += keyDown; row = std::min(row + 1, height - 1); break;
            case 4:
            case 5:
                typed += " ";
                model[row][column] = model[row][column] == '#' ? '.' : '#';
                break;
            default: typed += otherKeys[random() % otherKeys.size()]; break;
            }
        }
        typeKeys(run, typed);
        const auto screenMatches = [&] {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (!levelCellIs(run, x, y, model[y][x] == '#',
                                     x == column && y == row))
                        return false;
            return highlightedCell(run) == std::pair{column, row};
        };
        ASSERT_TRUE(waitFor(run, screenMatches))
            << "after chunk " << chunk << screenDump(run);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_TRUE(levelCellIs(run, x, y, model[y][x] == '#',
                                    x == column && y == row));

    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 28, 12, savedMessage)) << screenDump(run);
    std::string expected = "10 6\r\n\r\n";
    for (const auto& line : model) {
        for (const char cell : line)
            expected += cell == '#' ? "1 " : "0 ";
        expected += "\r\n";
    }
    EXPECT_EQ(fileContent(directory + "/level.dat"), expected);
    typeKeys(run, "x");
    EXPECT_EQ(waitForExit(run), 0);
}

// valgrind's own view of one whole run: no memory error, and no leak of the
// editor's own (curses keeps some memory to the end, which is not lost).
TEST_F(Editor, RunsCleanUnderValgrind)
{
#ifdef GLISK_SANITIZED
    GTEST_SKIP() << "the sanitizers check this build instead";
#endif
    if (!std::filesystem::exists("/usr/bin/valgrind"))
        GTEST_SKIP() << "valgrind is not installed";
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.command = {"/usr/bin/valgrind",     "--quiet",
                       "--error-exitcode=99",   "--leak-check=full",
                       "--errors-for-leak-kinds=definite,indirect",
                       "--log-file=" + directory + "/valgrind.log",
                       editorPath()};
    startProgram(run, options);
    ASSERT_TRUE(waitForText(run, 0, 0, widthQuestion, 30s)) << screenDump(run);
    typeKeys(run, "6 5\r");
    ASSERT_TRUE(waitForText(run, 14, 24, credit, 30s)) << screenDump(run);
    typeKeys(run, keyRight + keyDown + " " + "a");
    ASSERT_TRUE(waitFor(run, [&] { return levelCellIs(run, 1, 1, true, true); },
                        30s))
        << screenDump(run);
    resizeTerminal(run, 12, 50);
    resizeTerminal(run, 25, 80);
    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 0, 0, pauseText, 30s)) << screenDump(run);
    typeKeys(run, "x");
    const int status = waitForExit(run, 30s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status << "\n"
        << fileContent(directory + "/valgrind.log");
}

}  // namespace
