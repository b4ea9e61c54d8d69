// Measures what the editor costs on a real terminal: it drives glisk-editor
// in a pseudo-terminal, as the end-to-end tests do, and prints a table of
// bytes and write calls per key, key-to-screen times, the time from Escape
// to the pause, the full draw of the largest level and peak memory, each
// beside its physical minimum.
//
// Write calls are counted by running the editor under strace; times and
// bytes come from runs without it.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "level.h"
#include "level_file.h"
#include "scratch_directory.h"
#include "terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string keyUp = "\033[A";
const std::string keyDown = "\033[B";
const std::string keyRight = "\033[C";
const std::string keyLeft = "\033[D";
const std::string credit =
    "Ontwerp je eigen level en speel het daarna in Glisk!";
const std::string pauseText =
    "Druk op een willekeurige toets om door te gaan. . .";

constexpr int darkGrey = 8;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(share * (values.size() - 1) + 0.5);
    return values[at];
}

bool highlightAt(ProgramRun& run, int column, int row)
{
    int found = 0;
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 80; ++x)
            if (cellAt(run, x, y).background == darkGrey) {
                if (x != column + 2 || y != row + 4)
                    return false;
                ++found;
            }
    return found == 1;
}

std::string directory;

// The whole screen of the largest level, its cursor in the corner.
bool largestLevelShown(ProgramRun& run)
{
    return textAt(run, 14, 24, 52) == credit && highlightAt(run, 0, 0) &&
           cellAt(run, 76, 23).glyph == "\u2666";
}

RunOptions options(const std::vector<std::string>& command = {})
{
    RunOptions chosen = editorOptions(directory);
    if (!command.empty())
        chosen.command = command;
    return chosen;
}

void fail(const std::string& what, ProgramRun& run)
{
    std::cerr << "benchmark: " << what << screenDump(run);
    removeScratchDirectory(directory);
    std::exit(1);
}

// Starts the editor on the largest level and waits for the full draw.
void startLargest(ProgramRun& run, const RunOptions& chosen)
{
    startProgram(run, chosen);
    if (!waitForText(run, 0, 0, "Hoe breed"))
        fail("no question", run);
    typeKeys(run, "75 20\r");
    if (!waitFor(run, [&] {
            return textAt(run, 14, 24, 52) == credit && highlightAt(run, 0, 0);
        }))
        fail("no editing screen", run);
}

// Neighbouring moves round a rectangle inside the largest level.
std::vector<std::pair<std::string, std::pair<int, int>>> keyRound(int keys)
{
    std::vector<std::pair<std::string, std::pair<int, int>>> round;
    int column = 0;
    int row = 0;
    while (static_cast<int>(round.size()) < keys) {
        for (int step = 0; step < 60; ++step)
            round.push_back({keyRight, {++column, row}});
        for (int step = 0; step < 15; ++step)
            round.push_back({keyDown, {column, ++row}});
        for (int step = 0; step < 60; ++step)
            round.push_back({keyLeft, {--column, row}});
        for (int step = 0; step < 15; ++step)
            round.push_back({keyUp, {column, --row}});
    }
    round.resize(keys);
    return round;
}

struct KeyFigures {
    std::vector<double> times;
    std::vector<std::size_t> bytes;
    long peakKilobytes = 0;
};

long peakResidentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

KeyFigures measureKeys(int keys)
{
    ProgramRun run;
    startLargest(run, options());
    KeyFigures figures;
    for (const auto& [key, position] : keyRound(keys)) {
        const std::size_t before = run.output.size();
        const auto start = Clock::now();
        typeKeys(run, key);
        if (!waitFor(run,
                     [&] { return highlightAt(run, position.first, position.second); }))
            fail("key not shown", run);
        figures.times.push_back(milliseconds(Clock::now() - start));
        figures.bytes.push_back(run.output.size() - before);
    }
    settle(run, 50ms);
    figures.peakKilobytes = peakResidentKilobytes(run.pid);
    typeKeys(run, "\033");
    waitForText(run, 0, 0, pauseText);
    typeKeys(run, "x");
    waitForExit(run);
    return figures;
}

struct WriteCounts {
    double perKey = 0;
    std::size_t bytesPerKey = 0;
    std::size_t drawWrites = 0;
    std::size_t drawBytes = 0;
};

