// The Windows console layer against the real console buffer: what the
// primitives leave there is read back with the console's own calls, and
// readKey is fed through the console's input queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "console.h"
#include "level.h"
#include "level_file.h"

namespace {

HANDLE screen()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

std::wstring charactersAt(SHORT column, SHORT row, DWORD count)
{
    std::wstring text(count, L'?');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen(), text.data(), count, COORD{column, row},
                                &read);
    text.resize(read);
    return text;
}

std::vector<WORD> attributesAt(SHORT column, SHORT row, DWORD count)
{
    std::vector<WORD> attributes(count, 0xFFFF);
    DWORD read = 0;
    ReadConsoleOutputAttribute(screen(), attributes.data(), count,
                               COORD{column, row}, &read);
    attributes.resize(read);
    return attributes;
}

COORD bufferSize()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen(), &info);
    return info.dwSize;
}

COORD cursorPosition()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen(), &info);
    return info.dwCursorPosition;
}

class WindowsConsole : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetConsoleScreenBufferInfo(screen(), &original))
            << "the tests need a console";
        FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    }

    void TearDown() override
    {
        SetConsoleScreenBufferSize(screen(), original.dwSize);
    }

    CONSOLE_SCREEN_BUFFER_INFO original{};
};

TEST_F(WindowsConsole, ClearScreenEmptiesTheWholeBufferAndHomesTheCursor)
{
    // A buffer taller than its window, as a console with a history has.
    SetConsoleScreenBufferSize(screen(), COORD{80, 300});
    const COORD size = bufferSize();
    writeTextAt("x", 5, static_cast<std::int16_t>(size.Y - 1), 15, 8);
    writeTextAt("y", 0, 3, 15, 8);
    SetConsoleCursorPosition(screen(), COORD{10, 10});

    clearScreen();

    for (SHORT row = 0; row < size.Y; row += 1) {
        ASSERT_EQ(charactersAt(0, row, size.X), std::wstring(size.X, L'\0'))
            << "row " << row;
        ASSERT_EQ(attributesAt(0, row, size.X),
                  std::vector<WORD>(size.X, 7))
            << "row " << row;
    }
    EXPECT_EQ(cursorPosition().X, 0);
    EXPECT_EQ(cursorPosition().Y, 0);
}

TEST_F(WindowsConsole, WritesTextsAndCharactersInTheirColours)
{
    clearScreen();
    writeTextAt("Glisk", 25, 0, 15, 0);
    writeCharAt(4, 2, 4, 14, 0);
    writeTextAt(" ", 3, 4, 15, 8);
    writeCharAt(' ', 4, 4, 15, 8);
    writeTextAt("", 6, 4, 15, 8);
    writeTextAt(std::string("a\0b", 3), 10, 4, 7, 0);

    EXPECT_EQ(charactersAt(25, 0, 5), L"Glisk");
    EXPECT_EQ(attributesAt(25, 0, 5), std::vector<WORD>(5, 0x0F));
    // The block character shows as the diamond on any code page.
    EXPECT_EQ(charactersAt(2, 4, 1), L"\u2666");
    EXPECT_EQ(attributesAt(2, 4, 1), std::vector<WORD>{0x0E});
    EXPECT_EQ(charactersAt(3, 4, 2), L"  ");
    EXPECT_EQ(attributesAt(3, 4, 2), (std::vector<WORD>{143, 143}));
    // The empty text changed nothing; a byte 0 is written as code 0.
    EXPECT_EQ(charactersAt(6, 4, 1), std::wstring(1, L'\0'));
    EXPECT_EQ(attributesAt(6, 4, 1), std::vector<WORD>{7});
    EXPECT_EQ(charactersAt(10, 4, 3), std::wstring(L"a\0b", 3));
    // No write moves the text cursor from where the clear left it.
    EXPECT_EQ(cursorPosition().X, 0);
    EXPECT_EQ(cursorPosition().Y, 0);
}

