#include "renderer.h"

#include <curses.h>
#include <term.h>

#include <utility>
#include <vector>

#include "code_page_437.h"

namespace {

const char* capability(const char* name)
{
    char* value = tigetstr(const_cast<char*>(name));
    return value == nullptr || value == reinterpret_cast<char*>(-1) ? nullptr
                                                                    : value;
}

// tputs hands the bytes to a function of one int; they go to this string.
std::string* tputsTarget = nullptr;

int appendToTarget(int character)
{
    *tputsTarget += static_cast<char>(character);
    return character;
}

// A terminfo string as the terminal takes it, padding removed; "" for none.
std::string expanded(const char* sequence)
{
    std::string bytes;
    if (sequence == nullptr)
        return bytes;
    tputsTarget = &bytes;
    tputs(sequence, 1, appendToTarget);
    tputsTarget = nullptr;
    return bytes;
}

// A terminfo string with its parameters filled in; "" for none.
std::string formatted(const char* sequence, int first, int second = 0)
{
    if (sequence == nullptr)
        return {};
    // Nine parameters, as every curses' tparm takes them.
    return expanded(tparm(const_cast<char*>(sequence), first, second, 0, 0, 0,
                          0, 0, 0, 0));
}

// The palette numbers blue as 1 and red as 4; terminals the other way round.
short terminalColour(std::uint16_t colour)
{
    return static_cast<short>((colour & 8) | ((colour & 1) << 2) |
                              (colour & 2) | ((colour & 4) >> 2));
}

bool isBlank(unsigned char byte)
{
    return byte == 0 || byte == ' ';
}

// What a user sees of a cell: a blank shows only its background, or its
// foreground where the colours are reversed.
bool looksTheSame(const Capabilities& terminfo, const ScreenCell& one,
                  const ScreenCell& other)
{
    if (one == other)
        return true;
    if (!isBlank(one.byte) || !isBlank(other.byte))
        return false;
    const Look first = lookFor(terminfo, one);
    const Look second = lookFor(terminfo, other);
    const auto seen = [](const Look& look) {
        return look.reverse ? look.foreground : look.background;
    };
    return first.reverse == second.reverse && seen(first) == seen(second);
}

// "ESC [ 93 m" and "ESC [ 40 m" become "ESC [ 93 ; 40 m", as terminals
// following ECMA-48 take several renditions in one sequence.
std::string joinedRenditions(const std::vector<std::string>& parts)
{
    std::string joined;
    for (const auto& part : parts) {
        const bool simple =
            part.size() > 3 && part.compare(0, 2, "\033[") == 0 &&
            part.back() == 'm' &&
            part.find_first_not_of("0123456789;", 2) == part.size() - 1;
        if (!simple)
            return {};
        joined += (joined.empty() ? "\033[" : ";") +
                  part.substr(2, part.size() - 3);
    }
    return joined.empty() ? joined : joined + "m";
}

// The bytes that turn the pen from what it is into the wanted look.
std::string lookChange(const Capabilities& terminfo,
                       const std::optional<Look>& from, const Look& to)
{
    if (from == to)
        return {};
    std::string change;
    Look start;
    if (!from || (from->bold && !to.bold) || (from->reverse && !to.reverse))
        change = expanded(terminfo.plain);
    else
        start = *from;
    std::vector<std::string> parts;
    if (to.bold && !start.bold)
        parts.push_back(expanded(terminfo.bold));
    if (to.reverse && !start.reverse)
        parts.push_back(expanded(terminfo.reverse));
    if (to.foreground >= 0 && to.foreground != start.foreground)
        parts.push_back(formatted(terminfo.foreground, to.foreground));
    if (to.background >= 0 && to.background != start.background)
        parts.push_back(formatted(terminfo.background, to.background));
    if (const auto joined = joinedRenditions(parts); !joined.empty())
        return change + joined;
    for (const auto& part : parts)
        change += part;
    return change;
}

// The look to draw a cell in: a blank needs only its background, so the
// pen keeps its foreground and boldness.
Look lookToDraw(const Renderer& renderer, const ScreenCell& cell)
{
    const Look wanted = lookFor(renderer.terminfo, cell);
    const auto& pen = renderer.pen;
    if (!isBlank(cell.byte) || !pen || pen->reverse || wanted.reverse)
        return wanted;
    Look look = *pen;
    look.background = wanted.background;
    return look;
}

std::string repeated(const char* sequence, int times)
{
    std::string text;
    for (int count = 0; count < times; ++count)
        text += expanded(sequence);
    return text;
}

void keepShorter(std::string& best, std::string candidate, bool usable)
{
    if (usable && (best.empty() || candidate.size() < best.size()))
        best = std::move(candidate);
}

// The shortest bytes that take the terminal's cursor to a cell.
std::string motion(const Renderer& renderer, int column, int row)
{
    const Capabilities& terminfo = renderer.terminfo;
    const int fromColumn = renderer.cursorColumn;
    const int fromRow = renderer.cursorRow;
    if (column == fromColumn && row == fromRow)
        return {};
    std::string best;
    keepShorter(best, formatted(terminfo.cursorAddress, row, column),
                terminfo.cursorAddress != nullptr);
    if (fromColumn < 0 || fromRow < 0)
        return best;

    std::string across;  // along the row the cursor is on
    if (column < fromColumn) {
        keepShorter(across, repeated(terminfo.left, fromColumn - column),
                    terminfo.left != nullptr && fromColumn - column <= 4);
        keepShorter(across, formatted(terminfo.leftBy, fromColumn - column),
                    terminfo.leftBy != nullptr);
    } else if (column > fromColumn) {
        keepShorter(across, formatted(terminfo.rightBy, column - fromColumn),
                    terminfo.rightBy != nullptr);
    }
    if (column != fromColumn)
        keepShorter(across, formatted(terminfo.columnAddress, column),
                    terminfo.columnAddress != nullptr);
    std::string down;  // along the column the cursor is in
    if (row < fromRow)
        keepShorter(down, formatted(terminfo.upBy, fromRow - row),
                    terminfo.upBy != nullptr);
    else if (row > fromRow)
        keepShorter(down, formatted(terminfo.downBy, row - fromRow),
                    terminfo.downBy != nullptr);
    if (row != fromRow)
        keepShorter(down, formatted(terminfo.rowAddress, row),
                    terminfo.rowAddress != nullptr);
    const bool acrossWorks = column == fromColumn || !across.empty();
    const bool downWorks = row == fromRow || !down.empty();
    keepShorter(best, down + across, acrossWorks && downWorks);
    return best;
}

std::string utf8(char16_t code)
{
    std::string text;
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return text;
}

// Sends the glyph of a byte character where the cursor stands.
void putGlyph(Renderer& renderer, unsigned char byte)
{
    const Capabilities& terminfo = renderer.terminfo;
    const bool diamond = byte == 4 && !renderer.unicodeGlyphs &&
                         terminfo.lineDrawingDiamond != 0 &&
                         terminfo.lineDrawingOn != nullptr;
    if (diamond != renderer.lineDrawing) {
        addCapability(renderer, diamond ? terminfo.lineDrawingOn
                                        : terminfo.lineDrawingOff);
        renderer.lineDrawing = diamond;
    }
    std::string& output = renderer.output;
    if (diamond)
        output += terminfo.lineDrawingDiamond;
    else if (byte == 0)
        output += ' ';
    else if (renderer.unicodeGlyphs)
        output += utf8(codePage437[byte]);
    else if (byte == 4)
        output += '*';
    else
        output += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
}

// Blanks that take the cursor along its row to a cell, where they are
// fewer bytes than a motion: only over cells that already show a blank on
// the pen's background, so that nothing a user sees changes. "" for none.
std::string blanksAcross(const Renderer& renderer, int column, int row)
{
    constexpr int fewestBytesOfAMotion = 3;
    const int from = renderer.cursorColumn;
    const auto& pen = renderer.pen;
    if (row != renderer.cursorRow || from < 0 || column <= from ||
        column - from > fewestBytesOfAMotion || !pen || pen->reverse ||
        renderer.lineDrawing)
        return {};
    for (int at = from; at < column; ++at) {
        const auto& shown = renderer.shown[row * pictureColumns + at];
        if (!shown || !isBlank(shown->byte))
            return {};
        const Look look = lookFor(renderer.terminfo, *shown);
        if (look.reverse || look.background != pen->background)
            return {};
    }
    return std::string(static_cast<std::size_t>(column - from), ' ');
}

void drawCell(Renderer& renderer, int index)
{
    const int column = index % pictureColumns;
    const int row = index / pictureColumns;
    const ScreenCell& cell = renderer.picture[index];
    std::string move = motion(renderer, column, row);
    if (std::string blanks = blanksAcross(renderer, column, row);
        !blanks.empty() && blanks.size() < move.size())
        move = std::move(blanks);
    renderer.output += move;
    const Look look = lookToDraw(renderer, cell);
    renderer.output += lookChange(renderer.terminfo, renderer.pen, look);
    renderer.pen = look;
    putGlyph(renderer, cell.byte);
    renderer.shown[index] = cell;
    renderer.cursorRow = row;
    // At the last column the terminal may hold the cursor or wrap it.
    renderer.cursorColumn =
        column + 1 < renderer.terminalColumns ? column + 1 : -1;
}

bool cellOnTerminal(const Renderer& renderer, int index)
{
    const int column = index % pictureColumns;
    const int row = index / pictureColumns;
    if (column >= renderer.terminalColumns || row >= renderer.terminalRows)
        return false;
    return !(renderer.terminfo.lastCellScrolls &&
             column == renderer.terminalColumns - 1 &&
             row == renderer.terminalRows - 1);
}

bool cellNeedsDrawing(const Renderer& renderer, int index)
{
    const auto& shown = renderer.shown[index];
    return cellOnTerminal(renderer, index) &&
           (!shown || !looksTheSame(renderer.terminfo, *shown,
                                    renderer.picture[index]));
}

void renderClear(Renderer& renderer)
{
    const Look cleared = lookFor(renderer.terminfo, ScreenCell{});
    renderer.output += lookChange(renderer.terminfo, renderer.pen, cleared);
    renderer.pen = cleared;
    addCapability(renderer, renderer.terminfo.clear);
    renderer.cursorColumn = 0;
    renderer.cursorRow = 0;
    // A terminal that erases in the current colours shows cleared cells as
    // the picture has them; any other needs them written.
    renderer.shown.fill(renderer.terminfo.backgroundErase
                            ? std::optional(ScreenCell{})
                            : std::nullopt);
    renderer.clearPending = false;
}

}  // namespace

