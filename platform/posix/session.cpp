// The console on a POSIX terminal: the terminal session (its modes, the
// signals, suspend and resize), the key wait, and the console's entry
// points. terminfo (through ncurses) describes the terminal; the picture and
// its output are the renderer's, the keys' bytes the key decoder's.
//
// Drawing changes only the picture. The terminal is brought up to date, in
// one write, when the program next waits for a key.
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
#include <string>

#include "key_decoder.h"
#include "renderer.h"

namespace {

// Long enough to tell a lone Escape from the start of a key's sequence sent
// in one piece, short enough that Escape answers at once.
constexpr int escapeWaitMilliseconds = 20;

// A keyboard that reports bytes to read and then has none this many times in
// a row is taken as gone, rather than waited on for ever.
constexpr int emptyReadsAtMost = 50;

constexpr const char* pauseText =
    "Druk op een willekeurige toets om door te gaan. . .";
constexpr const char* unusableTerminalText =
    "Deze terminal kan het scherm van de editor niet tonen.";
constexpr const char* fallbackTerminal = "ansi";

// Those that end the program, then a resize and Ctrl-Z.
constexpr std::array caughtSignals{SIGINT,  SIGTERM,  SIGQUIT,
                                   SIGHUP,  SIGWINCH, SIGTSTP};

struct Session {
    bool terminfoLoaded = false;
    bool open = false;
    bool cursorHidden = false;
    std::optional<termios> shellModes;  // the keyboard's modes as found
    int signalPipe[2] = {-1, -1};       // signals are only noted here
    std::string keyBytes;               // read, not yet decoded
    KeyStrings keyStrings;
};

Session session;
Renderer renderer;

void noteSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] auto written = write(session.signalPipe[1], &byte, 1);
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

bool loadTerminfo()
{
    if (session.terminfoLoaded)
        return true;
    int error = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &error) != OK &&
        setupterm(const_cast<char*>(fallbackTerminal), STDOUT_FILENO,
                  &error) != OK)
        return false;
    renderer.terminfo = readCapabilities();
    session.terminfoLoaded = renderer.terminfo.cursorAddress != nullptr &&
                             renderer.terminfo.clear != nullptr;
    return session.terminfoLoaded;
}

// The terminal's key strings that start with Escape, for the decoder.
KeyStrings readKeyStrings()
{
    constexpr std::array<std::pair<const char*, std::uint16_t>, 24> names{{
        {"kcuu1", keyUp},     {"kcud1", keyDown},     {"kcub1", keyLeft},
        {"kcuf1", keyRight},  {"khome", keyHome},     {"kend", keyEnd},
        {"kich1", keyInsert}, {"kdch1", keyDelete},   {"kpp", keyPageUp},
        {"knp", keyPageDown}, {"kent", keyReturn},    {"kcbt", keyTab},
        {"kf1", keyF1},       {"kf2", keyF1 + 1},     {"kf3", keyF1 + 2},
        {"kf4", keyF1 + 3},   {"kf5", keyF1 + 4},     {"kf6", keyF1 + 5},
        {"kf7", keyF1 + 6},   {"kf8", keyF1 + 7},     {"kf9", keyF1 + 8},
        {"kf10", keyF1 + 9},  {"kf11", keyF1 + 10},   {"kf12", keyF1 + 11},
    }};
    KeyStrings strings;
    for (const auto& [name, code] : names) {
        const char* value = tigetstr(const_cast<char*>(name));
        if (value != nullptr && value != reinterpret_cast<char*>(-1) &&
            value[0] == '\033' && value[1] != '\0')
            strings.emplace_back(value, code);
    }
    return strings;
}

void sendOutput()
{
    const std::string& output = renderer.output;
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
    renderer.output.clear();
}

void readTerminalSize()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 &&
        size.ws_col > 0) {
        renderer.terminalRows = size.ws_row;
        renderer.terminalColumns = size.ws_col;
    }
}

// Keys one by one, unechoed; Ctrl-C and Ctrl-\ still signal. A read never
// waits: the key wait polls, so that a signal always ends the wait.
void setEditingModes()
{
    if (!session.shellModes)
        return;
    termios modes = *session.shellModes;
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    // Enter as CR, as the Windows console gives it; Ctrl-S and Ctrl-Q as
    // keys: flow control would stop the editor in its next write.
    modes.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    modes.c_cc[VMIN] = 0;
    modes.c_cc[VTIME] = 0;
    while (tcsetattr(STDIN_FILENO, TCSANOW, &modes) != 0 && errno == EINTR) {
    }
}

void restoreShellModes()
{
    if (!session.shellModes)
        return;
    while (tcsetattr(STDIN_FILENO, TCSADRAIN, &*session.shellModes) != 0 &&
           errno == EINTR) {
    }
}

// The strings that take the terminal for the editing screen; they go out
// with the next picture.
void takeTerminal()
{
    setEditingModes();
    addCapability(renderer, renderer.terminfo.enterFullScreen);
    addCapability(renderer, renderer.terminfo.keypadOn);
    if (session.cursorHidden)
        addCapability(renderer, renderer.terminfo.hideCursor);
    readTerminalSize();
    forgetTerminal(renderer);
}

