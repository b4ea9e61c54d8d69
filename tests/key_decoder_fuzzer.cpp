// libFuzzer target for the key decoder: on any bytes it never crashes, never
// reads past its input, always takes at least one byte once no more will
// come, and gives Escape only for a lone Escape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "console.h"
#include "key_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input goes in as one piece, then the same bytes through a buffer
    // that ends where they end, so that ASan sees any read past them.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const KeyStrings named{{"\033[G", keyHome}, {"\033Oxyz", keyEnd}};
    while (!input.empty()) {
        DecodedKey key = decodeKey(input, true, named);
        if (key.length > input.size())
            std::abort();
        if (key.length == 0) {
            key = decodeKey(input, false, named);
            if (key.length == 0 || key.length > input.size())
                std::abort();
        }
        if (key.code == keyEscape && !(key.length == 1 && input[0] == '\033'))
            std::abort();
        input.remove_prefix(key.length);
    }
    return 0;
}