// Runs the same keys with the editor under strace, and counts its writes to
// the terminal: those of the full draw (after the second question) and
// those of the keys (up to the pause).
WriteCounts countWrites(int keys)
{
    const std::string log = directory + "/writes.log";
    ProgramRun run;
    startLargest(run, options({"/usr/bin/strace", "-qq", "-s", "65536", "-e", "trace=write",
                               "-e", "signal=none", "-o", log, editorPath()}));
    for (const auto& [key, position] : keyRound(keys)) {
        typeKeys(run, key);
        if (!waitFor(run,
                     [&] { return highlightAt(run, position.first, position.second); }))
            fail("key not shown under strace", run);
    }
    typeKeys(run, "\033");
    waitForText(run, 0, 0, pauseText);
    typeKeys(run, "x");
    waitForExit(run);

    WriteCounts counts;
    std::ifstream lines(log);
    std::string line;
    enum { asking, drawing, editing, ended } phase = asking;
    std::size_t keyWrites = 0;
    std::size_t keyBytes = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("write(1,", 0) != 0)
            continue;
        const std::size_t result =
            std::stoul(line.substr(line.rfind('=') + 1));
        if (phase == asking) {
            if (line.find("Hoe Hoog") != std::string::npos)
                phase = drawing;
            continue;
        }
        // The pause's text (its blanks may go as cursor motions).
        if (line.find("Druk") != std::string::npos)
            phase = ended;
        if (phase == drawing) {
            ++counts.drawWrites;
            counts.drawBytes += result;
            if (line.find("Ontwerp") != std::string::npos)
                phase = editing;
        } else if (phase == editing) {
            ++keyWrites;
            keyBytes += result;
        }
    }
    counts.perKey = static_cast<double>(keyWrites) / keys;
    counts.bytesPerKey = keyBytes / static_cast<std::size_t>(keys);
    return counts;
}

std::vector<double> measureEscape(int runs)
{
    std::vector<double> times;
    for (int attempt = 0; attempt < runs; ++attempt) {
        ProgramRun run;
        startProgram(run, options());
        waitForText(run, 0, 0, "Hoe breed");
        typeKeys(run, "10 6\r");
        if (!waitFor(run, [&] { return highlightAt(run, 0, 0); }))
            fail("no editing screen", run);
        settle(run, 20ms);
        const auto start = Clock::now();
        typeKeys(run, "\033");
        if (!waitForText(run, 0, 0, pauseText))
            fail("no pause", run);
        times.push_back(milliseconds(Clock::now() - start));
        typeKeys(run, "x");
        waitForExit(run);
    }
    return times;
}

struct DrawFigures {
    std::vector<double> times;
    std::size_t bytes = 0;
    std::string drawn;  // the full draw's bytes, for the bare program
};

DrawFigures measureFullDraw(int runs)
{
    DrawFigures figures;
    for (int attempt = 0; attempt < runs; ++attempt) {
        ProgramRun run;
        startProgram(run, options());
        waitForText(run, 0, 0, "Hoe breed");
        typeKeys(run, "75\r");
        if (!waitForText(run, 0, 1, "Hoe Hoog"))
            fail("no second question", run);
        settle(run, 20ms);
        const std::size_t before = run.output.size();
        const auto start = Clock::now();
        typeKeys(run, "20\r");
        if (!waitFor(run, [&] { return largestLevelShown(run); }))
            fail("no full draw", run);
        figures.times.push_back(milliseconds(Clock::now() - start));
        // The answer's echo ("20" and the line end) is not the editor's.
        figures.bytes = run.output.size() - before - 4;
        figures.drawn = run.output.substr(before + 4);
        typeKeys(run, "\033");
        waitForText(run, 0, 0, pauseText);
        typeKeys(run, "x");
        waitForExit(run);
    }
    return figures;
}

// From the program's start to the first question on the screen.
std::vector<double> measureStart(int runs, const RunOptions& chosen)
{
    std::vector<double> times;
    for (int attempt = 0; attempt < runs; ++attempt) {
        ProgramRun run;
        const auto start = Clock::now();
        startProgram(run, chosen);
        if (!waitForText(run, 0, 0, "Hoe breed moet het level zijn?"))
            fail("no question", run);
        times.push_back(milliseconds(Clock::now() - start));
        typeKeys(run, "\003");
        waitForExit(run);
    }
    return times;
}

