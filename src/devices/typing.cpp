// Text to host key strokes on a US keyboard layout.
#include "devices/typing.h"

#include <string>

#include "core/errors.h"
#include "core/hex.h"
#include "core/utf8.h"

namespace lvov {

namespace {

struct CharKey {
    char ch;
    uint8_t vk;
    bool shift;
};

constexpr CharKey PUNCTUATION[] = {
    {' ', VK_SPACE, false},     {'\n', VK_RETURN, false},  {'-', VK_OEM_MINUS, false},  {'_', VK_OEM_MINUS, true},
    {'/', VK_OEM_2, false},     {'?', VK_OEM_2, true},     {'`', VK_OEM_3, false},      {'~', VK_OEM_3, true},
    {';', VK_OEM_1, false},     {':', VK_OEM_1, true},     {'=', VK_OEM_PLUS, false},   {'+', VK_OEM_PLUS, true},
    {',', VK_OEM_COMMA, false}, {'<', VK_OEM_COMMA, true}, {'.', VK_OEM_PERIOD, false}, {'>', VK_OEM_PERIOD, true},
    {'[', VK_OEM_4, false},     {'{', VK_OEM_4, true},     {'\\', VK_OEM_5, false},     {'|', VK_OEM_5, true},
    {']', VK_OEM_6, false},     {'}', VK_OEM_6, true},     {'\'', VK_OEM_7, false},     {'"', VK_OEM_7, true},
};

// Shifted digit row, US layout: index = digit.
constexpr char SHIFTED_DIGITS[] = ")!@#$%^&*(";

KeyStroke stroke(uint8_t vk, bool shift) { return shift ? KeyStroke{{VK_SHIFT, vk}} : KeyStroke{{vk}}; }

// The character that starts at text[at], for a message: itself in quotes when it is
// printable ASCII or a whole UTF-8 sequence ('Ж'), else its byte in hexadecimal.
std::string describe(std::string_view text, size_t at) {
    const auto u = static_cast<unsigned char>(text[at]);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + text[at] + "'";
    const size_t length = decode_utf8(text, at).length;
    if (length > 1) return "'" + std::string(text.substr(at, length)) + "'";
    return "0x" + hex2(u);
}

}  // namespace

std::vector<KeyStroke> keystrokes_for_text(std::string_view text) {
    std::vector<KeyStroke> strokes;
    strokes.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= 'a' && c <= 'z') {
            strokes.push_back(stroke(static_cast<uint8_t>(c - 'a' + 'A'), false));
        } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            strokes.push_back(stroke(static_cast<uint8_t>(c), false));
        } else if (const char* d = c ? std::char_traits<char>::find(SHIFTED_DIGITS, 10, c) : nullptr) {
            strokes.push_back(stroke(static_cast<uint8_t>(VK_0 + (d - SHIFTED_DIGITS)), true));
        } else {
            bool found = false;
            for (const CharKey& k : PUNCTUATION) {
                if (k.ch == c) {
                    strokes.push_back(stroke(k.vk, k.shift));
                    found = true;
                    break;
                }
            }
            if (!found)
                throw ConversionError("Cannot type the character " + describe(text, at) + ": no key produces it");
        }
    }
    return strokes;
}

}  // namespace lvov