TEST_F(WindowsConsole, TextReachingTheRowsEndGoesOnInTheNextRow)
{
    clearScreen();
    const auto width = static_cast<std::int16_t>(bufferSize().X);
    writeTextAt("ABCDEFGH", static_cast<std::int16_t>(width - 5), 6, 14, 0);
    EXPECT_EQ(charactersAt(static_cast<SHORT>(width - 5), 6, 5), L"ABCDE");
    EXPECT_EQ(charactersAt(0, 7, 4), std::wstring(L"FGH\0", 4));
    EXPECT_EQ(attributesAt(0, 7, 4), (std::vector<WORD>{14, 14, 14, 7}));
}

TEST_F(WindowsConsole, HideCursorChangesOnlyTheVisibility)
{
    const CONSOLE_CURSOR_INFO quarter{25, TRUE};
    SetConsoleCursorInfo(screen(), &quarter);
    hideCursor();
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(screen(), &cursor);
    EXPECT_FALSE(cursor.bVisible);
    EXPECT_EQ(cursor.dwSize, 25u);
    SetConsoleCursorInfo(screen(), &quarter);
}

TEST_F(WindowsConsole, CloseConsoleShowsTheCursorAsItWas)
{
    const CONSOLE_CURSOR_INFO quarter{25, TRUE};
    SetConsoleCursorInfo(screen(), &quarter);
    openConsole();
    hideCursor();
    closeConsole();
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(screen(), &cursor);
    EXPECT_TRUE(cursor.bVisible);
    EXPECT_EQ(cursor.dwSize, 25u);
}

INPUT_RECORD keyEvent(WORD code, bool down, WORD repeats = 1)
{
    INPUT_RECORD event{};
    event.EventType = KEY_EVENT;
    event.Event.KeyEvent.bKeyDown = down;
    event.Event.KeyEvent.wRepeatCount = repeats;
    event.Event.KeyEvent.wVirtualKeyCode = code;
    return event;
}

void queue(const std::vector<INPUT_RECORD>& events)
{
    DWORD written = 0;
    WriteConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), events.data(),
                       static_cast<DWORD>(events.size()), &written);
    ASSERT_EQ(written, events.size());
}

TEST_F(WindowsConsole, ReadKeyPassesOverEverythingButAKeyGoingDown)
{
    INPUT_RECORD mouse{};
    mouse.EventType = MOUSE_EVENT;
    INPUT_RECORD focus{};
    focus.EventType = FOCUS_EVENT;
    focus.Event.FocusEvent.bSetFocus = TRUE;
    queue({keyEvent(VK_RETURN, false), mouse, focus, keyEvent(VK_RIGHT, true),
           keyEvent(VK_RIGHT, false), keyEvent(VK_SHIFT, true),
           keyEvent(VK_SHIFT, false), keyEvent('A', true, 3)});
    EXPECT_EQ(readKey(), keyRight);
    EXPECT_EQ(readKey(), VK_SHIFT);
    EXPECT_EQ(readKey(), 'A');  // one code, whatever the repeat count
    DWORD waiting = 1;
    GetNumberOfConsoleInputEvents(GetStdHandle(STD_INPUT_HANDLE), &waiting);
    EXPECT_EQ(waiting, 0u);
}

TEST_F(WindowsConsole, ReadKeyGivesEveryKeyOfTheEditorsTable)
{
    const std::vector<std::uint16_t> codes{keyReturn, keyEscape, keySpace,
                                           keyLeft,   keyUp,     keyRight,
                                           keyDown};
    for (const auto code : codes)
        queue({keyEvent(code, true), keyEvent(code, false)});
    for (const auto code : codes)
        EXPECT_EQ(readKey(), code);
}

