// The console layer on the Windows console.
//
// Every primitive fetches its standard handle afresh and makes the console
// calls straight away, so each call's effect is on the screen when it
// returns. Characters go through the code page 437 table to UTF-16 and are
// written with the wide calls, so that the block shows as a diamond and a
// cleared cell shows empty on a console of any code page.
#include "console.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "code_page_437.h"

namespace {

// The text cursor as the editor found it, put back when it ends, also when
// Ctrl-C or the console's close button ends it.
CONSOLE_CURSOR_INFO cursorAtStart{};
bool cursorSaved = false;

HANDLE output()
{
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

void restoreCursor()
{
    if (cursorSaved)
        SetConsoleCursorInfo(output(), &cursorAtStart);
}

BOOL WINAPI onConsoleEnd(DWORD)
{
    restoreCursor();
    return FALSE;  // and let the console end the program as it would
}

WORD attribute(std::uint16_t foreground, std::uint16_t background)
{
    return static_cast<WORD>(background * 16 + foreground);
}

}  // namespace

bool consoleIsUsable()
{
    return true;
}

void openConsole()
{
    cursorSaved = GetConsoleCursorInfo(output(), &cursorAtStart) != 0;
    SetConsoleCtrlHandler(onConsoleEnd, TRUE);
}

void closeConsole()
{
    restoreCursor();
    SetConsoleCtrlHandler(onConsoleEnd, FALSE);
}

void clearScreen()
{
    const HANDLE screen = output();
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen, &info);
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) *
                        static_cast<DWORD>(info.dwSize.Y);
    const COORD topLeft{0, 0};
    DWORD written = 0;
    FillConsoleOutputCharacterW(screen, L'\0', cells, topLeft, &written);
    FillConsoleOutputAttribute(screen, attribute(colourLightGrey, colourBlack),
                               cells, topLeft, &written);
    SetConsoleCursorPosition(screen, topLeft);
}

void hideCursor()
{
    const HANDLE screen = output();
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(screen, &cursor);
    cursor.bVisible = FALSE;
    SetConsoleCursorInfo(screen, &cursor);
}

std::uint16_t readKey()
{
    const HANDLE keyboard = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        INPUT_RECORD event{};
        DWORD read = 0;
        // No console to read from: the editing ends as Escape ends it.
        if (!ReadConsoleInputA(keyboard, &event, 1, &read))
            return keyEscape;
        if (read == 1 && event.EventType == KEY_EVENT &&
            event.Event.KeyEvent.bKeyDown == TRUE)
            return event.Event.KeyEvent.wVirtualKeyCode;
    }
}

void writeTextAt(std::string text, std::int16_t column, std::int16_t row,
                 std::uint16_t foreground, std::uint16_t background)
{
    if (text.empty())
        return;
    std::wstring characters;
    for (const char character : text)
        characters += static_cast<wchar_t>(
            codePage437[static_cast<unsigned char>(character)]);
    const HANDLE screen = output();
    const COORD at{column, row};
    DWORD written = 0;
    WriteConsoleOutputCharacterW(screen, characters.data(),
                                 static_cast<DWORD>(characters.size()), at,
                                 &written);
    const std::vector<WORD> attributes(text.size(),
                                       attribute(foreground, background));
    WriteConsoleOutputAttribute(screen, attributes.data(),
                                static_cast<DWORD>(attributes.size()), at,
                                &written);
}


void pauseForKey()
{
    std::system("Pause");
}