// A bare ncurses program that, on a line typed, starts curses and writes
// the editor's full draw at once: the floor for the second answer to the
// whole screen.
std::vector<double> measureBareDraw(int runs, const std::string& drawn)
{
    const std::string file = directory + "/drawn.bytes";
    std::ofstream(file, std::ios::binary) << drawn;
    std::vector<double> times;
    for (int attempt = 0; attempt < runs; ++attempt) {
        ProgramRun run;
        startProgram(run, options({GLISK_BARE_PATH, "draw", file}));
        settle(run, 50ms);
        const auto start = Clock::now();
        typeKeys(run, "20\r");
        if (!waitFor(run, [&] { return largestLevelShown(run); }))
            fail("the bare program drew no screen", run);
        times.push_back(milliseconds(Clock::now() - start));
        typeKeys(run, "x");
        waitForExit(run);
    }
    return times;
}

// The floor for any key-to-screen time: one byte through the
// pseudo-terminal to a program that writes it straight back.
std::vector<double> measureRoundTrip(int samples)
{
    ProgramRun run;
    startProgram(run, options({"/bin/sh", "-c", "stty raw -echo; exec cat"}));
    settle(run, 200ms);
    std::vector<double> times;
    for (int sample = 0; sample < samples; ++sample) {
        const std::size_t before = run.output.size();
        const auto start = Clock::now();
        typeKeys(run, "x");
        if (!waitFor(run, [&] { return run.output.size() > before; }))
            fail("no echo", run);
        times.push_back(milliseconds(Clock::now() - start));
    }
    return times;
}

long baselinePeakKilobytes()
{
    ProgramRun run;
    startProgram(run, options({GLISK_BASELINE_PATH}));
    settle(run, 300ms);
    const long peak = peakResidentKilobytes(run.pid);
    typeKeys(run, "x");
    waitForExit(run);
    return peak;
}

struct SaveFigures {
    std::vector<double> times;
    std::vector<double> floorTimes;  // one write and fsync of the same bytes
    int systemCalls = 0;
};

// Saves the largest level over an old one, in the benchmark's directory.
SaveFigures measureSave(int runs)
{
    SaveFigures figures;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(directory);
    const LevelGrid grid = buildGrid(75, 20);
    const std::string content = formatLevel(grid, 75, 20);
    for (int count = 0; count < runs; ++count) {
        auto start = Clock::now();
        if (!saveLevel(grid, 75, 20))
            std::cerr << "a save failed\n";
        figures.times.push_back(milliseconds(Clock::now() - start));

        start = Clock::now();
        const int file = open("floor.dat", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file < 0 || write(file, content.data(), content.size()) < 0 ||
            fsync(file) != 0 || close(file) != 0)
            std::cerr << "the floor's write failed\n";
        figures.floorTimes.push_back(milliseconds(Clock::now() - start));
    }

    // The calls between the marker look-ups that the save program makes.
    const pid_t child = fork();
    if (child == 0) {
        execl("/usr/bin/strace", "strace", "-qq", "-o", "save.log",
              GLISK_SAVE_ONCE_PATH, "75", "20", static_cast<char*>(nullptr));
        _exit(127);
    }
    waitpid(child, nullptr, 0);
    std::ifstream trace("save.log");
    bool inSave = false;
    for (std::string line; std::getline(trace, line);) {
        if (line.find("glisk-save-ends") != std::string::npos)
            break;
        if (inSave && line.find('(') != std::string::npos)
            ++figures.systemCalls;
        if (line.find("glisk-save-begins") != std::string::npos)
            inSave = true;
    }
    std::filesystem::current_path(previous);
    return figures;
}

void row(const std::string& figure, double measured, double minimum,
         const std::string& unit, const std::string& goal, bool met)
{
    char line[256];
    std::snprintf(line, sizeof line, "| %-34s | %9.3f %-5s | %9.3f | %6.2f | %-10s | %-4s |",
                  figure.c_str(), measured, unit.c_str(), minimum,
                  minimum > 0 ? measured / minimum : 0.0, goal.c_str(),
                  met ? "yes" : "NO");
    std::cout << line << "\n";
}

}  // namespace

