#include <curses.h>
#include <gtest/gtest.h>

#include "console.h"

// The terminal layer's translation of curses key codes; not part of the
// console interface, which only hands out the translated codes.
std::uint16_t virtualKeyFromCurses(int key);

namespace {

struct KeyCase {
    const char* name;
    int cursesKey;
    std::uint16_t virtualKey;
};

void PrintTo(const KeyCase& key, std::ostream* out) { *out << key.name; }

class KeyMapping : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyMapping, GivesTheWindowsCode)
{
    EXPECT_EQ(virtualKeyFromCurses(GetParam().cursesKey),
              GetParam().virtualKey);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMapping,
    testing::Values(
        KeyCase{"EnterAsCR", '\r', keyReturn},
        KeyCase{"EnterAsLF", '\n', keyReturn},
        KeyCase{"KeypadEnter", KEY_ENTER, keyReturn},
        KeyCase{"Escape", 27, keyEscape},
        KeyCase{"Space", ' ', keySpace},
        KeyCase{"Left", KEY_LEFT, keyLeft},
        KeyCase{"Up", KEY_UP, keyUp},
        KeyCase{"Right", KEY_RIGHT, keyRight},
        KeyCase{"Down", KEY_DOWN, keyDown},
        KeyCase{"SmallLetter", 'q', 'Q'},
        KeyCase{"CapitalLetter", 'Q', 'Q'},
        KeyCase{"CtrlLetter", 1, 'A'},
        KeyCase{"Digit", '7', '7'},
        KeyCase{"Tab", '\t', keyTab},
        KeyCase{"BackTab", KEY_BTAB, keyTab},
        KeyCase{"BackspaceAsDEL", 127, keyBackspace},
        KeyCase{"BackspaceAsBS", '\b', keyBackspace},
        KeyCase{"BackspaceKey", KEY_BACKSPACE, keyBackspace},
        KeyCase{"F1", KEY_F(1), keyF1},
        KeyCase{"F12", KEY_F(12), keyF1 + 11},
        KeyCase{"ShiftF1AsF13", KEY_F(13), keyF1},
        KeyCase{"Insert", KEY_IC, keyInsert},
        KeyCase{"Delete", KEY_DC, keyDelete},
        KeyCase{"Home", KEY_HOME, keyHome},
        KeyCase{"End", KEY_END, keyEnd},
        KeyCase{"PageUp", KEY_PPAGE, keyPageUp},
        KeyCase{"PageDown", KEY_NPAGE, keyPageDown},
        // Punctuation whose character code is that of an arrow key must not
        // move the cursor: it gives the code of the key that types it.
        KeyCase{"Percent", '%', '5'},
        KeyCase{"Ampersand", '&', '7'},
        KeyCase{"Apostrophe", '\'', 0xDE},
        KeyCase{"OpeningParenthesis", '(', '9'},
        KeyCase{"ExclamationMark", '!', '1'},
        KeyCase{"Minus", '-', 0xBD},
        KeyCase{"Backslash", '\\', 0xDC},
        KeyCase{"Resize", KEY_RESIZE, 0},
        KeyCase{"HighByte", 0xC3, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