// Gives the terminal back as it was found: its colours, its cursor (at the
// bottom row, below the editing screen where there is no alternate screen),
// its own screen and its modes.
void giveTerminalBack()
{
    renderPlainLook(renderer);
    if (session.cursorHidden)
        addCapability(renderer, renderer.terminfo.showCursor);
    renderCursorMove(renderer, 0, renderer.terminalRows - 1);
    addCapability(renderer, renderer.terminfo.keypadOff);
    addCapability(renderer, renderer.terminfo.leaveFullScreen);
    sendOutput();
    restoreShellModes();
    forgetTerminal(renderer);
}

void repaintAll()
{
    readTerminalSize();
    forgetTerminal(renderer);
    renderPicture(renderer);
    sendOutput();
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

// Ctrl-Z: the terminal is given back while the program is stopped, and the
// whole picture is shown again when it goes on.
void suspend()
{
    tcflush(STDIN_FILENO, TCIFLUSH);
    session.keyBytes.clear();
    giveTerminalBack();
    raiseWithDefaultAction(SIGTSTP);
    catchSignal(SIGTSTP, noteSignal);
    takeTerminal();
    renderPicture(renderer);
    sendOutput();
}

void actOnSignals()
{
    unsigned char byte;
    while (read(session.signalPipe[0], &byte, 1) == 1) {
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
    return session.open && session.shellModes.has_value();
}

enum class Wait { input, timedOut, gone };

// Waits for bytes from the keyboard, acting on the signals that come first.
// A negative time waits for as long as it takes.
Wait waitForInput(int milliseconds)
{
    int emptyReads = 0;
    for (;;) {
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0},
                             {session.signalPipe[0], POLLIN, 0}};
        const int ready = poll(watched, 2, milliseconds);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::gone;
        if (ready == 0)
            return Wait::timedOut;
        if (watched[1].revents & POLLIN)
            actOnSignals();
        if (watched[0].revents & POLLIN) {
            char buffer[256];
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
            if (got > 0) {
                session.keyBytes.append(buffer, static_cast<std::size_t>(got));
                return Wait::input;
            }
            if (got < 0 && errno != EINTR && errno != EAGAIN)
                return Wait::gone;
            // The terminal may drop what was typed when Ctrl-C comes.
            if (++emptyReads > emptyReadsAtMost)
                return Wait::gone;
        } else if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return Wait::gone;
        }
    }
}

// The next key's code (0 for a key the editor has no code for), or nothing
// once the keyboard is gone.
std::optional<std::uint16_t> nextKey()
{
    for (;;) {
        if (!session.keyBytes.empty()) {
            const DecodedKey key =
                decodeKey(session.keyBytes, true, session.keyStrings);
            if (key.length > 0) {
                session.keyBytes.erase(0, key.length);
                return key.code;
            }
            // The start of a key: the rest comes at once, or this is all.
            const Wait more = waitForInput(escapeWaitMilliseconds);
            if (more == Wait::input)
                continue;
            const DecodedKey whole =
                decodeKey(session.keyBytes, false, session.keyStrings);
            session.keyBytes.erase(0, whole.length);
            return whole.code;
        }
        if (waitForInput(-1) == Wait::gone)
            return std::nullopt;
    }
}

}  // namespace

bool consoleIsUsable()
{
    if (!isatty(STDOUT_FILENO) || loadTerminfo())
        return true;
    const char* name = std::getenv("TERM");
    std::fprintf(stderr, "%s (TERM=%s)\n", unusableTerminalText,
                 name != nullptr ? name : "");
    return false;
}

void openConsole()
{
    if (session.open || !isatty(STDOUT_FILENO) || !consoleIsUsable())
        return;
    std::setlocale(LC_ALL, "");
    renderer.unicodeGlyphs = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    if (pipe(session.signalPipe) != 0) {
        std::perror("glisk-editor");
        return;
    }
    for (const int end : session.signalPipe) {
        fcntl(end, F_SETFL, O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    catchSignals(noteSignal);
    session.keyStrings = readKeyStrings();
    if (termios modes{};
        isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &modes) == 0)
        session.shellModes = modes;
    session.open = true;
    takeTerminal();
}

void closeConsole()
{
    if (!session.open)
        return;
    // Keys typed after the end are not the shell's.
    if (session.shellModes)
        tcflush(STDIN_FILENO, TCIFLUSH);
    giveTerminalBack();
    // The terminal's cursor is back where the answers ended, which may be
    // the end of the last question's line.
    std::fputs("\n", stdout);
    std::fflush(stdout);
    session.open = false;
    catchSignals(SIG_DFL);
    for (int& end : session.signalPipe) {
        close(end);
        end = -1;
    }
}

void clearScreen()
{
    clearPicture(renderer);
}

void hideCursor()
{
    if (!session.open)
        return;
    addCapability(renderer, renderer.terminfo.hideCursor);
    session.cursorHidden = true;
}

void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background)
{
    drawIntoPicture(renderer, text, column, row, foreground, background);
}


std::uint16_t readKey()
{
    if (!keyboardAvailable())
        return keyEscape;
    renderPicture(renderer);
    sendOutput();
    for (;;) {
        const auto key = nextKey();
        if (!key)
            return keyEscape;
        if (*key != 0)
            return *key;
    }
}

// Text written to the terminal after the editing starts at its top-left
// cell, where the cleared screen left the text cursor.
void pauseForKey()
{
    if (!session.open)
        return;
    drawIntoPicture(renderer, pauseText, 0, 0, colourLightGrey, colourBlack);
    renderPicture(renderer);
    sendOutput();
    if (keyboardAvailable())
        nextKey();
}
