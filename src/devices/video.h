// The picture: colour table, pixel decoding and the incremental screen painter.
//
// Video memory is 256 rows of 64 bytes; each byte holds four pixels, leftmost first.
// Pixel k of a byte takes its low bit from bit (7 - k) and its high bit from bit (3 - k),
// so the upper nibble carries the low bits of the four pixels and the lower nibble the
// high bits. The 2-bit pixel value picks a base colour (black, green, blue, red), and the
// palette latch C1 turns the base colour into one of eight host colours.
//
// All colours are computed once into ColorTable (palette x byte x pixel); the painter
// only looks them up. Picture keeps the 256 x 256 host bitmap and a shadow of video
// memory as last painted, so each paint touches only the bytes that changed.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/machine.h"

namespace lvov {

// Base colour of each 2-bit pixel value.
enum BaseColour : int { BASE_BLACK = 0, BASE_GREEN = 1, BASE_BLUE = 2, BASE_RED = 3 };

constexpr int SCREEN_WIDTH = 256;
constexpr int SCREEN_HEIGHT = 256;
constexpr int VRAM_BYTES_PER_ROW = 64;
constexpr int PIXELS_PER_BYTE = 4;

// Host pixel layout: 0xFFRRGGBB, as QImage::Format_RGB32 stores it.
constexpr uint32_t RGB_OPAQUE = 0xFF000000u;
constexpr uint32_t RGB_RED = 0x00FF0000u;
constexpr uint32_t RGB_GREEN = 0x0000FF00u;
constexpr uint32_t RGB_BLUE = 0x000000FFu;

// Palette latch bits. Bits 4-6 give the starting R, G, B; bits 0-3 decide, per base
// colour, which further channel gets inverted. Bit 7 is not wired.
constexpr uint8_t PAL_BLUE_KEEPS_RED = 0x01;  // blue pixels: R inverted when clear
constexpr uint8_t PAL_RED_KEEPS_GREEN = 0x02;  // red pixels: G inverted when clear
constexpr uint8_t PAL_BLACK_KEEPS_BLUE = 0x04;  // black pixels: B inverted when clear
constexpr uint8_t PAL_BLACK_KEEPS_RED = 0x08;  // black pixels: R inverted when clear
constexpr uint8_t PAL_RED = 0x10;
constexpr uint8_t PAL_GREEN = 0x20;
constexpr uint8_t PAL_BLUE = 0x40;

// Host colour of a base colour under a palette value. An unknown base colour yields the
// palette's own channels (bits 4-6) and nothing else.
uint32_t compute_color_index(uint8_t palette, int base_colour);

// Pixel value (0-3) of pixel k (0 = leftmost) of a video byte.
constexpr int pixel_value(uint8_t video_byte, int k) {
    return ((video_byte >> (7 - k)) & 1) | (((video_byte >> (3 - k)) & 1) << 1);
}

// Colours of every pixel of every video byte under every palette value: 256 x 256 x 4
// entries, 1 MiB, allocated once by the constructor and filled by CalculateColor.
struct ColorTable {
    std::vector<uint32_t> entries;
    ColorTable() : entries(256 * 256 * PIXELS_PER_BYTE, 0) {}
    static constexpr std::size_t index(uint8_t palette, uint8_t byte, int k) {
        return (static_cast<std::size_t>(palette) * 256 + byte) * PIXELS_PER_BYTE + static_cast<std::size_t>(k);
    }
    uint32_t at(uint8_t palette, uint8_t byte, int k) const { return entries[index(palette, byte, k)]; }
    // The four colours of a byte, leftmost first.
    const uint32_t* row(uint8_t palette, uint8_t byte) const { return &entries[index(palette, byte, 0)]; }
};

// Fills the four entries of one palette value and one video byte.
void fill_color_entry(ColorTable& colors, uint8_t palette, uint8_t video_byte);

// Fills the whole table.
void CalculateColor(ColorTable& colors);

// The host bitmap and the painter's memory of what it last painted.
struct Picture {
    std::array<uint32_t, SCREEN_WIDTH * SCREEN_HEIGHT> pixels{};  // row-major, 256 per row
    std::array<uint8_t, VRAM_SIZE> vram_shadow{};  // video memory at the last paint
    uint8_t last_palette = 0;  // latch C1 at the last paint
    bool repaint_pending = false;  // the window must be redrawn
};

// Brings pic.pixels up to date with m.vram under latch C1. A new palette value repaints
// every pixel; otherwise only bytes that differ from the shadow are repainted. Returns
// true when the window must be redrawn (a pixel changed or repaint_pending was set
// before), and clears repaint_pending. Allocation-free.
bool paint_screen(const MachineState& m, const ColorTable& colors, Picture& pic);

}  // namespace lvov
