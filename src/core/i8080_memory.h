// Memory access of the 8080 interpreter: the memory map with the state of its switch
// known at compile time, word access, operand fetch and the stack.
//
// The interpreter's loop exists once for each setting of the map switch (bit 1 of latch
// C2), so each copy has the routing of the map (mapped_read/mapped_write, core/machine.h)
// for its setting built in and never reads the latch on an access. In the RAM-mode copy
// a read is one array access and a write one comparison against C000. Two-byte accesses
// (operands, stack, LHLD/SHLD, XTHL) are one host access when both bytes are plain
// memory, byte by byte through the map otherwise.
//
// Addresses and register values are 64-bit here, as the interpreter keeps them, so that
// they index memory as they are; every address passed in is 0000-FFFF (callers reduce
// sums such as PC + 1 first).
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/machine.h"

namespace lvov::i8080_detail {

template <bool RAM>
inline uint8_t rd(const MachineState& m, uint64_t a) {
    return mapped_read<RAM>(m, a);
}

template <bool RAM>
inline void wr(MachineState& m, uint64_t a, uint8_t value) {
    mapped_write<RAM>(m, a, value);
}

constexpr bool kLittleHost = std::endian::native == std::endian::little;

// Little-endian word at a, the high byte from a + 1 wrapping past FFFF.
template <bool RAM>
inline uint64_t rd16(const MachineState& m, uint64_t a) {
    if constexpr (kLittleHost) {
        if (a - PLAIN_MEMORY_FROM<RAM> < 0xFFFF - PLAIN_MEMORY_FROM<RAM>) [[likely]] {
            uint16_t w;
            std::memcpy(&w, m.memory.data() + a, 2);
            return w;
        }
    }
    return rd<RAM>(m, a) | (rd<RAM>(m, (a + 1) & 0xFFFF) << 8);
}

// Low byte at a, then high byte at a + 1 (wrapping), each through the map. Only the low
// 16 bits of v count.
template <bool RAM>
inline void wr16(MachineState& m, uint64_t a, uint64_t v) {
    if constexpr (kLittleHost) {
        if (a - PLAIN_MEMORY_FROM<RAM> < (ROM_START - 1u) - PLAIN_MEMORY_FROM<RAM>) [[likely]] {
            const uint16_t w = static_cast<uint16_t>(v);
            std::memcpy(m.memory.data() + a, &w, 2);
            return;
        }
    }
    wr<RAM>(m, a, static_cast<uint8_t>(v));
    wr<RAM>(m, (a + 1) & 0xFFFF, static_cast<uint8_t>(v >> 8));
}

// The byte after the opcode at pc.
template <bool RAM>
inline uint64_t imm8(const MachineState& m, uint64_t pc) {
    return rd<RAM>(m, (pc + 1) & 0xFFFF);
}

// The two bytes after the opcode at pc, low byte first.
template <bool RAM>
inline uint64_t imm16(const MachineState& m, uint64_t pc) {
    if constexpr (kLittleHost) {
        constexpr uint64_t from = RAM ? 0 : PLAIN_MEMORY_FROM<RAM> - 1;  // pc + 1 is plain memory
        if (pc - from < 0xFFFE - from) [[likely]] {
            uint16_t w;
            std::memcpy(&w, m.memory.data() + pc + 1, 2);
            return w;
        }
    }
    return rd<RAM>(m, (pc + 1) & 0xFFFF) | (rd<RAM>(m, (pc + 2) & 0xFFFF) << 8);
}

// SP -= 2, then the word v at SP (low byte first); the stack goes through the map too.
template <bool RAM>
inline void push16(MachineState& m, uint64_t& sp, uint64_t v) {
    sp = (sp - 2) & 0xFFFF;
    wr16<RAM>(m, sp, v);
}

// The word at SP, then SP += 2.
template <bool RAM>
inline uint64_t pop16(const MachineState& m, uint64_t& sp) {
    const uint64_t v = rd16<RAM>(m, sp);
    sp = (sp + 2) & 0xFFFF;
    return v;
}

}  // namespace lvov::i8080_detail
