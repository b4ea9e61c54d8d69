// The console layer on a POSIX terminal, through ncursesw and terminfo.
//
// A terminal has no screen buffer to read back, so the 80 by 25 picture the
// editor draws is kept here, along with what the terminal is known to show.
// Drawing changes only the picture. Before the program waits for a key, the
// cells that differ are sent in one write, with terminfo's strings for the
// cursor moves and colours; after a resize or a stop the terminal is
// repainted whole. Curses sets the terminal's modes, decodes the keys, and
// gives the terminal back at the end.
#include "console.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "code_page_437.h"

namespace {

constexpr int pictureColumns = 80;
constexpr int pictureRows = 25;

constexpr std::uint16_t black = 0;
constexpr std::uint16_t lightGrey = 7;

// Long enough to tell a lone Escape from the start of a key's sequence sent
// in one piece, short enough that Escape answers at once.
constexpr int escapeDelayMilliseconds = 20;

constexpr const char* pauseText =
    "Druk op een willekeurige toets om door te gaan. . .";
constexpr const char* unusableTerminalText =
    "Deze terminal kan het scherm van de editor niet tonen.";

// Those that end the program, then a resize and Ctrl-Z.
constexpr std::array caughtSignals{SIGINT,  SIGTERM,  SIGQUIT,
                                   SIGHUP,  SIGWINCH, SIGTSTP};

struct ScreenCell {
    unsigned char byte = 0;
    std::uint16_t foreground = lightGrey;
    std::uint16_t background = black;
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

// The terminfo strings this layer draws with; null where the terminal has
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
    char lineDrawingDiamond = 0;
    int colours = 0;
    bool backgroundErase = false;
    bool lastCellScrolls = false;
};

SCREEN* terminal = nullptr;
WINDOW* keyboard = nullptr;
Capabilities terminfo;
bool unicodeGlyphs = false;
int terminalRows = pictureRows;
int terminalColumns = pictureColumns;

std::array<ScreenCell, pictureColumns * pictureRows> picture;
std::array<std::optional<ScreenCell>, pictureColumns * pictureRows> shown;
bool clearPending = false;

// What the terminal is known to be at, as the pending output leaves it.
std::string output;
int cursorColumn = -1;  // -1: not known
int cursorRow = -1;
std::optional<Look> pen;
bool lineDrawing = false;
bool cursorHidden = false;

// Signals are only noted here; the key wait acts on them.
int signalPipe[2] = {-1, -1};

void noteSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] auto written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void catchSignal(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void catchSignals(void (*handler)(int))
{
    for (const int signalNumber : caughtSignals)
        catchSignal(signalNumber, handler);
}

const char* capability(const char* name)
{
    char* value = tigetstr(name);
    return value == nullptr || value == reinterpret_cast<char*>(-1) ? nullptr
                                                                    : value;
}

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
    // acsc pairs a line-drawing name with the character that draws it;
    // '`' names the diamond.
    if (const char* pairs = capability("acsc"))
        for (; pairs[0] != '\0' && pairs[1] != '\0'; pairs += 2)
            if (pairs[0] == '`')
                found.lineDrawingDiamond = pairs[1];
    const int colours = tigetnum("colors");
    found.colours =
        found.foreground != nullptr && found.background != nullptr ? colours
                                                                   : 0;
    found.backgroundErase = tigetflag("bce") > 0;
    found.lastCellScrolls = tigetflag("am") > 0 && tigetflag("xenl") <= 0;
    return found;
}

// The palette numbers blue as 1 and red as 4; terminals the other way round.
short terminalColour(std::uint16_t colour)
{
    return static_cast<short>((colour & 8) | ((colour & 1) << 2) |
                              (colour & 2) | ((colour & 4) >> 2));
}

Look lookFor(const ScreenCell& cell)
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
        look.background = background == 8
                              ? COLOR_WHITE
                              : static_cast<short>(terminalColour(background) & 7);
        if (look.foreground == look.background)
            look.foreground =
                look.background == COLOR_BLACK ? COLOR_WHITE : COLOR_BLACK;
    } else {
        look.bold = (foreground & 8) != 0;
        look.reverse = background != black;
    }
    return look;
}

int appendToOutput(int character)
{
    output += static_cast<char>(character);
    return character;
}

void put(const char* sequence)
{
    if (sequence != nullptr)
        tputs(sequence, 1, appendToOutput);
}

