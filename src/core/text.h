// Numbers from text, as the input fields, the breakpoint conditions and the command line
// take them. Qt-free and machine-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lvov {

// The integer conversion of the decimal fields: leading blanks, an optional sign, then
// decimal digits, or "$" and hexadecimal digits (either letter case). The value must fit
// a signed 32-bit integer; "$" numbers up to $FFFFFFFF, leading zeros allowed, wrap into
// it ("$FFFFFFFF" is -1). Anything else throws ConversionError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// A hexadecimal field: StrToInt("$" + text). A failure names the text with its "$".
int32_t HexToInt(std::string_view text);

// The value of one hexadecimal digit (either letter case); -1 for any other character.
int hex_digit_value(char c);

// One to max_digits hexadecimal digits and nothing else (no prefix, sign or blank):
// their value; nullopt for anything else. max_digits is at most 8.
std::optional<uint32_t> parse_hex_digits(std::string_view digits, size_t max_digits);

}  // namespace lvov
