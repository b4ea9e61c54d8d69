// Saving on POSIX: the level file rewritten in place, and every failure
// leaving the old level whole.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "level.h"
#include "level_file.h"

namespace {

// Each test saves inside a fresh directory of its own.
class SaveLevel : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/glisk-save-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        directory = name;
        chmod(name, 0755);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::filesystem::permissions(directory,
                                     std::filesystem::perms::owner_all);
        std::filesystem::remove_all(directory);
    }

    static std::string contentOf(const std::string& name)
    {
        std::ifstream file(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    static void putFile(const std::string& name, const std::string& content)
    {
        std::ofstream(name, std::ios::binary) << content;
    }

    // Runs the save in a child process, as a user without special rights when
    // the tests run as root (for whom a read-only file is writable), and
    // under a file-size limit if one is given. True when the save worked.
    static bool saveInChild(bool unprivileged, rlim_t sizeLimit = RLIM_INFINITY)
    {
        const pid_t child = fork();
        if (child == 0) {
            alarm(10);  // a save that hangs ends the child, and fails
            if (unprivileged && geteuid() == 0 &&
                (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(3);
            if (sizeLimit != RLIM_INFINITY) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{sizeLimit, sizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            _exit(saveLevel(buildGrid(4, 3), 4, 3) ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "the save ended by signal";
        EXPECT_NE(WEXITSTATUS(status), 3) << "could not drop privileges";
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string directory;
    std::filesystem::path previous;
};

const std::string freshLevel =
    "4 3\r\n\r\n1 1 1 1 \r\n1 0 0 1 \r\n1 1 1 1 \r\n";
const std::string oldLevel =
    "5 3\r\n\r\n1 1 1 1 1 \r\n1 0 1 0 1 \r\n1 1 1 1 1 \r\n";

TEST_F(SaveLevel, CreatesTheFileInTheCurrentDirectory)
{
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
}

TEST_F(SaveLevel, RewritesALongerFileInPlaceKeepingItsIdentity)
{
    putFile("level.dat", oldLevel + std::string(500, 'x'));
    chmod("level.dat", 0640);
    ASSERT_EQ(link("level.dat", "other-name.dat"), 0);
    struct stat before {};
    stat("level.dat", &before);

    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));

    struct stat after {};
    stat("level.dat", &after);
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_EQ(contentOf("other-name.dat"), freshLevel);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_nlink, 2u);
}

TEST_F(SaveLevel, FailsLeavingAReadOnlyFileAsItWas)
{
    putFile("level.dat", oldLevel);
    chmod("level.dat", 0444);
    EXPECT_FALSE(saveInChild(true));
    EXPECT_EQ(contentOf("level.dat"), oldLevel);
}

TEST_F(SaveLevel, FailsWithoutTheRightToCreateTheFile)
{
    chmod(".", 0555);
    EXPECT_FALSE(saveInChild(true));
    chmod(".", 0755);
    EXPECT_FALSE(std::filesystem::exists("level.dat"));
}

TEST_F(SaveLevel, FailsOnADirectoryOfThatName)
{
    std::filesystem::create_directory("level.dat");
    EXPECT_FALSE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_TRUE(std::filesystem::is_directory("level.dat"));
}

TEST_F(SaveLevel, FailsAtOnceOnAFifoOfThatName)
{
    ASSERT_EQ(mkfifo("level.dat", 0644), 0);
    EXPECT_FALSE(saveInChild(false));
    const int reader = open("level.dat", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(saveInChild(false));
    close(reader);
}

// A file-size limit below the new content stands for a full disk: the old,
// shorter level must survive whole.
TEST_F(SaveLevel, FailsWhenTheNewLevelDoesNotFitLeavingTheOldOneWhole)
{
    const std::string shortLevel = "2 2\r\n\r\n1 1 \r\n1 1 \r\n";
    putFile("level.dat", shortLevel);
    EXPECT_FALSE(saveInChild(false, shortLevel.size() + 4));
    EXPECT_EQ(contentOf("level.dat"), shortLevel);

    std::filesystem::remove("level.dat");
    EXPECT_FALSE(saveInChild(false, 10));
    EXPECT_FALSE(std::filesystem::exists("level.dat"));
}

}  // namespace
