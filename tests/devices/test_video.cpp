// Colour rule, pixel decoding and the incremental painter.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "devices/video.h"

namespace lvov {
namespace {

constexpr uint32_t BLACK = 0xFF000000, WHITE = 0xFFFFFFFF, RED = 0xFFFF0000, GREEN = 0xFF00FF00, BLUE = 0xFF0000FF,
                   YELLOW = 0xFFFFFF00, MAGENTA = 0xFFFF00FF, CYAN = 0xFF00FFFF;
constexpr uint32_t POISON = 0x12345678;  // never a colour the table produces

TEST(ColourRule, PaletteRowsGiveTheirFourColours) {
    struct Row {
        uint8_t palette;
        uint32_t colours[4];
    };
    const Row rows[] = {
        {0x00, {MAGENTA, GREEN, MAGENTA, YELLOW}},
        {0x0F, {BLACK, GREEN, BLUE, RED}},
        {0x70, {GREEN, MAGENTA, GREEN, BLUE}},
        {0xFF, {WHITE, MAGENTA, YELLOW, CYAN}},
    };
    for (const Row& r : rows)
        for (int v = 0; v < 4; ++v)
            EXPECT_EQ(compute_color_index(r.palette, v), r.colours[v])
                << "palette " << int(r.palette) << " value " << v;
    // An unknown base colour gives the palette's own channels only.
    EXPECT_EQ(compute_color_index(0x70, 7), WHITE);
    EXPECT_EQ(compute_color_index(0x50, -1), MAGENTA);
}

// Every palette value against the rule, channel by channel: each base colour starts
// from R = bit 4, G = bit 5, B = bit 6 and flips the channels its palette bits ask for.
TEST(ColourRule, EveryPaletteFlipsTheChannelsItsBitsSelect) {
    for (int p = 0; p < 0x80; ++p) {
        const auto bit = [p](int n) { return (p >> n) & 1; };
        // {R, G, B} per base colour: black, green, blue, red.
        const int channels[4][3] = {
            {bit(4) ^ (1 - bit(3)), bit(5), bit(6) ^ (1 - bit(2))},
            {bit(4), 1 - bit(5), bit(6)},
            {bit(4) ^ (1 - bit(0)), bit(5), 1 - bit(6)},
            {1 - bit(4), bit(5) ^ (1 - bit(1)), bit(6)},
        };
        for (int v = 0; v < 4; ++v) {
            const uint32_t expected = 0xFF000000u | (channels[v][0] ? 0xFF0000u : 0) |
                                      (channels[v][1] ? 0x00FF00u : 0) | (channels[v][2] ? 0x0000FFu : 0);
            EXPECT_EQ(compute_color_index(static_cast<uint8_t>(p), v), expected) << "palette " << p << " value " << v;
        }
    }
}

TEST(ColourRule, Bit7HasNoEffectAndOnlyEightColoursAppear) {
    for (int p = 0; p < 0x80; ++p)
        for (int v = 0; v < 4; ++v) {
            const uint32_t c = compute_color_index(static_cast<uint8_t>(p), v);
            EXPECT_EQ(c, compute_color_index(static_cast<uint8_t>(p | 0x80), v));
            for (uint32_t channel : {0x00FF0000u, 0x0000FF00u, 0x000000FFu})
                EXPECT_TRUE((c & channel) == 0 || (c & channel) == channel);
            EXPECT_EQ(c & 0xFF000000u, 0xFF000000u);
        }
}

TEST(PixelDecoding, UpperNibbleLowBitsLowerNibbleHighBits) {
    const struct {
        uint8_t byte;
        int values[4];
    } cases[] = {{0x88, {3, 0, 0, 0}}, {0xF0, {1, 1, 1, 1}}, {0x0F, {2, 2, 2, 2}}, {0x12, {0, 0, 2, 1}}};
    for (const auto& c : cases)
        for (int k = 0; k < 4; ++k) EXPECT_EQ(pixel_value(c.byte, k), c.values[k]) << int(c.byte) << " k=" << k;
}

class Painter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        colors = new ColorTable;
        CalculateColor(*colors);
    }
    static void TearDownTestSuite() { delete colors; }

    void SetUp() override {
        init_RAM(*m);
        m->port_latches.fill(0xFF);  // as after a full reset
    }
    void poison() { pic->pixels.fill(POISON); }
    uint32_t pixel(int x, int y) const { return pic->pixels[y * 256 + x]; }
    size_t poisoned() const { return std::count(pic->pixels.begin(), pic->pixels.end(), POISON); }

