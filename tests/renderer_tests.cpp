// The renderer fed fixed terminal strings, its bytes checked one by one:
// what a key's move costs, what the full draw leaves out, and how colours
// are shown on terminals of 16 and of 8 colours.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "console.h"
#include "renderer.h"

namespace {

// An ANSI terminal as xterm-256color describes it, with and without 16
// colours.
Capabilities ansiTerminal(int colours)
{
    Capabilities terminal;
    terminal.clear = "\033[H\033[2J";
    terminal.cursorAddress = "\033[%i%p1%d;%p2%dH";
    terminal.columnAddress = "\033[%i%p1%dG";
    terminal.rowAddress = "\033[%i%p1%dd";
    terminal.left = "\010";
    terminal.leftBy = "\033[%p1%dD";
    terminal.rightBy = "\033[%p1%dC";
    terminal.upBy = "\033[%p1%dA";
    terminal.downBy = "\033[%p1%dB";
    terminal.foreground = colours >= 16
                              ? "\033[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m"
                              : "\033[3%p1%dm";
    terminal.background = colours >= 16
                              ? "\033[%?%p1%{8}%<%t4%p1%d%e%p1%{16}%<%t10%p1%{8}%-%d%e48;5;%p1%d%;m"
                              : "\033[4%p1%dm";
    terminal.plain = "\033[m";
    terminal.bold = "\033[1m";
    terminal.colours = colours;
    terminal.backgroundErase = true;
    return terminal;
}

Renderer rendererFor(const Capabilities& terminal)
{
    Renderer renderer;
    renderer.terminfo = terminal;
    renderer.unicodeGlyphs = true;
    return renderer;
}

// Draws, renders, and hands over the bytes a render wrote.
std::string render(Renderer& renderer)
{
    renderPicture(renderer);
    return std::exchange(renderer.output, {});
}

const std::string diamond = "\u2666";

void blockAt(Renderer& renderer, int column, int row,
             std::uint16_t foreground, std::uint16_t background)
{
    drawIntoPicture(renderer, "\004", column, row, foreground, background);
}

TEST(Renderer, AMoveBetweenNeighboursWritesTheTwoCellsInTheCheapestOrder)
{
    Renderer renderer = rendererFor(ansiTerminal(256));
    clearPicture(renderer);
    blockAt(renderer, 2, 4, colourWhite, colourDarkGrey);
    blockAt(renderer, 3, 4, colourYellow, colourBlack);
    render(renderer);

    // The first draw left the pen in the cursor's colours, on the cell
    // the cursor now reaches: that one first, then back to the one it left.
    blockAt(renderer, 2, 4, colourYellow, colourBlack);
    blockAt(renderer, 3, 4, colourWhite, colourDarkGrey);
    const std::string bytes = render(renderer);
    EXPECT_EQ(bytes, diamond + "\010\010\033[93;40m" + diamond)
        << testing::PrintToString(bytes);
}

TEST(Renderer, TheFullDrawLeavesOutBlanksThatLookCleared)
{
    Renderer renderer = rendererFor(ansiTerminal(256));
    clearPicture(renderer);
    // A blank in yellow on black looks like a cleared cell.
    drawIntoPicture(renderer, "    ", 10, 5, colourYellow, colourBlack);
    drawIntoPicture(renderer, "ab", 20, 5, colourWhite, colourBlack);
    const std::string bytes = render(renderer);
    EXPECT_EQ(bytes, "\033[m\033[37;40m\033[H\033[2J\033[6;21H\033[97mab")
        << testing::PrintToString(bytes);

    // A blank on dark grey is seen, and so is its return to black; a
    // blank's foreground is not.
    drawIntoPicture(renderer, " ", 10, 5, colourWhite, colourDarkGrey);
    EXPECT_EQ(render(renderer), "\033[12D\033[100m ");
    drawIntoPicture(renderer, " ", 10, 5, colourYellow, colourBlack);
    EXPECT_EQ(render(renderer), "\010\033[40m ");
}

TEST(Renderer, CrossesSeenBlanksByWritingThemWhereThatIsShorter)
{
    Renderer renderer = rendererFor(ansiTerminal(256));
    clearPicture(renderer);
    drawIntoPicture(renderer, "a b", 0, 0, colourWhite, colourBlack);
    EXPECT_EQ(render(renderer), "\033[m\033[37;40m\033[H\033[2J\033[97ma b");
}

TEST(Renderer, ShowsBrightColoursAsBoldOnEightColoursAndOnlyThere)
{
    Renderer renderer = rendererFor(ansiTerminal(8));
    clearPicture(renderer);
    drawIntoPicture(renderer, "W", 0, 0, colourWhite, colourBlack);
    drawIntoPicture(renderer, "g", 1, 0, colourLightGrey, colourBlack);
    const std::string bytes = render(renderer);
    // Light grey after white: bold is switched off (a plain start), and the
    // colours are set again.
    EXPECT_EQ(bytes, "\033[m\033[37;40m\033[H\033[2J\033[1mW\033[m\033[37;40mg")
        << testing::PrintToString(bytes);
}

TEST(Renderer, DrawsWhatFallsOutsideASmallTerminalOnceItGrows)
{
    Renderer renderer = rendererFor(ansiTerminal(256));
    renderer.terminalColumns = 10;
    clearPicture(renderer);
    drawIntoPicture(renderer, "x", 20, 0, colourWhite, colourBlack);
    EXPECT_EQ(render(renderer).find('x'), std::string::npos);
    renderer.terminalColumns = 80;
    forgetTerminal(renderer);
    EXPECT_NE(render(renderer).find("\033[20C\033[97mx"), std::string::npos);
}

}  // namespace
