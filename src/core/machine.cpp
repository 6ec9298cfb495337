#include "core/machine.h"

namespace lvov {

void init_RAM(MachineState& m) {
    m.memory.fill(0);
    m.vram.fill(0);
    m.port_latches.fill(0);
    m.kbd_matrix.fill(0);
    m.kbd_extra.fill(0);
}

}  // namespace lvov
