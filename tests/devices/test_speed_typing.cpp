// Frame interval rounding and text-to-keystroke conversion.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "devices/keyboard.h"
#include "devices/speed.h"
#include "devices/typing.h"

namespace lvov {
namespace {

TEST(FrameInterval, RoundsToNearestWithTiesToEven) {
    const std::pair<int, int> cases[] = {{50, 20}, {1, 1000}, {3, 333}, {16, 62}, {80, 12},
                                         {400, 2}, {999, 1},  {6, 167}, {48, 21}, {2000, 0}};
    for (auto [fps, ms] : cases) EXPECT_EQ(frame_interval_ms(fps), ms) << fps << " fps";
    EXPECT_THROW(frame_interval_ms(0), RangeError);
    EXPECT_THROW(frame_interval_ms(-5), RangeError);
}

using Keys = std::vector<uint8_t>;

std::vector<Keys> keys_of(std::string_view text) {
    std::vector<Keys> out;
    for (const KeyStroke& s : keystrokes_for_text(text)) out.push_back(s.keys);
    return out;
}

TEST(Typing, PlainAndShiftedCharacters) {
    EXPECT_EQ(keys_of("Ab9 \n"), (std::vector<Keys>{{0x41}, {0x42}, {0x39}, {0x20}, {0x0D}}));
    EXPECT_EQ(keys_of("!:\"?)"),
              (std::vector<Keys>{{0x10, 0x31}, {0x10, 0xBA}, {0x10, 0xDE}, {0x10, 0xBF}, {0x10, 0x30}}));
    EXPECT_EQ(
        keys_of("-/`;=,.[\\]'"),
        (std::vector<Keys>{{0xBD}, {0xBF}, {0xC0}, {0xBA}, {0xBB}, {0xBC}, {0xBE}, {0xDB}, {0xDC}, {0xDD}, {0xDE}}));
    EXPECT_TRUE(keystrokes_for_text("").empty());
}

TEST(Typing, EveryPrintableCharacterReachesTheLatinTable) {
    const KeyTables t = default_key_tables();
    for (char c = 0x20; c < 0x7F; ++c) {
        const std::vector<KeyStroke> strokes = keystrokes_for_text(std::string_view(&c, 1));
        ASSERT_EQ(strokes.size(), 1u);
        for (uint8_t vk : strokes[0].keys) EXPECT_NE(t.latin[vk], NO_KEY) << "'" << c << "'";
    }
}

TEST(Typing, UntypableCharacterThrowsNamingIt) {
    // Bytes that are no valid UTF-8 (a cut sequence, an overlong form, a surrogate) are
    // named by their first byte.
    const std::pair<std::string_view, std::string_view> cases[] = {{"a\tb", "0x09"},
                                                                   {"\xC3\xA9", "'\xC3\xA9'"},
                                                                   {"a\xC3", "0xC3"},
                                                                   {"\xE0\x80\x80", "0xE0"},
                                                                   {"\xED\xA0\x80", "0xED"},
                                                                   {"x\r\n", "0x0D"},
                                                                   {std::string_view("\0", 1), "0x00"}};
    for (auto [text, named] : cases) {
        try {
            keystrokes_for_text(text);
            ADD_FAILURE() << "no ConversionError for " << named;
        } catch (const ConversionError& e) {
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace lvov
