// The console layer: a character-cell screen of at least 80 by 25 cells and
// the keyboard. Every platform implements these functions in its own source
// file; nothing here belongs to one.
#pragma once

#include <cstdint>
#include <string>

// Virtual-key codes, as a Windows console reports them. readKey returns these
// on every platform.
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

// Colours are numbers 0 to 15 of the 16-colour text palette: 1 blue, 2 green,
// 4 red, 8 bright. Positions are a column and a row from the top-left cell.
void clearScreen();
void hideCursor();
void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background);
void writeCharAt(char character, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background);

// Waits for the next key that goes down and returns its virtual-key code.
// When no key can be read any more, returns keyEscape.
std::uint16_t readKey();

// Asks the user to press a key, as the Windows "Pause" command does, and
// waits for it.
void pauseForKey();
