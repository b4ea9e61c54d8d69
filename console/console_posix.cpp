// The console layer on a POSIX terminal, through ncursesw and terminfo.
//
// A terminal has no screen buffer to read back, so the 80 by 25 picture the
// editor draws is kept in a curses pad. Drawing changes only the pad; the
// terminal is brought up to date in one burst before the program waits for a
// key, and the pad repaints the terminal whenever it was resized or resumed.
#include "console.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <string_view>
#include <utility>

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

// Those that end the program, then a resize and Ctrl-Z.
constexpr std::array caughtSignals{SIGINT,  SIGTERM,  SIGQUIT,
                                   SIGHUP,  SIGWINCH, SIGTSTP};

SCREEN* terminal = nullptr;
WINDOW* picture = nullptr;
bool unicodeGlyphs = false;
std::array<short, 256> colourPairs{};
short nextColourPair = 1;

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
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void catchSignals(void (*handler)(int))
{
    for (const int signalNumber : caughtSignals)
        catchSignal(signalNumber, handler);
}

// The palette numbers blue as 1 and red as 4; curses the other way round.
short cursesColour(std::uint16_t colour)
{
    return static_cast<short>((colour & 8) | ((colour & 1) << 2) |
                              (colour & 2) | ((colour & 4) >> 2));
}

// Attributes and colour pair that show foreground on background as closely
// as the terminal can.
void cursesLook(std::uint16_t foreground, std::uint16_t background,
                attr_t& attributes, short& pair)
{
    foreground &= 15;
    background &= 15;
    attributes = A_NORMAL;
    pair = 0;
    if (!has_colors()) {
        if (background != black)
            attributes |= A_REVERSE;
        if (foreground & 8)
            attributes |= A_BOLD;
        return;
    }
    short front = cursesColour(foreground);
    short back = cursesColour(background);
    if (COLORS < 16) {
        // Eight colours: bright foregrounds as bold, a bright background as
        // its plain colour, dark grey as light grey so that it still shows.
        if (front & 8)
            attributes |= A_BOLD;
        front &= 7;
        back = back == 8 ? COLOR_WHITE : back & 7;
        if (front == back)
            front = back == COLOR_BLACK ? COLOR_WHITE : COLOR_BLACK;
    }
    auto& known = colourPairs[foreground + 16 * background];
    if (known == 0 && nextColourPair < COLOR_PAIRS) {
        init_pair(nextColourPair, front, back);
        known = nextColourPair++;
    }
    pair = known;
}

void putByte(int column, int row, unsigned char byte, attr_t attributes,
             short pair)
{
    cchar_t cell;
    wchar_t glyph[2] = {static_cast<wchar_t>(codePage437[byte]), L'\0'};
    if (!unicodeGlyphs) {
        if (byte == 4) {
            attr_t diamondAttributes;
            short diamondPair;
            getcchar(WACS_DIAMOND, glyph, &diamondAttributes, &diamondPair,
                     nullptr);
            attributes |= diamondAttributes;
        } else if (byte < 0x20 || byte > 0x7E) {
            glyph[0] = L' ';
        }
    }
    setcchar(&cell, glyph, attributes, pair, nullptr);
    mvwadd_wch(picture, row, column, &cell);
}

// Brings the terminal up to date with the picture, as far as it fits.
void showPicture()
{
    const int rows = LINES < pictureRows ? LINES : pictureRows;
    const int columns = COLS < pictureColumns ? COLS : pictureColumns;
    if (rows > 0 && columns > 0)
        pnoutrefresh(picture, 0, 0, 0, 0, rows - 1, columns - 1);
    doupdate();
}

void repaintAll()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 &&
        size.ws_col > 0)
        resizeterm(size.ws_row, size.ws_col);
    werase(stdscr);
    wnoutrefresh(stdscr);
    touchwin(picture);
    clearok(curscr, TRUE);
    showPicture();
}

void endBySignal(int signalNumber)
{
    closeConsole();
    catchSignal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signalNumber);
    _exit(128 + signalNumber);
}

// Ctrl-Z: the terminal is given back while the program is stopped, and the
// whole picture is shown again when it goes on.
void suspend()
{
    endwin();
    catchSignal(SIGTSTP, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(SIGTSTP);
    catchSignal(SIGTSTP, noteSignal);
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
        const int key = wgetch(picture);
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
    if (key >= KEY_F(1) && key <= KEY_F(63))  // shifted ones come as F13 on
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
    if (terminal == nullptr) {
        catchSignals(SIG_DFL);
        return;
    }
    if (has_colors())
        start_color();
    set_escdelay(escapeDelayMilliseconds);
    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    picture = newpad(pictureRows, pictureColumns);
    keypad(picture, TRUE);
    nodelay(picture, TRUE);
    leaveok(picture, TRUE);
    defineBothKeyForms();

    attr_t attributes;
    short pair;
    cursesLook(lightGrey, black, attributes, pair);
    cchar_t cleared;
    setcchar(&cleared, L" ", attributes, pair, nullptr);
    wbkgrndset(stdscr, &cleared);
    wbkgrndset(picture, &cleared);
}

void closeConsole()
{
    if (terminal == nullptr)
        return;
    flushinp();
    endwin();
    // The terminal's cursor is back at the start of the line where the
    // answers ended, which may still hold the last question.
    std::fputs("\n", stdout);
    std::fflush(stdout);
    delwin(picture);
    delscreen(terminal);
    terminal = nullptr;
    picture = nullptr;
    catchSignals(SIG_DFL);
}

void clearScreen()
{
    if (terminal == nullptr)
        return;
    werase(stdscr);
    wnoutrefresh(stdscr);
    werase(picture);
    clearok(curscr, TRUE);
}

void hideCursor()
{
    if (terminal != nullptr)
        curs_set(0);
}

void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background)
{
    if (terminal == nullptr || column < 0 || column >= pictureColumns ||
        row < 0 || row >= pictureRows)
        return;
    attr_t attributes;
    short pair;
    cursesLook(foreground, background, attributes, pair);
    // A text that reaches the end of a row goes on at the start of the next.
    int cell = row * pictureColumns + column;
    for (const char byte : text) {
        if (cell >= pictureRows * pictureColumns)
            break;
        putByte(cell % pictureColumns, cell / pictureColumns,
                static_cast<unsigned char>(byte), attributes, pair);
        ++cell;
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

bool writeFileInPlace(const std::string& name, const std::string& content)
{
    // Past a file-size limit the write is to fail, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    constexpr int flags = O_WRONLY | O_CLOEXEC;
    bool created = true;
    int file = open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (file < 0 && errno == EEXIST) {
        created = false;
        file = open(name.c_str(), flags);
    }
    if (file < 0)
        return false;
    struct stat status {};
    const auto length = static_cast<off_t>(content.size());
    // The space is made sure of before any old byte is overwritten, so a full
    // disk or a file-size limit leaves the old level whole.
    bool whole = fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
                 (length == 0 || posix_fallocate(file, 0, length) == 0);
    std::size_t done = 0;
    while (whole && done < content.size()) {
        const ssize_t written =
            pwrite(file, content.data() + done, content.size() - done,
                   static_cast<off_t>(done));
        if (written > 0)
            done += static_cast<std::size_t>(written);
        else if (written < 0 && errno == EINTR)
            continue;
        else
            whole = false;
    }
    whole = whole && ftruncate(file, length) == 0 && fsync(file) == 0;
    whole = close(file) == 0 && whole;
    if (!whole && created)
        unlink(name.c_str());
    return whole;
}