    static ColorTable* colors;
    std::unique_ptr<MachineState> m = std::make_unique<MachineState>();
    std::unique_ptr<Picture> pic = std::make_unique<Picture>();
};
ColorTable* Painter::colors = nullptr;

TEST_F(Painter, FirstPaintAfterResetTurnsEveryPixelWhite) {
    poison();
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));
    EXPECT_TRUE(std::all_of(pic->pixels.begin(), pic->pixels.end(), [](uint32_t c) { return c == WHITE; }));
    EXPECT_EQ(pic->last_palette, 0xFF);
    EXPECT_FALSE(pic->repaint_pending);
    EXPECT_FALSE(paint_screen(*m, *colors, *pic));  // nothing changed since
}

TEST_F(Painter, OnlyChangedBytesAreRepaintedAtTheirPlace) {
    m->port_latches[LATCH_PALETTE] = 0x0F;  // black, green, blue, red
    paint_screen(*m, *colors, *pic);
    poison();

    m->vram[0x0000] = 0x88;  // row 0, x 0-3
    m->vram[3 * 64 + 1] = 0x12;  // row 3, x 4-7
    m->vram[0x3FFF] = 0xF0;  // row 255, x 252-255
    m->vram[0x3FFE] = 0x0F;  // same group, neighbouring byte
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));

    EXPECT_EQ(pixel(0, 0), RED);
    EXPECT_EQ(pixel(1, 0), BLACK);
    EXPECT_EQ(pixel(3, 0), BLACK);
    EXPECT_EQ(pixel(4, 3), BLACK);
    EXPECT_EQ(pixel(6, 3), BLUE);
    EXPECT_EQ(pixel(7, 3), GREEN);
    EXPECT_EQ(pixel(248, 255), BLUE);
    for (int x = 252; x < 256; ++x) EXPECT_EQ(pixel(x, 255), GREEN);
    EXPECT_EQ(poisoned(), 65536u - 4 * 4);  // every other pixel left alone
    EXPECT_EQ(pic->vram_shadow, m->vram);
}

TEST_F(Painter, SameValueWriteAndUnchangedGroupNeighboursAreNotRepainted) {
    m->port_latches[LATCH_PALETTE] = 0x0F;
    m->vram[0x100] = 0x55;
    paint_screen(*m, *colors, *pic);
    poison();

    m->vram[0x100] = 0x55;  // value it already holds
    EXPECT_FALSE(paint_screen(*m, *colors, *pic));
    EXPECT_EQ(poisoned(), 65536u);

    m->vram[0x101] = 0x01;  // same group as 0x100: only this byte is repainted
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));
    EXPECT_EQ(poisoned(), 65536u - 4);
    EXPECT_EQ(pixel(7, 4), BLUE);  // 0x101 = row 4, x 4-7; 0x01 gives 0, 0, 0, 2
}

TEST_F(Painter, PaletteChangeRepaintsEverythingEvenForBit7Alone) {
    m->vram[0x2000] = 0x88;
    paint_screen(*m, *colors, *pic);  // palette FF
    const auto before = pic->pixels;
    poison();

    m->port_latches[LATCH_PALETTE] = 0x7F;  // differs from FF only in bit 7
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));
    EXPECT_EQ(pic->pixels, before);  // identical picture, every pixel written again
    EXPECT_EQ(pic->last_palette, 0x7F);

    // A byte changed together with the palette is painted under the new palette and
    // is not repainted again by the next paint.
    m->port_latches[LATCH_PALETTE] = 0x0F;
    m->vram[0x2001] = 0xF0;
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));
    EXPECT_EQ(pixel(4, 0x2001 / 64), GREEN);
    EXPECT_EQ(pixel(0, 0x2000 / 64), RED);
    EXPECT_EQ(pic->vram_shadow, m->vram);
    poison();
    EXPECT_FALSE(paint_screen(*m, *colors, *pic));
    EXPECT_EQ(poisoned(), 65536u);
}

TEST_F(Painter, RequestedRedrawIsReportedOnceWithoutTouchingPixels) {
    paint_screen(*m, *colors, *pic);
    poison();
    pic->repaint_pending = true;
    EXPECT_TRUE(paint_screen(*m, *colors, *pic));
    EXPECT_FALSE(pic->repaint_pending);
    EXPECT_EQ(poisoned(), 65536u);
    EXPECT_FALSE(paint_screen(*m, *colors, *pic));
}

}  // namespace
}  // namespace lvov
