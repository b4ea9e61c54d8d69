#include "terminal.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

#include <cerrno>
#include <stdexcept>

namespace {

int onTermProp(VTermProp property, VTermValue* value, void* user)
{
    auto& run = *static_cast<ProgramRun*>(user);
    if (property == VTERM_PROP_CURSORVISIBLE)
        run.cursorVisible = value->boolean != 0;
    else if (property == VTERM_PROP_ALTSCREEN)
        run.altScreen = value->boolean != 0;
    return 1;
}

const VTermScreenCallbacks screenCallbacks{
    nullptr, nullptr, nullptr, onTermProp, nullptr, nullptr, nullptr, nullptr};

int colourIndex(const VTermColor& colour, bool foreground)
{
    if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&colour)
                   : VTERM_COLOR_IS_DEFAULT_BG(&colour))
        return -1;
    if (VTERM_COLOR_IS_INDEXED(&colour))
        return colour.indexed.idx;
    return -2;  // a direct RGB colour: the editor never asks for one
}

void appendUtf8(std::string& text, std::uint32_t code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads what is there within the timeout; false once the terminal is gone.
bool pump(ProgramRun& run, std::chrono::milliseconds timeout)
{
    if (run.ended)
        return false;
    pollfd watched{run.master, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(timeout.count()));
    if (ready <= 0)
        return true;
    char buffer[4096];
    const ssize_t count = read(run.master, buffer, sizeof buffer);
    if (count <= 0) {
        if (count < 0 && errno == EINTR)
            return true;
        run.ended = true;
        return false;
    }
    run.output.append(buffer, static_cast<std::size_t>(count));
    vterm_input_write(run.vterm, buffer, static_cast<std::size_t>(count));
    // Answer whatever the program asked the terminal (such as its position).
    char answer[256];
    const std::size_t answered =
        vterm_output_read(run.vterm, answer, sizeof answer);
    if (answered > 0)
        [[maybe_unused]] auto written = write(run.master, answer, answered);
    return true;
}

}  // namespace

// The program runs in a process group of its own (forkpty makes it a session
// leader): the whole group is ended, whatever it started.
ProgramRun::~ProgramRun()
{
    if (pid > 0) {
        kill(-pid, SIGKILL);
        if (exitStatus == -1)
            waitpid(pid, nullptr, 0);
    }
    if (master >= 0)
        close(master);
    if (vterm != nullptr)
        vterm_free(vterm);
}

std::string editorPath()
{
    return GLISK_EDITOR_PATH;
}

RunOptions editorOptions(const std::string& directory)
{
    RunOptions options;
    options.command = {editorPath()};
    options.directory = directory;
    options.environment = {"TERM=xterm-256color", "LANG=C.UTF-8"};
    return options;
}

void startProgram(ProgramRun& run, const RunOptions& options)
{
    run.vterm = vterm_new(options.rows, options.columns);
    vterm_set_utf8(run.vterm, 1);
    run.screen = vterm_obtain_screen(run.vterm);
    vterm_screen_set_callbacks(run.screen, &screenCallbacks, &run);
    vterm_screen_enable_altscreen(run.screen, 1);
    vterm_screen_reset(run.screen, 1);

    winsize size{};
    size.ws_row = static_cast<unsigned short>(options.rows);
    size.ws_col = static_cast<unsigned short>(options.columns);
    std::vector<std::string> environment{"PATH=/usr/bin:/bin",
                                         "HOME=" + options.directory};
    environment.insert(environment.end(), options.environment.begin(),
                       options.environment.end());
    std::vector<char*> argv;
    for (const auto& word : options.command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    run.pid = forkpty(&run.master, nullptr, nullptr, &size);
    if (run.pid < 0)
        throw std::runtime_error("forkpty failed");
    if (run.pid == 0) {
        if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

void typeKeys(ProgramRun& run, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            write(run.master, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

bool waitFor(ProgramRun& run, const std::function<bool()>& condition,
             std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (!pump(run, left < 50ms ? left : 50ms))
            return condition();  // the terminal is gone: nothing will change
    }
}

bool waitForText(ProgramRun& run, int column, int row, const std::string& text,
                 std::chrono::milliseconds timeout)
{
    int cells = 0;
    for (const char byte : text)
        cells += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return waitFor(
        run, [&] { return textAt(run, column, row, cells) == text; }, timeout);
}

bool waitForKeyMode(ProgramRun& run, std::chrono::milliseconds timeout)
{
    return waitFor(
        run,
        [&] {
            termios modes{};
            return tcgetattr(run.master, &modes) == 0 &&
                   (modes.c_lflag & ECHO) == 0;
        },
        timeout);
}

int waitForExit(ProgramRun& run, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (run.exitStatus == -1) {
        int status = 0;
        if (waitpid(run.pid, &status, WNOHANG) == run.pid) {
            run.exitStatus = status;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        if (!pump(run, 20ms))
            usleep(5000);
    }
    // Take in the last of the output, written before the program ended.
    while (pump(run, 20ms) && !run.ended) {
        pollfd watched{run.master, POLLIN, 0};
        if (poll(&watched, 1, 0) <= 0)
            break;
    }
    return run.exitStatus;
}

void settle(ProgramRun& run, std::chrono::milliseconds quiet)
{
    const auto deadline = std::chrono::steady_clock::now() + quiet;
    while (std::chrono::steady_clock::now() < deadline && !run.ended)
        pump(run, std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now()));
}

void resizeTerminal(ProgramRun& run, int rows, int columns)
{
    vterm_set_size(run.vterm, rows, columns);
    winsize size{};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(run.master, TIOCSWINSZ, &size);
}

Cell cellAt(ProgramRun& run, int column, int row)
{
    VTermScreenCell cell{};
    vterm_screen_get_cell(run.screen, VTermPos{row, column}, &cell);
    Cell result{"", colourIndex(cell.fg, true), colourIndex(cell.bg, false),
                cell.attrs.bold != 0, cell.attrs.reverse != 0};
    for (int at = 0; at < VTERM_MAX_CHARS_PER_CELL && cell.chars[at] != 0; ++at)
        appendUtf8(result.glyph, cell.chars[at]);
    return result;
}

std::string textAt(ProgramRun& run, int column, int row, int cells)
{
    std::string text;
    for (int at = column; at < column + cells; ++at) {
        const Cell cell = cellAt(run, at, row);
        text += cell.glyph.empty() ? " " : cell.glyph;
    }
    return text;
}

std::string rowText(ProgramRun& run, int row)
{
    int rows = 0;
    int columns = 0;
    vterm_get_size(run.vterm, &rows, &columns);
    const std::string text = textAt(run, 0, row, columns);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string screenDump(ProgramRun& run)
{
    int rows = 0;
    int columns = 0;
    vterm_get_size(run.vterm, &rows, &columns);
    std::string dump = "\n";
    for (int row = 0; row < rows; ++row)
        dump += "|" + rowText(run, row) + "\n";
    return dump;
}
