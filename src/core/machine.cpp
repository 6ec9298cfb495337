#include "core/machine.h"

#include <bit>

namespace lvov {

void build_flag_table(MachineState& m) {
    for (int v = 0; v < 256; ++v) {
        uint8_t f = FLAG_FIXED;
        if (v & 0x80) f |= FLAG_S;
        if (v == 0) f |= FLAG_Z;
        if (std::popcount(static_cast<unsigned>(v)) % 2 == 0) f |= FLAG_P;
        m.flag_table[v] = f;
    }
}

void init_RAM(MachineState& m) {
    m.memory.fill(0);
    m.vram.fill(0);
    m.port_latches.fill(0);
    m.kbd_matrix.fill(0);
    m.kbd_extra.fill(0);
    build_flag_table(m);
}

}  // namespace lvov
