// Keys as terminals send them, typed to the real editor under several TERM
// values: no key but a lone Escape ends the editing, keys the editor has no
// use for change nothing, and every modified arrow moves the cursor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "editor_fixture.h"
#include "terminal.h"

namespace {

class KeysOnTerminal : public Editor,
                       public testing::WithParamInterface<const char*> {
protected:
    void startOn(ProgramRun& run)
    {
        RunOptions options = editorOptions(directory);
        options.environment = {std::string("TERM=") + GetParam(),
                               "LANG=C.UTF-8"};
        startEditing(run, "5 4", options);
    }
};

// Sequences a terminal sends for keys and reports that the editor has no
// use for.
const std::vector<std::string> keysThatChangeNothing{
    "\033a", "\033x", "\033Z", "\0337", "\033.", "\033-",  // Alt
    "\033Ox", "\033Oq", "\033Ok", "\033Oo", "\033OE",     // keypad
    "\033[E", "\033[15~", "\033OQ", "\033[[E", "\033[24~", "\033[1;5Q",
    "\033[2~", "\033[3~", "\033[3;5~", "\033[5~", "\033[6~", "\033[5;2~",
    "\033[H", "\033[F", "\033[1~", "\033[4~", "\033OH", "\033[7~",
    "\033[I", "\033[O", "\033[<0;3;4M", "\033[12;40R", "\033[97;5u",
    "\033[?1;2c", "\033[200~", "\033[27;5;13~", "\033[Z", "\t", "x",
    "\x7f", "\033[1;5\x01", "\xc3\xa9", "\033\xc3\xa9",
};

TEST_P(KeysOnTerminal, KeysTheEditorHasNoUseForChangeNothing)
{
    ProgramRun run;
    startOn(run);
    ASSERT_TRUE(moveTo(run, keyRight, 1, 0));
    const std::string before = screenSnapshot(run);
    for (const auto& key : keysThatChangeNothing) {
        typeKeys(run, key);
        // The editor still edits: the next arrow moves, the one after it
        // moves back, and nothing else on the screen has changed.
        ASSERT_TRUE(moveTo(run, keyDown, 1, 1))
            << testing::PrintToString(key) << " on " << GetParam();
        ASSERT_TRUE(moveTo(run, keyUp, 1, 0))
            << testing::PrintToString(key) << " on " << GetParam();
        ASSERT_EQ(screenSnapshot(run), before)
            << testing::PrintToString(key) << screenDump(run);
    }
    typeKeys(run, keyEscape);
    EXPECT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
    typeKeys(run, "x");
    EXPECT_EQ(waitForExit(run), 0);
    EXPECT_FALSE(levelFileExists());
}

// Shift, Alt, Ctrl and their pairs (xterm's modifier numbers 2 to 8) with
// each arrow, and rxvt's own forms.
TEST_P(KeysOnTerminal, ModifiedArrowsMoveTheCursor)
{
    struct Arrow {
        char final;
        int column;
        int row;
    };
    const Arrow arrows[] = {{'A', 2, 0}, {'B', 2, 2}, {'C', 3, 1}, {'D', 1, 1}};
    ProgramRun run;
    startOn(run);
    ASSERT_TRUE(moveTo(run, keyRight + keyRight + keyDown, 2, 1));
    const auto moveAndBack = [&](const std::string& key, int column, int row) {
        ASSERT_TRUE(moveTo(run, key, column, row))
            << testing::PrintToString(key) << " on " << GetParam();
        const std::string back = column < 2   ? keyRight
                                 : column > 2 ? keyLeft
                                 : row < 1    ? keyDown
                                              : keyUp;
        ASSERT_TRUE(moveTo(run, back, 2, 1));
    };
    for (int modifier = 2; modifier <= 8; ++modifier)
        for (const Arrow& arrow : arrows)
            moveAndBack("\033[1;" + std::to_string(modifier) + arrow.final,
                        arrow.column, arrow.row);
    moveAndBack("\033[a", 2, 0);      // rxvt: Shift+Up
    moveAndBack("\033Od", 1, 1);      // rxvt: Ctrl+Left
    moveAndBack("\033\033[C", 3, 1);  // rxvt: Alt+Right
    moveAndBack("\033OB", 2, 2);      // keypad mode
}

TEST_P(KeysOnTerminal, AnArrowInPiecesIsStillOneKey)
{
    ProgramRun run;
    startOn(run);
    typeKeys(run, "\033[");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    typeKeys(run, "C");
    ASSERT_TRUE(waitFor(run, [&] { return highlightedCell(run) == std::pair{1, 0}; }))
        << screenDump(run);
    typeKeys(run, "\033");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    typeKeys(run, "[1;5B");
    ASSERT_TRUE(waitFor(run, [&] { return highlightedCell(run) == std::pair{1, 1}; }))
        << screenDump(run);
    settle(run);
    EXPECT_EQ(rowText(run, 0).find("Druk op"), std::string::npos);
}

TEST_P(KeysOnTerminal, KeypadEnterSaves)
{
    ProgramRun run;
    startOn(run);
    typeKeys(run, "\033OM");
    ASSERT_TRUE(waitForText(run, 28, 12, "Het bestand is gesaved,"))
        << screenDump(run);
    typeKeys(run, "x");
    EXPECT_EQ(waitForExit(run), 0);
    EXPECT_TRUE(levelFileExists());
}

INSTANTIATE_TEST_SUITE_P(Terminals, KeysOnTerminal,
                         testing::Values("xterm-256color", "tmux-256color",
                                         "screen", "vt220", "linux"),
                         [](const auto& test) {
                             std::string name = test.param;
                             for (char& character : name)
                                 if (character == '-')
                                     character = '_';
                             return name;
                         });

}  // namespace
