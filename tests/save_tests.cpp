// Saving on POSIX: the level file replaced whole, or rewritten in place
// where a replacement would break what the user relies on, and every failure
// leaving the old level whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <algorithm>

#include "level.h"
#include "level_file.h"
#include "scratch_directory.h"

namespace {

// Each test saves inside a fresh directory of its own.
class SaveLevel : public testing::Test {
protected:
    void SetUp() override
    {
        directory = makeScratchDirectory("save");
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous);
        removeScratchDirectory(directory);
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

    // Every name in a directory but the given ones: what a save left behind.
    static std::vector<std::string> strangers(
        const std::string& folder, const std::vector<std::string>& expected)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const auto name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) ==
                expected.end())
                names.push_back(name);
        }
        return names;
    }

    static struct stat statusOf(const char* name)
    {
        struct stat status {};
        stat(name, &status);
        return status;
    }

    std::string directory;
    std::filesystem::path previous;
};

using Names = std::vector<std::string>;

const std::string freshLevel =
    "4 3\r\n\r\n1 1 1 1 \r\n1 0 0 1 \r\n1 1 1 1 \r\n";
const std::string oldLevel =
    "5 3\r\n\r\n1 1 1 1 1 \r\n1 0 1 0 1 \r\n1 1 1 1 1 \r\n";

TEST_F(SaveLevel, CreatesTheFileInTheCurrentDirectory)
{
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
}

TEST_F(SaveLevel, ReplacesALongerFileKeepingItsModeAndLeavingNothingBehind)
{
    putFile("level.dat", oldLevel + std::string(500, 'x'));
    chmod("level.dat", 0640);
    const struct stat before = statusOf("level.dat");

    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));

    const struct stat after = statusOf("level.dat");
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place";
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(strangers(".", {"level.dat"}), Names{});
}

TEST_F(SaveLevel, GivesANewLevelTheModeTheUmaskLeaves)
{
    const mode_t previousMask = umask(027);
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    umask(previousMask);
    EXPECT_EQ(statusOf("level.dat").st_mode & 07777, 0640u);
    EXPECT_EQ(strangers(".", {"level.dat"}), Names{});
}

TEST_F(SaveLevel, KeepsTheOwnerOfAnotherUsersFileSavedByRoot)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    putFile("level.dat", oldLevel);
    ASSERT_EQ(chown("level.dat", 65534, 65534), 0);
    const struct stat before = statusOf("level.dat");
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    const struct stat after = statusOf("level.dat");
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 65534u);
    EXPECT_EQ(after.st_gid, 65534u);
}

// Where a replacement cannot keep what the user relies on, the file is
// rewritten in place: its inode, owner and links stay.
TEST_F(SaveLevel, WritesInPlaceWhereTheFileCannotBeReplaced)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to lay out files of two users";
    struct Case {
        const char* what;
        mode_t directoryMode;
    };
    for (const Case& test : {Case{"an owner the saver cannot keep", 0777},
                             Case{"a directory that takes no new file", 0555}}) {
        putFile("level.dat", oldLevel + std::string(300, 'x'));
        chmod("level.dat", 0666);
        chmod(".", test.directoryMode);
        const struct stat before = statusOf("level.dat");
        EXPECT_TRUE(saveInChild(true)) << test.what;
        chmod(".", 0755);
        const struct stat after = statusOf("level.dat");
        EXPECT_EQ(contentOf("level.dat"), freshLevel) << test.what;
        EXPECT_EQ(after.st_ino, before.st_ino) << test.what;
        EXPECT_EQ(after.st_uid, 0u) << test.what;
        EXPECT_EQ(strangers(".", {"level.dat"}), Names{}) << test.what;
        std::filesystem::remove("level.dat");
    }
}