std::string expanded(const char* sequence)
{
    const std::string saved = std::exchange(output, {});
    put(sequence);
    return std::exchange(output, saved);
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
std::string lookChange(const std::optional<Look>& from, const Look& to)
{
    if (from == to)
        return {};
    std::string change;
    Look start;
    if (!from || (from->bold && !to.bold) || (from->reverse && !to.reverse)) {
        change = expanded(terminfo.plain);
    } else {
        start = *from;
    }
    std::vector<std::string> parts;
    if (to.bold && !start.bold)
        parts.push_back(expanded(terminfo.bold));
    if (to.reverse && !start.reverse)
        parts.push_back(expanded(terminfo.reverse));
    if (to.foreground >= 0 && to.foreground != start.foreground)
        parts.push_back(expanded(tiparm(terminfo.foreground, to.foreground)));
    if (to.background >= 0 && to.background != start.background)
        parts.push_back(expanded(tiparm(terminfo.background, to.background)));
    if (const auto joined = joinedRenditions(parts); !joined.empty())
        return change + joined;
    for (const auto& part : parts)
        change += part;
    return change;
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
std::string motion(int column, int row)
{
    if (column == cursorColumn && row == cursorRow)
        return {};
    std::string best;
    keepShorter(best, expanded(tiparm(terminfo.cursorAddress, row, column)),
                terminfo.cursorAddress != nullptr);
    if (cursorColumn < 0 || cursorRow < 0)
        return best;

    std::string across;  // along the row the cursor is on
    if (column < cursorColumn) {
        keepShorter(across, repeated(terminfo.left, cursorColumn - column),
                    terminfo.left != nullptr && cursorColumn - column <= 4);
        keepShorter(across,
                    expanded(tiparm(terminfo.leftBy, cursorColumn - column)),
                    terminfo.leftBy != nullptr);
    } else if (column > cursorColumn) {
        keepShorter(across,
                    expanded(tiparm(terminfo.rightBy, column - cursorColumn)),
                    terminfo.rightBy != nullptr);
    }
    if (column != cursorColumn)
        keepShorter(across, expanded(tiparm(terminfo.columnAddress, column)),
                    terminfo.columnAddress != nullptr);
    std::string down;  // along the column the cursor is in
    if (row < cursorRow)
        keepShorter(down, expanded(tiparm(terminfo.upBy, cursorRow - row)),
                    terminfo.upBy != nullptr);
    else if (row > cursorRow)
        keepShorter(down, expanded(tiparm(terminfo.downBy, row - cursorRow)),
                    terminfo.downBy != nullptr);
    if (row != cursorRow)
        keepShorter(down, expanded(tiparm(terminfo.rowAddress, row)),
                    terminfo.rowAddress != nullptr);
    const bool acrossWorks = column == cursorColumn || !across.empty();
    const bool downWorks = row == cursorRow || !down.empty();
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
void putGlyph(unsigned char byte)
{
    const bool diamond = byte == 4 && !unicodeGlyphs &&
                         terminfo.lineDrawingDiamond != 0 &&
                         terminfo.lineDrawingOn != nullptr;
    if (diamond != lineDrawing) {
        put(diamond ? terminfo.lineDrawingOn : terminfo.lineDrawingOff);
        lineDrawing = diamond;
    }
    if (diamond)
        output += terminfo.lineDrawingDiamond;
    else if (byte == 0)
        output += ' ';
    else if (unicodeGlyphs)
        output += utf8(codePage437[byte]);
    else if (byte == 4)
        output += '*';
    else
        output += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
}

void drawCell(int index)
{
    const int column = index % pictureColumns;
    const int row = index / pictureColumns;
    output += motion(column, row);
    const Look look = lookFor(picture[index]);
    output += lookChange(pen, look);
    pen = look;
    putGlyph(picture[index].byte);
    shown[index] = picture[index];
    cursorRow = row;
    // At the last column the terminal may hold the cursor or wrap it.
    cursorColumn = column + 1 < terminalColumns ? column + 1 : -1;
}

bool cellOnTerminal(int index)
{
    const int column = index % pictureColumns;
    const int row = index / pictureColumns;
    if (column >= terminalColumns || row >= terminalRows)
        return false;
    return !(terminfo.lastCellScrolls && column == terminalColumns - 1 &&
             row == terminalRows - 1);
}

void sendOutput()
{
    std::size_t done = 0;
    while (done < output.size()) {
        const ssize_t written =
            write(STDOUT_FILENO, output.data() + done, output.size() - done);
        if (written > 0)
            done += static_cast<std::size_t>(written);
        else if (written < 0 && errno == EINTR)
            continue;
        else
            break;  // the terminal is gone
    }
    output.clear();
}

// Brings the terminal up to date with the picture, as far as it fits, in one
// write.
void showPicture()
{
    if (clearPending) {
        const Look cleared = lookFor(ScreenCell{});
        output += lookChange(pen, cleared);
        pen = cleared;
        put(terminfo.clear);
        cursorColumn = 0;
        cursorRow = 0;
        // A terminal that erases in the current colours shows cleared cells
        // as the picture has them; any other needs them written.
        shown.fill(terminfo.backgroundErase ? std::optional(ScreenCell{})
                                            : std::nullopt);
        clearPending = false;
    }
    std::vector<int> changed;
    for (int index = 0; index < static_cast<int>(picture.size()); ++index)
        if (shown[index] != picture[index] && cellOnTerminal(index))
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
                motion(index % pictureColumns, index / pictureColumns).size() +
                lookChange(pen, lookFor(picture[index])).size();
            if (cost < lowestCost) {
                lowestCost = cost;
                cheapest = candidate;
            }
        }
        drawCell(*cheapest);
        changed.erase(cheapest);
    }
    for (const int index : changed)
        drawCell(index);
    if (lineDrawing) {
        put(terminfo.lineDrawingOff);
        lineDrawing = false;
    }
    sendOutput();
}

void forgetTerminalState()
{
    shown.fill(std::nullopt);
    pen.reset();
    lineDrawing = false;
    cursorColumn = -1;
    cursorRow = -1;
}

void readTerminalSize()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 &&
        size.ws_col > 0) {
        terminalRows = size.ws_row;
        terminalColumns = size.ws_col;
    }
}