Capabilities readCapabilities()
{
    Capabilities found;
    found.clear = capability("clear");
    found.cursorAddress = capability("cup");
    found.columnAddress = capability("hpa");
    found.rowAddress = capability("vpa");
    found.left = capability("cub1");
    found.leftBy = capability("cub");
    found.rightBy = capability("cuf");
    found.upBy = capability("cuu");
    found.downBy = capability("cud");
    found.foreground = capability("setaf");
    found.background = capability("setab");
    found.plain = capability("sgr0");
    found.originalColours = capability("op");
    found.bold = capability("bold");
    found.reverse = capability("rev");
    found.lineDrawingOn = capability("smacs");
    found.lineDrawingOff = capability("rmacs");
    found.hideCursor = capability("civis");
    found.showCursor = capability("cnorm");
    found.enterFullScreen = capability("smcup");
    found.leaveFullScreen = capability("rmcup");
    found.keypadOn = capability("smkx");
    found.keypadOff = capability("rmkx");
    // acsc pairs a line-drawing name with the character that draws it;
    // '`' names the diamond.
    if (const char* pairs = capability("acsc"))
        for (; pairs[0] != '\0' && pairs[1] != '\0'; pairs += 2)
            if (pairs[0] == '`')
                found.lineDrawingDiamond = pairs[1];
    const int colours = tigetnum(const_cast<char*>("colors"));
    found.colours =
        found.foreground != nullptr && found.background != nullptr ? colours
                                                                   : 0;
    found.backgroundErase = tigetflag(const_cast<char*>("bce")) > 0;
    found.lastCellScrolls = tigetflag(const_cast<char*>("am")) > 0 &&
                            tigetflag(const_cast<char*>("xenl")) <= 0;
    return found;
}

