// The console layer: the character-cell screen the editor draws on and the
// keyboard it reads. Each platform implements these functions in its own
// folder; what is declared here holds on all of them.
//
// The screen: the editor draws 80 by 25 cells; positions are a column and a
// row from the top-left cell. Colours are numbers 0 to 15 of the 16-colour
// text palette (1 blue, 2 green, 4 red, 8 bright).
//
// When drawing shows: on the Windows console each call shows at once; on a
// terminal, drawing is kept and sent in one piece when the program next
// waits for a key (readKey, pauseForKey). Nothing between two key waits can
// tell the difference.
#pragma once

#include <cstdint>
#include <string>

// Virtual-key codes, as a Windows console reports them. readKey returns these
// on every platform; the editor acts on Enter, Escape, Space and the arrows.
constexpr std::uint16_t keyBackspace = 0x08;
constexpr std::uint16_t keyTab = 0x09;
constexpr std::uint16_t keyReturn = 0x0D;
constexpr std::uint16_t keyEscape = 0x1B;
constexpr std::uint16_t keySpace = 0x20;
constexpr std::uint16_t keyPageUp = 0x21;
constexpr std::uint16_t keyPageDown = 0x22;
constexpr std::uint16_t keyEnd = 0x23;
constexpr std::uint16_t keyHome = 0x24;
constexpr std::uint16_t keyLeft = 0x25;
constexpr std::uint16_t keyUp = 0x26;
constexpr std::uint16_t keyRight = 0x27;
constexpr std::uint16_t keyDown = 0x28;
constexpr std::uint16_t keyInsert = 0x2D;
constexpr std::uint16_t keyDelete = 0x2E;
constexpr std::uint16_t keyF1 = 0x70;  // F2 to F12 follow in order

// Tells whether the console can show the editing screen; when it cannot,
// says so on standard error. Asked before the questions, so that a console
// that cannot be used is refused before anything is asked.
bool consoleIsUsable();

// Takes the console over for the editing screen; closeConsole gives it back
// as it was found. Between the two, Ctrl-C and a termination request end the
// program at once, with the console given back.
void openConsole();
void closeConsole();

// The palette's colours that the editor and the console use.
constexpr std::uint16_t colourBlack = 0;
constexpr std::uint16_t colourLightGrey = 7;
constexpr std::uint16_t colourDarkGrey = 8;
constexpr std::uint16_t colourYellow = 14;
constexpr std::uint16_t colourWhite = 15;

// Empties every cell (light grey on black) and puts the text cursor at the
// top-left cell.
void clearScreen();
void hideCursor();
// Writes a text from a cell on, going on at the start of the next row at a
// row's end; what falls outside the screen is dropped.
void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background);

inline void writeCharAt(char character, std::int16_t column, std::int16_t row,
                        std::uint16_t foreground, std::uint16_t background)
{
    writeTextAt(std::string(1, character), column, row, foreground,
                background);
}

// Waits for the next key that goes down and returns its virtual-key code.
// When no key can be read any more, returns keyEscape.
std::uint16_t readKey();

// Asks the user to press a key, as the Windows "Pause" command does, and
// waits for it.
void pauseForKey();
