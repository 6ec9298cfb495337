// UTF-8 encoding and decoding of one code point, for the text conversions of file
// names, the games index and typed text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lvov {

// Appends the UTF-8 bytes of cp (up to U+10FFFF) to out.
inline void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One code point read from UTF-8 text, and how many bytes it took there.
struct Utf8Char {
    char32_t cp = 0;
    size_t length = 0;  // 1 to 4; 0 when the bytes there are no valid UTF-8
};

// The code point whose UTF-8 sequence starts at text[at] (at < text.size()). Length 0
// for a byte that cannot start a sequence, a sequence cut short by a byte that does not
// continue it or by the end of the text, an overlong form, a surrogate, or a value past
// U+10FFFF.
inline Utf8Char decode_utf8(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t b = byte(at);
    const size_t length = b < 0x80                 ? 1
                          : b >= 0xC2 && b <= 0xDF ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || text.size() - at < length) return {};
    char32_t cp = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (byte(at + k) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return {};
    return {cp, length};
}

}  // namespace lvov
