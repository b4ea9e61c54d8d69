// The terminal's key bytes decoded into the codes a Windows console gives:
// every key one key, and only a lone Escape Escape.
#include <gtest/gtest.h>

#include <string>

#include "console.h"
#include "key_decoder.h"

namespace {

struct KeyCase {
    const char* name;
    std::string bytes;
    std::uint16_t code;
};

void PrintTo(const KeyCase& key, std::ostream* out) { *out << key.name; }

class DecodeKey : public testing::TestWithParam<KeyCase> {};

// The whole key is taken at once, and the same key follows when its bytes
// come one by one: each part is awaited, none taken as a key of its own.
TEST_P(DecodeKey, TakesTheWholeKeyInOneOrInPieces)
{
    const KeyCase& key = GetParam();
    const DecodedKey whole = decodeKey(key.bytes + "x", true);
    EXPECT_EQ(whole.code, key.code);
    EXPECT_EQ(whole.length, key.bytes.size());
    const DecodedKey last = decodeKey(key.bytes, false);
    EXPECT_EQ(last.code, key.code);
    EXPECT_EQ(last.length, key.bytes.size());
    for (std::size_t part = 1; part < key.bytes.size(); ++part)
        EXPECT_EQ(decodeKey(key.bytes.substr(0, part), true).length, 0u)
            << "taken after " << part << " bytes";
}

constexpr std::uint16_t keyF(int number)
{
    return static_cast<std::uint16_t>(keyF1 + number - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DecodeKey,
    testing::Values(
        KeyCase{"EnterAsCR", "\r", keyReturn},
        KeyCase{"EnterAsLF", "\n", keyReturn},
        KeyCase{"KeypadEnter", "\033OM", keyReturn},
        KeyCase{"Space", " ", keySpace},
        KeyCase{"Up", "\033[A", keyUp},
        KeyCase{"DownInKeypadMode", "\033OB", keyDown},
        KeyCase{"CtrlRight", "\033[1;5C", keyRight},
        KeyCase{"CtrlLeft", "\033[1;5D", keyLeft},
        KeyCase{"ShiftUp", "\033[1;2A", keyUp},
        KeyCase{"AltDown", "\033[1;3B", keyDown},
        KeyCase{"CtrlShiftLeft", "\033[1;6D", keyLeft},
        KeyCase{"CtrlAltRight", "\033[1;7C", keyRight},
        KeyCase{"ShiftAltUp", "\033[1;4A", keyUp},
        KeyCase{"OldXtermCtrlUp", "\033O5A", keyUp},
        KeyCase{"RxvtShiftUp", "\033[a", keyUp},
        KeyCase{"RxvtCtrlLeft", "\033Od", keyLeft},
        KeyCase{"RxvtAltRight", "\033\033[C", keyRight},
        KeyCase{"SmallLetter", "q", 'Q'},
        KeyCase{"CapitalLetter", "Q", 'Q'},
        KeyCase{"CtrlLetter", "\x01", 'A'},
        KeyCase{"Digit", "7", '7'},
        KeyCase{"Tab", "\t", keyTab},
        KeyCase{"BackTab", "\033[Z", keyTab},
        KeyCase{"BackspaceAsDEL", "\x7f", keyBackspace},
        KeyCase{"BackspaceAsBS", "\b", keyBackspace},
        KeyCase{"F1InKeypadMode", "\033OP", keyF(1)},
        KeyCase{"F1AsNumber", "\033[11~", keyF(1)},
        KeyCase{"F1OnTheLinuxConsole", "\033[[A", keyF(1)},
        KeyCase{"ShiftF1", "\033[1;2P", keyF(1)},
        KeyCase{"F4", "\033OS", keyF(4)},
        KeyCase{"F5", "\033[15~", keyF(5)},
        KeyCase{"F5OnTheLinuxConsole", "\033[[E", keyF(5)},
        KeyCase{"CtrlF5", "\033[15;5~", keyF(5)},
        KeyCase{"F6", "\033[17~", keyF(6)},
        KeyCase{"F12", "\033[24~", keyF(12)},
        KeyCase{"Insert", "\033[2~", keyInsert},
        KeyCase{"Delete", "\033[3~", keyDelete},
        KeyCase{"CtrlDelete", "\033[3;5~", keyDelete},
        KeyCase{"Home", "\033[H", keyHome},
        KeyCase{"HomeAsNumber", "\033[1~", keyHome},
        KeyCase{"HomeInKeypadMode", "\033OH", keyHome},
        KeyCase{"RxvtHome", "\033[7~", keyHome},
        KeyCase{"End", "\033[F", keyEnd},
        KeyCase{"EndAsNumber", "\033[4~", keyEnd},
        KeyCase{"RxvtEnd", "\033[8~", keyEnd},
        KeyCase{"PageUp", "\033[5~", keyPageUp},
        KeyCase{"PageDown", "\033[6~", keyPageDown},
        KeyCase{"RxvtShiftPageUp", "\033[5$", keyPageUp},
        KeyCase{"RxvtCtrlPageDown", "\033[6^", keyPageDown},
        // Alt and a key: that key's code, as a Windows console gives it.
        KeyCase{"AltSmallLetter", "\033a", 'A'},
        KeyCase{"AltX", "\033x", 'X'},
        KeyCase{"AltCapitalLetter", "\033Z", 'Z'},
        KeyCase{"AltDigit", "\0331", '1'},
        KeyCase{"AltSemicolon", "\033;", 0xBA},
        KeyCase{"AltSpace", "\033 ", keySpace},
        KeyCase{"AltEnter", "\033\r", keyReturn},
        KeyCase{"AltBackspace", "\033\x7f", keyBackspace},
        KeyCase{"AltEscape", "\033\033", 0},
        // Keys the editor has no use for, each one key.
        KeyCase{"KeypadEight", "\033Ox", 0x68},
        KeyCase{"KeypadZero", "\033Op", 0x60},
        KeyCase{"KeypadPlus", "\033Ok", 0},
        KeyCase{"KeypadFive", "\033[E", 0},
        KeyCase{"FocusIn", "\033[I", 0},
        KeyCase{"FocusOut", "\033[O", 0},
        KeyCase{"SgrMouse", "\033[<0;12;5M", 0},
        KeyCase{"X10Mouse", "\033[M !!", 0},
        KeyCase{"CursorPositionReport", "\033[12;40R", 0},
        KeyCase{"DeviceAttributes", "\033[?1;2c", 0},
        KeyCase{"CsiUKey", "\033[97;5u", 0},
        KeyCase{"ModifyOtherKeys", "\033[27;5;13~", 0},
        KeyCase{"PasteStart", "\033[200~", 0},
        KeyCase{"WithIntermediate", "\033[1 q", 0},
        KeyCase{"TwoByteCharacter", "\xc3\xa9", 0},
        KeyCase{"ThreeByteCharacter", "\xe2\x82\xac", 0},
        KeyCase{"FourByteCharacter", "\xf0\x9f\x98\x80", 0},
        KeyCase{"AltWithCharacter", "\033\xc3\xa9", 0},
        // Punctuation whose character code is that of an arrow key must not
        // move the cursor: it gives the code of the key that types it.
        KeyCase{"Percent", "%", '5'},
        KeyCase{"Ampersand", "&", '7'},
        KeyCase{"Apostrophe", "'", 0xDE},
        KeyCase{"OpeningParenthesis", "(", '9'},
        KeyCase{"Backslash", "\\", 0xDC}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(DecodeKey, ALoneEscapeIsEscapeOnceNothingMoreComes)
{
    EXPECT_EQ(decodeKey("\033", true).length, 0u);
    const DecodedKey escape = decodeKey("\033", false);
    EXPECT_EQ(escape.code, keyEscape);
    EXPECT_EQ(escape.length, 1u);
}

// Bytes that stop in the middle of a key, once nothing more comes: they are
// one key the editor ignores, never Escape.
TEST(DecodeKey, ABrokenOffKeyIsOneIgnoredKey)
{
    struct Broken {
        std::string bytes;
        std::size_t length;
        std::uint16_t code;
    };
    for (const Broken& broken : {
             Broken{"\033[1;5", 5, 0},
             Broken{"\033[1;5\x01", 5, 0},  // a control character cuts it
             Broken{"\033[\033", 2, 0},
             Broken{"\xc3", 1, 0},
             Broken{"\xc3x", 1, 0},
             Broken{"\x80", 1, 0},
             Broken{"\xff", 1, 0},
             Broken{"\033O", 2, 'O'},   // Alt+O
             Broken{"\033[", 2, 0xDB},  // Alt+[
         }) {
        const DecodedKey key = decodeKey(broken.bytes, false);
        EXPECT_EQ(key.length, broken.length) << testing::PrintToString(broken.bytes);
        EXPECT_EQ(key.code, broken.code) << testing::PrintToString(broken.bytes);
    }
}

TEST(DecodeKey, ASequenceTooLongForAKeyIsDroppedWithoutWaiting)
{
    const std::string endless = "\033[" + std::string(100, '1');
    const DecodedKey key = decodeKey(endless, true);
    EXPECT_GE(key.length, 64u);
    EXPECT_EQ(key.code, 0);
}

TEST(DecodeKey, KeysThatCameTogetherComeOneByOne)
{
    std::string bytes = "\033[A\033[1;5Cq\033a\r\033";
    std::vector<std::uint16_t> codes;
    while (!bytes.empty()) {
        DecodedKey key = decodeKey(bytes, true);
        if (key.length == 0)
            key = decodeKey(bytes, false);
        codes.push_back(key.code);
        bytes.erase(0, key.length);
    }
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{keyUp, keyRight, 'Q', 'A',
                                                keyReturn, keyEscape}));
}

// The terminal's own key strings, from terminfo, come first; one that the
// input may be the start of is awaited.
TEST(DecodeKey, TakesTheTerminalsOwnKeyStrings)
{
    const KeyStrings named{{"\033[G", keyHome}, {"\033Zzz", keyEnd}};
    EXPECT_EQ(decodeKey("\033[G", true).code, 0);
    EXPECT_EQ(decodeKey("\033[G", true, named).code, keyHome);
    EXPECT_EQ(decodeKey("\033Z", true, named).length, 0u);
    const DecodedKey end = decodeKey("\033Zzz", true, named);
    EXPECT_EQ(end.code, keyEnd);
    EXPECT_EQ(end.length, 4u);
    EXPECT_EQ(decodeKey("\033Z", false, named).code, 'Z');
}

}  // namespace