Look lookFor(const Capabilities& terminfo, const ScreenCell& cell)
{
    Look look;
    const std::uint16_t foreground = cell.foreground & 15;
    const std::uint16_t background = cell.background & 15;
    if (terminfo.colours >= 16) {
        look.foreground = terminalColour(foreground);
        look.background = terminalColour(background);
    } else if (terminfo.colours >= 8) {
        // Eight colours: a bright foreground as bold, a bright background as
        // its plain colour, dark grey as light grey so that it still shows.
        look.bold = (foreground & 8) != 0;
        look.foreground = static_cast<short>(terminalColour(foreground) & 7);
        look.background =
            background == colourDarkGrey
                ? COLOR_WHITE
                : static_cast<short>(terminalColour(background) & 7);
        if (look.foreground == look.background)
            look.foreground =
                look.background == COLOR_BLACK ? COLOR_WHITE : COLOR_BLACK;
    } else {
        look.bold = (foreground & 8) != 0;
        look.reverse = background != colourBlack;
    }
    return look;
}

void drawIntoPicture(Renderer& renderer, const std::string& text, int column,
                     int row, std::uint16_t foreground,
                     std::uint16_t background)
{
    if (column < 0 || column >= pictureColumns || row < 0 ||
        row >= pictureRows)
        return;
    auto cell = static_cast<std::size_t>(row * pictureColumns + column);
    for (const char byte : text) {
        if (cell >= renderer.picture.size())
            break;
        renderer.picture[cell++] = {static_cast<unsigned char>(byte),
                                    foreground, background};
    }
}