TEST_F(SaveLevel, WritesInPlaceOverAFileMountedOnTheName)
{
    putFile("level.dat", oldLevel);
    putFile("mounted.dat", oldLevel + std::string(300, 'x'));
    if (mount("mounted.dat", "level.dat", nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
    const bool saved = saveLevel(buildGrid(4, 3), 4, 3);
    umount("level.dat");
    EXPECT_TRUE(saved);
    EXPECT_EQ(contentOf("mounted.dat"), freshLevel);
    EXPECT_EQ(contentOf("level.dat"), oldLevel);
    EXPECT_EQ(strangers(".", {"level.dat", "mounted.dat"}), Names{});
}

TEST_F(SaveLevel, WritesThroughSymbolicLinksToTheirTarget)
{
    std::filesystem::create_directory("levels");
    putFile("levels/mine.dat", oldLevel);
    chmod("levels/mine.dat", 0600);
    // level.dat -> levels/link.dat -> mine.dat (relative to its own folder)
    std::filesystem::create_symlink("mine.dat", "levels/link.dat");
    std::filesystem::create_symlink("levels/link.dat", "level.dat");

    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));

    EXPECT_TRUE(std::filesystem::is_symlink("level.dat"));
    EXPECT_TRUE(std::filesystem::is_symlink("levels/link.dat"));
    EXPECT_EQ(contentOf("levels/mine.dat"), freshLevel);
    EXPECT_EQ(statusOf("levels/mine.dat").st_mode & 07777, 0600u);
    EXPECT_EQ(strangers(".", {"level.dat", "levels"}), Names{});
    EXPECT_EQ(strangers("levels", {"mine.dat", "link.dat"}), Names{});

    // A link to a level not made yet makes it.
    std::filesystem::remove("levels/mine.dat");
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("levels/mine.dat"), freshLevel);
}

TEST_F(SaveLevel, RemovesWhatAKilledSaveLeftBehindAndNothingElse)
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stem = std::string(".level.dat.glisk-save-") + host + "-";
    const std::string leftover = stem + std::to_string(gone) + "-0";
    const std::string living = stem + std::to_string(getpid()) + "-7";
    const std::string otherHost =
        ".level.dat.glisk-save-elsewhere-" + std::to_string(gone) + "-0";
    for (const auto& name : {leftover, living, otherHost})
        putFile(name, "1 1 \r\n");
    putFile("level.dat", oldLevel);

    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));

    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_EQ(strangers(".", {"level.dat", living, otherHost}), Names{});
    EXPECT_TRUE(std::filesystem::exists(living));
}

// A full file system: the replacement cannot be written, and the old level
// stays whole. Rewritten in place, the level fits in the space the old one
// already holds, and the save says what the file holds.
TEST_F(SaveLevel, AFullFileSystemKeepsTheOldLevel)
{
    std::filesystem::create_directory("small");
    if (mount("tmpfs", "small", "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: "
                     << std::strerror(errno);
    std::filesystem::current_path("small");
    const std::string shortLevel = "2 2\r\n\r\n1 1 \r\n1 1 \r\n";
    const std::string largeLevel = formatLevel(buildGrid(20, 20), 20, 20);
    putFile("level.dat", shortLevel);
    putFile("filler", std::string(16384, 'f'));  // all the space left

    EXPECT_FALSE(saveLevel(buildGrid(20, 20), 20, 20));
    EXPECT_EQ(contentOf("level.dat"), shortLevel);
    EXPECT_EQ(strangers(".", {"level.dat", "filler"}), Names{});

    ASSERT_EQ(link("level.dat", "other.dat"), 0);
    const bool saved = saveLevel(buildGrid(20, 20), 20, 20);
    EXPECT_EQ(contentOf("level.dat"), saved ? largeLevel : shortLevel);
    EXPECT_EQ(contentOf("other.dat"), contentOf("level.dat"));

    std::filesystem::current_path(directory);
    umount("small");
}

TEST_F(SaveLevel, RewritesALongerHardLinkedFileInPlaceKeepingItsIdentity)
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
