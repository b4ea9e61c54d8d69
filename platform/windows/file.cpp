// Saving a file on Windows.
//
// The new content goes into a temporary file beside the old one, is flushed
// to the disk, and then takes the old file's place in one step: ReplaceFileW
// over an old file (which keeps its attributes and security), a move for a
// new one. A file with several links, or one that another program holds open
// without sharing its deletion, is rewritten in place instead, and its old
// bytes are put back if any step fails.
#include "file.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// A temporary file is named after the file it replaces and the process that
// made it: ".level.dat.glisk-save-1234-0". One whose process is gone was left
// by a save that was killed.
constexpr const wchar_t* temporaryMark = L".glisk-save-";
constexpr int temporaryNamesToTry = 100;

std::wstring wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(),
                                           static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        converted.data(), length);
    return converted;
}

std::wstring directoryOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring baseNameOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The whole path of a name, as ReplaceFileW wants both its names.
std::wstring fullPath(const std::wstring& name)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(name.c_str(),
                                    static_cast<DWORD>(path.size()),
                                    path.data(), nullptr);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()),
                                  path.data(), nullptr);
    }
    if (length == 0 || length >= path.size())
        return name;
    path.resize(length);
    return path;
}

// The file a symbolic link stands for; any other name as its whole path.
std::wstring followLinks(const std::wstring& name)
{
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return fullPath(name);
    const HANDLE file =
        CreateFileW(name.c_str(), 0,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fullPath(name);
    std::wstring target(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(
        file, target.data(), static_cast<DWORD>(target.size()), 0);
    if (length >= target.size()) {
        target.resize(length + 1);
        length = GetFinalPathNameByHandleW(
            file, target.data(), static_cast<DWORD>(target.size()), 0);
    }
    CloseHandle(file);
    if (length == 0 || length >= target.size())
        return fullPath(name);
    target.resize(length);
    return target;
}

std::wstring temporaryPrefix(const std::wstring& directory,
                             const std::wstring& base)
{
    return directory + L"\\." + base + temporaryMark;
}

bool processIsGone(DWORD id)
{
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool ended =
        GetExitCodeProcess(process, &code) != 0 && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

// Removes what saves of this file that were killed left behind.
void removeLeftovers(const std::wstring& directory, const std::wstring& base)
{
    const std::wstring prefix = temporaryPrefix(directory, base);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const std::wstring namePrefix = baseNameOf(prefix);
    std::vector<std::wstring> stale;
    do {
        const std::wstring name = found.cFileName;
        if (name.compare(0, namePrefix.size(), namePrefix) != 0)
            continue;
        wchar_t* end = nullptr;
        const unsigned long owner =
            wcstoul(name.c_str() + namePrefix.size(), &end, 10);
        if (owner > 0 && *end == L'-' && processIsGone(owner))
            stale.push_back(directory + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const auto& path : stale)
        DeleteFileW(path.c_str());
}

HANDLE createTemporary(const std::wstring& directory, const std::wstring& base,
                       std::wstring& path)
{
    static unsigned made = 0;
    const std::wstring prefix = temporaryPrefix(directory, base) +
                                std::to_wstring(GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < temporaryNamesToTry; ++attempt) {
        path = prefix + std::to_wstring(made++);
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE ||
            GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool moveTo(HANDLE file, LONGLONG offset)
{
    LARGE_INTEGER position{};
    position.QuadPart = offset;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

bool writeAll(HANDLE file, const std::string& content)
{
    if (!moveTo(file, 0))
        return false;
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done,
                       static_cast<DWORD>(content.size() - done), &written,
                       nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

bool readAll(HANDLE file, std::string& content)
{
    if (!moveTo(file, 0))
        return false;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        content.append(buffer, got);
    }
}

bool cutTo(HANDLE file, std::size_t length)
{
    return moveTo(file, static_cast<LONGLONG>(length)) &&
           SetEndOfFile(file) != 0;
}

// Makes sure of the disk space for a longer content before any old byte is
// overwritten, without changing the file's size. False only when the space
// is surely not there.
bool reserveSpace(HANDLE file, std::size_t oldLength, std::size_t length)
{
    if (length <= oldLength)
        return true;
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(file, FileAllocationInfo, &allocation,
                                      sizeof allocation) != 0 ||
           GetLastError() != ERROR_DISK_FULL;
}

bool mayBeDeleted(const std::wstring& path)
{
    const HANDLE file =
        CreateFileW(path.c_str(), DELETE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

enum class Replacement { done, failed, notPossible };

Replacement replaceWhole(const std::wstring& target, const std::string& content,
                         bool exists)
{
    std::wstring temporary;
    const HANDLE file =
        createTemporary(directoryOf(target), baseNameOf(target), temporary);
    if (file == INVALID_HANDLE_VALUE)
        return Replacement::notPossible;
    const bool whole = writeAll(file, content) && FlushFileBuffers(file) != 0;
    if (CloseHandle(file) == 0 || !whole) {
        DeleteFileW(temporary.c_str());
        return Replacement::failed;
    }
    if (!exists)
        return MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? Replacement::done
                   : (DeleteFileW(temporary.c_str()), Replacement::failed);
    if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return Replacement::done;
    // Without a backup name this failure means the old file is gone and the
    // new content is still under its temporary name: finish the move.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? Replacement::done
                   : Replacement::failed;
    DeleteFileW(temporary.c_str());
    return Replacement::notPossible;
}

bool rewriteInPlace(const std::wstring& target, const std::string& content)
{
    const HANDLE file = CreateFileW(
        target.c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string old;
    if (!readAll(file, old) ||
        !reserveSpace(file, old.size(), content.size())) {
        CloseHandle(file);
        return false;
    }
    const bool whole = writeAll(file, content) && cutTo(file, content.size()) &&
                       FlushFileBuffers(file) != 0;
    if (!whole && writeAll(file, old) && cutTo(file, old.size()))
        FlushFileBuffers(file);
    CloseHandle(file);
    return whole;
}

}  // namespace

bool replaceFileContent(const std::string& name, const std::string& content)
{
    const std::wstring target = followLinks(wide(name));
    removeLeftovers(directoryOf(target), baseNameOf(target));

    // Only a file on a disk that this process may write is saved over:
    // opening it for writing asks the system, and a read-only attribute is
    // refused even where the system would let the user write it.
    const HANDLE probe = CreateFileW(
        target.c_str(), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    const bool exists = probe != INVALID_HANDLE_VALUE;
    DWORD links = 1;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION information{};
        const bool usable =
            GetFileType(probe) == FILE_TYPE_DISK &&
            GetFileInformationByHandle(probe, &information) != 0 &&
            (information.dwFileAttributes &
             (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
        links = information.nNumberOfLinks;
        CloseHandle(probe);
        if (!usable)
            return false;
    }

    // A replacement would part the other links from the level, and cannot
    // take a file that another program holds open without sharing its
    // deletion.
    if (exists && (links > 1 || !mayBeDeleted(target)))
        return rewriteInPlace(target, content);
    const Replacement outcome = replaceWhole(target, content, exists);
    if (outcome != Replacement::notPossible)
        return outcome == Replacement::done;
    return exists && rewriteInPlace(target, content);
}
