// The Windows build, run under Wine in a pseudo-terminal: the console
// layer's own tests, and one whole run of the editor.
//
// Wine shows a few things as Windows does not: a cleared cell (code 0) as
// "?", black as the terminal's default background, and its own English
// text for "Pause". The checks here keep to what both show alike; the
// console buffer itself is checked by the Windows unit tests.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "terminal.h"
#include "scratch_directory.h"

namespace {

constexpr auto wineTimeout = 60s;

RunOptions wineOptions(const std::string& directory,
                       const std::vector<std::string>& command)
{
    RunOptions options;
    options.command = {"/usr/bin/wine"};
    options.command.insert(options.command.end(), command.begin(),
                           command.end());
    options.directory = directory;
    options.environment = {"TERM=xterm-256color",
                           "LANG=C.UTF-8",
                           "WINEPREFIX=" GLISK_WINEPREFIX,
                           "WINEDEBUG=-all",
                           "WINEDLLOVERRIDES=mscoree,mshtml="};
    return options;
}

class Wine : public testing::Test {
protected:
    void SetUp() override
    {
        directory = makeScratchDirectory("wine");
    }

    void TearDown() override { removeScratchDirectory(directory); }

    std::string directory;
};

TEST_F(Wine, ConsoleLayerPassesItsTests)
{
    const std::string report = directory + "/report.xml";
    ProgramRun run;
    startProgram(run, wineOptions(directory, {GLISK_WINDOWS_UNIT_TESTS,
                                              "--gtest_output=xml:Z:" + report}));
    const int status = waitForExit(run, wineTimeout);
    std::ifstream file(report);
    const std::string xml{std::istreambuf_iterator<char>(file), {}};
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << xml;
    EXPECT_NE(xml.find("WindowsConsole"), std::string::npos) << xml;
}

// The command interpreter that Wine starts for "Pause" may drop a key that
// comes before it is ready, so keys are pressed until the editor has ended.
int pressKeysUntilTheEnd(ProgramRun& run)
{
    for (int attempt = 0; attempt < 30; ++attempt) {
        typeKeys(run, "x");
        if (const int status = waitForExit(run, 2s); status != -1)
            return status;
    }
    return -1;
}

bool isDiamond(ProgramRun& run, int column, int row, int foreground)
{
    const Cell cell = cellAt(run, column, row);
    return cell.glyph == "\u2666" && cell.foreground == foreground;
}

TEST_F(Wine, EditorDrawsMovesTogglesAndSaves)
{
    ProgramRun run;
    startProgram(run, wineOptions(directory, {GLISK_WINDOWS_EDITOR}));
    ASSERT_TRUE(waitForText(run, 0, 0, "Hoe breed moet het level zijn? (max. 75)",
                            wineTimeout))
        << screenDump(run);
    ASSERT_TRUE(waitForKeyMode(run, wineTimeout));
    typeKeys(run, "4 3\r");
    ASSERT_TRUE(waitForText(run, 25, 0, "Glisk Level editor versie: 1.5",
                            wineTimeout))
        << screenDump(run);
    ASSERT_TRUE(waitFor(run, [&] {
        return textAt(run, 14, 24, 52) ==
                   "Ontwerp je eigen level en speel het daarna in Glisk!" &&
               isDiamond(run, 5, 6, 11);
    }, wineTimeout)) << screenDump(run);
    EXPECT_EQ(textAt(run, 10, 2, 59),
              "SPATIE is blokje of niet, ESCAPE is stoppen, ENTER is saven");
    EXPECT_TRUE(isDiamond(run, 2, 4, 15));
    EXPECT_EQ(cellAt(run, 2, 4).background, 8);
    EXPECT_TRUE(isDiamond(run, 3, 4, 11));
    EXPECT_EQ(textAt(run, 3, 5, 2), "  ");

    typeKeys(run, "\033[C\033[B");
    ASSERT_TRUE(waitFor(run, [&] { return cellAt(run, 3, 5).background == 8; },
                        wineTimeout))
        << screenDump(run);
    EXPECT_TRUE(isDiamond(run, 2, 4, 11));
    typeKeys(run, " ");
    ASSERT_TRUE(waitFor(run, [&] { return isDiamond(run, 3, 5, 15); },
                        wineTimeout))
        << screenDump(run);

    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 28, 12, "Het bestand is gesaved,", wineTimeout))
        << screenDump(run);
    std::ifstream file(directory + "/level.dat", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              "4 3\r\n\r\n1 1 1 1 \r\n1 1 0 1 \r\n1 1 1 1 \r\n");
    const int status = pressKeysUntilTheEnd(run);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status << screenDump(run);
}

// Starts the Windows editor and answers 3 by 3.
void startEditingThreeByThree(ProgramRun& run, const std::string& directory)
{
    startProgram(run, wineOptions(directory, {GLISK_WINDOWS_EDITOR}));
    ASSERT_TRUE(waitForText(run, 0, 0, "Hoe breed", wineTimeout))
        << screenDump(run);
    ASSERT_TRUE(waitForKeyMode(run, wineTimeout));
    typeKeys(run, "3 3\r");
    ASSERT_TRUE(waitFor(run, [&] { return isDiamond(run, 4, 6, 11); },
                        wineTimeout))
        << screenDump(run);
}

TEST_F(Wine, FailedSaveIsShownAndTheEditingGoesOn)
{
    const std::string levelFile = directory + "/level.dat";
    std::filesystem::create_directory(levelFile);
    ProgramRun run;
    startEditingThreeByThree(run, directory);
    if (HasFatalFailure())
        return;
    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 26, 3, "Het bestand is niet gesaved!",
                            wineTimeout))
        << screenDump(run);

    std::filesystem::remove(levelFile);
    typeKeys(run, "\r");
    ASSERT_TRUE(waitForText(run, 28, 12, "Het bestand is gesaved,", wineTimeout))
        << screenDump(run);
    std::ifstream file(levelFile, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}),
              "3 3\r\n\r\n1 1 1 \r\n1 0 1 \r\n1 1 1 \r\n");
    EXPECT_EQ(pressKeysUntilTheEnd(run), 0);
}

// Ctrl-C ends the editor at once, and its handler shows the console's
// cursor again: after the last string that hid it, one that shows it.
TEST_F(Wine, CtrlCEndsTheEditorWithTheCursorShownAgain)
{
    ProgramRun run;
    startEditingThreeByThree(run, directory);
    if (HasFatalFailure())
        return;
    ASSERT_FALSE(run.cursorVisible) << "the editor shows the cursor";
    typeKeys(run, "\003");
    const int status = waitForExit(run, wineTimeout);
    ASSERT_NE(status, -1) << "still running after Ctrl-C" << screenDump(run);
    const auto hidden = run.output.rfind("\033[?25l");
    const auto shown = run.output.rfind("\033[?25h");
    EXPECT_TRUE(shown != std::string::npos && shown > hidden)
        << "the cursor is left hidden";
    EXPECT_TRUE(run.cursorVisible);
    EXPECT_FALSE(std::filesystem::exists(directory + "/level.dat"));
}

}  // namespace
