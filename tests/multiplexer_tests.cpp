// The editor inside real terminal multiplexers, typed at as they encode keys:
// a tmux server of the test's own (send-keys, capture-pane) and GNU screen
// (stuff, hardcopy). Keys the editor has no use for change nothing, the
// modified arrows move, and the level saved shows where the cursor went.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "scratch_directory.h"

namespace {

using namespace std::chrono_literals;

const std::string credit =
    "Ontwerp je eigen level en speel het daarna in Glisk!";
const std::string savedMessage = "Het bestand is gesaved,";

// The 5 by 4 level with the cell at column 1, row 1 made a block.
const std::string levelWithOneBlock =
    "5 4\r\n\r\n1 1 1 1 1 \r\n1 1 0 0 1 \r\n1 0 0 0 1 \r\n1 1 1 1 1 \r\n";

std::string quoted(const std::string& word)
{
    std::string result = "'";
    for (const char character : word)
        result += character == '\'' ? std::string("'\\''")
                                    : std::string(1, character);
    return result + "'";
}

// Runs a shell command; its standard output, and whether it succeeded.
bool shell(const std::string& command, std::string* output = nullptr)
{
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string text;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, got);
    const int status = pclose(pipe);
    if (output != nullptr)
        *output = text;
    return status == 0;
}

bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

std::string contentOf(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class Multiplexer : public testing::Test {
protected:
    void SetUp() override
    {
        directory = makeScratchDirectory("multiplexer");
        socket = "glisk-test-" + std::to_string(getpid());
    }

    void TearDown() override { removeScratchDirectory(directory); }

    std::filesystem::path directory;
    std::string socket;
};

class Tmux : public Multiplexer {
protected:
    void TearDown() override
    {
        shell(tmux("kill-server"));
        Multiplexer::TearDown();
    }

    std::string tmux(const std::string& arguments) const
    {
        return "tmux -L " + socket + " -f " +
               quoted((directory / "tmux.conf").string()) + " " + arguments;
    }

    std::string screen()
    {
        std::string text;
        shell(tmux("capture-pane -p -t glisk"), &text);
        return text;
    }

    bool showsText(const std::string& text)
    {
        return eventually([&] { return screen().find(text) != std::string::npos; });
    }

    // The editor in a tmux of its own, answered 5 by 4.
    void startEditing()
    {
        std::ofstream(directory / "tmux.conf")
            << "set -g default-terminal tmux-256color\n"
               "set -g escape-time 50\n";
        ASSERT_TRUE(shell("LANG=C.UTF-8 " +
                          tmux("new-session -d -s glisk -x 80 -y 25 -c " +
                               quoted(directory.string()) + " " +
                               quoted(GLISK_EDITOR_PATH))))
            << "tmux could not start";
        ASSERT_TRUE(showsText("Hoe breed")) << screen();
        sendKeys("-l '5 4'");
        sendKeys("Enter");
        ASSERT_TRUE(showsText(credit)) << screen();
    }

    bool ended()
    {
        return eventually([&] { return !shell(tmux("has-session -t glisk")); });
    }

    void sendKeys(const std::string& keys)
    {
        ASSERT_TRUE(shell(tmux("send-keys -t glisk " + keys))) << keys;
        // One key at a time, as a user types: tmux may join keys sent at once.
        std::this_thread::sleep_for(30ms);
    }
};

TEST_F(Tmux, KeysAsTmuxSendsThemMoveSaveOrChangeNothing)
{
    startEditing();
    if (HasFatalFailure())
        return;

    // Keys that move: Ctrl+Right to column 1, Shift+Down to row 1.
    sendKeys("C-Right");
    sendKeys("S-Down");
    // Keys the editor has no use for; none may end it or move the cursor.
    for (const char* key : {"M-a", "M-x", "KP8", "KP2", "F5", "DC", "PPage",
                            "NPage", "Home", "End", "IC", "F1", "M-Up"})
        sendKeys(key);
    // M-Up is Alt with an arrow: it moves like the arrow. Back down.
    sendKeys("Down");
    sendKeys("Space");
    sendKeys("Enter");
    ASSERT_TRUE(showsText(savedMessage)) << screen();
    sendKeys("x");
    EXPECT_TRUE(ended()) << "the editor did not end";
    EXPECT_EQ(contentOf(directory / "level.dat"), levelWithOneBlock);
}

TEST_F(Tmux, EscapeAloneEndsWithoutSaving)
{
    startEditing();
    if (HasFatalFailure())
        return;
    sendKeys("M-a");
    sendKeys("Escape");
    ASSERT_TRUE(showsText("Druk op een willekeurige toets")) << screen();
    sendKeys("x");
    EXPECT_TRUE(ended()) << "the editor did not end";
    EXPECT_FALSE(std::filesystem::exists(directory / "level.dat"));
}

class GnuScreen : public Multiplexer {
protected:
    void TearDown() override
    {
        shell(screenCommand("-X quit"));
        Multiplexer::TearDown();
    }

    std::string screenCommand(const std::string& arguments) const
    {
        return "screen -S " + socket + " " + arguments;
    }

    std::string hardcopy()
    {
        const auto file = directory / "hardcopy.txt";
        std::filesystem::remove(file);
        shell(screenCommand("-X hardcopy " + quoted(file.string())));
        eventually([&] { return std::filesystem::exists(file); }, 1s);
        return contentOf(file);
    }

    bool showsText(const std::string& text)
    {
        return eventually(
            [&] { return hardcopy().find(text) != std::string::npos; });
    }

    // Bytes as the terminal's keys send them, typed into the window.
    void type(const std::string& bytes)
    {
        ASSERT_TRUE(shell(screenCommand("-X stuff " + quoted(bytes))));
        std::this_thread::sleep_for(30ms);
    }
};

TEST_F(GnuScreen, KeysUnderScreenMoveSaveOrChangeNothing)
{
    std::ofstream(directory / "screenrc") << "startup_message off\n";
    ASSERT_TRUE(shell("cd " + quoted(directory.string()) +
                      " && LANG=C.UTF-8 SCREENRC=" +
                      quoted((directory / "screenrc").string()) + " " +
                      screenCommand("-U -d -m " + quoted(GLISK_EDITOR_PATH))))
        << "screen could not start";
    ASSERT_TRUE(showsText("Hoe breed")) << hardcopy();
    type("5 4\r");
    // A detached screen is 80 by 24: the credit line is off its bottom.
    ASSERT_TRUE(showsText("SPATIE is blokje")) << hardcopy();
    type("\033[1;5C");  // Ctrl+Right
    type("\033[1;2B");  // Shift+Down
    for (const char* key : {"\033a", "\033Ox", "\033[15~", "\033[3~",
                            "\033[5~", "\033[1;5D\033[C", "\033OE"})
        type(key);
    type(" ");
    type("\r");
    ASSERT_TRUE(showsText(savedMessage)) << hardcopy();
    type("x");
    EXPECT_TRUE(eventually([&] { return !shell("screen -ls " + socket); }))
        << "the editor did not end";
    EXPECT_EQ(contentOf(directory / "level.dat"), levelWithOneBlock);
}

}  // namespace
