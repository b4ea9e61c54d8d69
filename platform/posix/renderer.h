// The editor's 80 by 25 picture, and the bytes that bring a terminal up to
// date with it.
//
// A terminal has no screen buffer to read back, so the picture the editor
// draws is kept here, along with what the terminal is known to show. Drawing
// changes only the picture; renderPicture then writes, into the pending
// output, the cells that differ, with the terminal's own strings for the
// cursor's moves and the colours. What a user cannot see is not sent: a
// blank whose background the terminal already shows is left alone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "console.h"

constexpr int pictureColumns = 80;
constexpr int pictureRows = 25;


// The terminfo strings the renderer draws with; null where the terminal has
// none.
struct Capabilities {
    const char* clear = nullptr;
    const char* cursorAddress = nullptr;
    const char* columnAddress = nullptr;
    const char* rowAddress = nullptr;
    const char* left = nullptr;
    const char* leftBy = nullptr;
    const char* rightBy = nullptr;
    const char* upBy = nullptr;
    const char* downBy = nullptr;
    const char* foreground = nullptr;
    const char* background = nullptr;
    const char* plain = nullptr;
    const char* originalColours = nullptr;
    const char* bold = nullptr;
    const char* reverse = nullptr;
    const char* lineDrawingOn = nullptr;
    const char* lineDrawingOff = nullptr;
    const char* hideCursor = nullptr;
    const char* showCursor = nullptr;
    const char* enterFullScreen = nullptr;  // the alternate screen
    const char* leaveFullScreen = nullptr;
    const char* keypadOn = nullptr;
    const char* keypadOff = nullptr;
    char lineDrawingDiamond = 0;
    int colours = 0;
    bool backgroundErase = false;
    bool lastCellScrolls = false;
};

// Those of the terminal whose entry terminfo has loaded.
Capabilities readCapabilities();

struct ScreenCell {
    unsigned char byte = 0;
    std::uint16_t foreground = colourLightGrey;
    std::uint16_t background = colourBlack;
    bool operator==(const ScreenCell&) const = default;
};

// How the terminal shows a pair of palette colours.
struct Look {
    short foreground = -1;  // the terminal's colour numbers, -1 for none
    short background = -1;
    bool bold = false;
    bool reverse = false;
    bool operator==(const Look&) const = default;
};

constexpr std::size_t pictureCells = pictureColumns * pictureRows;

struct Renderer {
    Capabilities terminfo;
    bool unicodeGlyphs = false;
    int terminalRows = pictureRows;
    int terminalColumns = pictureColumns;

    std::array<ScreenCell, pictureCells> picture;
    std::array<std::optional<ScreenCell>, pictureCells> shown;
    bool clearPending = false;

    // What the terminal is at, as the pending output leaves it.
    std::string output;
    int cursorColumn = -1;  // -1: not known
    int cursorRow = -1;
    std::optional<Look> pen;
    bool lineDrawing = false;
};

// Writes a text into the picture, going on at the start of the next row at
// a row's end; what falls outside the picture is dropped.
void drawIntoPicture(Renderer& renderer, const std::string& text, int column,
                     int row, std::uint16_t foreground,
                     std::uint16_t background);
void clearPicture(Renderer& renderer);

// Appends a terminfo string to the pending output.
void addCapability(Renderer& renderer, const char* capability);
// Appends the bytes that make the terminal show the picture, as far as it
// fits on the terminal.
void renderPicture(Renderer& renderer);
// Appends the shortest bytes that take the terminal's cursor to a cell.
void renderCursorMove(Renderer& renderer, int column, int row);
// Appends the bytes that set the terminal's colours back to its own.
void renderPlainLook(Renderer& renderer);
// After the terminal was used by others: it is cleared and drawn whole next.
void forgetTerminal(Renderer& renderer);

Look lookFor(const Capabilities& terminfo, const ScreenCell& cell);