int main()
{
    directory = makeScratchDirectory("benchmark");
    constexpr int keys = 300;

    const auto roundTrip = measureRoundTrip(200);
    const auto keyFigures = measureKeys(keys);
    const auto writes = countWrites(keys);
    const auto escape = measureEscape(20);
    const auto draw = measureFullDraw(20);
    const long baseline = baselinePeakKilobytes();
    const auto save = measureSave(200);
    const auto editorStart = measureStart(20, options());
    const auto bareStart = measureStart(20, options({GLISK_BARE_PATH, "question"}));
    const auto bareDraw = measureBareDraw(20, draw.drawn);

    std::vector<double> keyBytes(keyFigures.bytes.begin(),
                                 keyFigures.bytes.end());
    const double floorTime = percentile(roundTrip, 0.5);
    // A move between neighbours at the least: two 3-byte glyphs, one colour
    // change ("ESC [ 93 ; 40 m", the two cells differ in both colours), and
    // one byte to step the cursor back.
    constexpr double minimumKeyBytes = 15;
    // A lone Escape is told from the start of a key's sequence only by
    // waiting this long for more.
    const double minimumEscape = 20 + floorTime;

    std::cout << "| figure                             |  measured       |  minimum  | ratio  | goal       | met  |\n"
              << "|------------------------------------|-----------------|-----------|--------|------------|------|\n";
    row("write calls per arrow key", writes.perKey, 1, "", "1", writes.perKey <= 1.0);
    row("bytes per arrow key, median", percentile(keyBytes, 0.5), minimumKeyBytes, "B", "<= 32",
        percentile(keyBytes, 0.5) <= 32);
    row("bytes per arrow key, largest", percentile(keyBytes, 1.0), minimumKeyBytes, "B", "<= 32",
        percentile(keyBytes, 1.0) <= 32);
    row("key to screen, median", percentile(keyFigures.times, 0.5), floorTime, "ms", "< 1 ms",
        percentile(keyFigures.times, 0.5) < 1);
    row("key to screen, 99th percentile", percentile(keyFigures.times, 0.99), floorTime, "ms", "",
        true);
    row("Escape to pause, median of 20", percentile(escape, 0.5), minimumEscape, "ms", "< 30 ms",
        percentile(escape, 0.5) < 30);
    row("start to first question, median", percentile(editorStart, 0.5),
        percentile(bareStart, 0.5), "ms", "<= 1.5 x",
        percentile(editorStart, 0.5) <= 1.5 * percentile(bareStart, 0.5));
    row("second answer to full screen", percentile(draw.times, 0.5),
        percentile(bareDraw, 0.5), "ms", "<= 1.5 x",
        percentile(draw.times, 0.5) <= 1.5 * percentile(bareDraw, 0.5));
    row("full draw 75x20, bytes", static_cast<double>(draw.bytes), 890, "B", "<= 1.25 x",
        draw.bytes <= 1.25 * 890);
    row("full draw 75x20, write calls", static_cast<double>(writes.drawWrites), 1, "", "1",
        writes.drawWrites == 1);
    row("save of 75x20, median of 200", percentile(save.times, 0.5),
        percentile(save.floorTimes, 0.5), "ms", "", true);
    row("save of 75x20, system calls", save.systemCalls, 5, "", "", true);
    row("peak resident memory", static_cast<double>(keyFigures.peakKilobytes),
        static_cast<double>(baseline), "KiB", "", true);
    std::cout << "\nMinimums: one write of 15 bytes per move (two glyphs, one colour change,\n"
                 "one byte of cursor motion); the pseudo-terminal's own round trip through\n"
                 "a program that echoes a byte ("
              << floorTime
              << " ms) for every key, plus the 20 ms that tell\n"
                 "a lone Escape from a key's sequence; for the start, a bare program that\n"
                 "prints the first question; for the full screen, a bare ncurses program\n"
                 "that starts on the answer and writes the editor's same bytes at once;\n"
                 "890 bytes for the texts, border glyphs and row addresses of the largest\n"
                 "level (a plain curses program that draws the same screen with one\n"
                 "refresh() per change writes about 1.2 KiB); the memory of a program that\n"
                 "only starts ncursesw and waits for a key; for a save, one open, write,\n"
                 "fsync and close of the same bytes over the old file, which a kill or a\n"
                 "full disk can tear (the save adds the temporary file, its rename and the\n"
                 "directory's flush, and clears what killed saves left).\n"
                 "The full draw's writes, as strace counted them: "
              << writes.drawWrites << " write(s), " << writes.drawBytes
              << " bytes, the start-up strings included.\n";
    removeScratchDirectory(directory);
    return 0;
}
