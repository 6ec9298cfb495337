#include "core/machine.h"

namespace lvov {

void build_flag_table(MachineState& m) {
    for (int v = 0; v < 256; ++v) m.flag_table[v] = szp_flags(static_cast<uint8_t>(v));
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
