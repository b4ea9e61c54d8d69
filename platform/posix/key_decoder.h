// Turns the bytes a terminal sends for its keys into the virtual-key codes a
// Windows console gives for the same keys. Every key is one key: a control
// sequence, however long, an Alt key (Escape and a character), a UTF-8
// character. Only a lone Escape is Escape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct DecodedKey {
    std::uint16_t code = 0;   // 0 for a key that has no code the editor uses
    std::size_t length = 0;   // bytes it took; 0 while more are awaited
};

// The terminal's own key strings, as terminfo names them, with their codes.
using KeyStrings = std::vector<std::pair<std::string, std::uint16_t>>;

// Decodes the first key in the input, which is not empty. While more bytes
// may still come (within the Escape wait), a key that may not be whole yet
// is awaited (length 0); once none will, the input's first key is decoded
// as it stands, taking at least one byte.
DecodedKey decodeKey(std::string_view input, bool moreMayCome,
                     const KeyStrings& named = {});

// The code of the key that types a character on a US keyboard, whatever the
// shift state; 0 for one it has none for.
std::uint16_t virtualKeyOfCharacter(unsigned char character);
