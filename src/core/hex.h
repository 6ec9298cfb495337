// Hexadecimal text of addresses and values for messages, listings and the debugger:
// upper-case digits, no prefix or suffix (callers add "H" or ":" where they show one).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lvov {

// value in at least min_digits digits, more when it needs them:
// hex_digits(0x2F, 4) "002F", hex_digits(0x12345, 4) "12345".
inline std::string hex_digits(uint64_t value, size_t min_digits) {
    size_t n = 1;
    while (n < 16 && (value >> (4 * n)) != 0) ++n;
    std::string s(n < min_digits ? min_digits : n, '0');
    for (size_t i = s.size(); i-- > 0 && value != 0; value >>= 4) s[i] = "0123456789ABCDEF"[value & 0xF];
    return s;
}

// A byte as two digits; bits above the 8th are dropped: hex2(0x0A) "0A".
inline std::string hex2(uint32_t value) { return hex_digits(value & 0xFF, 2); }

// An address or word as four digits; bits above the 16th are dropped: hex4(0x2F) "002F".
inline std::string hex4(uint32_t value) { return hex_digits(value & 0xFFFF, 4); }

}  // namespace lvov