void clearPicture(Renderer& renderer)
{
    renderer.picture.fill(ScreenCell{});
    renderer.clearPending = true;
}

void addCapability(Renderer& renderer, const char* capability)
{
    renderer.output += expanded(capability);
}

void renderPicture(Renderer& renderer)
{
    if (renderer.clearPending)
        renderClear(renderer);
    std::vector<int> changed;
    for (int index = 0; index < static_cast<int>(pictureCells); ++index)
        if (cellNeedsDrawing(renderer, index))
            changed.push_back(index);

    // A few cells, as after a key: take each time the one that is cheapest
    // to reach from where the last one left the cursor and the colours.
    constexpr std::size_t fewCells = 8;
    while (!changed.empty() && changed.size() <= fewCells) {
        auto cheapest = changed.begin();
        std::size_t lowestCost = std::string::npos;
        for (auto candidate = changed.begin(); candidate != changed.end();
             ++candidate) {
            const int index = *candidate;
            const std::size_t cost =
                motion(renderer, index % pictureColumns, index / pictureColumns)
                    .size() +
                lookChange(renderer.terminfo, renderer.pen,
                           lookToDraw(renderer, renderer.picture[index]))
                    .size();
            if (cost < lowestCost) {
                lowestCost = cost;
                cheapest = candidate;
            }
        }
        drawCell(renderer, *cheapest);
        changed.erase(cheapest);
    }
    for (const int index : changed)
        drawCell(renderer, index);
    if (renderer.lineDrawing) {
        addCapability(renderer, renderer.terminfo.lineDrawingOff);
        renderer.lineDrawing = false;
    }
}

void renderCursorMove(Renderer& renderer, int column, int row)
{
    renderer.output += motion(renderer, column, row);
    renderer.cursorColumn = column;
    renderer.cursorRow = row;
}

void renderPlainLook(Renderer& renderer)
{
    if (renderer.lineDrawing)
        addCapability(renderer, renderer.terminfo.lineDrawingOff);
    addCapability(renderer, renderer.terminfo.plain);
    addCapability(renderer, renderer.terminfo.originalColours);
    renderer.lineDrawing = false;
    renderer.pen.reset();
}

void forgetTerminal(Renderer& renderer)
{
    renderer.shown.fill(std::nullopt);
    renderer.pen.reset();
    renderer.lineDrawing = false;
    renderer.cursorColumn = -1;
    renderer.cursorRow = -1;
    renderer.clearPending = true;
}
