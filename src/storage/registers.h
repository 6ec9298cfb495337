// The 8080's registers as snapshots, dumps and rewind states keep them: twelve bytes,
// B C D E H L A F, then SP and PC, each low byte first.
#pragma once
#include <array>
#include <cstdint>

#include "core/machine.h"

namespace lvov {

constexpr uint32_t REGISTER_BLOCK_SIZE = 12;
using RegisterBlock = std::array<uint8_t, REGISTER_BLOCK_SIZE>;

inline RegisterBlock pack_registers(const MachineState& m) {
    return {m.B,
            m.C,
            m.D,
            m.E,
            m.H,
            m.L,
            m.A,
            m.F,
            static_cast<uint8_t>(m.SP),
            static_cast<uint8_t>(m.SP >> 8),
            static_cast<uint8_t>(m.PC),
            static_cast<uint8_t>(m.PC >> 8)};
}

// Sets the registers from the REGISTER_BLOCK_SIZE bytes at block.
inline void unpack_registers(const uint8_t* block, MachineState& m) {
    m.B = block[0], m.C = block[1], m.D = block[2], m.E = block[3];
    m.H = block[4], m.L = block[5], m.A = block[6], m.F = block[7];
    m.SP = static_cast<uint16_t>(block[8] | (block[9] << 8));
    m.PC = static_cast<uint16_t>(block[10] | (block[11] << 8));
}

}  // namespace lvov
