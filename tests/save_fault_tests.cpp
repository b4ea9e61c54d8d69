// The save under strace: killed at the entry of each system call it makes,
// and made to fail once at each of them. Whatever happens, level.dat holds
// the old level whole or the new one whole, the save's answer matches the
// file, an interrupted call never fails it, and a temporary file is never
// left for long.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "scratch_directory.h"

namespace {

const std::string newLevel =
    "4 3\r\n\r\n1 1 1 1 \r\n1 0 0 1 \r\n1 1 1 1 \r\n";

struct OldFile {
    const char* name;
    bool exists;
    std::string content;
    bool linked;  // another hard link to it: saved in place
};

const std::vector<OldFile> oldFiles{
    {"none", false, "", false},
    {"shorter", true, "2 2\r\n\r\n1 1 \r\n1 1 \r\n", false},
    {"sameSize", true, "4 3\r\n\r\n1 1 1 1 \r\n1 1 0 1 \r\n1 1 1 1 \r\n", false},
    {"longer", true, "5 3\r\n\r\n1 1 1 1 1 \r\n1 0 1 0 1 \r\n1 1 1 1 1 \r\n",
     false},
    {"linkedShorter", true, "2 2\r\n\r\n1 1 \r\n1 1 \r\n", true},
    {"linkedLonger", true,
     "5 3\r\n\r\n1 1 1 1 1 \r\n1 0 1 0 1 \r\n1 1 1 1 1 \r\n", true},
};

void PrintTo(const OldFile& old, std::ostream* out)
{
    *out << old.name;
}

// One system call of the save: its name and which call of that name it is
// in the whole run, as strace's when= counts them.
struct SaveCall {
    std::string name;
    int occurrence;
};

std::string contentOf(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Runs a command in a directory with its output thrown away; returns
// waitpid's status.
int run(const std::vector<std::string>& command,
        const std::filesystem::path& directory)
{
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(126);
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        alarm(20);  // a save that hangs fails the test instead of the run
        std::vector<char*> arguments;
        for (const auto& word : command)
            arguments.push_back(const_cast<char*>(word.c_str()));
        arguments.push_back(nullptr);
        execvp(arguments[0], arguments.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

class SaveUnderFaults : public testing::TestWithParam<OldFile> {
protected:
    void SetUp() override
    {
        directory = makeScratchDirectory("faults");
    }

    void TearDown() override { removeScratchDirectory(directory); }

    void layOldFile()
    {
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            std::filesystem::remove_all(entry.path());
        const OldFile& old = GetParam();
        if (!old.exists)
            return;
        std::ofstream(directory / "level.dat", std::ios::binary) << old.content;
        chmod((directory / "level.dat").c_str(), 0640);
        if (old.linked)
            std::filesystem::create_hard_link(directory / "level.dat",
                                              directory / "other-link.dat");
    }

    std::vector<std::string> strangers()
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            if (const auto name = entry.path().filename().string();
                name != "level.dat" && name != "other-link.dat" &&
                name.rfind("trace", 0) != 0)
                names.push_back(name);
        return names;
    }

    // The save's system calls, from a plain trace of one save.
    std::vector<SaveCall> saveCalls()
    {
        layOldFile();
        const int status = run({"strace", "-qq", "-o", "trace.txt",
                                GLISK_SAVE_ONCE_PATH},
                               directory);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "strace could not run the save";
        std::ifstream trace(directory / "trace.txt");
        std::map<std::string, int> seen;
        std::vector<SaveCall> calls;
        bool inSave = false;
        for (std::string line; std::getline(trace, line);) {
            const auto open = line.find('(');
            if (open == std::string::npos || line.rfind("---", 0) == 0 ||
                line.rfind("+++", 0) == 0)
                continue;
            const std::string name = line.substr(0, open);
            const int occurrence = ++seen[name];
            if (line.find("glisk-save-ends") != std::string::npos)
                break;
            if (inSave)
                calls.push_back({name, occurrence});
            if (line.find("glisk-save-begins") != std::string::npos)
                inSave = true;
        }
        std::filesystem::remove(directory / "trace.txt");
        return calls;
    }

    std::filesystem::path directory;
};

struct Fault {
    const char* name;
    const char* injection;  // strace's inject= action
};

const std::vector<Fault> faults{
    {"kill", "signal=SIGKILL"},
    {"EIO", "error=EIO"},
    {"ENOSPC", "error=ENOSPC"},
    {"EINTR", "error=EINTR"},
};

TEST_P(SaveUnderFaults, LeavesTheOldLevelOrTheNewOneWhole)
{
    const OldFile& old = GetParam();
    const auto calls = saveCalls();
    ASSERT_GE(calls.size(), 5u) << "the save's calls were not found";

    std::ostringstream table;
    for (const auto& call : calls) {
        std::vector<Fault> tried = faults;
        if (call.name == "fallocate")
            tried.push_back({"EOPNOTSUPP", "error=EOPNOTSUPP"});
        for (const auto& fault : tried) {
            layOldFile();
            const std::string injection = "inject=" + call.name + ":" +
                                          fault.injection + ":when=" +
                                          std::to_string(call.occurrence);
            const int status = run({"strace", "-qq", "-o", "/dev/null", "-e",
                                    "trace=" + call.name, "-e", injection,
                                    GLISK_SAVE_ONCE_PATH},
                                   directory);
            const bool killed = WIFSIGNALED(status);
            const bool saved = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            const bool refused = WIFEXITED(status) && WEXITSTATUS(status) == 1;
            const bool present = std::filesystem::exists(directory / "level.dat");
            const std::string now =
                present ? contentOf(directory / "level.dat") : "";
            const bool isNew = present && now == newLevel;
            const bool isOld = old.exists ? present && now == old.content
                                          : !present;
            const std::string where = call.name + " #" +
                                      std::to_string(call.occurrence) + " " +
                                      fault.name;
            table << where << ": "
                  << (killed ? "killed" : saved ? "saved" : "not saved")
                  << ", file " << (isNew ? "new" : isOld ? "old" : "torn")
                  << "\n";

            ASSERT_TRUE(killed || saved || refused)
                << where << ": status " << status;
            // In place, a kill between the new bytes and the cut leaves the
            // old level's tail: the one window that writing in place cannot
            // close.
            const bool inPlaceWindow =
                killed && old.linked &&
                old.content.size() > newLevel.size() && call.name == "ftruncate";
            if (!inPlaceWindow) {
                EXPECT_TRUE(isNew || isOld) << where << ": " << now;
            }
            if (saved) {
                EXPECT_TRUE(isNew) << where << ": saved, yet the file is old";
            }
            if (refused) {
                EXPECT_TRUE(isOld) << where << ": not saved, yet the file changed";
            }
            if (std::string(fault.name) == "EINTR" ||
                std::string(fault.name) == "EOPNOTSUPP") {
                EXPECT_TRUE(saved) << where << " failed the save";
            }
            if (old.linked && present) {
                EXPECT_EQ(contentOf(directory / "other-link.dat"), now)
                    << where << ": the links parted";
            }
            if (!killed) {
                EXPECT_TRUE(strangers().empty())
                    << where << " left " << strangers().front();
            }

            // The next save, undisturbed, works and leaves nothing behind.
            const int again = run({GLISK_SAVE_ONCE_PATH}, directory);
            EXPECT_TRUE(WIFEXITED(again) && WEXITSTATUS(again) == 0) << where;
            EXPECT_EQ(contentOf(directory / "level.dat"), newLevel) << where;
            EXPECT_TRUE(strangers().empty())
                << "after " << where << " the next save left "
                << strangers().front();
        }
    }
    RecordProperty("outcomes", table.str());
    std::cout << "old level " << old.name << ":\n" << table.str();
}

INSTANTIATE_TEST_SUITE_P(OldLevels, SaveUnderFaults,
                         testing::ValuesIn(oldFiles),
                         [](const auto& test) { return test.param.name; });

}  // namespace
