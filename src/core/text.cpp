#include "core/text.h"

#include <limits>
#include <string>

#include "core/errors.h"

namespace lvov {

namespace {

constexpr int64_t INT32_SPAN = int64_t{1} << 32;
constexpr int64_t HEX_VALUE_MAX = INT32_SPAN - 1;  // "$" numbers fill at most 32 bits

[[noreturn]] void not_an_integer(std::string_view text) {
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<uint32_t> parse_hex_digits(std::string_view digits, size_t max_digits) {
    if (digits.empty() || digits.size() > max_digits || digits.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (const char c : digits) {
        const int d = hex_digit_value(c);
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return value;
}

int32_t StrToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i < text.size() && text[i] == '$') {
        ++i;
        if (i == text.size()) not_an_integer(text);
        int64_t value = 0;
        for (; i < text.size(); ++i) {
            const int d = hex_digit_value(text[i]);
            if (d < 0) not_an_integer(text);
            value = value * 16 + d;
            if (value > HEX_VALUE_MAX) not_an_integer(text);  // leading zeros cost nothing
        }
        if (negative) value = -value;
        // 32 bits of digits are taken as the two's-complement integer they spell.
        value = ((value % INT32_SPAN) + INT32_SPAN) % INT32_SPAN;
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    if (i == text.size()) not_an_integer(text);
    const int64_t limit =
        negative ? -int64_t{std::numeric_limits<int32_t>::min()} : int64_t{std::numeric_limits<int32_t>::max()};
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') not_an_integer(text);
        value = value * 10 + (text[i] - '0');
        if (value > limit) not_an_integer(text);
    }
    return static_cast<int32_t>(negative ? -value : value);
}

int32_t HexToInt(std::string_view text) { return StrToInt("$" + std::string(text)); }

}  // namespace lvov