void repaintAll()
{
    readTerminalSize();
    forgetTerminalState();
    clearPending = true;
    showPicture();
}

// Lets the signal do what it does by default: end or stop the program.
void raiseWithDefaultAction(int signalNumber)
{
    catchSignal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signalNumber);
}

void endBySignal(int signalNumber)
{
    closeConsole();
    raiseWithDefaultAction(signalNumber);
    _exit(128 + signalNumber);
}

// Sets the terminal's colours and cursor back to its own before curses gives
// it back.
void resetLook()
{
    if (lineDrawing)
        put(terminfo.lineDrawingOff);
    put(terminfo.plain);
    put(terminfo.originalColours);
    if (cursorHidden)
        put(terminfo.showCursor);
    sendOutput();
    forgetTerminalState();
}

// Ctrl-Z: the terminal is given back while the program is stopped, and the
// whole picture is shown again when it goes on.
void suspend()
{
    resetLook();
    endwin();
    raiseWithDefaultAction(SIGTSTP);
    catchSignal(SIGTSTP, noteSignal);
    doupdate();  // curses takes the terminal again
    if (cursorHidden)
        put(terminfo.hideCursor);
    repaintAll();
}

void actOnSignals()
{
    unsigned char byte;
    while (read(signalPipe[0], &byte, 1) == 1) {
        if (byte == SIGWINCH)
            repaintAll();
        else if (byte == SIGTSTP)
            suspend();
        else
            endBySignal(byte);
    }
}

bool keyboardAvailable()
{
    return terminal != nullptr && isatty(STDIN_FILENO);
}

// The next key as curses decodes it, or ERR once the keyboard is gone.
int nextCursesKey()
{
    bool inputWasReady = false;
    for (;;) {
        const int key = wgetch(keyboard);
        if (key != ERR)
            return key;
        if (inputWasReady)
            return ERR;
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0},
                             {signalPipe[0], POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return ERR;
        }
        if (watched[1].revents & POLLIN)
            actOnSignals();
        if (watched[0].revents & POLLIN)
            inputWasReady = true;
        else if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return ERR;
    }
}

