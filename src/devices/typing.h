// Turns text into host key strokes, for typing a command line into the emulated machine.
//
// Keys are Windows virtual-key codes on a US layout: letters (upper or lower case give
// the same key), digits, space, '\n' as Enter, and the punctuation keys of the default
// key tables (- / ` ; = , . [ \ ] '). Characters that need Shift on a US keyboard
// ('!', ':', '"', ...) become a chord of Shift and the key.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "devices/key_codes.h"

namespace lvov {

// Keys pressed together in this order and released in reverse.
struct KeyStroke {
    std::vector<uint8_t> keys;
};

// Throws ConversionError naming the first character it cannot type.
std::vector<KeyStroke> keystrokes_for_text(std::string_view text);

}  // namespace lvov
