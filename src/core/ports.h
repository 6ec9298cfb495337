// The I/O port layer between the interpreter and the machine's devices.
//
// Only bits 4, 1 and 0 of a port number are decoded: bit 4 picks the group (0 = system
// latches C0-C3, 1 = keyboard latches D0-D3), bits 1-0 the register. So OUT 01, OUT 41
// and OUT C1 all write the palette latch C1. Every OUT stores the byte in its latch.
//
// Reads: C2 returns the latch itself; D1 returns the main keyboard rows of the columns
// selected (active low) by latch D0; D2 returns the extra-matrix rows 0-3 of the columns
// selected by bits 0-3 of latch D2 in its bits 4-7, and its own bits 0-3 in bits 0-3;
// every other register reads FF. A read never changes any state.
#pragma once
#include <cstdint>

#include "core/machine.h"

namespace lvov {

// The latch index a port number selects: C0 + (port & 13).
constexpr uint8_t port_latch_index(uint8_t port) { return static_cast<uint8_t>(0xC0 + (port & 0x13)); }

inline void do_output(MachineState& m, uint8_t port, uint8_t value) { m.port_latches[port_latch_index(port)] = value; }

inline uint8_t do_input(const MachineState& m, uint8_t port) {
    switch (port_latch_index(port)) {
    case 0xC2: return m.port_latches[0xC2];
    case 0xD1: {
        const uint8_t selected = static_cast<uint8_t>(~m.port_latches[LATCH_KBD_COLUMNS]);
        uint8_t rows = 0;
        for (int c = 0; c < 8; ++c)
            if (selected & (1u << c)) rows |= m.kbd_matrix[c];
        return static_cast<uint8_t>(~rows);
    }
    case 0xD2: {
        const uint8_t latch = m.port_latches[LATCH_KBD_EXTRA];
        const uint8_t selected = static_cast<uint8_t>(~latch);
        uint8_t rows = 0;
        for (int c = 0; c < 4; ++c)
            if (selected & (1u << c)) rows |= m.kbd_extra[c];
        return static_cast<uint8_t>(((~rows & 0x0F) << 4) | (latch & 0x0F));
    }
    default: return 0xFF;
    }
}

}  // namespace lvov
