// Colour table and incremental painter for the 256 x 256 picture.
#include "devices/video.h"

#include <cstring>

namespace lvov {

uint32_t compute_color_index(uint8_t palette, int base_colour) {
    bool r = palette & PAL_RED;
    bool g = palette & PAL_GREEN;
    bool b = palette & PAL_BLUE;
    switch (base_colour) {
    case BASE_BLACK:
        if (!(palette & PAL_BLACK_KEEPS_RED)) r = !r;
        if (!(palette & PAL_BLACK_KEEPS_BLUE)) b = !b;
        break;
    case BASE_GREEN: g = !g; break;
    case BASE_BLUE:
        b = !b;
        if (!(palette & PAL_BLUE_KEEPS_RED)) r = !r;
        break;
    case BASE_RED:
        r = !r;
        if (!(palette & PAL_RED_KEEPS_GREEN)) g = !g;
        break;
    default: break;
    }
    return RGB_OPAQUE | (r ? RGB_RED : 0) | (g ? RGB_GREEN : 0) | (b ? RGB_BLUE : 0);
}

void fill_color_entry(ColorTable& colors, uint8_t palette, uint8_t video_byte) {
    for (int k = 0; k < PIXELS_PER_BYTE; ++k)
        colors.entries[ColorTable::index(palette, video_byte, k)] =
            compute_color_index(palette, pixel_value(video_byte, k));
}

void CalculateColor(ColorTable& colors) {
    colors.entries.resize(256 * 256 * PIXELS_PER_BYTE);
    for (int p = 0; p < 256; ++p)
        for (int b = 0; b < 256; ++b) fill_color_entry(colors, static_cast<uint8_t>(p), static_cast<uint8_t>(b));
}

namespace {

// Byte a of video memory is row a / 64, columns 4 * (a % 64) .. + 3; with 256 pixels per
// row its first pixel is therefore pixels[4 * a].
inline void paint_byte(const uint32_t* palette_colors, Picture& pic, size_t a, uint8_t value) {
    std::memcpy(&pic.pixels[a * PIXELS_PER_BYTE], palette_colors + static_cast<size_t>(value) * PIXELS_PER_BYTE,
                PIXELS_PER_BYTE * sizeof(uint32_t));
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

constexpr size_t GROUP = 4;  // bytes compared at once, as the painter's unit of change
constexpr size_t ROW = VRAM_BYTES_PER_ROW;

}  // namespace

bool paint_screen(const MachineState& m, const ColorTable& colors, Picture& pic) {
    const uint8_t palette = m.port_latches[LATCH_PALETTE];
    const uint32_t* palette_colors = colors.row(palette, 0);
    const uint8_t* vram = m.vram.data();
    uint8_t* shadow = pic.vram_shadow.data();

    if (palette != pic.last_palette) {
        pic.last_palette = palette;
        for (size_t a = 0; a < VRAM_SIZE; ++a) paint_byte(palette_colors, pic, a, vram[a]);
        std::memcpy(shadow, vram, VRAM_SIZE);
        pic.repaint_pending = true;
    } else {
        // Unchanged rows are the common case: skip 64 bytes at a time, then narrow a
        // changed row down to 8-byte pairs of groups and the 4-byte groups within.
        for (size_t row = 0; row < VRAM_SIZE; row += ROW) {
            if (std::memcmp(vram + row, shadow + row, ROW) == 0) continue;
            for (size_t pair = row; pair < row + ROW; pair += 2 * GROUP) {
                if (load64(vram + pair) == load64(shadow + pair)) continue;
                for (size_t group = pair; group < pair + 2 * GROUP; group += GROUP) {
                    if (load32(vram + group) == load32(shadow + group)) continue;
                    for (size_t a = group; a < group + GROUP; ++a) {
                        if (vram[a] != shadow[a]) {
                            paint_byte(palette_colors, pic, a, vram[a]);
                            shadow[a] = vram[a];
                            pic.repaint_pending = true;
                        }
                    }
                }
            }
        }
    }

    const bool redraw = pic.repaint_pending;
    pic.repaint_pending = false;
    return redraw;
}

}  // namespace lvov
