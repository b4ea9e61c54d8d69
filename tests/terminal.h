// Runs a program in a pseudo-terminal and keeps the screen it draws in a
// real terminal emulator (libvterm), so that tests can type keys and read
// the screen cell by cell, characters and colours.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct VTerm;
struct VTermScreen;

// One character cell: its text in UTF-8 ("" when nothing was ever written
// there), and its colours as palette indexes, -1 for the terminal's default.
struct Cell {
    std::string glyph;
    int foreground;
    int background;
    bool bold;
    bool reverse;
};

struct ProgramRun {
    int master = -1;
    pid_t pid = -1;
    VTerm* vterm = nullptr;
    VTermScreen* screen = nullptr;
    bool cursorVisible = true;
    bool altScreen = false;
    bool ended = false;  // the terminal was hung up: nothing more to read
    int exitStatus = -1; // as waitpid reports it, once the program has ended
    std::string output;  // every byte the program wrote

    ProgramRun() = default;
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;
    ~ProgramRun();
};

struct RunOptions {
    std::vector<std::string> command;
    std::string directory;
    std::vector<std::string> environment;  // NAME=value, added to a small base
    int rows = 25;
    int columns = 80;
};

using namespace std::chrono_literals;
constexpr auto screenTimeout = 5s;

// The built editor, and the environment the tests run it in.
std::string editorPath();
RunOptions editorOptions(const std::string& directory);

void startProgram(ProgramRun& run, const RunOptions& options);
void typeKeys(ProgramRun& run, const std::string& bytes);

// Reads the program's output until the condition holds; false on time-out.
bool waitFor(ProgramRun& run, const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = screenTimeout);
bool waitForText(ProgramRun& run, int column, int row, const std::string& text,
                 std::chrono::milliseconds timeout = screenTimeout);
// Waits until the program has taken the terminal out of its line mode (no
// echo), so that keys typed from now on reach it one by one.
bool waitForKeyMode(ProgramRun& run,
                    std::chrono::milliseconds timeout = screenTimeout);
// Waits for the program to end and returns waitpid's status, -1 on time-out.
int waitForExit(ProgramRun& run,
                std::chrono::milliseconds timeout = screenTimeout);
// Reads whatever arrives within the given time, to show that nothing does.
void settle(ProgramRun& run, std::chrono::milliseconds quiet = 100ms);

void resizeTerminal(ProgramRun& run, int rows, int columns);

Cell cellAt(ProgramRun& run, int column, int row);
// The text of a number of cells from a position, a blank for an empty cell.
std::string textAt(ProgramRun& run, int column, int row, int cells);
std::string rowText(ProgramRun& run, int row);   // trailing blanks cut
std::string screenDump(ProgramRun& run);         // every row, for messages
