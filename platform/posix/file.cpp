// Saving a file on POSIX systems.
//
// The new content goes into a temporary file beside the old one, is flushed
// to the disk, and is then renamed over the old file, so that the name holds
// either the old content whole or the new content whole at every moment,
// whenever the program is killed or the disk fails. Where a rename would
// break what the user relies on (other hard links to the file, an owner this
// process cannot give the new file, a directory that takes no new file or
// refuses the rename), the file is rewritten in place instead, and its old
// bytes are put back if any step fails.
#include "file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A temporary file is named after the file it replaces, the machine and the
// process that made it: ".level.dat.glisk-save-host-1234-0". One whose
// process is gone was left by a save that was killed.
constexpr const char* temporaryMark = ".glisk-save-";
constexpr int temporaryNamesToTry = 100;
constexpr int linkHopsAtMost = 40;

template <typename Call>
auto retryInterrupted(Call call)
{
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a name stands for, through any chain of symbolic links. A chain
// too long is left for open to refuse.
std::string followLinks(std::string path)
{
    for (int hop = 0; hop < linkHopsAtMost; ++hop) {
        struct stat status {};
        if (retryInterrupted([&] { return lstat(path.c_str(), &status); }) !=
                0 ||
            !S_ISLNK(status.st_mode))
            return path;
        std::string target(256, '\0');
        for (;;) {
            const ssize_t length = retryInterrupted([&] {
                return readlink(path.c_str(), target.data(), target.size());
            });
            if (length < 0)
                return path;
            if (static_cast<std::size_t>(length) < target.size()) {
                target.resize(static_cast<std::size_t>(length));
                break;
            }
            target.resize(target.size() * 2);
        }
        path = target.front() == '/' ? target
                                     : directoryOf(path) + "/" + target;
    }
    return path;
}

std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "host";
    return name;
}

std::string temporaryPrefix(const std::string& base)
{
    static const std::string host = hostName();
    return "." + base + temporaryMark + host + "-";
}

// Removes what saves of this file killed on this machine left behind.
void removeLeftovers(const std::string& directory, const std::string& base)
{
    DIR* folder = opendir(directory.c_str());
    if (folder == nullptr)
        return;
    const std::string prefix = temporaryPrefix(base);
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        char* end = nullptr;
        const long owner = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (owner > 0 && *end == '-' &&
            kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH)
            stale.push_back(name);
    }
    closedir(folder);
    for (const auto& name : stale)
        unlink((directory + "/" + name).c_str());
}

int createTemporary(const std::string& directory, const std::string& base,
                    mode_t mode, std::string& path)
{
    static unsigned made = 0;
    const std::string prefix = directory + "/" + temporaryPrefix(base) +
                               std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < temporaryNamesToTry; ++attempt) {
        path = prefix + std::to_string(made++);
        const int file = retryInterrupted([&] {
            return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        mode);
        });
        if (file >= 0 || errno != EEXIST)
            return file;
    }
    return -1;
}

