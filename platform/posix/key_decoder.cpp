#include "key_decoder.h"

#include <array>

#include "console.h"

namespace {

constexpr unsigned char escape = 0x1B;

// A sequence this long without its final byte is not a key's: it is taken
// as one key and dropped, so that decoding always goes on.
constexpr std::size_t longestSequence = 64;

// Keypad digits as a Windows console codes them with Num Lock on.
constexpr std::uint16_t keyNumpad0 = 0x60;

unsigned char byteAt(std::string_view input, std::size_t at)
{
    return static_cast<unsigned char>(input[at]);
}

bool isParameter(unsigned char byte) { return byte >= 0x30 && byte <= 0x3F; }
bool isIntermediate(unsigned char byte) { return byte >= 0x20 && byte <= 0x2F; }
bool isFinal(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E; }

std::uint16_t functionKey(int number)
{
    return static_cast<std::uint16_t>(keyF1 + number - 1);
}

// The first number of a sequence's parameters, 0 where there is none.
int firstNumber(std::string_view parameters)
{
    int number = 0;
    for (const char digit : parameters) {
        if (digit < '0' || digit > '9' || number > 9999)
            break;
        number = number * 10 + (digit - '0');
    }
    return number;
}

// "ESC [ n ~" and the rxvt forms with ^, $ or @ for Ctrl, Shift or both.
std::uint16_t numberedKey(int number)
{
    switch (number) {
    case 1: case 7: return keyHome;
    case 2: return keyInsert;
    case 3: return keyDelete;
    case 4: case 8: return keyEnd;
    case 5: return keyPageUp;
    case 6: return keyPageDown;
    case 11: case 12: case 13: case 14: case 15:
        return functionKey(number - 10);
    case 17: case 18: case 19: case 20: case 21:
        return functionKey(number - 11);
    case 23: case 24:
        return functionKey(number - 12);
    default:
        return 0;
    }
}

// The keys that SS3 (ESC O) and CSI (ESC [) sequences share by their final
// byte: arrows (rxvt's lower-case ones with Shift or Ctrl), Home, End, Enter
// on the keypad, F1 to F4.
std::uint16_t finalByteKey(unsigned char final)
{
    switch (final) {
    case 'A': case 'a': return keyUp;
    case 'B': case 'b': return keyDown;
    case 'C': case 'c': return keyRight;
    case 'D': case 'd': return keyLeft;
    case 'H': return keyHome;
    case 'F': return keyEnd;
    case 'M': return keyReturn;
    case 'P': case 'Q': case 'R': case 'S':
        return functionKey(final - 'P' + 1);
    default:
        return 0;
    }
}

std::uint16_t ss3Key(unsigned char final)
{
    if (final >= 'p' && final <= 'y')
        return static_cast<std::uint16_t>(keyNumpad0 + (final - 'p'));
    return finalByteKey(final);
}

std::uint16_t csiKey(std::string_view parameters, unsigned char final)
{
    // Private markers (<, =, >, ?) begin reports, not keys.
    if (!parameters.empty() && parameters.front() >= '<')
        return 0;
    if (final == '~' || final == '^' || final == '$' || final == '@')
        return numberedKey(firstNumber(parameters));
    if (final == 'Z')
        return keyTab;  // Shift+Tab
    if (final == 'M')
        return 0;       // not keypad Enter, which is ESC O M
    // F1 to F4 with modifiers are ESC [ 1 ; m P to S; other numbers before
    // an R report where the cursor stands.
    if (final >= 'P' && final <= 'S' && firstNumber(parameters) > 1)
        return 0;
    return finalByteKey(final);
}

DecodedKey awaitOr(bool moreMayCome, DecodedKey whole)
{
    return moreMayCome ? DecodedKey{} : whole;
}

// ESC [ and what follows: parameters, intermediates and a final byte, by
// ECMA-48. start is where the parameters begin.
DecodedKey decodeControlSequence(std::string_view input, std::size_t start,
                                 bool moreMayCome)
{
    // The Linux console's F1 to F5: ESC [ [ A to ESC [ [ E.
    if (start < input.size() && input[start] == '[') {
        if (start + 1 >= input.size())
            return awaitOr(moreMayCome, {0, input.size()});
        const auto letter = static_cast<unsigned char>(input[start + 1]);
        const bool named = letter >= 'A' && letter <= 'E';
        return {named ? functionKey(letter - 'A' + 1) : std::uint16_t{0},
                start + 2};
    }
    std::size_t at = start;
    while (at < input.size() && isParameter(byteAt(input, at)))
        ++at;
    const std::size_t parametersEnd = at;
    // rxvt ends modified editing keys in '$', an intermediate byte; after
    // a plain number it ends the key.
    if (at < input.size() && input[at] == '$' && at > start &&
        input.substr(start, at - start).find_first_not_of("0123456789") ==
            std::string_view::npos)
        return {numberedKey(firstNumber(input.substr(start, at - start))),
                at + 1};
    while (at < input.size() &&
           isIntermediate(static_cast<unsigned char>(input[at])))
        ++at;
    if (at >= input.size()) {
        if (at >= longestSequence)
            return {0, at};
        return awaitOr(moreMayCome, {0, at});
    }
    const auto final = static_cast<unsigned char>(input[at]);
    if (!isFinal(final))
        return {0, at};  // broken off: drop what came of it
    const bool intermediates = at != parametersEnd;
    const std::string_view parameters =
        input.substr(start, parametersEnd - start);
    // An X10 mouse report: ESC [ M and three bytes of button and place.
    if (final == 'M' && parameters.empty() && !intermediates) {
        constexpr std::size_t reportBytes = 3;
        if (at + 1 + reportBytes > input.size())
            return awaitOr(moreMayCome, {0, input.size()});
        return {0, at + 1 + reportBytes};
    }
    return {intermediates ? std::uint16_t{0} : csiKey(parameters, final),
            at + 1};
}

// ESC O and one final byte; xterm once put modifiers between them.
DecodedKey decodeSingleShift(std::string_view input, bool moreMayCome)
{
    std::size_t at = 2;
    while (at < input.size() && isParameter(byteAt(input, at)))
        ++at;
    if (at >= input.size())
        return awaitOr(moreMayCome, {0, at});
    const auto final = static_cast<unsigned char>(input[at]);
    if (!isFinal(final))
        return {0, at};
    return {ss3Key(final), at + 1};
}

std::size_t utf8Length(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

// A character from the input's start: plain, a control character or UTF-8.
DecodedKey decodeCharacter(std::string_view input, std::size_t start,
                           bool moreMayCome)
{
    const auto lead = static_cast<unsigned char>(input[start]);
    const std::size_t length = utf8Length(lead);
    if (length == 1)
        return {virtualKeyOfCharacter(lead), start + 1};
    std::size_t at = start + 1;
    while (at < input.size() && at < start + length &&
           (static_cast<unsigned char>(input[at]) & 0xC0) == 0x80)
        ++at;
    if (at == input.size() && at < start + length)
        return awaitOr(moreMayCome, {0, at});
    return {0, at};
}

// The terminal's own string for a key, where the input starts with one; a
// string the input is the start of is awaited.
bool matchNamed(std::string_view input, bool moreMayCome,
                const KeyStrings& named, DecodedKey& found)
{
    bool awaited = false;
    for (const auto& [sequence, code] : named) {
        if (sequence.empty())
            continue;
        if (input.substr(0, sequence.size()) == sequence) {
            if (sequence.size() > found.length)
                found = {code, sequence.size()};
        } else if (moreMayCome && sequence.size() > input.size() &&
                   sequence.compare(0, input.size(), input) == 0) {
            awaited = true;
        }
    }
    if (awaited)
        found = {};
    return awaited || found.length > 0;
}

}  // namespace

std::uint16_t virtualKeyOfCharacter(unsigned char character)
{
    if (character == '\r' || character == '\n')
        return keyReturn;
    if (character == escape)
        return keyEscape;
    if (character == ' ')
        return keySpace;
    if (character == '\t')
        return keyTab;
    if (character == '\b' || character == 0x7F)
        return keyBackspace;
    if (character >= 'a' && character <= 'z')
        return static_cast<std::uint16_t>(character - 'a' + 'A');
    if ((character >= 'A' && character <= 'Z') ||
        (character >= '0' && character <= '9'))
        return character;
    if (character >= 1 && character <= 26)  // Ctrl with a letter
        return static_cast<std::uint16_t>(character - 1 + 'A');
    if (character <= ' ' || character >= 0x7F)
        return 0;
    static constexpr std::string_view shiftedDigits = ")!@#$%^&*(";
    if (const auto at = shiftedDigits.find(static_cast<char>(character));
        at != std::string_view::npos)
        return static_cast<std::uint16_t>('0' + at);
    static constexpr std::array<std::pair<std::string_view, std::uint16_t>, 11>
        punctuation{{{";:", 0xBA},
                     {"=+", 0xBB},
                     {",<", 0xBC},
                     {"-_", 0xBD},
                     {".>", 0xBE},
                     {"/?", 0xBF},
                     {"`~", 0xC0},
                     {"[{", 0xDB},
                     {"\\|", 0xDC},
                     {"]}", 0xDD},
                     {"'\"", 0xDE}}};
    for (const auto& [characters, code] : punctuation)
        if (characters.find(static_cast<char>(character)) !=
            std::string_view::npos)
            return code;
    return 0;
}

DecodedKey decodeKey(std::string_view input, bool moreMayCome,
                     const KeyStrings& named)
{
    if (input.empty())
        return {};
    if (DecodedKey found; matchNamed(input, moreMayCome, named, found))
        return found;
    if (static_cast<unsigned char>(input[0]) != escape)
        return decodeCharacter(input, 0, moreMayCome);
    if (input.size() == 1)
        return awaitOr(moreMayCome, {keyEscape, 1});

    const auto second = static_cast<unsigned char>(input[1]);
    if (second == '[') {
        // Alone, ESC [ is Alt+[.
        if (input.size() == 2 && !moreMayCome)
            return {virtualKeyOfCharacter('['), 2};
        return decodeControlSequence(input, 2, moreMayCome);
    }
    if (second == 'O') {
        // Alone, ESC O is Alt+O.
        if (input.size() == 2 && !moreMayCome)
            return {'O', 2};
        return decodeSingleShift(input, moreMayCome);
    }
    if (second == escape) {
        // rxvt sends Alt with an arrow as ESC and the arrow's sequence;
        // anything else after two is Alt+Escape.
        if (input.size() == 2)
            return awaitOr(moreMayCome, {0, 2});
        if (input[2] != '[' && input[2] != 'O')
            return {0, 2};
        const DecodedKey inner = decodeKey(input.substr(1), moreMayCome, named);
        if (inner.length == 0)
            return inner;
        return {inner.code, inner.length + 1};
    }
    // Alt with a character: that character's key, as a Windows console
    // gives it with Alt held.
    return decodeCharacter(input, 1, moreMayCome);
}
