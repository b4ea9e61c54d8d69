// A fresh directory of a test's own under /tmp, and its removal with all it
// holds, whatever rights a test left on it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

inline std::string makeScratchDirectory(const std::string& stem)
{
    std::string name = "/tmp/glisk-" + stem + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a directory in /tmp");
    std::filesystem::permissions(name, std::filesystem::perms::owner_all |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec |
                                           std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
    return name;
}

inline void removeScratchDirectory(const std::string& path)
{
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(path, ignored);
         entry != std::filesystem::recursive_directory_iterator();
         entry.increment(ignored))
        if (entry->is_directory(ignored) && !entry->is_symlink(ignored))
            std::filesystem::permissions(entry->path(),
                                         std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add,
                                         ignored);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}
