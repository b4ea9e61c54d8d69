// Every way the editing can end gives the terminal back: the program's own
// bytes show its cursor again after they last hid it (a terminal emulator
// may show it by itself when the alternate screen is left), its modes are
// the shell's, and the shell sees the status that says how it ended. A
// signal noted while a key is read ends the wait, whenever it comes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "editor_fixture.h"
#include "terminal.h"

namespace {

// A terminfo string as tput gives it for a terminal.
std::string terminfoString(const std::string& term, const std::string& name)
{
    std::string text;
    FILE* pipe = popen(("tput -T" + term + " " + name).c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[256];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, got);
    pclose(pipe);
    return text;
}

testing::AssertionResult cursorShownAtTheEnd(const ProgramRun& run,
                                             const std::string& term)
{
    const std::string hide = terminfoString(term, "civis");
    const std::string show = terminfoString(term, "cnorm");
    if (hide.empty() || show.empty())
        return testing::AssertionFailure() << "no cursor strings for " << term;
    const auto hidden = run.output.rfind(hide);
    const auto shown = run.output.rfind(show);
    if (hidden != std::string::npos && shown != std::string::npos &&
        shown > hidden)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the program's last cursor string hides it on " << term;
}

enum class Ending { escape, ctrlC, ctrlBackslash, terminate, hangUp };

struct EndingCase {
    const char* name;
    Ending ending;
    const char* term;
    int status;  // as the shell reports it
};

void PrintTo(const EndingCase& ending, std::ostream* out) { *out << ending.name; }

class EndingTheEditing : public Editor,
                         public testing::WithParamInterface<EndingCase> {};

TEST_P(EndingTheEditing, GivesTheTerminalBackWithTheCursorShown)
{
    const EndingCase& test = GetParam();
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.environment = {std::string("TERM=") + test.term, "LANG=C.UTF-8"};
    options.command = {"/bin/sh", "-c",
                       "trap : INT TERM QUIT HUP; stty -g > before; \"$0\"; "
                       "echo \"status $?\"; stty -g > after",
                       editorPath()};
    startEditing(run, "5 4", options);
    ASSERT_TRUE(moveTo(run, keyRight + " ", 1, 0));
    switch (test.ending) {
    case Ending::escape:
        typeKeys(run, keyEscape);
        ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
        typeKeys(run, "x");
        break;
    case Ending::ctrlC:
        typeKeys(run, "\003");
        break;
    case Ending::ctrlBackslash:
        typeKeys(run, "\034");
        break;
    case Ending::terminate:
        kill(-run.pid, SIGTERM);  // the editor, in the shell's group
        break;
    case Ending::hangUp:
        kill(-run.pid, SIGHUP);
        break;
    }
    const std::string status = "|status " + std::to_string(test.status);
    ASSERT_TRUE(waitFor(run, [&] {
        return screenDump(run).find(status) != std::string::npos;
    })) << screenDump(run);
    EXPECT_EQ(waitForExit(run), 0);
    EXPECT_TRUE(cursorShownAtTheEnd(run, test.term));
    EXPECT_TRUE(run.cursorVisible);
    EXPECT_FALSE(run.altScreen);
    EXPECT_TRUE(terminalModesKept());
    EXPECT_FALSE(levelFileExists());
}

INSTANTIATE_TEST_SUITE_P(
    Endings, EndingTheEditing,
    testing::Values(
        EndingCase{"Escape", Ending::escape, "xterm-256color", 0},
        EndingCase{"CtrlC", Ending::ctrlC, "xterm-256color", 130},
        EndingCase{"CtrlBackslash", Ending::ctrlBackslash, "xterm-256color", 131},
        EndingCase{"SIGTERM", Ending::terminate, "xterm-256color", 143},
        EndingCase{"SIGHUP", Ending::hangUp, "xterm-256color", 129},
        // The Linux console has no alternate screen to leave.
        EndingCase{"EscapeOnLinux", Ending::escape, "linux", 0},
        EndingCase{"CtrlCOnLinux", Ending::ctrlC, "linux", 130},
        EndingCase{"CtrlBackslashOnLinux", Ending::ctrlBackslash, "linux", 131},
        EndingCase{"SIGTERMOnLinux", Ending::terminate, "linux", 143},
        EndingCase{"SIGHUPOnLinux", Ending::hangUp, "linux", 129}),
    [](const auto& test) { return std::string(test.param.name); });

// The terminal closed under the editor: it ends, by the hang-up, at once.
TEST_F(Editor, EndsWhenItsTerminalIsGone)
{
    ProgramRun run;
    startEditing(run, "5 4");
    close(run.master);
    run.master = -1;
    run.ended = true;
    const int status = waitForExit(run);
    ASSERT_NE(status, -1) << "still running without a terminal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP)
        << "status " << status;
    EXPECT_FALSE(levelFileExists());
}

TEST_F(Editor, EscapeAnswersAtOnce)
{
    std::vector<double> waits;
    for (int attempt = 0; attempt < 5; ++attempt) {
        ProgramRun run;
        startEditing(run, "5 4");
        const auto typed = std::chrono::steady_clock::now();
        typeKeys(run, keyEscape);
        ASSERT_TRUE(waitForText(run, 0, 0, pauseText)) << screenDump(run);
        waits.push_back(std::chrono::duration<double, std::milli>(
                            std::chrono::steady_clock::now() - typed)
                            .count());
        typeKeys(run, "x");
        waitForExit(run);
    }
    std::sort(waits.begin(), waits.end());
    EXPECT_LT(waits[waits.size() / 2], 250.0) << "ms from Escape to the pause";
}

// Ctrl-C (or Ctrl-\, or SIGTERM) just after a key: the terminal drops the
// key it had not handed over yet. strace widens the gap between the key
// wait seeing the key and the read, by holding up every return from poll.
class SignalAfterAKey : public Editor,
                        public testing::WithParamInterface<int> {};

TEST_P(SignalAfterAKey, EndsTheKeyWaitEvenWhenTheKeyIsDropped)
{
    const int signalNumber = GetParam();
    ProgramRun run;
    RunOptions options = editorOptions(directory);
    options.command = {"/usr/bin/strace", "-qq", "-o", "/dev/null",
                       "-e", "trace=poll",
                       "-e", "inject=poll:delay_exit=200000", editorPath()};
    startEditing(run, "5 4", options);
    settle(run, 300ms);  // the editor waits for a key
    typeKeys(run, "x");
    std::this_thread::sleep_for(50ms);
    if (signalNumber == SIGINT)
        typeKeys(run, "\003");
    else if (signalNumber == SIGQUIT)
        typeKeys(run, "\034");
    else
        kill(-run.pid, signalNumber);  // strace blocks it; the editor ends
    const int status = waitForExit(run, 5s);
    ASSERT_NE(status, -1) << "the editor is still waiting";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber)
        << "status " << status;
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalAfterAKey,
                         testing::Values(SIGINT, SIGQUIT, SIGTERM),
                         [](const auto& test) {
                             return test.param == SIGINT    ? "CtrlC"
                                    : test.param == SIGQUIT ? "CtrlBackslash"
                                                            : "SIGTERM";
                         });

TEST_F(Editor, CtrlCRightAfterAKeyEndsTheEditorEveryTime)
{
    constexpr int tries = 150;
    for (int attempt = 0; attempt < tries; ++attempt) {
        ProgramRun run;
        startEditing(run, "3 3");
        typeKeys(run, "x");
        typeKeys(run, "\003");
        const int status = waitForExit(run, 3s);
        ASSERT_NE(status, -1) << "still running after try " << attempt;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            << "try " << attempt << ": status " << status;
    }
}

}  // namespace