// Terminals send the cursor keys as ESC [ A or as ESC O A depending on a mode
// the program cannot be sure of; teach curses both forms of the plain keys.
void defineBothKeyForms()
{
    const std::array<std::pair<const char*, int>, 16> forms{{
        {"\033[A", KEY_UP},    {"\033OA", KEY_UP},   {"\033[B", KEY_DOWN},
        {"\033OB", KEY_DOWN},  {"\033[C", KEY_RIGHT}, {"\033OC", KEY_RIGHT},
        {"\033[D", KEY_LEFT},  {"\033OD", KEY_LEFT},  {"\033[H", KEY_HOME},
        {"\033OH", KEY_HOME},  {"\033[F", KEY_END},   {"\033OF", KEY_END},
        {"\033[1~", KEY_HOME}, {"\033[4~", KEY_END},  {"\033OM", KEY_ENTER},
        {"\033[2~", KEY_IC},
    }};
    for (const auto& [sequence, key] : forms)
        define_key(sequence, key);
}

}  // namespace

// Windows virtual-key code for a key as curses reports it, or 0 for a key
// that has none. Letters and punctuation give the code of the key that types
// them on a US keyboard, whatever the shift state.
std::uint16_t virtualKeyFromCurses(int key)
{
    if (key == '\r' || key == '\n' || key == KEY_ENTER)
        return keyReturn;
    if (key == 27)
        return keyEscape;
    if (key == ' ')
        return keySpace;
    if (key == '\t' || key == KEY_BTAB)
        return keyTab;
    if (key == '\b' || key == 127 || key == KEY_BACKSPACE)
        return keyBackspace;
    if (key >= 'a' && key <= 'z')
        return static_cast<std::uint16_t>(key - 'a' + 'A');
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return static_cast<std::uint16_t>(key);
    if (key >= 1 && key <= 26)  // Ctrl with a letter
        return static_cast<std::uint16_t>(key - 1 + 'A');
    if (key > ' ' && key < 127) {
        static constexpr std::string_view shiftedDigits = ")!@#$%^&*(";
        if (const auto at = shiftedDigits.find(static_cast<char>(key));
            at != std::string_view::npos)
            return static_cast<std::uint16_t>('0' + at);
        static constexpr std::array<std::pair<std::string_view, std::uint16_t>,
                                    11>
            punctuation{{{";:", 0xBA},
                         {"=+", 0xBB},
                         {",<", 0xBC},
                         {"-_", 0xBD},
                         {".>", 0xBE},
                         {"/?", 0xBF},
                         {"`~", 0xC0},
                         {"[{", 0xDB},
                         {"\\|", 0xDC},
                         {"]}", 0xDD},
                         {"'\"", 0xDE}}};
        for (const auto& [characters, code] : punctuation)
            if (characters.find(static_cast<char>(key)) !=
                std::string_view::npos)
                return code;
        return 0;
    }
    // With Shift or Ctrl held, F1 to F12 come as F13 to F24, F25 to F36 ...
    if (key >= KEY_F(1) && key <= KEY_F(63))
        return static_cast<std::uint16_t>(keyF1 + (key - KEY_F(1)) % 12);
    switch (key) {
    case KEY_UP: case KEY_SR: return keyUp;
    case KEY_DOWN: case KEY_SF: return keyDown;
    case KEY_LEFT: case KEY_SLEFT: return keyLeft;
    case KEY_RIGHT: case KEY_SRIGHT: return keyRight;
    case KEY_HOME: case KEY_SHOME: return keyHome;
    case KEY_END: case KEY_SEND: return keyEnd;
    case KEY_PPAGE: case KEY_SPREVIOUS: return keyPageUp;
    case KEY_NPAGE: case KEY_SNEXT: return keyPageDown;
    case KEY_IC: case KEY_SIC: return keyInsert;
    case KEY_DC: case KEY_SDC: return keyDelete;
    default: break;
    }
    // Keys with Shift, Ctrl or Alt held, named by terminfo as kUP5 and the
    // like, give the code of the plain key.
    const char* name = keyname(key);
    if (name == nullptr || name[0] != 'k')
        return 0;
    static constexpr std::array<std::pair<std::string_view, std::uint16_t>, 10>
        modified{{{"kUP", keyUp},
                  {"kDN", keyDown},
                  {"kLFT", keyLeft},
                  {"kRIT", keyRight},
                  {"kHOM", keyHome},
                  {"kEND", keyEnd},
                  {"kPRV", keyPageUp},
                  {"kNXT", keyPageDown},
                  {"kIC", keyInsert},
                  {"kDC", keyDelete}}};
    const std::string_view named(name);
    for (const auto& [prefix, code] : modified)
        if (named.substr(0, prefix.size()) == prefix &&
            named.find_first_not_of("0123456789", prefix.size()) ==
                std::string_view::npos)
            return code;
    return 0;
}