// Saving through the Windows file calls: in place, and never losing the
// old level.
class WindowsSave : public testing::Test {
protected:
    void SetUp() override
    {
        directory = std::filesystem::temp_directory_path() /
                    ("glisk-save-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(directory);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }

    void TearDown() override
    {
        SetFileAttributesA("level.dat", FILE_ATTRIBUTE_NORMAL);
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
    }

    static std::string contentOf(const char* name)
    {
        std::ifstream file(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }

    std::filesystem::path directory;
    std::filesystem::path previous;
};

const std::string freshLevel =
    "4 3\r\n\r\n1 1 1 1 \r\n1 0 0 1 \r\n1 1 1 1 \r\n";
const std::string oldLevel = "2 2\r\n\r\n1 1 \r\n1 1 \r\n" + std::string(90, 'x');

std::uint64_t fileIndexOf(const char* name)
{
    const HANDLE file = CreateFileA(name, 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE |
                                        FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return (std::uint64_t{information.nFileIndexHigh} << 32) |
           information.nFileIndexLow;
}

bool onlyTheLevelFilesAreLeft()
{
    for (const auto& entry : std::filesystem::directory_iterator("."))
        if (const auto name = entry.path().filename().string();
            name != "level.dat" && name != "other.dat")
            return false;
    return true;
}

TEST_F(WindowsSave, WritesCrLfBytesExactly)
{
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_TRUE(onlyTheLevelFilesAreLeft());
}

TEST_F(WindowsSave, ReplacesALongerFileWhole)
{
    std::ofstream("level.dat", std::ios::binary) << oldLevel;
    const auto before = fileIndexOf("level.dat");
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_NE(fileIndexOf("level.dat"), before) << "written in place";
    EXPECT_TRUE(onlyTheLevelFilesAreLeft());
}

TEST_F(WindowsSave, RemovesWhatAKilledSaveLeftBehind)
{
    // No process has the id 0x7FFFFFF0 (ids are multiples of four).
    const char* leftover = ".level.dat.glisk-save-2147483632-0";
    std::ofstream(leftover, std::ios::binary) << "1 1 \r\n";
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_TRUE(onlyTheLevelFilesAreLeft());
}

// Another program holds the level open, sharing reading and writing but not
// its deletion: the file cannot be replaced, so it is rewritten in place.
TEST_F(WindowsSave, RewritesInPlaceAFileHeldOpenWithoutSharingDeletion)
{
    std::ofstream("level.dat", std::ios::binary) << oldLevel;
    const HANDLE holder =
        CreateFileA("level.dat", GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    CloseHandle(holder);
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_TRUE(onlyTheLevelFilesAreLeft());
}

TEST_F(WindowsSave, RewritesAHardLinkedFileInPlace)
{
    std::ofstream("level.dat", std::ios::binary) << oldLevel;
    ASSERT_TRUE(CreateHardLinkA("other.dat", "level.dat", nullptr));
    EXPECT_TRUE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), freshLevel);
    EXPECT_EQ(contentOf("other.dat"), freshLevel);
    EXPECT_TRUE(onlyTheLevelFilesAreLeft());
}

TEST_F(WindowsSave, FailsLeavingAReadOnlyFileAsItWas)
{
    std::ofstream("level.dat", std::ios::binary) << oldLevel;
    SetFileAttributesA("level.dat", FILE_ATTRIBUTE_READONLY);
    const HANDLE probe = CreateFileA("level.dat", GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        // Wine run by root, for one, lets root write a read-only file.
        GTEST_SKIP() << "this system lets the user write a read-only file";
    }
    EXPECT_FALSE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_EQ(contentOf("level.dat"), oldLevel);
}

TEST_F(WindowsSave, FailsWhileAnotherHolderDeniesWriting)
{
    std::ofstream("level.dat", std::ios::binary) << oldLevel;
    const HANDLE holder = CreateFileA("level.dat", GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(saveLevel(buildGrid(4, 3), 4, 3));
    CloseHandle(holder);
    EXPECT_EQ(contentOf("level.dat"), oldLevel);
}

TEST_F(WindowsSave, FailsOnADirectoryOfThatName)
{
    std::filesystem::create_directory("level.dat");
    EXPECT_FALSE(saveLevel(buildGrid(4, 3), 4, 3));
    EXPECT_TRUE(std::filesystem::is_directory("level.dat"));
}

}  // namespace