bool writeAll(int file, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = retryInterrupted([&] {
            return pwrite(file, content.data() + done, content.size() - done,
                          static_cast<off_t>(done));
        });
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool readAll(int file, std::string& content)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = retryInterrupted([&] {
            return pread(file, buffer, sizeof buffer,
                         static_cast<off_t>(content.size()));
        });
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

bool cutTo(int file, std::size_t length)
{
    return retryInterrupted([&] {
               return ftruncate(file, static_cast<off_t>(length));
           }) == 0;
}

bool flushToDisk(int file)
{
#ifdef F_FULLFSYNC
    // fsync on macOS leaves the data in the drive's cache.
    if (retryInterrupted([&] { return fcntl(file, F_FULLFSYNC); }) == 0)
        return true;
    if (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY)
        return false;
#endif
    return retryInterrupted([&] { return fsync(file); }) == 0;
}

// Makes sure of the disk space for the new content before any old byte is
// overwritten, where the file system can, without changing the file's size.
// False only when the space is surely not there.
bool reserveSpace(int file, std::size_t length)
{
#ifdef FALLOC_FL_KEEP_SIZE
    if (retryInterrupted([&] {
            return fallocate(file, FALLOC_FL_KEEP_SIZE, 0,
                             static_cast<off_t>(length));
        }) != 0)
        return errno != ENOSPC && errno != EDQUOT && errno != EFBIG;
#else
    (void)file;
    (void)length;
#endif
    return true;
}

void flushDirectory(const std::string& directory)
{
    const int folder = retryInterrupted([&] {
        return open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (folder < 0)
        return;
    // Some file systems refuse this; the rename is done all the same.
    retryInterrupted([&] { return fsync(folder); });
    close(folder);
}

enum class Replacement { done, failed, notPossible };

// The new content in a temporary file beside the target, renamed over it.
// old is the target's status, or null for a new file.
Replacement replaceWhole(const std::string& target, const std::string& content,
                         const struct stat* old)
{
    const std::string directory = directoryOf(target);
    const std::string base = baseNameOf(target);
    std::string temporary;
    // A new file gets the mode that the umask leaves of 0666, as any file
    // the user makes; the replacement of an old one gets that one's mode.
    const mode_t mode = old != nullptr ? 0600 : 0666;
    const int file = createTemporary(directory, base, mode, temporary);
    if (file < 0)
        return Replacement::notPossible;
    const auto abandon = [&](Replacement outcome) {
        close(file);
        unlink(temporary.c_str());
        return outcome;
    };
    struct stat made {};
    if (retryInterrupted([&] { return fstat(file, &made); }) != 0)
        return abandon(Replacement::failed);
    if (old != nullptr) {
        if ((made.st_uid != old->st_uid || made.st_gid != old->st_gid) &&
            retryInterrupted([&] {
                return fchown(file, old->st_uid, old->st_gid);
            }) != 0)
            return abandon(Replacement::notPossible);
        if (retryInterrupted([&] {
                return fchmod(file, old->st_mode & 07777);
            }) != 0)
            return abandon(Replacement::failed);
    }
    if (!writeAll(file, content) || !flushToDisk(file))
        return abandon(Replacement::failed);
    // Closing can report what a network file system failed to store. An
    // interrupted close has closed the file, whose data is already flushed.
    if (close(file) != 0 && errno != EINTR) {
        unlink(temporary.c_str());
        return Replacement::failed;
    }
    if (retryInterrupted([&] {
            return rename(temporary.c_str(), target.c_str());
        }) != 0) {
        const int error = errno;
        // An interrupted rename that was done after all leaves nothing to
        // rename on the retry.
        struct stat now {};
        if (error == ENOENT &&
            retryInterrupted([&] { return stat(target.c_str(), &now); }) == 0 &&
            now.st_dev == made.st_dev && now.st_ino == made.st_ino) {
            flushDirectory(directory);
            return Replacement::done;
        }
        unlink(temporary.c_str());
        // Another device or a mount point, or a sticky directory.
        const bool refused = error == EXDEV || error == EBUSY ||
                             error == EPERM || error == EACCES;
        return refused ? Replacement::notPossible : Replacement::failed;
    }
    flushDirectory(directory);
    return Replacement::done;
}

bool rewriteInPlace(const std::string& target, const std::string& content)
{
    const int file = retryInterrupted([&] {
        return open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    });
    if (file < 0)
        return false;
    struct stat status {};
    std::string old;
    if (retryInterrupted([&] { return fstat(file, &status); }) != 0 ||
        !S_ISREG(status.st_mode) ||
        !readAll(file, old) || !reserveSpace(file, content.size())) {
        close(file);
        return false;
    }
    const bool whole = writeAll(file, content) && cutTo(file, content.size()) &&
                       flushToDisk(file);
    if (!whole && writeAll(file, old) && cutTo(file, old.size()))
        flushToDisk(file);
    // The data is on the disk or put back; closing cannot change that.
    close(file);
    return whole;
}

}  // namespace

bool replaceFileContent(const std::string& name, const std::string& content)
{
    // Past a file-size limit the write is to fail, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string target = followLinks(name);
    removeLeftovers(directoryOf(target), baseNameOf(target));

    // Only a regular file that this process may write is saved over: opening
    // it for writing asks the system. Not blocking, so that a FIFO of that
    // name fails the save instead of hanging it.
    struct stat old {};
    const int probe = retryInterrupted([&] {
        return open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    });
    if (probe < 0 && errno != ENOENT)
        return false;
    const bool exists = probe >= 0;
    if (exists) {
        const bool regular =
            retryInterrupted([&] { return fstat(probe, &old); }) == 0 &&
            S_ISREG(old.st_mode);
        close(probe);
        if (!regular)
            return false;
    }

    // A rename would part the other links from the level.
    if (exists && old.st_nlink > 1)
        return rewriteInPlace(target, content);
    const Replacement outcome =
        replaceWhole(target, content, exists ? &old : nullptr);
    if (outcome != Replacement::notPossible)
        return outcome == Replacement::done;
    return exists && rewriteInPlace(target, content);
}
