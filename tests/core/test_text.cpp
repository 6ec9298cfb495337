// Numbers from text: the input fields' conversion and bare hexadecimal digits.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/errors.h"
#include "core/text.h"

namespace lvov {
namespace {

std::string conversion_message(const std::string& text, bool hex) {
    try {
        hex ? HexToInt(text) : StrToInt(text);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "(converted)";
}

TEST(TextToNumber, DecimalAndDollarHexLikeTheFields) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("65535"), 65535);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt("+300"), 300);
    EXPECT_EQ(StrToInt("  42"), 42);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$c000"), 0xC000);
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(HexToInt("ff"), 255);
    EXPECT_EQ(HexToInt("C000"), 0xC000);
    EXPECT_EQ(HexToInt("0"), 0);
    // The limit is the value, not the digit count: leading zeros are free, as in decimal.
    EXPECT_EQ(HexToInt("000000000c000"), 0xC000);
    EXPECT_EQ(StrToInt("$00000000FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("000000000042"), 42);

    EXPECT_EQ(conversion_message("", false), "'' is not a valid integer value");
    EXPECT_EQ(conversion_message("1A", false), "'1A' is not a valid integer value");
    EXPECT_EQ(conversion_message("2147483648", false), "'2147483648' is not a valid integer value");
    EXPECT_EQ(conversion_message("-", false), "'-' is not a valid integer value");
    EXPECT_EQ(conversion_message("12 ", false), "'12 ' is not a valid integer value");
    EXPECT_EQ(conversion_message("$100000000", false), "'$100000000' is not a valid integer value");
    EXPECT_EQ(conversion_message("0100000000", true), "'$0100000000' is not a valid integer value");
    EXPECT_EQ(conversion_message("", true), "'$' is not a valid integer value");
    EXPECT_EQ(conversion_message("G1", true), "'$G1' is not a valid integer value");
    EXPECT_EQ(conversion_message("-1", true), "'$-1' is not a valid integer value");
}

TEST(TextToNumber, BareHexDigitsWithinALength) {
    EXPECT_EQ(parse_hex_digits("c0De", 4), 0xC0DEu);
    EXPECT_EQ(parse_hex_digits("0", 1), 0u);
    EXPECT_EQ(parse_hex_digits("FFFFFFFF", 8), 0xFFFFFFFFu);
    for (const char* bad : {"", "12345", "0x12", "$12", "-1", " 12", "12 ", "G"})
        EXPECT_EQ(parse_hex_digits(bad, 4), std::nullopt) << bad;
    EXPECT_EQ(parse_hex_digits("123456789", 9), std::nullopt) << "more than 32 bits never wraps";
}

}  // namespace
}  // namespace lvov