void openConsole()
{
    if (terminal != nullptr || !isatty(STDOUT_FILENO))
        return;
    std::setlocale(LC_ALL, "");
    unicodeGlyphs = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

    // Catch the signals before curses starts, so that it leaves them to us.
    if (pipe(signalPipe) != 0)
        return;
    for (const int end : signalPipe) {
        fcntl(end, F_SETFL, O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    catchSignals(noteSignal);

    terminal = newterm(nullptr, stdout, stdin);
    if (terminal == nullptr)
        terminal = newterm("ansi", stdout, stdin);
    if (terminal != nullptr)
        terminfo = readCapabilities();
    if (terminal == nullptr || terminfo.cursorAddress == nullptr ||
        terminfo.clear == nullptr) {
        // Without a way to place text on it there is no editing screen:
        // the editing then ends at once, as Escape ends it.
        if (terminal != nullptr) {
            endwin();
            delscreen(terminal);
            terminal = nullptr;
        }
        catchSignals(SIG_DFL);
        const char* name = std::getenv("TERM");
        std::fprintf(stderr, "%s (TERM=%s)\n", unusableTerminalText,
                     name != nullptr ? name : "");
        return;
    }
    set_escdelay(escapeDelayMilliseconds);
    cbreak();
    noecho();
    nonl();
    // Ctrl-S would stop all output until Ctrl-Q, leaving the editor stuck in
    // its next write: make it a key like any other.
    termios modes{};
    if (tcgetattr(STDIN_FILENO, &modes) == 0) {
        modes.c_iflag &= ~static_cast<tcflag_t>(IXON);
        tcsetattr(STDIN_FILENO, TCSANOW, &modes);
        def_prog_mode();
    }
    keyboard = newpad(1, 1);  // reading keys from a pad never refreshes
    keypad(keyboard, TRUE);
    nodelay(keyboard, TRUE);
    defineBothKeyForms();
    // Curses sends its start-up strings (the alternate screen, the keypad's
    // mode) with the first key read; have that done now, so that the editing
    // screen goes out in one piece after it.
    if (const int typedAhead = wgetch(keyboard); typedAhead != ERR)
        ungetch(typedAhead);
    readTerminalSize();
    forgetTerminalState();
    clearPending = true;
}

void closeConsole()
{
    if (terminal == nullptr)
        return;
    resetLook();
    flushinp();
    endwin();
    // The terminal's cursor is back at the start of the line where the
    // answers ended, which may still hold the last question.
    std::fputs("\n", stdout);
    std::fflush(stdout);
    delwin(keyboard);
    delscreen(terminal);
    terminal = nullptr;
    keyboard = nullptr;
    catchSignals(SIG_DFL);
}

void clearScreen()
{
    picture.fill(ScreenCell{});
    clearPending = true;
}

void hideCursor()
{
    if (terminal == nullptr)
        return;
    put(terminfo.hideCursor);
    cursorHidden = true;
}

void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background)
{
    if (column < 0 || column >= pictureColumns || row < 0 ||
        row >= pictureRows)
        return;
    // A text that reaches the end of a row goes on at the start of the next.
    auto cell = static_cast<std::size_t>(row * pictureColumns + column);
    for (const char byte : text) {
        if (cell >= picture.size())
            break;
        picture[cell++] = {static_cast<unsigned char>(byte), foreground,
                           background};
    }
}

void writeCharAt(char character, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background)
{
    writeTextAt(std::string(1, character), column, row, foreground,
                background);
}

std::uint16_t readKey()
{
    if (!keyboardAvailable())
        return keyEscape;
    showPicture();
    for (;;) {
        const int key = nextCursesKey();
        if (key == ERR)
            return keyEscape;
        if (const auto code = virtualKeyFromCurses(key); code != 0)
            return code;
    }
}

// Text written to the terminal after the editing starts at its top-left
// cell, where the cleared screen left the text cursor.
void pauseForKey()
{
    if (terminal == nullptr)
        return;
    writeTextAt(pauseText, 0, 0, lightGrey, black);
    showPicture();
    if (keyboardAvailable())
        nextCursesKey();
}
